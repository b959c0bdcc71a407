// Replacing ospam.mdb with a new version while a program may hold the old one.
#include <gtest/gtest.h>

#include <fstream>

#include "store/database_maker.h"
#include "store/filter_database.h"
#include "store/folder_owner.h"
#include "store/reference_version.h"
#include "store/sqlcipher_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::TempDir;

class ReferenceVersionTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateReferenceDatabase(file_, {"a@x.example", "b@x.example"}); }

  bool Lists(const std::string& address) {
    FilterDatabase db;
    db.ADOConnection2.SetConnectionString(ReferenceConnectionString(folder_.path()));
    db.ADOConnection2.Open();
    db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, address);
    return !db.ADODataSet2.IsEmpty();
  }

  TempDir folder_;
  const std::filesystem::path file_ = folder_ / "ospam.mdb";
};

TEST_F(ReferenceVersionTest, TheVersionAndCountAreReadWhileAProgramHoldsTheFile) {
  EXPECT_EQ(ReadReferenceListInfo(file_)->version, 0);
  FilterDatabase program;  // holds the file locked, as an attached program does
  program.ADOConnection2.SetConnectionString(ReferenceConnectionString(folder_.path()));
  program.ADOConnection2.Open();
  ReplaceReferenceDatabase(folder_.path(), {"c@x.example", "d@x.example", "e@x.example"}, 7);
  const std::optional<ReferenceListInfo> info = ReadReferenceListInfo(file_);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->version, 7);
  EXPECT_EQ(info->addresses, 3);
  // The program reads its old file until it reopens.
  program.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "a@x.example");
  EXPECT_FALSE(program.ADODataSet2.IsEmpty());
  program.ADOConnection2.Close();
  EXPECT_TRUE(Lists("c@x.example"));
  EXPECT_FALSE(Lists("a@x.example"));
}

TEST_F(ReferenceVersionTest, AKilledProgramsLogDoesNotReachTheNewFile) {
  // A log left beside the old file by a program that was killed while it held the file (the
  // program now only reads the file, but an older one wrote its header at every open).
  {
    const sqlcipher::DatabasePtr killed =
        sqlcipher::OpenExisting(file_, kReferenceDatabasePassword, sqlcipher::Access::kReadWrite);
    const std::filesystem::path log = file_.string() + "-wal";
    ASSERT_TRUE(std::filesystem::exists(log));
    std::filesystem::copy_file(log, folder_ / "saved-wal");
  }
  std::filesystem::copy_file(folder_ / "saved-wal", file_.string() + "-wal");
  ReplaceReferenceDatabase(folder_.path(), {"new@x.example"}, 2);
  EXPECT_FALSE(std::filesystem::exists(file_.string() + "-wal"));
  EXPECT_TRUE(Lists("new@x.example"));
}

TEST_F(ReferenceVersionTest, AFolderThatCannotBeWrittenKeepsTheOldFile) {
  const std::filesystem::path missing = folder_ / "gone";
  EXPECT_THROW(ReplaceReferenceDatabase(missing, {"new@x.example"}, 2), DatabaseError);
  EXPECT_EQ(ReadReferenceListInfo(file_)->addresses, 2);
  EXPECT_FALSE(ReadReferenceListInfo(missing / "ospam.mdb"));
}

}  // namespace
}  // namespace tervane
