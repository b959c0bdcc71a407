#include "engine/marking.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/spam_report.h"
#include "store/database_error.h"
#include "tests/engine/engine_fixture.h"

namespace tervane::testing {
namespace {

class MarkingTest : public EngineTest {
 protected:
  int32_t Receive(int32_t folderId, const std::string& sender, const std::string& name = "",
                  const std::string& content = "body") {
    return store.AddMessage(folderId, {SimpleHeaders(sender), content, name, ""});
  }
  std::string Report(const std::string& sender, const std::string& content = "body") {
    return SpamReportAddress("reports.example", sender, content);
  }
};

using Moves = std::vector<FakeMailStore::Move>;
using ListRows = std::vector<ListRow>;

TEST_F(MarkingTest, EmptySelectionDoesNothing) {
  store.Select(store.InboxId(), {});
  MarkSelectedAsSpam(context);
  MarkSelectedAsNotSpam(context);
  EXPECT_EQ(Queries(), 0);
  EXPECT_TRUE(store.moves().empty());
}

TEST_F(MarkingTest, SpamListsMovesCountsAndReportsEachMessageInOrder) {
  AddRow(QueryText::kWhiteTableLookup, "b@two.example", "old");
  const int32_t a = Receive(store.InboxId(), "a@one.example", "Ann", "first");
  const int32_t b = Receive(store.InboxId(), "b@two.example", "Bob", "second");
  store.Select(store.InboxId(), {a, b});

  MarkSelectedAsSpam(context);

  EXPECT_EQ(Rows(QueryText::kBlackTable),
            (ListRows{{"a@one.example", "Ann", kToday}, {"b@two.example", "Bob", kToday}}));
  EXPECT_TRUE(Rows(QueryText::kWhiteTable).empty());
  EXPECT_EQ(store.moves(),
            (Moves{{store.InboxId(), spamFolderId, a}, {store.InboxId(), spamFolderId, b}}));
  EXPECT_EQ(SpamNumber(), 2);
  EXPECT_EQ(reporter.addresses, (std::vector<std::string>{Report("a@one.example", "first"),
                                                          Report("b@two.example", "second")}));
}

TEST_F(MarkingTest, SpamCountStopsAtItsLargestValue) {
  db.ADODataSet3.Query(QueryText::kMisc);
  db.ADODataSet3.Edit();
  db.ADODataSet3.SetFieldAsInteger("spamnumber", std::numeric_limits<int32_t>::max());
  db.ADODataSet3.Post();
  const int32_t id = Receive(store.InboxId(), "a@one.example");
  store.Select(store.InboxId(), {id});

  MarkSelectedAsSpam(context);

  EXPECT_EQ(SpamNumber(), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(store.moves().size(), 1u);
}

TEST_F(MarkingTest, SpamOnListedSenderAddsNoSecondRowButStillHandlesMessage) {
  AddRow(QueryText::kBlackTableLookup, "a@one.example", "kept");
  AddRow(QueryText::kWhiteTableLookup, "a@one.example", "first");
  AddRow(QueryText::kWhiteTableLookup, "a@one.example", "second");
  const int32_t id = Receive(store.InboxId(), "a@one.example", "Ann");
  store.Select(store.InboxId(), {id});

  MarkSelectedAsSpam(context);

  ASSERT_EQ(Rows(QueryText::kBlackTable).size(), 1u);
  EXPECT_EQ(Rows(QueryText::kBlackTable)[0].name, "kept");
  ASSERT_EQ(Rows(QueryText::kWhiteTable).size(), 1u);
  EXPECT_EQ(Rows(QueryText::kWhiteTable)[0].name, "second");
  EXPECT_EQ(store.moves().size(), 1u);
  EXPECT_EQ(SpamNumber(), 1);
  EXPECT_EQ(reporter.addresses.size(), 1u);
  EXPECT_EQ(log.lines, std::vector<std::string>{
                           "marked spam: message " + std::to_string(id) + " of folder " +
                           std::to_string(store.InboxId()) +
                           " from <a@one.example>: already on the black list, taken off the white "
                           "list; moved to spam; report sent to reports.example"});
}

TEST_F(MarkingTest, SpamSkipsMessagesSelectedInTheSpamFolder) {
  const int32_t id = Receive(spamFolderId, "a@one.example");
  store.Select(spamFolderId, {id});
  MarkSelectedAsSpam(context);
  EXPECT_EQ(Queries(), 0);
  EXPECT_TRUE(store.moves().empty());
  EXPECT_EQ(SpamNumber(), 0);
  EXPECT_TRUE(reporter.addresses.empty());
}

TEST_F(MarkingTest, EmptySenderAndContentAreHandledLikeAnyOther) {
  const int32_t id = Receive(store.InboxId(), "", "", "");
  store.Select(store.InboxId(), {id});
  MarkSelectedAsSpam(context);
  EXPECT_EQ(Rows(QueryText::kBlackTable), (ListRows{{"", "", kToday}}));
  EXPECT_EQ(reporter.addresses,
            std::vector<std::string>{"http://reports.example/reportspam.php?spam=&content="
                                     "D41D8CD98F00B204E9800998ECF8427E"});
}

TEST_F(MarkingTest, VanishedMessageIsSkippedAndTheWalkGoesOn) {
  const int32_t gone = Receive(store.InboxId(), "gone@one.example");
  const int32_t kept = Receive(store.InboxId(), "b@two.example");
  store.RemoveMessage(store.InboxId(), gone);
  store.Select(store.InboxId(), {gone, kept});
  MarkSelectedAsSpam(context);
  EXPECT_EQ(store.moves(), (Moves{{store.InboxId(), spamFolderId, kept}}));
  EXPECT_EQ(SpamNumber(), 1);
}

TEST_F(MarkingTest, DatabaseErrorEndsTheCommandKeepingWhatWasDone) {
  const int32_t a = Receive(store.InboxId(), "a@one.example");
  const int32_t b = Receive(store.InboxId(), "b@two.example");
  store.Select(store.InboxId(), {a, b});
  reporter.afterNavigate = [this] { CloseFilterDatabase(db); };

  EXPECT_THROW(MarkSelectedAsSpam(context), DatabaseError);

  OpenFilterDatabase(db, folder.dir.path());
  EXPECT_EQ(Rows(QueryText::kBlackTable), (ListRows{{"a@one.example", "", kToday}}));
  EXPECT_EQ(store.moves(), (Moves{{store.InboxId(), spamFolderId, a}}));
  EXPECT_EQ(SpamNumber(), 1);
}

TEST_F(MarkingTest, NotSpamWhiteListsAndMovesBackToTheInbox) {
  AddRow(QueryText::kBlackTableLookup, "a@one.example", "first");
  AddRow(QueryText::kBlackTableLookup, "a@one.example", "second");
  const int32_t id = Receive(spamFolderId, "a@one.example", "Ann");
  store.Select(spamFolderId, {id});

  MarkSelectedAsNotSpam(context);

  EXPECT_EQ(Rows(QueryText::kWhiteTable), (ListRows{{"a@one.example", "Ann", kToday}}));
  ASSERT_EQ(Rows(QueryText::kBlackTable).size(), 1u);
  EXPECT_EQ(Rows(QueryText::kBlackTable)[0].name, "second");
  EXPECT_EQ(store.moves(), (Moves{{spamFolderId, store.InboxId(), id}}));
  EXPECT_EQ(SpamNumber(), 0);
  EXPECT_TRUE(reporter.addresses.empty());
}

TEST_F(MarkingTest, NotSpamOnWhiteListedSenderAddsNoSecondRow) {
  AddRow(QueryText::kWhiteTableLookup, "a@one.example", "kept");
  const int32_t id = Receive(spamFolderId, "a@one.example", "Ann");
  store.Select(spamFolderId, {id});
  MarkSelectedAsNotSpam(context);
  EXPECT_EQ(Rows(QueryText::kWhiteTable).size(), 1u);
  EXPECT_EQ(Rows(QueryText::kWhiteTable)[0].name, "kept");
  EXPECT_EQ(store.moves().size(), 1u);
}

TEST_F(MarkingTest, NotSpamSkipsMessagesOutsideTheSpamFolder) {
  const int32_t id = Receive(store.InboxId(), "a@one.example");
  store.Select(store.InboxId(), {id});
  MarkSelectedAsNotSpam(context);
  EXPECT_EQ(Queries(), 0);
  EXPECT_TRUE(store.moves().empty());
}

}  // namespace
}  // namespace tervane::testing
