#include "store/log_vfs.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "store/database_error.h"

namespace tervane::sqlcipher {
namespace {

constexpr char kVfsName[] = "tervane-log";
constexpr int kFrameHeaderBytes = 24;
constexpr sqlite3_int64 kMaxHeldBytes = sqlite3_int64{1} << 20;
constexpr sqlite3_int64 kFirstCapacity = 16 * 1024;

// The file-system layer underneath: the default one.
sqlite3_vfs* base = nullptr;

// One open file. SQLite allocates it (szOsFile bytes) and the file of the layer underneath
// follows it in the same memory.
struct File {
  sqlite3_file file;  // first, so that a sqlite3_file* is a File*
  sqlite3_file* real;
  bool log;  // the write-ahead log: its frame writes are held
  // Writes held: bytes [offset, offset + used) of the log, not yet written.
  char* held;
  sqlite3_int64 capacity;
  sqlite3_int64 used;
  sqlite3_int64 offset;
  bool afterHeader;  // the last write was a frame header; the frame's page comes next
  bool commitFrame;  // that header ends a commit
};

File* Of(sqlite3_file* file) {
  return reinterpret_cast<File*>(file);
}

sqlite3_file* Real(sqlite3_file* file) {
  return Of(file)->real;
}

const sqlite3_io_methods& RealMethods(sqlite3_file* file) {
  return *Real(file)->pMethods;
}

// Writes what is held. Held bytes are dropped either way: after a failed write SQLite writes the
// frames again from its last commit.
int WriteHeld(File* f) {
  if (f->used == 0)
    return SQLITE_OK;
  const int rc = f->real->pMethods->xWrite(f->real, f->held, static_cast<int>(f->used), f->offset);
  f->used = 0;
  return rc;
}

// Appends amount bytes written at offset to what is held. REQUIRES: they follow what is held.
bool Hold(File* f, const void* data, int amount, sqlite3_int64 offset) {
  if (f->used + amount > f->capacity) {
    const sqlite3_int64 capacity = std::max({f->capacity * 2, f->used + amount, kFirstCapacity});
    void* grown = sqlite3_realloc64(f->held, static_cast<sqlite3_uint64>(capacity));
    if (grown == nullptr)
      return false;
    f->held = static_cast<char*>(grown);
    f->capacity = capacity;
  }
  if (f->used == 0)
    f->offset = offset;
  std::memcpy(f->held + f->used, data, static_cast<size_t>(amount));
  f->used += amount;
  return true;
}

bool IsCommitHeader(const void* header) {
  const auto* bytes = static_cast<const unsigned char*>(header);
  return (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;  // the database size after the commit
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
  File* f = Of(file);
  if (!f->log)
    return RealMethods(file).xWrite(f->real, data, amount, offset);
  const bool header = amount == kFrameHeaderBytes;
  const bool page = !header && f->afterHeader;
  f->afterHeader = header;
  if (f->used > 0 && offset != f->offset + f->used) {
    if (const int rc = WriteHeld(f))
      return rc;
  }
  if (header)
    f->commitFrame = IsCommitHeader(data);
  // The log's own header and anything else outside a frame is written at once, as is everything
  // when memory runs out.
  if ((!header && !page) || !Hold(f, data, amount, offset)) {
    if (const int rc = WriteHeld(f))
      return rc;
    return RealMethods(file).xWrite(f->real, data, amount, offset);
  }
  if (page && (f->commitFrame || f->used >= kMaxHeldBytes))
    return WriteHeld(f);
  return SQLITE_OK;
}

// Every other use of a file first writes what is held, so that it sees the log as SQLite wrote it.
int Close(sqlite3_file* file) {
  File* f = Of(file);
  const int held = WriteHeld(f);
  const int rc = RealMethods(file).xClose(f->real);
  sqlite3_free(f->held);
  f->held = nullptr;
  return held != SQLITE_OK ? held : rc;
}

int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xRead(Real(file), data, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xTruncate(Real(file), size);
}

int Sync(sqlite3_file* file, int flags) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xSync(Real(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xFileSize(Real(file), size);
}

int Lock(sqlite3_file* file, int level) {
  return RealMethods(file).xLock(Real(file), level);
}

int Unlock(sqlite3_file* file, int level) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xUnlock(Real(file), level);
}

int CheckReservedLock(sqlite3_file* file, int* reserved) {
  return RealMethods(file).xCheckReservedLock(Real(file), reserved);
}

int FileControl(sqlite3_file* file, int op, void* argument) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return RealMethods(file).xFileControl(Real(file), op, argument);
}

int SectorSize(sqlite3_file* file) {
  return RealMethods(file).xSectorSize(Real(file));
}

int DeviceCharacteristics(sqlite3_file* file) {
  return RealMethods(file).xDeviceCharacteristics(Real(file));
}

// The shared-memory methods (version 2) and memory mapping (version 3) exist underneath only from
// those versions on; without them there is no shared memory, and pages are read, not mapped.
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
  if (RealMethods(file).iVersion < 2)
    return SQLITE_IOERR_SHMMAP;
  return RealMethods(file).xShmMap(Real(file), region, size, extend, memory);
}

int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
  if (RealMethods(file).iVersion < 2)
    return SQLITE_IOERR_SHMLOCK;
  return RealMethods(file).xShmLock(Real(file), offset, count, flags);
}

void ShmBarrier(sqlite3_file* file) {
  if (RealMethods(file).iVersion >= 2)
    RealMethods(file).xShmBarrier(Real(file));
}

int ShmUnmap(sqlite3_file* file, int deleteFlag) {
  if (RealMethods(file).iVersion < 2)
    return SQLITE_OK;
  return RealMethods(file).xShmUnmap(Real(file), deleteFlag);
}

int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** page) {
  *page = nullptr;
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  if (RealMethods(file).iVersion < 3)
    return SQLITE_OK;
  return RealMethods(file).xFetch(Real(file), offset, amount, page);
}

int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  if (RealMethods(file).iVersion < 3)
    return SQLITE_OK;
  return RealMethods(file).xUnfetch(Real(file), offset, page);
}

const sqlite3_io_methods kMethods = {
    .iVersion = 3,
    .xClose = Close,
    .xRead = Read,
    .xWrite = Write,
    .xTruncate = Truncate,
    .xSync = Sync,
    .xFileSize = FileSize,
    .xLock = Lock,
    .xUnlock = Unlock,
    .xCheckReservedLock = CheckReservedLock,
    .xFileControl = FileControl,
    .xSectorSize = SectorSize,
    .xDeviceCharacteristics = DeviceCharacteristics,
    .xShmMap = ShmMap,
    .xShmLock = ShmLock,
    .xShmBarrier = ShmBarrier,
    .xShmUnmap = ShmUnmap,
    .xFetch = Fetch,
    .xUnfetch = Unfetch,
};

int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
  File* f = Of(file);
  std::memset(f, 0, sizeof(File));
  f->real = reinterpret_cast<sqlite3_file*>(f + 1);
  f->log = (flags & SQLITE_OPEN_WAL) != 0;
  const int rc = base->xOpen(base, name, f->real, flags, outFlags);
  // SQLite closes a file whose methods are set, even after a failed open.
  f->file.pMethods = f->real->pMethods != nullptr ? &kMethods : nullptr;
  return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
  return base->xDelete(base, name, syncDir);
}

int Access(sqlite3_vfs*, const char* name, int flags, int* result) {
  return base->xAccess(base, name, flags, result);
}

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return base->xFullPathname(base, name, size, out);
}

void* DlOpen(sqlite3_vfs*, const char* name) {
  return base->xDlOpen(base, name);
}

void DlError(sqlite3_vfs*, int size, char* message) {
  base->xDlError(base, size, message);
}

void (*DlSym(sqlite3_vfs*, void* library, const char* symbol))(void) {
  return base->xDlSym(base, library, symbol);
}

void DlClose(sqlite3_vfs*, void* library) {
  base->xDlClose(base, library);
}

int Randomness(sqlite3_vfs*, int size, char* out) {
  return base->xRandomness(base, size, out);
}

int Sleep(sqlite3_vfs*, int microseconds) {
  return base->xSleep(base, microseconds);
}

int CurrentTime(sqlite3_vfs*, double* now) {
  return base->xCurrentTime(base, now);
}

int GetLastError(sqlite3_vfs*, int size, char* message) {
  return base->xGetLastError(base, size, message);
}

int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now) {
  return base->xCurrentTimeInt64(base, now);
}

int SetSystemCall(sqlite3_vfs*, const char* name, sqlite3_syscall_ptr call) {
  return base->xSetSystemCall(base, name, call);
}

sqlite3_syscall_ptr GetSystemCall(sqlite3_vfs*, const char* name) {
  return base->xGetSystemCall(base, name);
}

const char* NextSystemCall(sqlite3_vfs*, const char* name) {
  return base->xNextSystemCall(base, name);
}

sqlite3_vfs vfs = {
    .iVersion = 3,
    .szOsFile = 0,  // set by Register
    .mxPathname = 0,
    .pNext = nullptr,
    .zName = kVfsName,
    .pAppData = nullptr,
    .xOpen = Open,
    .xDelete = Delete,
    .xAccess = Access,
    .xFullPathname = FullPathname,
    .xDlOpen = DlOpen,
    .xDlError = DlError,
    .xDlSym = DlSym,
    .xDlClose = DlClose,
    .xRandomness = Randomness,
    .xSleep = Sleep,
    .xCurrentTime = CurrentTime,
    .xGetLastError = GetLastError,
    .xCurrentTimeInt64 = CurrentTimeInt64,
    .xSetSystemCall = SetSystemCall,
    .xGetSystemCall = GetSystemCall,
    .xNextSystemCall = NextSystemCall,
};

int Register() {
  base = sqlite3_vfs_find(nullptr);
  if (base == nullptr || base->iVersion < 3)
    return SQLITE_ERROR;
  vfs.szOsFile = static_cast<int>(sizeof(File)) + base->szOsFile;
  vfs.mxPathname = base->mxPathname;
  return sqlite3_vfs_register(&vfs, 0);
}

}  // namespace

const char* LogVfsName() {
  static const int registered = Register();
  if (registered != SQLITE_OK) {
    throw DatabaseError(std::string("Cannot set up the database's file layer: ") +
                        sqlite3_errstr(registered));
  }
  return kVfsName;
}

}  // namespace tervane::sqlcipher
