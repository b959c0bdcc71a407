#include "engine/list_rows.h"

#include "store/database_error.h"
#include "store/record_cursor.h"

namespace tervane {

bool IsListed(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  cursor.Query(lookup, address);
  return !cursor.IsEmpty();
}

void AppendListRow(RecordCursor& cursor, std::string_view address,
                   std::optional<std::string_view> name, TDateTime today) {
  cursor.Append();
  try {
    cursor.SetFieldAsString("mail", address);
    cursor.SetFieldAsDateTime("date", today);
    cursor.SetFieldAsInteger("class", 1);
    if (name) {
      cursor.SetFieldAsString("name", *name);
    }
    cursor.Post();
  } catch (const DatabaseError&) {
    // Otherwise the cursor would post the row again at its next move.
    cursor.Cancel();
    throw;
  }
}

bool AddToListIfAbsent(RecordCursor& cursor, QueryText lookup, std::string_view address,
                       std::string_view name, TDateTime today) {
  if (IsListed(cursor, lookup, address))
    return false;
  AppendListRow(cursor, address, name, today);
  return true;
}

bool DeleteFirstListMatch(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  if (!IsListed(cursor, lookup, address))
    return false;
  cursor.Delete();
  return true;
}

}  // namespace tervane
