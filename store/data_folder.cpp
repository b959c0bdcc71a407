#include "store/data_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "base/xdg_dirs.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/temp_file.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

fs::path UserListsFolder() {
  try {
    return ProgramHomeFolder(XdgHome::kData);
  } catch (const NoHomeError& error) {
    throw DatabaseError(
        std::string("Cannot find a folder for the lists: the program folder is read-only and ") +
        error.what());
  }
}

// Copies the shipped file into folder under its own name unless one is there already.
void SeedFile(const fs::path& shipped, const fs::path& folder) {
  const fs::path target = folder / shipped.filename();
  std::error_code error;
  if (fs::exists(fs::symlink_status(target, error)) || !fs::exists(shipped, error)) {
    return;
  }
  TempFile copy(folder, "~SD");
  if (!fs::copy_file(shipped, copy.path(), fs::copy_options::overwrite_existing, error)) {
    throw DatabaseError("Cannot copy \"" + shipped.string() + "\" to \"" + folder.string() +
                        "\": " + error.message());
  }
  copy.SetMode(fs::perms::owner_read | fs::perms::owner_write);
  copy.Sync();
  try {
    copy.PublishNew(target);
  } catch (const DatabaseError&) {
    if (!fs::exists(fs::symlink_status(target, error))) {
      throw;
    }
    // Another start seeded the same file meanwhile: that copy is as good as ours.
  }
}

}  // namespace

fs::path DatabaseFolderFor(const fs::path& programFolder) {
  if (::access(programFolder.c_str(), W_OK) == 0) {
    return programFolder;
  }
  return UserListsFolder();
}

fs::path PrepareDatabaseFolder(const fs::path& programFolder) {
  const fs::path folder = DatabaseFolderFor(programFolder);
  if (folder == programFolder) {
    return folder;
  }
  std::error_code error;
  fs::create_directories(folder.parent_path(), error);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw DatabaseError("Cannot make the folder for the lists \"" + folder.string() +
                        "\": " + std::strerror(errno));
  }
  for (const std::string_view name : {kCustomerDatabaseFile, kReferenceDatabaseFile}) {
    SeedFile(programFolder / name, folder);
  }
  return folder;
}

}  // namespace tervane
