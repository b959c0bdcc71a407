#include "store/transaction.h"

#include <sqlcipher/sqlite3.h>

#include "store/connection_core.h"
#include "store/database_error.h"

namespace tervane {
namespace {

sqlite3* OpenDatabase(ConnectionCore& core) {
  if (!core.db) {
    throw DatabaseError("Operation is not allowed when the connection is closed");
  }
  return core.db.get();
}

}  // namespace

Transaction::Transaction(Connection& connection) : connection_(connection) {
  // IMMEDIATE takes the write lock at once, so a transaction never fails half way for a lock.
  sqlcipher::Exec(OpenDatabase(*connection_.impl_), "BEGIN IMMEDIATE");
  open_ = true;
}

Transaction::~Transaction() {
  if (open_ && connection_.impl_->db) {
    // Fails only when nothing is left to take back (the engine already rolled back).
    sqlite3_exec(connection_.impl_->db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
}

void Transaction::Commit() {
  if (!open_) {
    throw DatabaseError("The transaction is no longer open");
  }
  sqlcipher::Exec(OpenDatabase(*connection_.impl_), "COMMIT");
  open_ = false;
}

}  // namespace tervane
