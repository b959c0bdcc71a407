#include "store/lookup_warmer.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using namespace std::chrono_literals;
using testing::PagesRead;

// Every list holds 5,000 addresses: several steps of the in-order read.
struct ListedFolder : testing::ProgramFolder {
  ListedFolder() : ProgramFolder(testing::MadeUpAddresses("reference", 5000)) {
    AddToList(*this, QueryText::kWhiteTable, testing::MadeUpAddresses("white", 5000));
    AddToList(*this, QueryText::kBlackTable, testing::MadeUpAddresses("black", 5000));
  }
};

// Warms to the end in slices of one step each; returns the pages read from ospam.mdb.
int WarmWhole(FilterDatabase& db, int64_t cacheBytes = LookupWarmer::kConnectionCacheBytes) {
  LookupWarmer warmer(db, cacheBytes);
  for (warmer.Restart(); warmer.WarmFor(0us);) {
  }
  return PagesRead(db.ADOConnection2);
}

// Afterwards no lookup on any list, of a listed address or another, reads a page; the files are
// byte for byte as they were. An index larger than the cache is read only in part.
TEST(LookupWarmer, AfterWarmingNoLookupReadsAPageAndNothingIsWritten) {
  const ListedFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  auto files = [&] {
    return testing::ReadBytes(folder.customer()) + testing::ReadBytes(folder.dir / "cust.mdb-wal") +
           testing::ReadBytes(folder.reference());
  };
  const std::string opened = files();
  const int whole = WarmWhole(db);
  const int read = PagesRead(db.ADOConnection1) + whole;
  for (const auto& [lookup, cursor, list] :
       {std::tuple(QueryText::kWhiteTableLookup, &db.ADODataSet1, "white"),
        std::tuple(QueryText::kBlackTableLookup, &db.ADODataSet1, "black"),
        std::tuple(QueryText::kOfficialSpamLookup, &db.ADODataSet2, "reference")}) {
    for (const std::string& address : testing::MadeUpAddresses(list, 5000)) {
      cursor->Query(lookup, address);
      ASSERT_FALSE(cursor->IsEmpty()) << address;
      cursor->Query(lookup, "not-" + address);
    }
  }
  EXPECT_EQ(PagesRead(db.ADOConnection1) + PagesRead(db.ADOConnection2), read);
  EXPECT_TRUE(files() == opened);

  CloseFilterDatabase(db);
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_LT(WarmWhole(db, 64 * 1024), whole / 2);
}

// A database closed between two slices is left alone, with no handle of its files kept open.
TEST(LookupWarmer, ADatabaseClosedBetweenSlicesIsLeftAlone) {
  const testing::ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  LookupWarmer warmer(db);
  warmer.Restart();
  ASSERT_TRUE(warmer.WarmFor(0us));
  CloseFilterDatabase(db);
  EXPECT_FALSE(warmer.WarmFor(1s));
  EXPECT_EQ(testing::OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_EQ(testing::OpenDescriptorsTo(folder.reference()), 0);
}

}  // namespace
}  // namespace tervane
