// The whole program on an IMAP account of a real Dovecot: driven through oectl and
// tervane-lists as on a Maildir, while a phone (another IMAP client) delivers, reads and moves.
#include <gtest/gtest.h>

#include <QTest>
#include <QThread>
#include <fstream>

#include "engine/spam_report.h"
#include "extserver/extension_server.h"
#include "maildir/maildir_mail_store.h"
#include "shell/daily_reattach.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"
#include "tests/support/imap_test_mail.h"
#include "tests/support/recording_events.h"
#include "tests/support/tcp_proxy.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs the event loop until condition holds, at most 5 s.
bool WaitUntilInLoop(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 5000);
}

class ImapProgramTest : public ::testing::Test {
 protected:
  // A new server, and a new program (its state, lists and log) for it.
  bool StartServer(const DovecotInstance::Options& options = {}) {
    phone_.reset();
    session_.reset();
    session_ = std::make_unique<ProgramSession>();
    server_ = DovecotInstance::Start(options, &skip_);
    return server_ != nullptr;
  }
  // Names alice's account in the program's configuration (reached at port, default the
  // server's IMAPS port) and starts the program.
  void StartProgram(int port = 0, const std::string& password = "alice-secret") {
    url_ = "imaps://alice@127.0.0.1:" + std::to_string(port ? port : server_->imapsPort());
    const fs::path folder = session_->configHome() / "tervane-antispam";
    fs::create_directories(folder);
    WritePasswordFile(folder / "password", password);
    std::ofstream(folder / "tervane-antispam.conf")
        << "[mail]\nimap = " << url_ << "\npassword-file = " << (folder / "password").string()
        << "\nca-file = " << server_->caFile().string() << "\n";
    session_->Start();
    ASSERT_TRUE(WaitUntil([&] { return session_->Oectl({"buttons"}).Rows().size() == 6; }));
    ASSERT_EQ(session_->Lists({"add", "black", "foe@bad.example"}).exitCode, 0);
  }
  imap::ImapSession& phone() {
    if (!phone_)
      phone_ = ConnectAs(*server_, DovecotInstance::kAlice);
    return *phone_;
  }
  // Delivers a message from sender, then one from the black-listed sender that every level
  // sends to spam; true once that one is there, so that the first has been judged.
  bool DeliverAndWait(const std::string& sender, const std::string& subject) {
    phone().Append("INBOX", MailText(sender, subject));
    phone().Append("INBOX", MailText("foe@bad.example", "after " + subject));
    return WaitUntil([&] { return Count("spam", "after " + subject) == 1; });
  }
  int Count(const std::string& mailbox, const std::string& subject) {
    const std::vector<std::string> subjects = Subjects(phone(), mailbox);
    return static_cast<int>(std::count(subjects.begin(), subjects.end(), subject));
  }
  std::string Log() {
    return ReadBytes(session_->stateHome() / "tervane-antispam" / "decisions.log");
  }

  std::unique_ptr<DovecotInstance> server_;
  std::string skip_;
  std::unique_ptr<ProgramSession> session_;
  std::string url_;
  std::unique_ptr<imap::ImapSession> phone_;
};

TEST_F(ImapProgramTest, AttachesJudgesByTheListsAtEachLevelAndTellsItsStatus) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  StartProgram();
  EXPECT_EQ(session_->Oectl({"status"}).out, "running\nimap\t" + url_ + "\tconnected\n");
  EXPECT_EQ(session_->FolderCounts().count("spam"), 1u);
  ASSERT_EQ(session_->Lists({"add", "white", "friend@home.example"}).exitCode, 0);

  const std::string reference = ReferenceSender();
  struct Row {
    const char* level;
    std::vector<std::string> spam;  // of white, black, reference, unknown
  };
  const Row rows[] = {{"high", {"black", "reference", "unknown"}},
                      {"medium", {"black", "reference"}},
                      {"low", {"black"}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.level);
    ASSERT_EQ(session_->Lists({"level", row.level}).exitCode, 0);
    const std::pair<std::string, std::string> senders[] = {{"white", "friend@home.example"},
                                                           {"black", "foe@bad.example"},
                                                           {"reference", reference},
                                                           {"unknown", "someone@new.example"}};
    for (const auto& [kind, sender] : senders) {
      const std::string subject = std::string(row.level) + "-" + kind;
      ASSERT_TRUE(DeliverAndWait(sender, subject)) << Log();
      const bool spam = std::count(row.spam.begin(), row.spam.end(), kind) > 0;
      EXPECT_EQ(Count("spam", subject), spam ? 1 : 0) << subject;
      EXPECT_EQ(Count("INBOX", subject), spam ? 0 : 1) << subject;
    }
  }
}

TEST_F(ImapProgramTest, SpamAndNotSpamButtonsMoveListAndReportTheServersBody) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  StartProgram();
  ASSERT_TRUE(DeliverAndWait("ann@one.example", "from Ann"));
  phone().Select("INBOX");
  const std::string body = phone().FetchText(phone().SearchUids(1).front()).value();
  const auto inbox = session_->Oectl({"list", "Inbox"}).Rows();
  ASSERT_EQ(inbox.size(), 1u);
  ASSERT_EQ(session_->Oectl({"select", "Inbox", QString::fromStdString(inbox[0][0])}).exitCode, 0);
  ASSERT_EQ(session_->Oectl({"click", "Spam"}).exitCode, 0);
  EXPECT_EQ(Count("spam", "from Ann"), 1);
  const std::string host = session_->reports().Host();
  ASSERT_TRUE(WaitUntil([&] { return session_->reports().Targets().size() == 1; }));
  EXPECT_EQ("http://" + host + session_->reports().Targets()[0],
            SpamReportAddress(host, "ann@one.example", body));

  for (const auto& row : session_->Oectl({"list", "spam"}).Rows()) {
    if (row.at(1) == "ann@one.example") {
      ASSERT_EQ(session_->Oectl({"select", "spam", QString::fromStdString(row[0])}).exitCode, 0);
    }
  }
  ASSERT_EQ(session_->Oectl({"click", "Not Spam"}).exitCode, 0);
  EXPECT_EQ(Count("INBOX", "from Ann"), 1);
  EXPECT_EQ(Count("spam", "from Ann"), 0);
  EXPECT_NE(session_->Lists({"show", "white"}).out.find("ann@one.example"), std::string::npos);
  // Neither move counts as new mail or as the user's own: Ann's message was judged once.
  QThread::msleep(1000);
  EXPECT_EQ(Count("INBOX", "from Ann"), 1);
  EXPECT_EQ(session_->Lists({"show", "black"}).out.find("ann@one.example"), std::string::npos);
}

TEST_F(ImapProgramTest, HarvestsTheSentMailboxAtTheDetachAndJudgesMailThatCameWhileStopped) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  StartProgram();
  ASSERT_TRUE(DeliverAndWait("ann@one.example", "before"));
  phone().Append(DovecotInstance::kSentMailbox,
                 "From: <alice@home.example>\r\nTo: <pal@far.example>\r\nDate: Tue, 1 Dec 2099 "
                 "10:00:00 +0000\r\nSubject: hi\r\n\r\nHi.\r\n");
  ASSERT_EQ(session_->Oectl({"stop"}).exitCode, 0);
  ASSERT_TRUE(WaitUntil([&] { return Log().find("detached") != std::string::npos; }));
  EXPECT_NE(session_->Lists({"show", "white"}).out.find("pal@far.example"), std::string::npos);
  ASSERT_TRUE(session_->Terminate());

  phone().Append("INBOX", MailText("bob@two.example", "while away"));
  phone().Append("INBOX", MailText(ReferenceSender(), "adverts"));
  session_->Start();
  EXPECT_TRUE(WaitUntil([&] { return Count("spam", "adverts") == 1; }));
  EXPECT_EQ(Count("INBOX", "while away"), 1);
  const std::string log = Log();
  // Judged once each, before and after the restart.
  for (const char* sender : {"<ann@one.example>", "<bob@two.example>"})
    EXPECT_EQ(log.find(sender), log.rfind(sender)) << log;
}

TEST_F(ImapProgramTest, MovesByAnotherClientIntoAndOutOfSpamAreMarks) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  StartProgram();
  const std::string spammer = ReferenceSender();
  ASSERT_TRUE(DeliverAndWait("ann@one.example", "from Ann"));
  ASSERT_TRUE(DeliverAndWait(spammer, "adverts"));
  ASSERT_TRUE(MoveBySubject(phone(), "INBOX", "spam", "from Ann"));
  ASSERT_TRUE(MoveBySubject(phone(), "spam", "INBOX", "adverts"));
  EXPECT_TRUE(WaitUntil([&] {
    return session_->Lists({"show", "black"}).out.find("ann@one.example") != std::string::npos &&
           session_->Lists({"show", "white"}).out.find(spammer) != std::string::npos;
  })) << Log();
  EXPECT_TRUE(WaitUntil([&] { return session_->reports().Targets().size() == 1; }));
  // Marked where the user put them, and not judged again there.
  QThread::msleep(1000);
  EXPECT_EQ(Count("spam", "from Ann"), 1);
  EXPECT_EQ(Count("INBOX", "adverts"), 1);
}

TEST(DailyReattachTest, EndsAndStartsARunningMailClientOnlyWhileItRuns) {
  TempDir maildir;
  MaildirMailStore store(maildir.path());
  ExtensionServer server(store);
  RecordingEvents events(server);
  const DailyReattach reattach(server, 100ms);
  EXPECT_TRUE(WaitUntilInLoop([&] { return events.inits == 1 && events.shutdowns == 1; }));
  server.StopMailClient();
  QTest::qWait(300);
  EXPECT_EQ(events.inits, 1);
  EXPECT_EQ(events.shutdowns, 2);
}

// A burst cut off by the server's restart or by the network ends with every message judged and
// in one place.
TEST_F(ImapProgramTest, ABurstSurvivesTheServersRestartAndACutConnection) {
  for (const bool restart : {true, false}) {
    SCOPED_TRACE(restart ? "Dovecot restarted" : "connection cut");
    if (!StartServer())
      GTEST_SKIP() << skip_;
    TcpProxy proxy(server_->imapsPort());
    StartProgram(proxy.port());
    std::string reason;
    for (int i = 0; i < 100; ++i) {
      const std::string sender = i % 2 == 0 ? ReferenceSender() : "ann@one.example";
      phone().Append("INBOX", MailText(sender, "burst"));
      if (i == 50 && restart) {
        server_->Stop();
        ASSERT_TRUE(server_->Restart(&reason)) << reason;
        phone_ = ConnectAs(*server_, DovecotInstance::kAlice);
      } else if (i == 50) {
        proxy.CutAll();
      }
    }
    EXPECT_TRUE(WaitUntil([&] { return Count("spam", "burst") == 50; }, 30s));
    EXPECT_EQ(Count("INBOX", "burst"), 50);
    EXPECT_TRUE(session_->Terminate());
  }
}

TEST_F(ImapProgramTest, AnAccountItCannotUseIsOneLineInTheLogAndInStatus) {
  struct Row {
    const char* name;
    const char* password;
    std::vector<std::string> certificateNames;
    const char* reason;
  };
  const Row rows[] = {
      {"wrong password", "wrong", {"127.0.0.1"}, "LOGIN as alice: Authentication failed."},
      {"certificate for another host", "alice-secret", {"mail.example.test"}, "mismatch"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DovecotInstance::Options options;
    options.certificateNames = row.certificateNames;
    if (!StartServer(options))
      GTEST_SKIP() << skip_;
    StartProgram(0, row.password);
    ASSERT_TRUE(WaitUntil([&] { return Log().find(row.reason) != std::string::npos; }));
    const auto status = session_->Oectl({"status"}).Rows();
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[1].at(2), "not connected");
    EXPECT_NE(status[1].at(3).find(row.reason), std::string::npos) << status[1].at(3);
    QThread::msleep(2000);
    EXPECT_EQ(Log().find(row.reason), Log().rfind(row.reason)) << Log();
    EXPECT_TRUE(session_->Terminate());
  }
}

}  // namespace
}  // namespace tervane::testing
