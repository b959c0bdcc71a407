#include "store/filter_database.h"

#include <gtest/gtest.h>

#include <string>

#include "store/database_error.h"
#include "tests/store/store_test_support.h"

namespace tervane {
namespace {

using testing::ProgramFolder;

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
