#include "store/sqlcipher_file.h"

#include <sqlcipher/sqlite3.h>

#include <system_error>

#include "base/hex.h"
#include "store/database_error.h"
#include "store/log_vfs.h"
#include "store/side_files.h"

namespace tervane::sqlcipher {
namespace {

constexpr int kBusyTimeoutMs = 5000;
// The log is written back into the file once it holds this many pages (16 MiB), instead of
// SQLite's 1,000: a burst of posts (a harvest of thousands of recipients) then syncs the disk about
// a third as often and writes a page changed again and again back once. Between bursts the log
// stays far smaller and is written back when the connection closes.
constexpr int kCheckpointFrames = 4096;

std::string CannotOpen(const std::filesystem::path& file, std::string_view reason) {
  return "Cannot open database file \"" + file.string() + "\": " + std::string(reason);
}

// Keys a freshly opened handle with the cipher settings every file of ours is written with. Reads
// nothing yet. cipher_compatibility pins the 3.x format (key derivation, HMAC) should a newer
// SQLCipher read the file; SQLCipher 3.4 itself ignores it.
void Key(sqlite3* db, std::string_view password) {
  if (sqlite3_key(db, password.data(), static_cast<int>(password.size())) != SQLITE_OK) {
    throw DatabaseError(ErrorMessage(db));
  }
  const std::string pragmas = "PRAGMA cipher_compatibility = 3; PRAGMA cipher_page_size = " +
                              std::to_string(kCipherPageSize) + ";";
  Exec(db, pragmas.c_str());
}

// The exclusive locking mode keeps the file's lock from one statement to the next: without it every
// lookup is its own read transaction that locks and unlocks the file, looks for a hot journal and
// re-reads the change counter, about ten system calls that cost several times the lookup itself.
// The file is the program's own; a second connection on it waits (up to the busy timeout) until
// this one closes. Set before the file is first read, it also keeps the log's index in memory, so
// no shared-memory file (file-shm) is made.
void Lock(sqlite3* db) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  Exec(db, "PRAGMA locking_mode = EXCLUSIVE");
}

// Sizing the page cache reads the schema: the first read of the file.
void SizeCache(sqlite3* db) {
  Exec(db, ("PRAGMA cache_size = " + std::to_string(-kCacheSizeKiB)).c_str());
}

// With the write-ahead log and synchronous NORMAL a commit is one appended log write, synced only
// when the log is written back into the file: a post survives the program's end or crash at once
// and stays consistent through a power loss (which may lose the last posts), and costs a tenth of a
// synced journal. Closing the connection writes the log back into the file, syncs it and removes
// the log.
void WriteThroughLog(sqlite3* db) {
  const std::string pragmas =
      "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA wal_autocheckpoint = " +
      std::to_string(kCheckpointFrames) + ";";
  Exec(db, pragmas.c_str());
}

// With the exclusive lock the write-ahead log keeps its index in memory, and while the log holds
// no frame SQLite rebuilds that index at every read transaction and drops its page cache: each
// lookup then decrypts its pages again, several times the cost of a cached one. Writing the
// header's user_version back unchanged puts one frame into the log, after which the cache stays.
// The file's content is the same; the frame goes back into the file when the connection closes.
void KeepPageCache(sqlite3* db) {
  const StatementPtr read = Prepare(db, "PRAGMA user_version");
  const int version =
      sqlite3_step(read.get()) == SQLITE_ROW ? sqlite3_column_int(read.get(), 0) : 0;
  Exec(db, ("PRAGMA user_version = " + std::to_string(version)).c_str());
}

// The URI that opens file read-only as immutable: SQLite then takes no lock, looks for no journal
// or log and creates nothing beside the file, whatever the modes of the file and its folder, and
// keeps its page cache from one lookup to the next.
std::string ImmutableUri(const std::filesystem::path& file) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(file, error);
  std::string uri = "file://";
  for (const unsigned char c : (error ? file : absolute).string()) {
    if (c == '%' || c == '?' || c == '#') {
      uri += '%';
      AppendHexByte(uri, c, HexCase::kUpper);
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?immutable=1";
}

// Files that are written go through the layer that writes each commit with one system call.
DatabasePtr OpenHandle(const std::string& name, const std::filesystem::path& file, int flags) {
  const char* vfs = (flags & SQLITE_OPEN_READWRITE) != 0 ? LogVfsName() : nullptr;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, vfs);
  DatabasePtr db(raw);
  if (rc != SQLITE_OK) {
    throw DatabaseError(CannotOpen(file, db ? ErrorMessage(db.get()) : sqlite3_errstr(rc)));
  }
  return db;
}

// Opens and configures the handle for access, then proves the key by reading the schema.
// Throws DatabaseError(engine message).
DatabasePtr OpenConfigured(const std::filesystem::path& file, std::string_view password,
                           Access access) {
  DatabasePtr db =
      access == Access::kReadOnly
          ? OpenHandle(ImmutableUri(file), file, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI)
          : OpenHandle(file.string(), file, SQLITE_OPEN_READWRITE);
  try {
    Key(db.get(), password);
    if (access != Access::kReadOnly)
      Lock(db.get());
    SizeCache(db.get());
    if (access == Access::kReadWrite)
      WriteThroughLog(db.get());
    Exec(db.get(), "SELECT count(*) FROM sqlite_master");
    if (access == Access::kReadWrite)
      KeepPageCache(db.get());
  } catch (const DatabaseError& e) {
    std::string reason = e.what();
    if (sqlite3_errcode(db.get()) == SQLITE_NOTADB) {
      reason += " (wrong password, or not a database file)";
    }
    throw DatabaseError(CannotOpen(file, reason));
  }
  return db;
}

}  // namespace

void DatabaseCloser::operator()(sqlite3* db) const {
  sqlite3_close_v2(db);
}

void StatementFinalizer::operator()(sqlite3_stmt* statement) const {
  sqlite3_finalize(statement);
}

ScopedReset::~ScopedReset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::string ErrorMessage(sqlite3* db) {
  return sqlite3_errmsg(db);
}

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : ErrorMessage(db);
    sqlite3_free(message);
    throw DatabaseError(text);
  }
}

StatementPtr Prepare(sqlite3* db, std::string_view sql) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
      SQLITE_OK) {
    throw DatabaseError(ErrorMessage(db));
  }
  return StatementPtr(raw);
}

DatabasePtr OpenExisting(const std::filesystem::path& file, std::string_view password,
                         Access access) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (!std::filesystem::exists(status)) {
    throw DatabaseError(CannotOpen(file, "the file does not exist"));
  }
  const std::string unusable =
      access == Access::kReadOnly ? WhyUnreadable(file) : PrepareForWriting(file);
  if (!unusable.empty())
    throw DatabaseError(CannotOpen(file, unusable));
  if (std::filesystem::is_regular_file(status) && std::filesystem::file_size(file, error) == 0) {
    // SQLite would take an empty file for an empty database.
    throw DatabaseError(CannotOpen(file, "the file is empty, not a database"));
  }
  const SideFileSnapshot sideFiles(file);
  try {
    return OpenConfigured(file, password, access);
  } catch (...) {
    sideFiles.RemoveCreated();  // the handle is closed by now
    throw;
  }
}

DatabasePtr CreateNew(const std::filesystem::path& file, std::string_view password) {
  DatabasePtr db = OpenHandle(file.string(), file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  Key(db.get(), password);
  Lock(db.get());
  SizeCache(db.get());
  WriteThroughLog(db.get());
  return db;
}

}  // namespace tervane::sqlcipher
