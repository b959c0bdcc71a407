#include "engine/list_rows.h"

#include "store/record_cursor.h"

namespace tervane {

bool IsListed(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  cursor.Query(lookup, address);
  return !cursor.IsEmpty();
}

bool AddToListIfAbsent(RecordCursor& cursor, QueryText lookup, std::string_view address,
                       std::string_view name, TDateTime today) {
  if (IsListed(cursor, lookup, address))
    return false;
  cursor.Append();
  cursor.SetFieldAsString("mail", address);
  cursor.SetFieldAsDateTime("date", today);
  cursor.SetFieldAsInteger("class", 1);
  cursor.SetFieldAsString("name", name);
  cursor.Post();
  return true;
}

bool DeleteFirstListMatch(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  if (!IsListed(cursor, lookup, address))
    return false;
  cursor.Delete();
  return true;
}

}  // namespace tervane
