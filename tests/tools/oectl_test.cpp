// oectl as a user runs it, against a real server in this process.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "extserver/extension_server.h"
#include "mailclient/extension_interface.h"
#include "tests/extserver/control_test_support.h"
#include "tests/support/file_contents.h"
#include "tests/tools/tool_run.h"
#include "tools/oectl/answer_text.h"

namespace tervane {
namespace {

using testing::ControlFixtureFiles;
using testing::ReadBytes;

using OectlRun = testing::ToolRun;

// Runs oectl with args in env; the event loop keeps running meanwhile so the server answers.
OectlRun RunOectl(const QStringList& args, const QProcessEnvironment& env,
                  const QByteArray& input = {}) {
  return testing::RunTool(QStringLiteral(TERVANE_OECTL_PATH), args, env, input);
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path());
  }
  return files;
}

class OectlTest : public ::testing::Test {
 protected:
  OectlTest() : server_(ServerOptions{files_.maildir, DefaultSocket()}) {
    env_.insert("MAILDIR", QString::fromStdString(files_.maildir.string()));
    env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(files_.runtimeDir.string()));
  }

  // The server listens where oectl looks by default: under the test's XDG_RUNTIME_DIR.
  std::filesystem::path DefaultSocket() {
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(files_.runtimeDir.string()));
    return DefaultControlSocketPath();
  }
  OectlRun Oectl(const QStringList& args, const QByteArray& input = {}) {
    return RunOectl(args, env_, input);
  }
  int32_t FolderId(const char* name) { return *server_.ResolveFolder(name); }

  ControlFixtureFiles files_;
  ExtensionServer server_;
  QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
};

TEST_F(OectlTest, StatusStopAndStart) {
  EXPECT_EQ(Oectl({"status"}).out, "running\n");
  const OectlRun stop = Oectl({"stop"});
  EXPECT_EQ(stop.exitCode, 0);
  EXPECT_EQ(stop.out, "");
  EXPECT_FALSE(server_.IsMailClientRunning());
  EXPECT_EQ(Oectl({"status"}).out, "stopped\n");
  EXPECT_EQ(Oectl({"start"}).exitCode, 0);
  EXPECT_TRUE(server_.IsMailClientRunning());
}

TEST_F(OectlTest, FoldersAndListsAreTabSeparatedRows) {
  const std::string inbox = std::to_string(FolderId("Inbox"));
  const OectlRun folders = Oectl({"folders"});
  EXPECT_EQ(folders.exitCode, 0);
  EXPECT_EQ(folders.out, inbox + "\tInbox\t2\n" + std::to_string(FolderId("Sent")) + "\tSent\t0\n");

  std::string rows;
  const std::vector<MessageSummary> messages = *server_.Messages(FolderId("Inbox"));
  for (const MessageSummary& message : messages) {
    rows += std::to_string(message.id) + "\tann@example.org\t" + message.subject + "\n";
  }
  EXPECT_EQ(Oectl({"list", "Inbox"}).out, rows);
  EXPECT_EQ(Oectl({"list", QString::fromStdString(inbox)}).out, rows);
}

TEST_F(OectlTest, JsonPrintsTheAnswer) {
  const OectlRun status = Oectl({"--json", "status"});
  EXPECT_EQ(status.exitCode, 0);
  EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(status.out)).object(),
            (QJsonObject{{"ok", true}, {"running", true}}));
  const OectlRun folders = Oectl({"folders", "--json"});
  const QJsonArray rows =
      QJsonDocument::fromJson(QByteArray::fromStdString(folders.out)).object()["folders"].toArray();
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0].toObject()["name"].toString(), "Inbox");
  EXPECT_EQ(rows[0].toObject()["count"].toInt(), 2);
}

TEST_F(OectlTest, SelectButtonsAndClick) {
  const auto messages = *server_.Messages(FolderId("Inbox"));
  const OectlRun select = Oectl({"select", "Inbox", QString::number(messages[1].id)});
  EXPECT_EQ(select.exitCode, 0);
  const std::unique_ptr<IOEAPIObj> api = server_.NewAPIObj();
  EXPECT_EQ(api->GetFirstSelectedMessageID(), messages[1].id);
  EXPECT_EQ(api->GetNextSelectedMessageID(), -1);

  const auto toolbar = api->GetToolbar();
  const auto spam = toolbar->CreateButton("Spam", "", "");
  const auto notSpam = toolbar->CreateButton("Not Spam", "", "");
  EXPECT_EQ(Oectl({"buttons"}).out, "Spam\nNot Spam\n");
  QSignalSpy clicks(&server_, &ExtensionServer::ButtonClicked);
  EXPECT_EQ(Oectl({"click", "Not Spam"}).exitCode, 0);
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks[0][1].toInt(), notSpam->GetID());
}

struct Refusal {
  QStringList args;
  std::string err;  // all of standard error
};

TEST_F(OectlTest, RefusedCommandsExitOneWithOneLine) {
  const Refusal refusals[] = {
      {{"list", "Foo"}, "oectl: unknown folder: Foo\n"},
      {{"select", "Inbox", "99999"}, "oectl: no such message in Inbox: 99999\n"},
      {{"click", "Spam"}, "oectl: unknown button: Spam\n"},
      {{"deliver", "/nonexistent/file"}, ""},
      {{"deliver", "-", "NoSuchFolder"}, ""},
      {{"deliver", "-", "99999"}, "oectl: unknown folder: 99999\n"},
  };
  for (const Refusal& refusal : refusals) {
    const OectlRun run = Oectl(refusal.args, "Subject: x\n\nx\n");
    SCOPED_TRACE(refusal.args.join(' ').toStdString());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    if (!refusal.err.empty()) {
      EXPECT_EQ(run.err, refusal.err);
    }
  }
  EXPECT_TRUE(FilesIn(files_.maildir / "tmp").empty());
}

TEST_F(OectlTest, WrongUsageExitsTwoWithTheUsage) {
  const QStringList usages[] = {
      {},
      {"fly"},
      {"status", "now"},
      {"list"},
      {"list", "a", "b"},
      {"select"},
      {"select", "Inbox", "x"},
      {"click"},
      {"deliver"},
      {"deliver", "a", "b", "c"},
      {"--bogus"},
      {"--socket"},
      {"--timeout", "0", "status"},
  };
  for (const QStringList& args : usages) {
    const OectlRun run = Oectl(args);
    EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
    EXPECT_NE(run.err.find("usage: oectl"), std::string::npos);
  }
  const OectlRun help = Oectl({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: oectl"), std::string::npos);
}

TEST_F(OectlTest, DeliverWritesNewMail) {
  const std::filesystem::path message = files_.temp / "message.eml";
  std::ofstream(message, std::ios::binary) << "From: c@example.org\r\nSubject: Hi\r\n\r\nBody\r\n";
  const OectlRun inbox = Oectl({"deliver", QString::fromStdString(message.string())});
  EXPECT_EQ(inbox.exitCode, 0) << inbox.err;
  const std::filesystem::path delivered = inbox.out.substr(0, inbox.out.size() - 1);
  EXPECT_EQ(delivered.parent_path(), files_.maildir / "new");
  EXPECT_EQ(ReadBytes(delivered), ReadBytes(message));

  // By name from standard input, and by id through the server.
  EXPECT_EQ(Oectl({"deliver", "-", "Sent"}, "Subject: a\n\n").exitCode, 0);
  const OectlRun byId =
      Oectl({"--json", "deliver", "-", QString::number(FolderId("Sent"))}, "Subject: b\n\n");
  EXPECT_EQ(byId.exitCode, 0) << byId.err;
  const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(byId.out)).object();
  EXPECT_EQ(std::filesystem::path(answer["path"].toString().toStdString()).parent_path(),
            files_.maildir / ".Sent" / "new");
  EXPECT_EQ(FilesIn(files_.maildir / ".Sent" / "new").size(), 2u);
  EXPECT_TRUE(FilesIn(files_.maildir / "tmp").empty());
  EXPECT_TRUE(FilesIn(files_.maildir / ".Sent" / "tmp").empty());
}

TEST_F(OectlTest, WithoutAServer) {
  const std::filesystem::path elsewhere = files_.temp / "none.sock";
  const QString socket = QString::fromStdString(elsewhere.string());
  const OectlRun status = Oectl({"--socket", socket, "status"});
  EXPECT_EQ(status.exitCode, 1);
  EXPECT_EQ(status.err, "oectl: no mail client is running at " + elsewhere.string() + "\n");

  // Delivery by name needs no server; a folder id does.
  EXPECT_EQ(Oectl({"--socket", socket, "deliver", "-", "Sent"}, "Subject: a\n\n").exitCode, 0);
  const OectlRun byId = Oectl({"--socket", socket, "deliver", "-", "2"}, "Subject: a\n\n");
  EXPECT_EQ(byId.exitCode, 1);
  EXPECT_NE(byId.err.find("no mail client is running at " + elsewhere.string()), std::string::npos)
      << byId.err;
  EXPECT_EQ(FilesIn(files_.maildir / ".Sent" / "new").size(), 1u);
}

TEST_F(OectlTest, ARelativeSocketIsFoundFromTheWorkingFolder) {
  QProcess process;
  process.setProcessEnvironment(env_);
  process.setWorkingDirectory(QString::fromStdString(files_.runtimeDir.string()));
  process.start(QStringLiteral(TERVANE_OECTL_PATH),
                {"--socket", "tervane/mailclient.sock", "status"});
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, testing::kWaitMs));
  EXPECT_EQ(process.readAllStandardOutput(), "running\n") << process.readAllStandardError().data();
}

TEST_F(OectlTest, GivesUpOnAServerThatNeverAnswers) {
  QLocalServer silent;
  const std::filesystem::path path = files_.temp / "silent.sock";
  ASSERT_TRUE(silent.listen(QString::fromStdString(path.string())));
  const OectlRun run =
      Oectl({"--timeout", "1", "--socket", QString::fromStdString(path.string()), "status"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no answer from the mail client at " + path.string()), std::string::npos)
      << run.err;
}

TEST(AnswerTextTest, KeepsEveryRowOnOneLine) {
  ControlAnswer answer;
  answer.messages = {{3, "a@example.org", "one\ttwo\r\nthree"}};
  EXPECT_EQ(AnswerText(answer), "3\ta@example.org\tone two  three\n");
  EXPECT_EQ(AnswerText(ControlAnswer{}), "");
}

}  // namespace
}  // namespace tervane
