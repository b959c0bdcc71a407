#include "lists/list_kind.h"

#include <array>

#include "store/filter_database.h"

namespace tervane {
namespace {

struct ListQueries {
  std::string_view name;
  QueryText whole;
  QueryText lookup;
};

// Indexed by ListKind.
constexpr std::array<ListQueries, 3> kLists = {{
    {"white", QueryText::kWhiteTable, QueryText::kWhiteTableLookup},
    {"black", QueryText::kBlackTable, QueryText::kBlackTableLookup},
    {"reference", QueryText::kOfficialSpam, QueryText::kOfficialSpamLookup},
}};

const ListQueries& QueriesOf(ListKind list) {
  return kLists.at(static_cast<size_t>(list));
}

}  // namespace

std::optional<ListKind> ListKindNamed(std::string_view word) {
  for (size_t i = 0; i < kLists.size(); ++i) {
    if (kLists[i].name == word)
      return static_cast<ListKind>(i);
  }
  return std::nullopt;
}

std::string_view ListKindName(ListKind list) {
  return QueriesOf(list).name;
}

bool IsUserList(ListKind list) {
  return list != ListKind::kReference;
}

QueryText WholeListQuery(ListKind list) {
  return QueriesOf(list).whole;
}

QueryText LookupQuery(ListKind list) {
  return QueriesOf(list).lookup;
}

Connection& ConnectionOf(FilterDatabase& db, ListKind list) {
  return IsUserList(list) ? db.ADOConnection1 : db.ADOConnection2;
}

RecordCursor& CursorOf(FilterDatabase& db, ListKind list) {
  return IsUserList(list) ? db.ADODataSet1 : db.ADODataSet2;
}

}  // namespace tervane
