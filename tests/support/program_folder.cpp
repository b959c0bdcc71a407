#include "tests/support/program_folder.h"

#include <algorithm>

#include "store/database_maker.h"

namespace tervane::testing {

ProgramFolder::ProgramFolder(const std::vector<std::string>& referenceList) {
  CreateCustomerDatabase(customer());
  CreateReferenceDatabase(reference(), referenceList);
}

void CopyProgramFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
  for (std::string_view name : {kCustomerDatabaseFile, kReferenceDatabaseFile}) {
    std::filesystem::copy_file(from / name, to / name);
    // Changes committed but not yet written back into the file live in its write-ahead log.
    const std::string log = std::string(name) + "-wal";
    if (std::filesystem::exists(from / log))
      std::filesystem::copy_file(from / log, to / log);
  }
}

int OpenDescriptorsTo(const std::filesystem::path& file) {
  const auto target = std::filesystem::canonical(file);
  int count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    const auto link = std::filesystem::read_symlink(entry.path(), error);
    if (!error && link == target)
      ++count;
  }
  return count;
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tervane::testing
