#ifndef TERVANE_STORE_LOG_VFS_H_
#define TERVANE_STORE_LOG_VFS_H_

// Internal to store/: a file-system layer for SQLite that writes each commit into the write-ahead
// log with one system call.
//
// SQLite writes every log frame as two writes, the 24-byte frame header and then the page, so a
// post that changes a table and its index costs four or five writes. This layer holds the writes
// of one commit in memory while they follow one another in the log, and writes them at once when
// the page of the commit's last frame (the one whose header carries the database size) arrives,
// before SQLite returns from the commit: a committed post is in the file exactly when it was
// before, and a commit cut short leaves no complete commit frame, which SQLite ignores anyway.
// Any other use of the log file (read, sync, truncate, size, close, a write elsewhere) writes
// what is held first, and no more than the layer underneath takes in one call (128 KiB) is ever
// held. Every other file is passed through unchanged.

namespace tervane::sqlcipher {

// The name under which the layer is registered with SQLite (on first use; never the default).
// Throws DatabaseError when it cannot be registered.
const char* LogVfsName();

}  // namespace tervane::sqlcipher

#endif  // TERVANE_STORE_LOG_VFS_H_
