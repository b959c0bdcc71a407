// A restarted instance whose attach fails stays up detached and tries again: on its timer, and
// at once on a toolbar click; a success filters the mail that waited.
#include "shell/attach_retry.h"

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <memory>

#include "maildir/maildir_delivery.h"
#include "shell/frmmain.h"
#include "store/database_maker.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_log.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/aboutbox.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScopedEnv;

constexpr char kSpammer[] = "offers@cheap-pills.example";

TEST(AttachRetryTest, TriesOnTheTimerAndOnRequestUntilTheFirstSuccess) {
  int attempts = 0;
  int failuresLeft = 2;
  AttachRetry retry(20ms, [&] {
    ++attempts;
    return failuresLeft-- <= 0;
  });
  EXPECT_FALSE(retry.TryNow());  // not retrying: no attempt
  EXPECT_EQ(attempts, 0);

  retry.Start();
  EXPECT_FALSE(retry.TryNow());  // the first failure
  EXPECT_EQ(attempts, 1);
  EXPECT_TRUE(retry.active());
  // The timer's second failure, then success.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !retry.active(); }, 5000));
  EXPECT_EQ(attempts, 3);
  QTest::qWait(100);
  EXPECT_EQ(attempts, 3);

  retry.Start();
  retry.Stop();
  QTest::qWait(100);
  EXPECT_EQ(attempts, 3);
}

// The program's main window, restarted, over a Maildir and a folder without database files.
class FailedAttachTest : public ::testing::Test {
 protected:
  FailedAttachTest() {
    fs::create_directories(lists_);
    server_ = std::make_unique<testing::MaildirServer>(maildir_);
  }
  // What the program's composition root hands its main window.
  ProgramParts Parts() {
    return ProgramParts{*server_, db_, level_, spamFolderId_, windows_, log_};
  }

  // Makes the database files the attach lacked; kSpammer is on the reference list.
  void RestoreDatabases() {
    CreateCustomerDatabase(lists_ / "cust.mdb");
    CreateReferenceDatabase(lists_ / "ospam.mdb", {kSpammer});
  }
  void DeliverSpam() {
    DeliverMessage(maildir_, std::string("From: <") + kSpammer + ">\nSubject: pills\n\nbuy\n");
  }
  int SpamCount() {
    const std::optional<int32_t> spam = server_->ResolveFolder("spam");
    return spam ? static_cast<int>(server_->Messages(*spam)->size()) : 0;
  }

  testing::TempDir dir_;
  const fs::path maildir_ = dir_ / "Maildir";
  const fs::path lists_ = dir_ / "lists";
  ScopedEnv config_{"XDG_CONFIG_HOME", (dir_ / "config").string()};
  std::unique_ptr<testing::MaildirServer> server_;
  testing::RecordingLog log_;
  FilterDatabase db_;
  ProgramSecurityLevel level_;
  int32_t spamFolderId_ = 0;
  ProgramWindows windows_;
};

TEST_F(FailedAttachTest, TimerAttachesOnceTheDatabaseIsBackAndJudgesTheMailThatWaited) {
  TFrmmain frmmain(/*restarted=*/true, lists_, Parts(), 50ms);
  QTest::qWait(300);  // the attach (from the event loop) fails and retries fail quietly
  ASSERT_FALSE(frmmain.IsAttached());
  DeliverSpam();

  RestoreDatabases();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frmmain.IsAttached(); }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return SpamCount() == 1; }, 5000));
  // The failure is logged once, the quiet retries not at all.
  ASSERT_GE(log_.lines.size(), 2u);
  EXPECT_TRUE(log_.lines[0].starts_with("attach failed: ")) << log_.lines[0];
  EXPECT_TRUE(log_.lines[1].starts_with("attached on a retry: ")) << log_.lines[1];
}

TEST_F(FailedAttachTest, AToolbarClickAttachesAtOnceAndItsCommandRuns) {
  TFrmmain frmmain(/*restarted=*/true, lists_, Parts(), 1h);
  ASSERT_TRUE(QTest::qWaitFor([&] { return server_->ButtonCaptions().size() == 6; }, 5000));
  ASSERT_FALSE(frmmain.IsAttached());

  TAboutBox aboutBox(frmmain.shell());
  windows_.aboutBox = &aboutBox;
  EXPECT_TRUE(server_->Click("About"));  // a failed try changes nothing; the window opens
  EXPECT_FALSE(frmmain.IsAttached());
  EXPECT_TRUE(aboutBox.isVisible());
  windows_.aboutBox = nullptr;

  RestoreDatabases();
  DeliverMessage(maildir_, "From: <ann@one.example>\nSubject: hi\n\nhello\n");
  const int32_t inbox = *server_->ResolveFolder("Inbox");
  ASSERT_TRUE(QTest::qWaitFor([&] { return server_->Messages(inbox)->size() == 1; }, 5000));
  ASSERT_TRUE(server_->Select(inbox, {server_->Messages(inbox)->front().id}));
  EXPECT_TRUE(server_->Click("Spam"));
  EXPECT_TRUE(frmmain.IsAttached());
  EXPECT_EQ(SpamCount(), 1);
  EXPECT_EQ(server_->ButtonCaptions().size(), 6u);
}

}  // namespace
}  // namespace tervane
