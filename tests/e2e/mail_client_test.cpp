// A real mail client on the program's Maildir: neomutt in a terminal, with the macros that ship
// with the program (packaging/clients/neomuttrc), and with its own save command.
#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/e2e/program_session.h"
#include "tests/support/tmux_terminal.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;

class MailClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("neomutt").isEmpty())
      GTEST_SKIP() << "neomutt is not installed";
    ASSERT_TRUE(session.StartAttached());
    session.Deliver("ann@one.example", "first\n", "Inbox", "me@home.example",
                    "Message-ID: <ann.1@one.example>\n");
    session.Deliver("bob@two.example", "second\n", "Inbox", "me@home.example",
                    "Message-ID: <bob.1@two.example>\n");
    ASSERT_TRUE(WaitUntil([this] { return session.FolderCounts().at("Inbox") == 2; }));
    const fs::path muttrc = home.path() / "muttrc";
    std::ofstream(muttrc) << "set folder=\"" << session.maildir().string() << "\"\n"
                          << "set spoolfile=\"" << session.maildir().string() << "\"\n"
                          << "set mbox_type=Maildir sort=subject delete=yes confirmappend=no\n"
                          << "source \"" TERVANE_SOURCE_DIR "/packaging/clients/neomuttrc\"\n";
    QProcessEnvironment environment = session.environment();
    environment.insert("PATH", QString::fromStdString(session.programFolder().string()) + ":" +
                                   environment.value("PATH"));
    environment.insert("HOME", QString::fromStdString(home.path().string()));
    environment.insert("TERM", "xterm");
    std::string reason;
    terminal = TmuxTerminal::Start("neomutt -n -F '" + muttrc.string() + "'", environment, &reason);
    if (!terminal)
      GTEST_SKIP() << reason;
    ASSERT_TRUE(terminal->WaitFor("message 2")) << terminal->Screen();
    // neomutt sees a folder change by the folder's modification time, in whole seconds: a
    // change within the second it read the folder would go unseen.
    QThread::msleep(1100);
  }

  bool Listed(const char* list, const std::string& address) {
    return session.Lists({"show", list}).out.find(address) != std::string::npos;
  }
  std::string DecisionLog() {
    std::ifstream in(session.stateHome() / "tervane-antispam" / "decisions.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  ProgramSession session;
  TempDir home;
  std::unique_ptr<TmuxTerminal> terminal;
};

// One key marks the message it is on as spam, another one of the spam folder as not spam.
TEST_F(MailClientTest, TheMacrosMarkSpamAndNotSpam) {
  terminal->Type("S");  // on "message 1", from Ann
  ASSERT_TRUE(WaitUntil([this] { return session.FolderCounts().at("spam") == 1; }));
  EXPECT_TRUE(Listed("black", "ann@one.example"));
  EXPECT_TRUE(WaitUntil([this] { return session.reports().Targets().size() == 1; }));
  EXPECT_NE(session.reports().Targets().at(0).find("spam=ann@one.example"), std::string::npos);

  terminal->Keys({"c", "=.spam", "Enter"});
  ASSERT_TRUE(terminal->WaitFor(".spam")) << terminal->Screen();
  ASSERT_TRUE(terminal->WaitFor("message 1")) << terminal->Screen();
  terminal->Type("H");
  ASSERT_TRUE(WaitUntil([this] { return session.FolderCounts().at("Inbox") == 2; }));
  EXPECT_EQ(session.FolderCounts().at("spam"), 0);
  EXPECT_TRUE(Listed("white", "ann@one.example"));
  EXPECT_FALSE(Listed("black", "ann@one.example"));
  EXPECT_EQ(session.reports().Targets().size(), 1u);
}

// neomutt's own save copies a message: one that was read lands in the spam folder's cur/ and is
// a Spam mark by moving; an unread one lands in its new/ like mail a server rule files, and is
// none.
TEST_F(MailClientTest, SavingAReadMessageIntoSpamMarksItAndAnUnreadOneDoesNot) {
  terminal->Keys({"Enter"});  // reads "message 1", from Ann
  ASSERT_TRUE(terminal->WaitFor("first")) << terminal->Screen();
  terminal->Keys({"i", "s", "=.spam", "Enter"});
  ASSERT_TRUE(WaitUntil([this] { return Listed("black", "ann@one.example"); }));
  EXPECT_TRUE(WaitUntil([this] { return session.reports().Targets().size() == 1; }));

  ASSERT_TRUE(terminal->WaitFor("message 2")) << terminal->Screen();
  terminal->Keys({"s", "=.spam", "Enter"});  // "message 2", from Bob, unread
  ASSERT_TRUE(WaitUntil([this] { return session.FolderCounts().at("spam") == 2; }));
  EXPECT_FALSE(Listed("black", "bob@two.example"));
  EXPECT_EQ(session.reports().Targets().size(), 1u);
  const std::string log = DecisionLog();
  EXPECT_NE(log.find("marked spam by moving: message"), std::string::npos) << log;
  EXPECT_EQ(log.find("from <bob@two.example>: added to the black list"), std::string::npos) << log;
}

}  // namespace
}  // namespace tervane::testing
