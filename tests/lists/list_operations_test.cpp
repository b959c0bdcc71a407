#include "lists/list_operations.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/list_rows.h"
#include "lists/list_file.h"
#include "store/filter_database.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

const TDateTime kToday = EncodeDateTime(2026, 12, 9);

class ListOperationsTest : public ::testing::Test {
 protected:
  ListOperationsTest() { OpenFilterDatabase(db, folder.dir.path()); }

  void Append(const std::string& mail, std::optional<std::string_view> name = std::nullopt) {
    db.ADODataSet1.Query(QueryText::kWhiteTable);
    AddListRow(db.ADODataSet1, QueryText::kWhiteTableLookup, mail, name, kToday,
               ListWriter::kSettingsWindow);
  }

  // The white list's rows as "mail|name|date".
  std::vector<std::string> WhiteRows() {
    std::vector<std::string> rows;
    ForEachListEntry(db, ListKind::kWhite, "", [&rows](const ListEntry& entry) {
      rows.push_back(entry.mail + "|" + entry.name + "|" + DateText(entry.date));
    });
    return rows;
  }

  testing::ProgramFolder folder{{"a@spam.example", "b@spam.example"}};
  FilterDatabase db;
};

TEST_F(ListOperationsTest, ShowKeepsRowsWhoseAddressOrNameMatchesIgnoringCase) {
  Append("ann@x.org", "Ann");
  Append("bob@y.org", "Zed ANNA");
  Append("carl@z.org");
  std::vector<std::string> seen;
  const auto collect = [&seen](const ListEntry& entry) { seen.push_back(entry.mail); };

  EXPECT_EQ(ForEachListEntry(db, ListKind::kWhite, "aNn", collect), 2u);
  EXPECT_EQ(seen, (std::vector<std::string>{"ann@x.org", "bob@y.org"}));
  seen.clear();
  EXPECT_EQ(ForEachListEntry(db, ListKind::kBlack, "", collect), 0u);
  EXPECT_EQ(ForEachListEntry(db, ListKind::kReference, "", collect), 2u);
  EXPECT_EQ(seen, (std::vector<std::string>{"a@spam.example", "b@spam.example"}));
}

struct AddCase {
  const char* name;
  std::string address;
  std::optional<std::string> entryName;
  AddResult result;
};
void PrintTo(const AddCase& c, std::ostream* os) {
  *os << c.name;
}

class AddAddressTest : public ListOperationsTest, public ::testing::WithParamInterface<AddCase> {};

// The white list holds Ann@X.org when each address is added.
TEST_P(AddAddressTest, AddsOnlyValidAddressesNotListedYet) {
  Append("Ann@X.org");
  const AddCase& c = GetParam();
  EXPECT_EQ(AddAddress(db, ListKind::kWhite, c.address, c.entryName, kToday), c.result);
  const size_t rows = WhiteRows().size();
  EXPECT_EQ(rows, c.result == AddResult::kAdded ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddAddressTest,
    ::testing::Values(AddCase{"New", "new@x.org", "New One", AddResult::kAdded},
                      AddCase{"ListedInOtherCase", "ANN@x.ORG", {}, AddResult::kAlreadyListed},
                      AddCase{"Utf8", "caf\xC3\xA9@x.org", {}, AddResult::kAdded},
                      AddCase{"NoAt", "ann.x.org", {}, AddResult::kInvalid},
                      AddCase{"NameAndBrackets", "Ann <ann2@x.org>", {}, AddResult::kInvalid},
                      AddCase{"Quotes", "\"ann\"@x.org", {}, AddResult::kInvalid},
                      AddCase{"Tab", "ann\t@x.org", {}, AddResult::kInvalid},
                      AddCase{"CarriageReturn", "ann2@x.org\r", {}, AddResult::kInvalid},
                      AddCase{"Latin1Byte", "caf\xE9@x.org", {}, AddResult::kInvalid},
                      AddCase{"NameOnTwoLines", "new@x.org", "New\nOne", AddResult::kInvalid},
                      AddCase{"DomainEntry", "@x.org", "All of x.org", AddResult::kAdded},
                      AddCase{"DomainEntryWithoutDot", "@x", {}, AddResult::kInvalid},
                      AddCase{"DomainEntryWithTwoAts", "@@x.org", {}, AddResult::kInvalid}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListOperationsTest, RemoveTakesEveryRowOfTheAddress) {
  // The settings window adds without looking, so an address may stand twice.
  Append("ann@x.org");
  Append("bob@y.org");
  Append("ANN@x.org");
  EXPECT_EQ(RemoveAddress(db, ListKind::kWhite, "Ann@X.org"), 2u);
  EXPECT_EQ(WhiteRows(), std::vector<std::string>{"bob@y.org||2026-12-09"});
  EXPECT_EQ(RemoveAddress(db, ListKind::kWhite, "ann@x.org"), 0u);
}

TEST_F(ListOperationsTest, ImportCountsInvalidAndListedAndKeepsFileOrder) {
  Append("old@x.org");
  const std::vector<ListEntry> entries = {
      {"new1@x.org", "", {}, 1},
      {"bad", "", {}, 2},
      {"OLD@x.org", "", {}, 4},
      {"new1@x.org", "Again", {}, 5},
      {"new2@x.org", "Two", EncodeDateTime(2024, 1, 31), 7},
  };
  const ImportResult result = ImportEntries(db, ListKind::kWhite, entries, kToday);
  EXPECT_EQ(result, (ImportResult{2, 2, {2}}));
  EXPECT_EQ(WhiteRows(),
            (std::vector<std::string>{"old@x.org||2026-12-09", "new1@x.org||2026-12-09",
                                      "new2@x.org|Two|2024-01-31"}));
}

TEST_F(ListOperationsTest, ImportFailingHalfWayLeavesTheListAsItWas) {
  Append("old@x.org");
  std::vector<ListEntry> entries;
  for (size_t i = 0; i < 3000; ++i)
    entries.push_back({"u" + std::to_string(i) + "@x.org", "", {}, i + 1});
  const ImportProgress failAt2000 = [](size_t done, size_t) {
    if (done == 2000)
      throw std::runtime_error("stopped");
  };
  EXPECT_THROW(ImportEntries(db, ListKind::kWhite, entries, kToday, failAt2000),
               std::runtime_error);
  EXPECT_EQ(WhiteRows(), std::vector<std::string>{"old@x.org||2026-12-09"});

  // Nothing of the failed import stays open: the next change is committed on its own.
  EXPECT_EQ(AddAddress(db, ListKind::kWhite, "after@x.org", std::nullopt, kToday),
            AddResult::kAdded);
  CloseFilterDatabase(db);
  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(WhiteRows().size(), 2u);
}

}  // namespace
}  // namespace tervane
