#include "store/filter_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/database_maker.h"
#include "tests/support/child_process.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::FileNames;
using testing::ProgramFolder;
using testing::ReadBytes;

TEST(FilterDatabase, ConnectionStringsNameTheFilesAndPasswords) {
  EXPECT_EQ(CustomerConnectionString("/opt/tervane/"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/tervane/cust.mdb;"
            "Persist Security Info=False;Jet OLEDB:Database Password=lorimand");
  EXPECT_EQ(ReferenceConnectionString("/opt/tervane"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/tervane/ospam.mdb;"
            "Persist Security Info=False;Jet OLEDB:Database Password=kd503817");
}

TEST(FilterDatabase, OpenReturnsTheStoredLevelUnchanged) {
  ProgramFolder folder;
  FilterDatabase db;
  EXPECT_EQ(OpenFilterDatabase(db, folder.dir.path()), 2) << "a new file starts at Medium";
  for (int32_t level : {0, 1, 3, 4, -1}) {
    db.ADODataSet1.Query(QueryText::kMiscWhereId1);
    db.ADODataSet1.Edit();
    db.ADODataSet1.SetFieldAsInteger("secureclass", level);
    db.ADODataSet1.Post();
    CloseFilterDatabase(db);
    EXPECT_EQ(OpenFilterDatabase(db, folder.dir.path()), level);
    EXPECT_TRUE(db.ADOConnection1.Connected());
    EXPECT_TRUE(db.ADOConnection2.Connected());
  }
}

TEST(FilterDatabase, FailureOnTheCustomerFileLeavesTheReferenceConnection) {
  ProgramFolder folder;
  testing::TempDir empty;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  const std::string referenceString = db.ADOConnection2.ConnectionString();

  EXPECT_THROW(OpenFilterDatabase(db, empty.path()), DatabaseError);
  EXPECT_FALSE(db.ADOConnection1.Connected());
  EXPECT_TRUE(db.ADOConnection2.Connected());
  EXPECT_EQ(db.ADOConnection2.ConnectionString(), referenceString);
  EXPECT_TRUE(std::filesystem::is_empty(empty.path())) << "nothing is created";
}

TEST(FilterDatabase, MissingReferenceFileFailsTheOpen) {
  ProgramFolder folder;
  std::filesystem::remove(folder.reference());
  FilterDatabase db;
  try {
    OpenFilterDatabase(db, folder.dir.path());
    FAIL() << "opened";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("ospam.mdb"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(db.ADOConnection1.Connected());
  EXPECT_FALSE(db.ADOConnection2.Connected());
  EXPECT_FALSE(std::filesystem::exists(folder.reference()));
}

}  // namespace
}  // namespace tervane

namespace tervane {
namespace {

// "present" or "absent" for each address, looked up in the reference list.
std::string LookUp(RecordCursor& cursor, const std::vector<std::string>& addresses) {
  std::string result;
  for (const auto& address : addresses) {
    cursor.Query(QueryText::kOfficialSpamLookup, address);
    result += cursor.IsEmpty() ? "absent " : "present ";
  }
  return result;
}

TEST(FilterDatabase, TheReferenceFileIsOnlyRead) {
  ProgramFolder folder({"spam@junk.example", "other@junk.example"});
  const std::string bytes = ReadBytes(folder.reference());
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(LookUp(db.ADODataSet2, {"SPAM@junk.example", "ham@home.example"}), "present absent ");
  db.ADODataSet2.Append();
  db.ADODataSet2.SetFieldAsString("mail", "new@junk.example");
  EXPECT_THROW(db.ADODataSet2.Post(), DatabaseError);
  EXPECT_EQ(FileNames(folder.dir.path()),
            (std::vector<std::string>{"cust.mdb", "cust.mdb-wal", "ospam.mdb"}))
      << "nothing beside ospam.mdb";
  CloseFilterDatabase(db);
  EXPECT_EQ(ReadBytes(folder.reference()), bytes);
}

// The reference file is opened through a URI; characters that a URI gives a meaning stay plain.
TEST(FilterDatabase, AFolderNameWithUriCharactersOpens) {
  testing::TempDir dir;
  const auto folder = dir / "100%20 sure?yes#1";
  std::filesystem::create_directory(folder);
  CreateCustomerDatabase(folder / "cust.mdb");
  CreateReferenceDatabase(folder / "ospam.mdb", {"spam@junk.example"});
  FilterDatabase db;
  OpenFilterDatabase(db, folder);
  EXPECT_EQ(LookUp(db.ADODataSet2, {"spam@junk.example"}), "present ");
}

// A reference list installed read-only, in a folder the user cannot write, serves lookups.
TEST(FilterDatabase, AReadOnlyReferenceFileInAReadOnlyFolderIsRead) {
  if (!testing::CanTestPermissions())
    GTEST_SKIP() << "running as root without a user nobody to check permissions with";
  ProgramFolder folder({"spam@junk.example"});
  testing::TempDir installed;
  const auto reference = installed / "ospam.mdb";
  std::filesystem::copy_file(folder.reference(), reference);
  const std::string bytes = ReadBytes(reference);
  testing::GiveToUnprivilegedUser(folder.dir.path());
  ::chmod(reference.c_str(), 0444);
  ::chmod(installed.path().c_str(), 0555);

  const std::string found = testing::RunUnprivileged([&] {
    FilterDatabase db;
    db.ADOConnection1.SetConnectionString(CustomerConnectionString(folder.dir.path()));
    db.ADOConnection1.Open();
    db.ADOConnection2.SetConnectionString(ReferenceConnectionString(installed.path()));
    db.ADOConnection2.Open();
    std::string result = LookUp(db.ADODataSet2, {"spam@junk.example", "ham@home.example"});
    CloseFilterDatabase(db);
    return result;
  });
  EXPECT_EQ(found, "present absent ");
  EXPECT_EQ(ReadBytes(reference), bytes);
  EXPECT_EQ(FileNames(installed.path()), std::vector<std::string>{"ospam.mdb"});
}

}  // namespace
}  // namespace tervane
