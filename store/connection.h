#ifndef TERVANE_STORE_CONNECTION_H_
#define TERVANE_STORE_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>

namespace tervane {

class RecordCursor;

// One password-protected database file (the program's ADOConnection1 and ADOConnection2).
// The connection string names the file and its password in the mail client's own form:
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;Persist Security Info=False;
//  Jet OLEDB:Database Password=<password>". Movable only through its owner; not copyable.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Takes effect at the next Open.
  void SetConnectionString(std::string_view connectionString);
  const std::string& ConnectionString() const;

  // Opens the named file read/write, keyed with the password, and proves the key by reading the
  // schema. Throws DatabaseError for a missing file (nothing is created), a wrong password or a
  // file that is not a database. No-op when already open. While open, the connection keeps the
  // file locked: after its first write no other connection can read the file until Close.
  void Open();

  // Closes every cursor on this connection, then the file; afterwards no handle of the file
  // stays open. No-op when closed.
  void Close();

  bool Connected() const;

 private:
  friend class RecordCursor;
  friend class Transaction;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_STORE_CONNECTION_H_
