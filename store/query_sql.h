#ifndef TERVANE_STORE_QUERY_SQL_H_
#define TERVANE_STORE_QUERY_SQL_H_

// Internal to store/: the SQL behind each query text, and the statements that write rows.
//
// A result is read in pages by row identity: every page statement selects "rowid, *" with
// ?1 = the first row identity wanted and ?2 = the page size (lookups bind the address as ?3),
// so no statement stays active between two calls and every write commits at once.

#include <string>
#include <string_view>
#include <vector>

#include "store/query_text.h"

namespace tervane {

struct QuerySql {
  std::string_view table;
  bool lookup;  // binds the address as ?3
  std::string_view pageSql;
};

const QuerySql& SqlFor(QueryText query);

// Writes and re-reads one row of table by its row identity (the last parameter).
std::string InsertSql(std::string_view table, const std::vector<std::string>& columns);
std::string UpdateSql(std::string_view table, const std::vector<std::string>& columns);
std::string DeleteSql(std::string_view table);
std::string RowSql(std::string_view table);

// Whether a sorts before b in the order of the NOCASE collation, in which every mail column is
// compared and indexed: bytes compared with the ASCII letters folded to lower case.
bool NoCaseLess(std::string_view a, std::string_view b);

// The highest row identity of table, and the mail value of its first row from row identity ?1 on.
std::string LastRowIdSql(std::string_view table);
std::string MailFromRowSql(std::string_view table);

}  // namespace tervane

#endif  // TERVANE_STORE_QUERY_SQL_H_
