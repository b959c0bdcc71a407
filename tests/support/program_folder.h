#ifndef TERVANE_TESTS_SUPPORT_PROGRAM_FOLDER_H_
#define TERVANE_TESTS_SUPPORT_PROGRAM_FOLDER_H_

#include <filesystem>
#include <string>
#include <vector>

#include "store/filter_database.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"

namespace tervane::testing {

// A program folder holding a fresh cust.mdb and an ospam.mdb with the given reference list.
struct ProgramFolder {
  explicit ProgramFolder(const std::vector<std::string>& referenceList = {});
  std::filesystem::path customer() const { return dir / "cust.mdb"; }
  std::filesystem::path reference() const { return dir / "ospam.mdb"; }

  TempDir dir;
};

// count made-up addresses, each a different one: "<prefix><i>@<prefix>.example".
std::vector<std::string> MadeUpAddresses(const std::string& prefix, int count);

// Puts addresses on list (QueryText::kWhiteTable or kBlackTable) of folder's cust.mdb, all in one
// transaction.
void AddToList(const ProgramFolder& folder, QueryText list,
               const std::vector<std::string>& addresses);

// The pages connection has read from its file so far: those its page cache did not hold.
int PagesRead(Connection& connection);

// Copies cust.mdb and ospam.mdb (with their write-ahead logs) from one folder into another, as
// they are on disk at this moment.
void CopyProgramFolder(const std::filesystem::path& from, const std::filesystem::path& to);

// How many file descriptors of this process refer to file.
int OpenDescriptorsTo(const std::filesystem::path& file);

// The names in folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_PROGRAM_FOLDER_H_
