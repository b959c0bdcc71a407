#ifndef TERVANE_STORE_CONNECTION_H_
#define TERVANE_STORE_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>

namespace tervane {

class RecordCursor;
struct ConnectionAccess;

// One password-protected database file (the program's ADOConnection1 and ADOConnection2).
// The connection string names the file and its password in the mail client's own form:
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=<file>;Persist Security Info=False;
//  Jet OLEDB:Database Password=<password>". Movable only through its owner; not copyable.
class Connection {
 public:
  enum class Mode {
    kReadWrite,  // the file is read and written
    kReadOnly,   // the file is only read: nothing is written into it or beside it
  };

  explicit Connection(Mode mode = Mode::kReadWrite);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Takes effect at the next Open.
  void SetConnectionString(std::string_view connectionString);
  const std::string& ConnectionString() const;

  // Opens the named file, keyed with the password, and proves the key by reading the schema.
  // Throws DatabaseError for a missing file (nothing is created), a wrong password, a file that is
  // not a database, and, naming the cause, a file that cannot be read or (kReadWrite) a file or
  // folder that cannot be written ("cust.mdb is read-only: ..."); a failed open leaves no file
  // behind. No-op when already open.
  // kReadWrite: while open, the connection keeps the file locked: after its first write no other
  // connection can read the file until Close. kReadOnly: the file and its folder may be read-only;
  // no lock is taken, and writes through the connection's cursors fail; the file must not change
  // in place while open (a new version is put in place by a rename and read at the next Open).
  void Open();

  // Closes every cursor on this connection, then the file; afterwards no handle of the file
  // stays open. No-op when closed.
  void Close();

  bool Connected() const;

 private:
  friend class RecordCursor;
  friend class Transaction;
  friend struct ConnectionAccess;
  struct ConnectionAccess;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tervane

#endif  // TERVANE_STORE_CONNECTION_H_
