// The database-file maker as the build and a user run it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "store/filter_database.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::FileNames;
using testing::ReadBytes;

// Runs tervane-mkdb with the given argument text; returns its exit code.
int RunMaker(const std::string& arguments) {
  const std::string command =
      std::string("'") + TERVANE_MKDB_PATH + "' " + arguments + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ToolCase {
  const char* name;
  const char* arguments;  // {dir}: the target folder, {list}: a reference list of two addresses
  bool customerExists;    // cust.mdb holds "keep" beforehand
  int exitCode;
  std::vector<std::string> filesAfter;
};

void PrintTo(const ToolCase& c, std::ostream* os) {
  *os << c.name;
}

const ToolCase kToolCases[] = {
    {"CreatesBoth", "{dir} --reference-list {list}", false, 0, {"cust.mdb", "list", "ospam.mdb"}},
    {"NoListGivesAnEmptyReferenceList", "{dir}", false, 0, {"cust.mdb", "list", "ospam.mdb"}},
    {"RefusesAnExistingFile", "{dir} --reference-list {list}", true, 1, {"cust.mdb", "list"}},
    {"KeepExistingMakesOnlyTheMissingFile",
     "{dir} --reference-list {list} --keep-existing",
     true,
     0,
     {"cust.mdb", "list", "ospam.mdb"}},
    {"UnreadableList", "{dir} --reference-list {dir}/nosuch", false, 1, {"list"}},
    {"NoFolder", "", false, 2, {"list"}},
    {"ListOptionWithoutFile", "{dir} --reference-list", false, 2, {"list"}},
    {"UnknownOption", "{dir} --force", false, 2, {"list"}},
    {"TwoFolders", "{dir} {dir}", false, 2, {"list"}},
};

class MakerToolTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(MakerToolTest, ExitCodeAndFiles) {
  const ToolCase& c = GetParam();
  testing::TempDir dir;
  std::ofstream(dir / "list") << "# sample\nspam@junk.example\n\nmore@junk.example\n";
  if (c.customerExists)
    std::ofstream(dir / "cust.mdb") << "keep";

  std::string arguments = c.arguments;
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"{list}", (dir / "list").string()},
        {"{dir}", dir.path().string()}}) {
    for (size_t at; (at = arguments.find(key)) != std::string::npos;) {
      arguments.replace(at, key.size(), value);
    }
  }
  EXPECT_EQ(RunMaker(arguments), c.exitCode);
  EXPECT_EQ(FileNames(dir.path()), c.filesAfter);
  if (c.customerExists) {
    EXPECT_EQ(ReadBytes(dir / "cust.mdb"), "keep");
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, MakerToolTest, ::testing::ValuesIn(kToolCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MakerTool, ReferenceListReachesTheLookups) {
  testing::TempDir dir;
  std::ofstream(dir / "list") << "# sample\nspam@junk.example\n\n  More@Junk.Example\r\n";
  ASSERT_EQ(RunMaker(dir.path().string() + "/bin --reference-list " + (dir / "list").string()), 0);
  FilterDatabase db;
  EXPECT_EQ(OpenFilterDatabase(db, dir / "bin"), 2);
  for (const char* address : {"spam@junk.example", "more@junk.example"}) {
    db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, address);
    EXPECT_FALSE(db.ADODataSet2.IsEmpty()) << address;
  }
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "# sample");
  EXPECT_TRUE(db.ADODataSet2.IsEmpty());
}

}  // namespace
}  // namespace tervane
