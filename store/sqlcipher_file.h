#ifndef TERVANE_STORE_SQLCIPHER_FILE_H_
#define TERVANE_STORE_SQLCIPHER_FILE_H_

// Internal to store/: RAII handles over SQLCipher and the settings every file of ours shares.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tervane::sqlcipher {

// Every file is written with 4 KiB pages: one page per file-system block, one HMAC per 4 KiB
// instead of per 1 KiB, and a tree one level shallower for a million addresses.
inline constexpr int kCipherPageSize = 4096;
// Page cache per connection, in KiB. Pages are read only as lookups touch them, so this is a bound,
// not an allocation: large enough to keep the index of a million-address reference list (the only
// pages its lookups read) decrypted in memory, and small enough that a list of several million
// keeps the program under 100 MiB.
inline constexpr int kCacheSizeKiB = 48 * 1024;

struct DatabaseCloser {
  void operator()(sqlite3* db) const;
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const;
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// How an existing file is opened.
enum class Access {
  // Read and written: the file is held locked while open and written through a write-ahead log
  // beside it (file-wal), so the file and its folder must be writable.
  kReadWrite,
  // Only read: nothing is written into the file or beside it, and neither it nor its folder needs
  // to be writable. No lock is taken: the file must not change while it is open (a new version is
  // put in place by a rename, which an open handle does not see).
  kReadOnly,
  // Read whole, as the source of a copy: locked like kReadWrite, and a log left beside it by a
  // crash is read (and written back at close, as by any open), but nothing else is written into
  // the file: without such a log its bytes stay as they were.
  kCopySource,
};

// Opens an existing database file, keyed with password, and proves the key by reading the schema.
// Never creates a file. For kReadWrite and kCopySource the file and its folder are checked first,
// so that an open that cannot work makes no side file (a side file left unwritable by an earlier
// read-only open is cleared), and whatever side file a failed open made is removed again.
// Throws DatabaseError "Cannot open database file \"<file>\": <reason>", the reason naming the
// cause, e.g. "cust.mdb is read-only: ...".
DatabasePtr OpenExisting(const std::filesystem::path& file, std::string_view password,
                         Access access = Access::kReadWrite);

// Opens file (which must not exist or be empty) as a new database keyed with password.
DatabasePtr CreateNew(const std::filesystem::path& file, std::string_view password);

// Runs sql (one or more statements without results). Throws DatabaseError(engine message).
void Exec(sqlite3* db, const char* sql);

// Prepares one statement for reuse. Throws DatabaseError(engine message).
StatementPtr Prepare(sqlite3* db, std::string_view sql);

// The engine's message for the last failure on db.
std::string ErrorMessage(sqlite3* db);

// Resets a statement and clears its bindings when the scope ends, so no statement stays active
// (and no read transaction stays open) between two calls of the store.
class ScopedReset {
 public:
  explicit ScopedReset(sqlite3_stmt* statement) : statement_(statement) {}
  ~ScopedReset();
  ScopedReset(const ScopedReset&) = delete;
  ScopedReset& operator=(const ScopedReset&) = delete;

 private:
  sqlite3_stmt* statement_;
};

}  // namespace tervane::sqlcipher

#endif  // TERVANE_STORE_SQLCIPHER_FILE_H_
