#ifndef TERVANE_MAILDIR_MAILDIR_FILES_H_
#define TERVANE_MAILDIR_MAILDIR_FILES_H_

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tervane {

// The file-system steps of a Maildir store. Failures leave errno set.

struct DirectoryEntry {
  std::string name;
  mode_t type;  // the S_IFMT bits: what the entry itself is (a link is not followed)
};

// The entries of dir but "." and ".."; empty when it cannot be read.
std::vector<DirectoryEntry> ReadDirectory(const std::filesystem::path& dir);

// True iff path is a folder (following a link).
bool IsDirectory(const std::filesystem::path& path);
// True iff something has that name (a link is not followed).
bool PathExists(const std::filesystem::path& path);
// True iff a and b name the same file or folder (device and inode), whatever their paths.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// True iff dir holds the cur, new and tmp folders of a Maildir.
bool IsMaildirFolder(const std::filesystem::path& dir);

// Makes the folders of a Maildir folder at dir that are missing: cur, new and tmp, and for a
// subfolder (".Name") dir itself and its empty maildirfolder marker. False when one cannot be
// made.
bool MakeMaildirFolder(const std::filesystem::path& dir, bool subfolder);

// rename(2) that never replaces an existing destination. Returns 0 or an errno value.
int RenameNoReplace(const char* from, const char* to);

// What a file of that type is, for a person: "a named pipe", "a folder", ...
std::string DescribeFileType(mode_t type);

}  // namespace tervane

#endif  // TERVANE_MAILDIR_MAILDIR_FILES_H_
