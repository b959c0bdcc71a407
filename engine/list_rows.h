#ifndef TERVANE_ENGINE_LIST_ROWS_H_
#define TERVANE_ENGINE_LIST_ROWS_H_

#include <optional>
#include <string_view>

#include "engine/date_time.h"
#include "store/query_text.h"

namespace tervane {

class RecordCursor;

// The list steps shared by marking, harvesting, the settings window and the list commands.
// Each throws DatabaseError.

// Returns true iff a lookup (one of the three lookup queries) finds a row for address.
bool IsListed(RecordCursor& cursor, QueryText lookup, std::string_view address);

// Appends a list row to the open cursor: mail = address unchanged, date = today, class 1, and
// name when given (else left unset); posted at once. When writing fails, the new row is dropped
// (the cursor does not stay in insert mode) and the error thrown.
void AppendListRow(RecordCursor& cursor, std::string_view address,
                   std::optional<std::string_view> name, TDateTime today);

// Appends a list row (mail, date, class 1, name) unless the lookup finds address already.
// Returns true iff it appended.
bool AddToListIfAbsent(RecordCursor& cursor, QueryText lookup, std::string_view address,
                       std::string_view name, TDateTime today);

// Deletes the first row the lookup finds for address, if any; further duplicates stay. Returns
// true iff it deleted one.
bool DeleteFirstListMatch(RecordCursor& cursor, QueryText lookup, std::string_view address);

}  // namespace tervane

#endif  // TERVANE_ENGINE_LIST_ROWS_H_
