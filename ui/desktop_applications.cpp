#include "ui/desktop_applications.h"

#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>

#include "ui/desktop_file.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Paths(const QStringList& folders) {
  std::vector<fs::path> paths;
  for (const QString& folder : folders)
    paths.push_back(folder.toStdString());
  return paths;
}

DesktopFileText ReadDesktopFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  return ParseDesktopFile(text);
}

// True iff list (entries separated by ';') holds one of mimeTypes.
bool ListNames(std::string_view list, const std::vector<std::string>& mimeTypes) {
  while (!list.empty()) {
    const size_t end = std::min(list.find(';'), list.size());
    if (std::find(mimeTypes.begin(), mimeTypes.end(), list.substr(0, end)) != mimeTypes.end())
      return true;
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return false;
}

// True iff an association file (mimeapps.list, mimeinfo.cache) gives one of mimeTypes an
// application in one of groups.
bool AssociationFileNames(const fs::path& file, const std::vector<std::string_view>& groups,
                          const std::vector<std::string>& mimeTypes) {
  for (const DesktopFileKey& key : ReadDesktopFile(file).keys) {
    if (std::find(groups.begin(), groups.end(), key.group) != groups.end() &&
        std::find(mimeTypes.begin(), mimeTypes.end(), key.key) != mimeTypes.end() &&
        !key.value.empty())
      return true;
  }
  return false;
}

bool DesktopEntryOpens(const fs::path& file, const std::vector<std::string>& mimeTypes) {
  bool opens = false;
  for (const DesktopFileKey& key : ReadDesktopFile(file).keys) {
    if (key.group != "Desktop Entry")
      continue;
    if (key.key == "Hidden" && key.value == "true")
      return false;
    if (key.key == "MimeType")
      opens = ListNames(key.value, mimeTypes);
  }
  return opens;
}

}  // namespace

DesktopApplicationFolders SessionApplicationFolders() {
  return {Paths(QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)),
          Paths(QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))};
}

bool HasApplicationFor(const std::vector<std::string>& mimeTypes,
                       const DesktopApplicationFolders& folders) {
  const std::vector<std::string_view> listGroups = {"Default Applications", "Added Associations"};
  for (const fs::path& folder : folders.config) {
    if (AssociationFileNames(folder / "mimeapps.list", listGroups, mimeTypes))
      return true;
  }
  std::error_code error;
  for (const fs::path& folder : folders.applications) {
    if (AssociationFileNames(folder / "mimeapps.list", listGroups, mimeTypes) ||
        AssociationFileNames(folder / "mimeinfo.cache", {"MIME Cache"}, mimeTypes))
      return true;
    // Desktop entries may sit in subfolders; a cache may be missing or stale.
    for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
      if (entry->path().extension() == ".desktop" && DesktopEntryOpens(entry->path(), mimeTypes))
        return true;
    }
  }
  return false;
}

}  // namespace tervane
