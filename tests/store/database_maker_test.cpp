#include "store/database_maker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "store/database_error.h"
#include "store/filter_database.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::FileNames;
using testing::ReadBytes;

TEST(DatabaseMaker, CustomerFileHoldsEmptyListsAndTheMiscRow) {
  testing::TempDir dir;
  CreateCustomerDatabase(dir / "cust.mdb");
  CreateReferenceDatabase(dir / "ospam.mdb", {});
  EXPECT_EQ(FileNames(dir.path()), (std::vector<std::string>{"cust.mdb", "ospam.mdb"}));

  FilterDatabase db;
  EXPECT_EQ(OpenFilterDatabase(db, dir.path()), 2);
  RecordCursor& cursor = db.ADODataSet1;
  cursor.Query(QueryText::kMisc);
  EXPECT_EQ(cursor.RecordCount(), 1);
  EXPECT_EQ(cursor.FieldAsInteger("id"), 1);
  EXPECT_EQ(cursor.FieldAsInteger("spamnumber"), 0);
  EXPECT_EQ(cursor.FieldAsInteger("number"), 0);
  EXPECT_TRUE(cursor.FieldIsNull("date"));
  cursor.Query(QueryText::kWhiteTable);
  EXPECT_TRUE(cursor.IsEmpty());
  cursor.Query(QueryText::kBlackTable);
  EXPECT_TRUE(cursor.IsEmpty());
}

TEST(DatabaseMaker, ReferenceFileHoldsEachAddressOnce) {
  testing::TempDir dir;
  CreateCustomerDatabase(dir / "cust.mdb");
  CreateReferenceDatabase(dir / "ospam.mdb", {"spam@junk.example", "SPAM@Junk.Example", "",
                                              "more@junk.example", "spam@junk.example"});
  FilterDatabase db;
  OpenFilterDatabase(db, dir.path());
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "spam@junk.example");
  EXPECT_EQ(db.ADODataSet2.RecordCount(), 1);
  EXPECT_EQ(db.ADODataSet2.FieldAsString("mail"), "spam@junk.example") << "the first spelling";
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "more@junk.example");
  EXPECT_EQ(db.ADODataSet2.RecordCount(), 1);
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "");
  EXPECT_TRUE(db.ADODataSet2.IsEmpty());
}

// A list whose one transaction spans many megabytes is written whole.
TEST(DatabaseMaker, ALargeReferenceListIsWrittenWhole) {
  testing::TempDir dir;
  CreateCustomerDatabase(dir / "cust.mdb");
  std::vector<std::string> addresses;
  for (int i = 0; i < 30'000; ++i)
    addresses.push_back("sender" + std::to_string(i) + "@spam.example");
  CreateReferenceDatabase(dir / "ospam.mdb", addresses);
  FilterDatabase db;
  OpenFilterDatabase(db, dir.path());
  for (const char* address :
       {"sender0@spam.example", "sender14999@spam.example", "sender29999@spam.example"}) {
    db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, address);
    EXPECT_FALSE(db.ADODataSet2.IsEmpty()) << address;
  }
}

TEST(DatabaseMaker, RefusesToOverwriteAFile) {
  testing::TempDir dir;
  std::ofstream(dir / "cust.mdb") << "keep me";
  std::ofstream(dir / "ospam.mdb") << "keep me too";
  EXPECT_THROW(CreateCustomerDatabase(dir / "cust.mdb"), DatabaseError);
  EXPECT_THROW(CreateReferenceDatabase(dir / "ospam.mdb", {"a@b.example"}), DatabaseError);
  EXPECT_EQ(ReadBytes(dir / "cust.mdb"), "keep me");
  EXPECT_EQ(ReadBytes(dir / "ospam.mdb"), "keep me too");
  EXPECT_EQ(FileNames(dir.path()), (std::vector<std::string>{"cust.mdb", "ospam.mdb"}));
}

TEST(DatabaseMaker, MissingFolderFailsWithTheFileName) {
  testing::TempDir dir;
  try {
    CreateCustomerDatabase(dir / "nosuch" / "cust.mdb");
    FAIL() << "created";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("nosuch/cust.mdb"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

struct ListCase {
  const char* name;
  const char* text;
  std::vector<std::string> addresses;
};

void PrintTo(const ListCase& c, std::ostream* os) {
  *os << c.name;
}

const ListCase kListCases[] = {
    {"Empty", "", {}},
    {"OnePerLine", "a@x.example\nb@x.example\n", {"a@x.example", "b@x.example"}},
    {"NoFinalLineBreak", "a@x.example", {"a@x.example"}},
    {"CommentsAndBlankLines", "# list\n\n  \n#a@x.example\nb@x.example\n", {"b@x.example"}},
    {"BlanksAroundAndCrLf", "  a@x.example \t\r\nb@x.example\r\n", {"a@x.example", "b@x.example"}},
    {"HashInsideAnAddressStays", "a#1@x.example\n", {"a#1@x.example"}},
    {"DuplicatesKept", "a@x.example\na@x.example\n", {"a@x.example", "a@x.example"}},
};

class AddressListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(AddressListTest, Parses) {
  std::istringstream in(GetParam().text);
  EXPECT_EQ(ParseAddressList(in), GetParam().addresses);
}

INSTANTIATE_TEST_SUITE_P(Lists, AddressListTest, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tervane
