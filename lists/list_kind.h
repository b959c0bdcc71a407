#ifndef TERVANE_LISTS_LIST_KIND_H_
#define TERVANE_LISTS_LIST_KIND_H_

#include <optional>
#include <string_view>

#include "store/query_text.h"

namespace tervane {

struct FilterDatabase;
class Connection;
class RecordCursor;

// The three lists as the list commands name them: the user's white and black lists (cust.mdb),
// which they may change, and the reference list of known spam senders (ospam.mdb), only read.
enum class ListKind { kWhite, kBlack, kReference };

// "white", "black" or "reference"; nothing for any other word.
std::optional<ListKind> ListKindNamed(std::string_view word);
std::string_view ListKindName(ListKind list);

// Whether the list commands may add to, remove from and import into list.
bool IsUserList(ListKind list);

// The query that reads the whole list, and the lookup of one address in it.
QueryText WholeListQuery(ListKind list);
QueryText LookupQuery(ListKind list);

// The connection that holds list, and the general cursor on it.
Connection& ConnectionOf(FilterDatabase& db, ListKind list);
RecordCursor& CursorOf(FilterDatabase& db, ListKind list);

}  // namespace tervane

#endif  // TERVANE_LISTS_LIST_KIND_H_
