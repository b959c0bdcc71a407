#ifndef TERVANE_STORE_DATA_FOLDER_H_
#define TERVANE_STORE_DATA_FOLDER_H_

#include <filesystem>

namespace tervane {

// Where the database files of an installed program live. They stay beside the program wherever
// this user can write the program folder (a per-user install, a build tree). Where the user
// cannot (a system-wide install), the program folder keeps only the shipped files and the user's
// own copies live in $XDG_DATA_HOME/tervane-antispam/ (default ~/.local/share/tervane-antispam/).

// The folder that holds the user's database files for the program in programFolder. Makes and
// changes nothing. Throws DatabaseError when the user folder is needed and neither an absolute
// XDG_DATA_HOME nor HOME is set.
std::filesystem::path DatabaseFolderFor(const std::filesystem::path& programFolder);

// The same folder, made ready: a user folder is made (mode 0700) when missing and gets a copy of
// each shipped database file of programFolder that it lacks. A copy appears whole or not at all,
// and a file already there is never replaced. Throws DatabaseError naming the folder and the
// reason.
std::filesystem::path PrepareDatabaseFolder(const std::filesystem::path& programFolder);

}  // namespace tervane

#endif  // TERVANE_STORE_DATA_FOLDER_H_
