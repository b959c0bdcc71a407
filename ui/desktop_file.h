#ifndef TERVANE_UI_DESKTOP_FILE_H_
#define TERVANE_UI_DESKTOP_FILE_H_

#include <string>
#include <string_view>
#include <vector>

namespace tervane {

// A file in the freedesktop.org desktop entry format (desktop entries, mimeapps.list,
// mimeinfo.cache): groups "[Name]" of "key=value" lines, '#' comments and blank lines.

// One key line. Keys before the first group belong to the group "".
struct DesktopFileKey {
  std::string group;
  std::string key;    // blanks around it removed
  std::string value;  // blanks around it removed, escapes left as written
};

struct DesktopFileText {
  std::vector<DesktopFileKey> keys;  // in the order of the file
  std::vector<std::string> groups;   // the group names, in the order of the file
  // False when a line is neither a comment, a group nor a key, or when the text ends without a
  // line break: it was cut short, and its last line is left out.
  bool wellFormed = true;
};

// Reads text (CRLF line breaks allowed). Never throws.
DesktopFileText ParseDesktopFile(std::string_view text);

}  // namespace tervane

#endif  // TERVANE_UI_DESKTOP_FILE_H_
