// The IMAP mail store against a real Dovecot: what is new mail, what is the user's move, and
// what a broken connection, a wrong password or a foreign certificate leave behind.
#include "imapstore/imap_mail_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTest>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/free_port.h"
#include "tests/support/imap_test_mail.h"
#include "tests/support/tcp_proxy.h"
#include "tests/support/temp_dir.h"

namespace tervane::imap {
namespace {

using namespace std::chrono_literals;
using testing::DovecotInstance;
using testing::MailText;

class ImapMailStoreTest : public ::testing::Test {
 protected:
  // A new server, and so a new account: the store's state file starts afresh too.
  bool StartServer(const DovecotInstance::Options& options = {}) {
    std::filesystem::remove(folder_ / "state");
    server_ = DovecotInstance::Start(options, &skip_);
    return server_ != nullptr;
  }
  // Alice's account as the program opens it, with short waits; attached as the program does:
  // "spam" made, notifications on. Messages from spam@... are moved to "spam" as the filter
  // would.
  void Open(const std::string& url = {}, const std::string& password = "alice-secret") {
    testing::WritePasswordFile(folder_ / "password", password);
    ImapStoreOptions options;
    options.url = url.empty() ? server_->ImapsUrl(DovecotInstance::kAlice) : url;
    options.password.file = folder_ / "password";
    options.caFile = server_->caFile();
    options.stateFile = folder_ / "state";
    options.timeout = 2s;
    options.pollInterval = 300ms;
    options.firstRetry = 100ms;
    options.lastRetry = 400ms;
    options.loginRetry = 2s;
    store_ = std::make_unique<ImapMailStore>(std::move(options));
    store_->SetNoticeHandler([this](const std::string& text) { notices_.push_back(text); });
    store_->SetUserMoveHandler([this](const UserMove& move) { moves_.push_back(move); });
    store_->SetNewMessageHandler([this](int32_t folder, int32_t id) {
      const std::string headers = folders_->GetFolder(folder)->GetMessage(id)->GetHeaders();
      announced_.push_back(headers.substr(headers.find("Subject: ") + 9, 6));
      if (headers.find("From: <spam@") != std::string::npos)
        folders_->MoveMessage(folder, spamId_, id);
    });
    store_->Start();
    folders_ = store_->NewFolderManager();
    spamId_ = folders_->CreateFolder(0, "spam");
    folders_->ActivateNotifications();
  }
  bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
    return QTest::qWaitFor(condition, static_cast<int>(timeout.count()));
  }

  std::unique_ptr<DovecotInstance> server_;
  std::string skip_;
  testing::TempDir folder_;
  std::unique_ptr<ImapMailStore> store_;
  std::unique_ptr<IOEFolderManager> folders_;
  int32_t spamId_ = -1;
  std::vector<std::string> announced_;  // the first six letters of each new message's subject
  std::vector<UserMove> moves_;
  std::vector<std::string> notices_;
};

TEST_F(ImapMailStoreTest, NewMailIsAnnouncedOnceAlsoWhenItCameWhileTheStoreWasAway) {
  if (!StartServer())
    GTEST_SKIP() << skip_;
  const auto phone = testing::ConnectAs(*server_, DovecotInstance::kAlice);
  phone->Append("INBOX", MailText("ann@one.example", "before"));
  Open();
  phone->Append("INBOX", MailText("ann@one.example", "first1"));
  phone->Append("INBOX", MailText("spam@ads.example", "second"));
  ASSERT_TRUE(WaitFor([&] { return announced_.size() == 2; }));
  store_.reset();
  phone->Append("INBOX", MailText("ann@one.example", "third1"));
  Open();
  EXPECT_TRUE(WaitFor([&] { return announced_.size() == 3; }));
  QTest::qWait(500);
  EXPECT_EQ(announced_, (std::vector<std::string>{"first1", "second", "third1"}));
  EXPECT_EQ(testing::Subjects(*phone, "spam"), std::vector<std::string>{"second"});
  EXPECT_TRUE(moves_.empty());

  // A mailbox that the server renumbered (another UIDVALIDITY) starts afresh: nothing in it is
  // new, nothing is moved.
  store_.reset();
  std::ofstream(folder_ / "state") << "1\t0\tINBOX\n";
  phone->Append("INBOX", MailText("spam@ads.example", "fourth"));
  Open();
  QTest::qWait(800);
  EXPECT_EQ(announced_.size(), 3u);
  EXPECT_EQ(testing::Subjects(*phone, "INBOX").size(), 4u);
}

// The store's own moves, whatever the server offers, are neither new mail nor the user's; the
// user's moves with another client are, and a message moved out of spam is not judged again.
TEST_F(ImapMailStoreTest, TellsTheUsersMovesFromItsOwnWhateverTheServerOffers) {
  const std::vector<std::vector<std::string>> rows = {
      {}, {"NOTIFY"}, {"MOVE"}, {"MOVE", "UIDPLUS", "NOTIFY"}};
  for (const std::vector<std::string>& without : rows) {
    SCOPED_TRACE(::testing::PrintToString(without));
    if (!StartServer({without}))
      GTEST_SKIP() << skip_;
    announced_.clear();
    moves_.clear();
    Open();
    const auto phone = testing::ConnectAs(*server_, DovecotInstance::kAlice);
    phone->Append("INBOX", MailText("spam@ads.example", "adverts"));
    phone->Append("INBOX", MailText("bob@two.example", "report"));
    ASSERT_TRUE(WaitFor([&] { return testing::Subjects(*phone, "spam").size() == 1; }));
    const int32_t inboxId = folders_->GetInboxFolder()->GetID();

    ASSERT_TRUE(testing::MoveBySubject(*phone, "INBOX", "spam", "report"));
    ASSERT_TRUE(WaitFor([&] { return moves_.size() == 1; }));
    EXPECT_EQ(moves_[0].fromFolderId, inboxId);
    EXPECT_EQ(moves_[0].toFolderId, spamId_);
    const auto moved = folders_->GetFolder(spamId_)->GetMessage(moves_[0].messageId);
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved->GetHeaders().find("Subject: report"), std::string::npos);

    ASSERT_TRUE(testing::MoveBySubject(*phone, "spam", "INBOX", "adverts"));
    ASSERT_TRUE(WaitFor([&] { return moves_.size() == 2; }));
    EXPECT_EQ(moves_[1].fromFolderId, spamId_);
    EXPECT_EQ(moves_[1].toFolderId, inboxId);

    // Mail filed into spam by the server, or a move whose start the store did not see.
    phone->Append("spam", MailText("carol@three.example", "filed1"));
    ASSERT_TRUE(WaitFor([&] { return moves_.size() == 3; }));
    EXPECT_EQ(moves_[2].fromFolderId, 0);
    // The store's own move back out of spam is no user's move.
    EXPECT_NE(folders_->MoveMessage(spamId_, inboxId, moves_[2].messageId), -1);
    QTest::qWait(700);
    EXPECT_EQ(moves_.size(), 3u);
    EXPECT_EQ(announced_, (std::vector<std::string>{"advert", "report"}));
    EXPECT_EQ(testing::Subjects(*phone, "INBOX"), (std::vector<std::string>{"adverts", "filed1"}));
    EXPECT_EQ(testing::Subjects(*phone, "spam"), std::vector<std::string>{"report"});
    store_.reset();
  }
}

// A burst cut off in the middle, by the server's end or by the network: after the reconnect
// every message has been judged once and is in exactly one place.
TEST_F(ImapMailStoreTest, ABurstCutOffInTheMiddleEndsJudgedOnceAndInOnePlace) {
  for (const bool killServer : {true, false}) {
    SCOPED_TRACE(killServer ? "server killed" : "connection cut by the network");
    if (!StartServer())
      GTEST_SKIP() << skip_;
    announced_.clear();
    testing::TcpProxy proxy(server_->imapsPort());
    Open("imaps://alice@127.0.0.1:" + std::to_string(proxy.port()));
    auto phone = testing::ConnectAs(*server_, DovecotInstance::kAlice);
    std::string reason;
    for (int i = 0; i < 120; ++i) {
      const std::string sender = i % 2 == 0 ? "spam@ads.example" : "ann@one.example";
      phone->Append("INBOX", MailText(sender, std::to_string(100 + i) + "msg"));
      if (i == 60) {
        QTest::qWait(50);
        if (killServer) {
          server_->Kill();
          ASSERT_TRUE(server_->Restart(&reason)) << reason;
          phone = testing::ConnectAs(*server_, DovecotInstance::kAlice);
        } else {
          proxy.CutAll();
        }
      }
    }
    ASSERT_TRUE(WaitFor([&] { return testing::Subjects(*phone, "INBOX").size() == 60; }, 20s));
    EXPECT_EQ(testing::Subjects(*phone, "spam").size(), 60u);
    // Judged once each; only one whose move the cut caught may have been judged again.
    std::vector<std::string> judged = announced_;
    std::sort(judged.begin(), judged.end());
    EXPECT_LE(judged.size(), 121u);
    judged.erase(std::unique(judged.begin(), judged.end()), judged.end());
    EXPECT_EQ(judged.size(), 120u);
    store_.reset();
  }
}

TEST_F(ImapMailStoreTest, AServerItCannotUseIsOneNoticeAndNoTightLoop) {
  struct Row {
    const char* name;
    const char* password;
    std::vector<std::string> certificateNames;
    bool stopped;
    const char* notice;
    int maxTries;  // within 1.5 s
  };
  const Row rows[] = {
      {"wrong password",
       "alice-secreT",
       {"127.0.0.1"},
       false,
       "LOGIN as alice: Authentication failed",
       1},
      {"certificate for another host",
       "alice-secret",
       {"mail.example.test"},
       false,
       "IP address mismatch",
       6},
      {"server gone", "alice-secret", {"127.0.0.1"}, true, "connect to port", 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DovecotInstance::Options options;
    options.certificateNames = row.certificateNames;
    if (!StartServer(options))
      GTEST_SKIP() << skip_;
    notices_.clear();
    testing::TcpProxy proxy(row.stopped ? testing::FreeLocalPort() : server_->imapsPort());
    Open("imaps://alice@127.0.0.1:" + std::to_string(proxy.port()), row.password);
    QTest::qWait(1500);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find(row.notice), std::string::npos) << notices_[0];
    EXPECT_EQ(notices_[0].find("alice-secre"), std::string::npos) << notices_[0];
    EXPECT_EQ(store_->Status().connected, false);
    // A harvest now would read nothing and yet move its watermark: there is no sent folder.
    EXPECT_EQ(folders_->GetSentFolder(), nullptr);
    EXPECT_NE(notices_[0].find(store_->Status().problem + "; trying again in "), std::string::npos);
    EXPECT_LE(proxy.accepted(), row.maxTries);
    EXPECT_GE(proxy.accepted(), 1);
    store_.reset();
  }
}

TEST(PasswordSourceTest, TakesTheFirstLineOfACommandOrOfAFileOnlyTheUserMayRead) {
  struct Row {
    const char* name;
    PasswordSource source;
    const char* password;  // nullptr: refused
    mode_t mode;           // the file's
    const char* error;
  };
  testing::TempDir folder;
  const std::filesystem::path file = folder / "password";
  const Row rows[] = {
      {"command", {"printf 'se cret\\r\\nsecond\\n'", {}}, "se cret", 0600, ""},
      {"failing command", {"echo secret; exit 3", {}}, nullptr, 0600, "exit status 3"},
      {"silent command", {"true", {}}, nullptr, 0600, "printed no password"},
      {"file 0600", {{}, file}, "secret", 0600, ""},
      {"file 0400", {{}, file}, "secret", 0400, ""},
      {"file others may read", {{}, file}, nullptr, 0644, "mode 0644"},
      {"file of the group", {{}, file}, nullptr, 0640, "chmod 600"},
      {"neither", {}, nullptr, 0600, "needs a password-command or a password-file"},
      {"both", {"true", file}, nullptr, 0600, "not both"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testing::WritePasswordFile(file, "secret");
    ::chmod(file.c_str(), row.mode);
    try {
      const Secret password = ReadPassword(row.source, 5s);
      EXPECT_EQ(password.view(), row.password ? row.password : "(refused)");
    } catch (const PasswordError& e) {
      EXPECT_EQ(row.password, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(row.error), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
    }
  }
  if (::geteuid() == 0 && testing::CanTestPermissions()) {
    testing::GiveToUnprivilegedUser(file);
    EXPECT_THROW(ReadPassword({{}, file}), PasswordError);  // another user's file
  }
  EXPECT_THROW(ReadPassword({"sleep 5", {}}, 200ms), PasswordError);
}

}  // namespace
}  // namespace tervane::imap
