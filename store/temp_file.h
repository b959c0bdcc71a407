#ifndef TERVANE_STORE_TEMP_FILE_H_
#define TERVANE_STORE_TEMP_FILE_H_

// Internal to store/: a file written under a temporary name and then put in place in one step,
// so the target is always either absent (or its old self) or the complete new file.

#include <filesystem>
#include <string_view>

namespace tervane {

class TempFile {
 public:
  // Creates a new, empty file folder/<prefix>XXXXXX (unique, mode 0600).
  // Throws DatabaseError naming the folder and the reason.
  TempFile(const std::filesystem::path& folder, std::string_view prefix);
  // Removes the file (and any journal or log SQLite may have left beside it) unless it was put in
  // place.
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Gives the file the permission bits of mode.
  void SetMode(std::filesystem::perms mode) const;
  // Flushes the file's data to disk.
  void Sync() const;
  // Renames the file over target (which may exist) and flushes the folder entry.
  void ReplaceTarget(const std::filesystem::path& target);
  // Puts the file in place as target, failing if target exists by then; flushes the folder entry.
  void PublishNew(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  bool placed_ = false;
};

}  // namespace tervane

#endif  // TERVANE_STORE_TEMP_FILE_H_
