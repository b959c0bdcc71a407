#include "store/temp_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::FileNames;
using testing::ReadBytes;

TEST(TempFile, LeftUnplacedItIsRemovedWithItsJournal) {
  testing::TempDir dir;
  {
    TempFile temp(dir.path(), "~CP");
    EXPECT_EQ(temp.path().parent_path(), dir.path());
    EXPECT_EQ(temp.path().filename().string().rfind("~CP", 0), 0u);
    std::ofstream(temp.path()) << "half written";
    std::ofstream(temp.path().string() + "-journal") << "journal";
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TempFile, ReplaceTargetPutsTheNewContentInPlace) {
  testing::TempDir dir;
  std::ofstream(dir / "cust.mdb") << "old";
  {
    TempFile temp(dir.path(), "~CP");
    std::ofstream(temp.path()) << "new";
    temp.Sync();
    temp.ReplaceTarget(dir / "cust.mdb");
  }
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"cust.mdb"});
  EXPECT_EQ(ReadBytes(dir / "cust.mdb"), "new");
}

TEST(TempFile, PublishNewNeverReplacesAFile) {
  testing::TempDir dir;
  {
    TempFile temp(dir.path(), "~MK");
    std::ofstream(temp.path()) << "made";
    std::ofstream(dir / "ospam.mdb") << "appeared meanwhile";
    EXPECT_THROW(temp.PublishNew(dir / "ospam.mdb"), DatabaseError);
  }
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"ospam.mdb"});
  EXPECT_EQ(ReadBytes(dir / "ospam.mdb"), "appeared meanwhile");

  std::filesystem::remove(dir / "ospam.mdb");
  TempFile temp(dir.path(), "~MK");
  temp.PublishNew(dir / "ospam.mdb");
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"ospam.mdb"});
}

TEST(TempFile, MissingFolderFailsWithItsName) {
  testing::TempDir dir;
  try {
    TempFile temp(dir / "nosuch", "~CP");
    FAIL() << "created";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("nosuch"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace tervane
