#ifndef TERVANE_STORE_TRANSACTION_H_
#define TERVANE_STORE_TRANSACTION_H_

namespace tervane {

class Connection;

// A scoped write transaction on an open connection: every append, edit and delete made through
// the connection's cursors between the start and Commit is stored together, or not at all.
// Without Commit (an error left the scope, or the process ended) the destructor takes every
// change back, and the file is as it was before the start. Not copyable, not movable.
// After a rollback a cursor that read rows during the transaction may still show them: close it.
// REQUIRES: the connection stays open for the transaction's life; no other transaction on it.
class Transaction {
 public:
  // Starts the transaction. Throws DatabaseError when the connection is closed, already in a
  // transaction, or the file cannot be locked for writing.
  explicit Transaction(Connection& connection);
  // Rolls back unless committed. Never throws.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Stores every change at once. Throws DatabaseError, after which the transaction is rolled
  // back by the destructor. REQUIRES: not committed yet.
  void Commit();

 private:
  Connection& connection_;
  bool open_ = false;
};

}  // namespace tervane

#endif  // TERVANE_STORE_TRANSACTION_H_
