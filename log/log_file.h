#ifndef TERVANE_LOG_LOG_FILE_H_
#define TERVANE_LOG_LOG_FILE_H_

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tervane {

// The program's log file: $XDG_STATE_HOME/tervane-antispam/decisions.log (default
// ~/.local/state). Throws NoHomeError when neither variable is set. The log keeps the lines
// before the last rotation in the same name with ".1" appended.
std::filesystem::path DefaultLogFile();

// The rotated file of file: file with ".1" appended.
std::filesystem::path RotatedLogFile(const std::filesystem::path& file);

// The last count lines of the log in file (its rotated file first, then file), oldest first,
// without line breaks; fewer when the log holds fewer, none when neither file can be read.
std::vector<std::string> LastLogLines(const std::filesystem::path& file, size_t count);

}  // namespace tervane

#endif  // TERVANE_LOG_LOG_FILE_H_
