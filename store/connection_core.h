#ifndef TERVANE_STORE_CONNECTION_CORE_H_
#define TERVANE_STORE_CONNECTION_CORE_H_

// Internal to store/: what a connection shares with the cursors on it.

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/connection.h"
#include "store/query_text.h"
#include "store/sqlcipher_file.h"

namespace tervane {

struct ConnectionCore {
  std::string connectionString;
  sqlcipher::DatabasePtr db;
  // The cursors made on this connection, closed with it.
  std::vector<RecordCursor*> cursors;
  // Statements prepared once per connection and reused; none stays active between calls.
  std::array<sqlcipher::StatementPtr, kQueryTextCount> pageStatements;
  std::array<std::shared_ptr<const std::vector<std::string>>, kQueryTextCount> fieldNames;
  std::unordered_map<std::string, sqlcipher::StatementPtr> writeStatements;

  // The page statement of query (see query_sql.h). Throws DatabaseError("<who>: <message>").
  sqlite3_stmt* PageStatement(QueryText query, const std::string& who);
  // The field names of query's result, in order (without the leading row identity).
  std::shared_ptr<const std::vector<std::string>> FieldNames(QueryText query,
                                                             const std::string& who);
  // Any other statement, by its text. Throws DatabaseError("<who>: <message>").
  sqlite3_stmt* Statement(const std::string& sql, const std::string& who);
};

struct Connection::Impl : ConnectionCore {};

}  // namespace tervane

#endif  // TERVANE_STORE_CONNECTION_CORE_H_
