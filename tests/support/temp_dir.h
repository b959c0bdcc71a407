#ifndef TERVANE_TESTS_SUPPORT_TEMP_DIR_H_
#define TERVANE_TESTS_SUPPORT_TEMP_DIR_H_

#include <filesystem>

namespace tervane::testing {

// A fresh, empty folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name.
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_TEMP_DIR_H_
