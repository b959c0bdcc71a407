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
// The Unix layer writes at most this much in one call (it masks the length with 0x1ffff).
constexpr sqlite3_int64 kMaxHeldBytes = 0x1ffff;
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
  if (f->used > 0 && (offset != f->offset + f->used || f->used + amount > kMaxHeldBytes)) {
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
  if (page && f->commitFrame)
    return WriteHeld(f);
  return SQLITE_OK;
}

int Close(sqlite3_file* file) {
  File* f = Of(file);
  const int held = WriteHeld(f);
  const int rc = RealMethods(file).xClose(f->real);
  sqlite3_free(f->held);
  f->held = nullptr;
  return held != SQLITE_OK ? held : rc;
}

// Forwards a method to the file underneath.
template <auto kMethod, typename... Args>
auto Forward(sqlite3_file* file, Args... args) {
  return (RealMethods(file).*kMethod)(Real(file), args...);
}

// Forwards a method to the file underneath after writing what is held, so that whatever else
// uses the log sees it as SQLite wrote it.
template <auto kMethod, typename... Args>
int AfterHeld(sqlite3_file* file, Args... args) {
  if (const int rc = WriteHeld(Of(file)))
    return rc;
  return (RealMethods(file).*kMethod)(Real(file), args...);
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
    .xRead = AfterHeld<&sqlite3_io_methods::xRead>,
    .xWrite = Write,
    .xTruncate = AfterHeld<&sqlite3_io_methods::xTruncate>,
    .xSync = AfterHeld<&sqlite3_io_methods::xSync>,
    .xFileSize = AfterHeld<&sqlite3_io_methods::xFileSize>,
    .xLock = Forward<&sqlite3_io_methods::xLock>,
    .xUnlock = AfterHeld<&sqlite3_io_methods::xUnlock>,
    .xCheckReservedLock = Forward<&sqlite3_io_methods::xCheckReservedLock>,
    .xFileControl = AfterHeld<&sqlite3_io_methods::xFileControl>,
    .xSectorSize = Forward<&sqlite3_io_methods::xSectorSize>,
    .xDeviceCharacteristics = Forward<&sqlite3_io_methods::xDeviceCharacteristics>,
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

// Forwards a method of the file-system layer to the one underneath.
template <auto kMethod, typename... Args>
auto Underneath(sqlite3_vfs*, Args... args) {
  return (base->*kMethod)(base, args...);
}

sqlite3_vfs vfs = {
    .iVersion = 3,
    .szOsFile = 0,  // set by Register
    .mxPathname = 0,
    .pNext = nullptr,
    .zName = kVfsName,
    .pAppData = nullptr,
    .xOpen = Open,
    .xDelete = Underneath<&sqlite3_vfs::xDelete>,
    .xAccess = Underneath<&sqlite3_vfs::xAccess>,
    .xFullPathname = Underneath<&sqlite3_vfs::xFullPathname>,
    .xDlOpen = Underneath<&sqlite3_vfs::xDlOpen>,
    .xDlError = Underneath<&sqlite3_vfs::xDlError>,
    .xDlSym = Underneath<&sqlite3_vfs::xDlSym>,
    .xDlClose = Underneath<&sqlite3_vfs::xDlClose>,
    .xRandomness = Underneath<&sqlite3_vfs::xRandomness>,
    .xSleep = Underneath<&sqlite3_vfs::xSleep>,
    .xCurrentTime = Underneath<&sqlite3_vfs::xCurrentTime>,
    .xGetLastError = Underneath<&sqlite3_vfs::xGetLastError>,
    .xCurrentTimeInt64 = Underneath<&sqlite3_vfs::xCurrentTimeInt64>,
    .xSetSystemCall = Underneath<&sqlite3_vfs::xSetSystemCall>,
    .xGetSystemCall = Underneath<&sqlite3_vfs::xGetSystemCall>,
    .xNextSystemCall = Underneath<&sqlite3_vfs::xNextSystemCall>,
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
