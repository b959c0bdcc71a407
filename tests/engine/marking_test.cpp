#include "engine/marking.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "engine/classification.h"
#include "engine/list_rows.h"
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

// The user's own moves, by where the message came from and went: a Spam mark, a Not Spam mark,
// or nothing. Nothing is moved again.
enum class Mark { kSpam, kNotSpam, kNone };
struct MoveCase {
  const char* name;
  const char* from;  // "Inbox", "spam", "Work", "Trash", "deleted items" or "" (unknown)
  const char* to;
  Mark mark;
};

TEST_F(MarkingTest, AMoveIntoOrOutOfTheSpamFolderIsAMarkAndNothingElseIs) {
  const MoveCase cases[] = {
      {"into spam from the inbox", "Inbox", "spam", Mark::kSpam},
      {"into spam from nowhere known", "", "spam", Mark::kSpam},
      {"out of spam into the inbox", "spam", "Inbox", Mark::kNotSpam},
      {"out of spam into another folder", "spam", "Work", Mark::kNotSpam},
      {"out of spam into the trash", "spam", "Trash", Mark::kNone},
      {"out of spam into deleted items, in any case", "spam", "deleted items", Mark::kNone},
      {"between two other folders", "Inbox", "Work", Mark::kNone},
  };
  const std::map<std::string, int32_t> folders = {
      {"Inbox", store.InboxId()},
      {"spam", spamFolderId},
      {"Work", store.AddFolder("Work")},
      {"Trash", store.AddFolder("Trash")},
      {"deleted items", store.AddFolder("deleted items")},
      {"", 0}};
  int row = 0;
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string sender = "row" + std::to_string(++row) + "@one.example";
    const size_t reports = reporter.addresses.size();
    const int32_t id = Receive(folders.at(c.to), sender);

    MarkMovedMessage(context, folders.at(c.from), folders.at(c.to), id);

    EXPECT_EQ(IsListed(db.ADODataSet1, QueryText::kBlackTableLookup, sender),
              c.mark == Mark::kSpam);
    EXPECT_EQ(IsListed(db.ADODataSet1, QueryText::kWhiteTableLookup, sender),
              c.mark == Mark::kNotSpam);
    EXPECT_EQ(reporter.addresses.size(), reports + (c.mark == Mark::kSpam ? 1 : 0));
  }
  EXPECT_TRUE(store.moves().empty());
  EXPECT_EQ(SpamNumber(), 2);
  ASSERT_FALSE(log.lines.empty());
  EXPECT_TRUE(log.lines[0].starts_with("marked spam by moving: message ")) << log.lines[0];
}

TEST_F(MarkingTest, AMovedMessageThatIsGoneAgainIsSkippedAndLogged) {
  const int32_t id = Receive(spamFolderId, "a@one.example");
  store.RemoveMessage(spamFolderId, id);
  MarkMovedMessage(context, store.InboxId(), spamFolderId, id);
  EXPECT_TRUE(Rows(QueryText::kBlackTable).empty());
  EXPECT_EQ(SpamNumber(), 0);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("is gone again; skipped"), std::string::npos) << log.lines[0];
}

// A message marked on its own, as oectl spam and notspam ask: in the store it is handled as the
// buttons handle it; piped text the store does not hold changes the lists and is not moved.
TEST_F(MarkingTest, OneMessageIsMarkedAsTheButtonsMarkIt) {
  const int32_t inInbox = Receive(store.InboxId(), "a@one.example");
  const int32_t inSpam = Receive(spamFolderId, "b@two.example");
  EXPECT_EQ(MarkMessageAsSpam(context, spamFolderId, inSpam), MarkOutcome::kWrongFolder);
  EXPECT_EQ(MarkMessageAsNotSpam(context, store.InboxId(), inInbox), MarkOutcome::kWrongFolder);
  EXPECT_EQ(MarkMessageAsSpam(context, store.InboxId(), 999), MarkOutcome::kNoSuchMessage);
  EXPECT_EQ(MarkMessageAsSpam(context, store.InboxId(), inInbox), MarkOutcome::kMarked);
  EXPECT_EQ(MarkMessageAsNotSpam(context, spamFolderId, inSpam), MarkOutcome::kMarked);
  EXPECT_EQ(store.moves(), (Moves{{store.InboxId(), spamFolderId, inInbox},
                                  {spamFolderId, store.InboxId(), inSpam}}));

  FakeMessage text{SimpleHeaders("c@three.example"), "piped", "Carl", ""};
  class Piped : public IOEMessage {
   public:
    explicit Piped(FakeMessage m) : m_(std::move(m)) {}
    std::string GetRecipientName() override { return m_.recipientName; }
    std::string GetSenderName() override { return m_.senderName; }
    std::string GetHeaders() override { return m_.headers; }
    std::string GetContent() override { return m_.content; }

   private:
    FakeMessage m_;
  } piped(text);
  MarkTextAsSpam(context, piped);
  EXPECT_EQ(store.moves().size(), 2u);
  EXPECT_EQ(Rows(QueryText::kBlackTable),
            (ListRows{{"a@one.example", "", kToday}, {"c@three.example", "Carl", kToday}}));
  EXPECT_EQ(reporter.addresses.back(), Report("c@three.example", "piped"));
  EXPECT_EQ(SpamNumber(), 2);
  EXPECT_TRUE(log.lines.back().starts_with(
      "marked spam by piping: a message not in the mail store from <c@three.example>"))
      << log.lines.back();
}

// Spam on mail that came through a mailing list moves, counts and reports it, but leaves the
// list's own address (the sender rule takes its Return-Path) off the black list, so the list's
// next message is not sent to spam.
TEST_F(MarkingTest, SpamOnAMailingListsMessageLeavesTheListsAddressOffTheBlackList) {
  for (const char* field : {"List-Id: <news.lists.example>", "List-Post: <mailto:news@x.example>",
                            "Precedence: bulk", "Precedence: List"}) {
    SCOPED_TRACE(field);
    const std::string headers = "Return-Path: <news-bounces@lists.example>\nFrom: <a@b.example>\n" +
                                std::string(field) + "\n";
    const int32_t id = store.AddMessage(store.InboxId(), {headers, "offer", "", ""});
    store.Select(store.InboxId(), {id});
    const size_t reports = reporter.addresses.size();

    MarkSelectedAsSpam(context);

    EXPECT_TRUE(Rows(QueryText::kBlackTable).empty());
    EXPECT_EQ(reporter.addresses.size(), reports + 1);
    EXPECT_NE(log.lines.back().find("tervane-lists add black news-bounces@lists.example"),
              std::string::npos)
        << log.lines.back();
    const int32_t next = store.AddMessage(store.InboxId(), {headers, "news", "", ""});
    FilterNewMessage(context, store.InboxId(), next);
    EXPECT_EQ(store.moves().back().messageId, id);  // the next one stays
  }
  EXPECT_EQ(SpamNumber(), 4);
}

// Not Spam white-lists the address; a domain entry that catches its domain stays, and the log
// says so. Marks never list a domain entry.
TEST_F(MarkingTest, MarksListExactAddressesAndNameADomainThatStillCatches) {
  AddRow(QueryText::kBlackTableLookup, "@bulk.example");
  const int32_t fromDomain = Receive(spamFolderId, "ann@bulk.example");
  store.Select(spamFolderId, {fromDomain});
  MarkSelectedAsNotSpam(context);
  EXPECT_EQ(Rows(QueryText::kBlackTable).size(), 1u);
  EXPECT_NE(log.lines.back().find("the black list's @bulk.example still catches the others"),
            std::string::npos)
      << log.lines.back();

  const int32_t odd = Receive(store.InboxId(), "@odd.example");
  store.Select(store.InboxId(), {odd});
  MarkSelectedAsSpam(context);
  EXPECT_EQ(Rows(QueryText::kBlackTable).size(), 1u);
  EXPECT_NE(log.lines.back().find("not put on the black list (marks list exact addresses)"),
            std::string::npos)
      << log.lines.back();
}

}  // namespace
}  // namespace tervane::testing
