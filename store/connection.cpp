#include "store/connection.h"

#include <sqlcipher/sqlite3.h>

#include "store/connection_core.h"
#include "store/connection_string.h"
#include "store/database_error.h"
#include "store/query_sql.h"
#include "store/record_cursor.h"

namespace tervane {
namespace {

sqlcipher::StatementPtr PrepareFor(sqlite3* db, std::string_view sql, const std::string& who) {
  try {
    return sqlcipher::Prepare(db, sql);
  } catch (const DatabaseError& e) {
    throw DatabaseError(who + ": " + e.what());
  }
}

}  // namespace

sqlite3_stmt* ConnectionCore::PageStatement(QueryText query, const std::string& who) {
  auto& statement = pageStatements.at(static_cast<size_t>(query));
  if (!statement)
    statement = PrepareFor(db.get(), SqlFor(query).pageSql, who);
  return statement.get();
}

std::shared_ptr<const std::vector<std::string>> ConnectionCore::FieldNames(QueryText query,
                                                                           const std::string& who) {
  auto& names = fieldNames.at(static_cast<size_t>(query));
  if (!names) {
    sqlite3_stmt* statement = PageStatement(query, who);
    auto list = std::make_shared<std::vector<std::string>>();
    for (int i = 1; i < sqlite3_column_count(statement); ++i) {
      list->emplace_back(sqlite3_column_name(statement, i));
    }
    names = std::move(list);
  }
  return names;
}

sqlite3_stmt* ConnectionCore::Statement(const std::string& sql, const std::string& who) {
  auto& statement = writeStatements[sql];
  if (!statement)
    statement = PrepareFor(db.get(), sql, who);
  return statement.get();
}

Connection::Connection(Mode mode) : impl_(std::make_unique<Impl>()) {
  impl_->mode = mode;
}

Connection::~Connection() {
  Close();
}

void Connection::SetConnectionString(std::string_view connectionString) {
  impl_->connectionString = connectionString;
}

const std::string& Connection::ConnectionString() const {
  return impl_->connectionString;
}

void Connection::Open() {
  if (Connected())
    return;
  const ConnectionTarget target = ParseConnectionString(impl_->connectionString);
  impl_->db =
      sqlcipher::OpenExisting(target.dataSource, target.password,
                              impl_->mode == Mode::kReadOnly ? sqlcipher::Access::kReadOnly
                                                             : sqlcipher::Access::kReadWrite);
}

void Connection::Close() {
  for (RecordCursor* cursor : impl_->cursors)
    cursor->Close();
  for (auto& statement : impl_->pageStatements)
    statement.reset();
  for (auto& names : impl_->fieldNames)
    names.reset();
  impl_->writeStatements.clear();
  impl_->db.reset();
}

bool Connection::Connected() const {
  return impl_->db != nullptr;
}

}  // namespace tervane
