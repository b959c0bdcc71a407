#ifndef TERVANE_UI_DESKTOP_APPLICATIONS_H_
#define TERVANE_UI_DESKTOP_APPLICATIONS_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tervane {

// Where the desktop keeps what it knows of its applications (the XDG desktop menu and MIME
// application specifications).
struct DesktopApplicationFolders {
  // Folders of desktop entries (and their mimeinfo.cache, mimeapps.list):
  // $XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS.
  std::vector<std::filesystem::path> applications;
  // Folders of mimeapps.list: $XDG_CONFIG_HOME, then each of $XDG_CONFIG_DIRS.
  std::vector<std::filesystem::path> config;
};

// The folders of this user's session, from the environment (with the specifications'
// defaults).
DesktopApplicationFolders SessionApplicationFolders();

// True iff the desktop has an application that opens files of one of mimeTypes: a desktop entry
// (not deleted with Hidden=true) that lists it in MimeType, a mimeinfo.cache that names one, or
// a mimeapps.list that makes one the default or adds one. Unreadable files and folders count as
// naming nothing. Never throws.
bool HasApplicationFor(const std::vector<std::string>& mimeTypes,
                       const DesktopApplicationFolders& folders);

}  // namespace tervane

#endif  // TERVANE_UI_DESKTOP_APPLICATIONS_H_
