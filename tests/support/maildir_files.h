#ifndef TERVANE_TESTS_SUPPORT_MAILDIR_FILES_H_
#define TERVANE_TESTS_SUPPORT_MAILDIR_FILES_H_

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace tervane::testing {

// Makes dir/{cur,new,tmp}.
void MakeMaildirFolder(const std::filesystem::path& dir);
// Writes bytes to path, replacing it.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);
// Every file under dir (relative path -> contents), to compare a folder before and after.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);
// A message from "Ann Example <ann@example.org>" with that subject.
std::string TestMessage(std::string_view subject);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_MAILDIR_FILES_H_
