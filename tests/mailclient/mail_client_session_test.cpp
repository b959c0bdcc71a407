#include "mailclient/mail_client_session.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QSignalSpy>
#include <climits>
#include <csignal>
#include <filesystem>
#include <utility>

#include "engine/clock.h"
#include "engine/date_time.h"
#include "engine/filter_context.h"
#include "engine/spam_reporter.h"
#include "maildir/maildir_delivery.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "tests/support/maildir_server.h"
#include "tests/support/program_folder.h"
#include "tests/support/recording_log.h"

namespace tervane::testing {
namespace {

class NoReports : public ISpamReporter {
 public:
  void Navigate(const std::string&) override {}
};

// A real Maildir server, real database files and the components, as the main window has them.
class SessionTest : public ::testing::Test {
 protected:
  std::string programFolder() const { return program.dir.path().string() + "/"; }
  bool Attach() {
    return AttachToMailClient(oe, db, programFolder(), programFolder(), spamFolderId, level);
  }

  int32_t Number() {
    db.ADODataSet3.Query(QueryText::kMiscWhereId1);
    return db.ADODataSet3.FieldAsInteger("number");
  }
  void SetNumber(int32_t number) {
    db.ADODataSet3.Query(QueryText::kMiscWhereId1);
    db.ADODataSet3.Edit();
    db.ADODataSet3.SetFieldAsInteger("number", number);
    db.ADODataSet3.Post();
    db.ADODataSet3.Close();
  }
  // Whether the first detach's harvest put the sent message's recipient on the white list.
  bool Harvested() {
    ConnectionOpen();
    db.ADODataSet3.Query(QueryText::kWhiteTableLookup, "friend@home.example");
    const bool found = !db.ADODataSet3.IsEmpty();
    CloseFilterDatabase(db);
    return found;
  }
  void ConnectionOpen() { OpenFilterDatabase(db, program.dir.path()); }

  TempDir mail;
  ProgramFolder program;
  MaildirServer server{mail / "Maildir"};
  MailClientComponents oe{server};
  FilterDatabase db;
  NoReports reporter;
  SystemClock clock;
  int32_t spamFolderId = 0;
  ProgramSecurityLevel level;
  RecordingLog log;
  FilterContext context{oe.OEFolderManager, oe.OEAPI1, db,
                        reporter,           clock,     log,
                        spamFolderId,       level,     "reports.example"};
};

TEST_F(SessionTest, AttachMakesTheButtonsInOrderAndTheSpamFolder) {
  ASSERT_TRUE(Attach());

  EXPECT_EQ(server.ButtonCaptions(), (std::vector<std::string>{"Spam", "Not Spam", "Config",
                                                               "Live Update", "Help", "About"}));
  EXPECT_EQ(spamFolderId, *server.ResolveFolder("spam"));
  EXPECT_EQ(level.stored(), 2);  // the shipped files start at Medium
  EXPECT_TRUE(db.ADOConnection1.Connected());
  EXPECT_TRUE(oe.OEFolderManager.IsConnected());
  EXPECT_TRUE(std::filesystem::exists(mail / "Maildir/.spam/maildirfolder"));

  // Each button answers its own click.
  QSignalSpy notSpam(&oe.OEButton3, &TOEButton::OnClick);
  QSignalSpy config(&oe.OEButton1, &TOEButton::OnClick);
  ASSERT_TRUE(server.Click("Not Spam"));
  EXPECT_EQ(notSpam.count(), 1);
  EXPECT_EQ(config.count(), 0);
}

TEST_F(SessionTest, AttachFindsAnExistingSpamFolderByExactName) {
  const int32_t upper = oe.OEFolderManager.CreateFolder(0, "Spam");
  const int32_t exact = oe.OEFolderManager.CreateFolder(0, "spam");
  ASSERT_TRUE(Attach());
  EXPECT_EQ(spamFolderId, exact);
  EXPECT_NE(spamFolderId, upper);
}

TEST_F(SessionTest, WithoutAToolbarTheRestOfTheAttachStillRuns) {
  server.StopMailClient();  // a stopped mail client has no toolbar
  EXPECT_FALSE(Attach());
  EXPECT_TRUE(server.ButtonCaptions().empty());
  EXPECT_TRUE(db.ADOConnection1.Connected());
  EXPECT_GT(spamFolderId, 0);
}

TEST_F(SessionTest, AttachFailsWhenTheDatabaseIsMissing) {
  std::filesystem::remove(program.customer());
  EXPECT_THROW(Attach(), DatabaseError);
}

TEST_F(SessionTest, ASecondAttachFindsTheSameFolderAndMakesTheButtonsAgain) {
  ASSERT_TRUE(Attach());
  const int32_t first = spamFolderId;
  DetachFromMailClient(oe, context, programFolder());
  server.StopMailClient();
  server.StartMailClient();

  ASSERT_TRUE(Attach());
  EXPECT_EQ(spamFolderId, first);
  EXPECT_EQ(server.ButtonCaptions().size(), 6u);
}

TEST_F(SessionTest, DetachCountsAndClosesAndStopsNewMail) {
  ASSERT_TRUE(Attach());
  SetNumber(5);
  QSignalSpy newMail(&oe.OEFolderManager, &TOEFolderManager::OnNewMessage);
  DetachFromMailClient(oe, context, programFolder());

  EXPECT_FALSE(db.ADOConnection1.Connected());
  EXPECT_FALSE(db.ADOConnection2.Connected());
  DeliverMessage(mail / "Maildir", "From: a@b.example\n\nlate\n");
  EXPECT_FALSE(newMail.wait(300));
  ConnectionOpen();
  EXPECT_EQ(Number(), 6);
}

// The first detach and every twentieth after it harvest the sent mail and compact cust.mdb.
TEST_F(SessionTest, HarvestAndCompactionRunAtRemainderOne) {
  oe.OEFolderManager.CreateFolder(0, "Sent");
  const std::string date = "Date: Tue, 1 Dec 2099 10:00:00 +0000\n";
  DeliverMessage(mail / "Maildir/.Sent",
                 "From: me@home.example\nTo: Friend <friend@home.example>\n" + date + "\nhi\n");
  const struct {
    int32_t before;
    bool runs;
  } cases[] = {{0, true}, {1, false}, {19, false}, {20, true}, {40, true}, {INT_MAX, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    ASSERT_TRUE(Attach());
    SetNumber(c.before);
    db.ADODataSet1.Query(QueryText::kWhiteTableLookup, "friend@home.example");
    if (!db.ADODataSet1.IsEmpty())
      db.ADODataSet1.Delete();
    const ino_t inode = InodeOf(program.customer());

    DetachFromMailClient(oe, context, programFolder());

    EXPECT_EQ(Harvested(), c.runs);
    EXPECT_EQ(InodeOf(program.customer()) != inode, c.runs);
    ConnectionOpen();
    EXPECT_EQ(Number(), NextDetachNumber(c.before));
    CloseFilterDatabase(db);
  }
}

// A harvest cut short (a commit runs into a file-size limit) leaves the detach uncounted, so the
// next detach harvests again rather than the twentieth after it.
TEST_F(SessionTest, AHarvestCutShortRunsAgainAtTheNextDetach) {
  oe.OEFolderManager.CreateFolder(0, "Sent");
  for (int i = 0; i < 20; ++i)
    DeliverMessage(mail / "Maildir/.Sent", "To: <x" + std::to_string(i) + "@home.example>\n\n");
  ASSERT_TRUE(Attach());
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  const rlim_t before = std::exchange(
      limit.rlim_cur, std::filesystem::file_size(program.customer().string() + "-wal") + 16384);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_THROW(DetachFromMailClient(oe, context, programFolder()), DatabaseError);
  limit.rlim_cur = before;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, handler);
  CloseFilterDatabase(db);

  ASSERT_TRUE(Attach());
  DetachFromMailClient(oe, context, programFolder());
  ConnectionOpen();
  EXPECT_EQ(Number(), 1);
  db.ADODataSet3.Query(QueryText::kWhiteTable);
  EXPECT_EQ(db.ADODataSet3.RecordCount(), 20);
}

TEST(DetachNumberTest, WrapsInsteadOfOverflowing) {
  EXPECT_EQ(NextDetachNumber(0), 1);
  EXPECT_EQ(NextDetachNumber(INT_MAX), INT_MIN);
}

}  // namespace
}  // namespace tervane::testing
