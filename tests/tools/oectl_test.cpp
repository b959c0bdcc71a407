// oectl as a user runs it, against a real server in this process.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QTest>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/unique_fd.h"
#include "control/control_socket_file.h"
#include "control/transfer_file.h"
#include "mailapi/extension_interface.h"
#include "tests/control/control_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/file_contents.h"
#include "tests/support/maildir_files.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/unix_socket.h"
#include "tests/tools/tool_run.h"
#include "tools/oectl/answer_text.h"

namespace tervane {
namespace {

using testing::ControlFixtureFiles;
using testing::ReadBytes;
using testing::WriteFile;

using OectlRun = testing::ToolRun;

// Runs oectl with args in env; the event loop keeps running meanwhile so the server answers.
OectlRun RunOectl(const QStringList& args, const QProcessEnvironment& env,
                  const QByteArray& input = {}) {
  return testing::RunTool(QStringLiteral(TERVANE_OECTL_PATH), args, env, input);
}

// What oectl's bash completion offers for words (the last one being completed), one per line.
std::string Complete(const QStringList& words, const QProcessEnvironment& env) {
  QString line = "COMP_WORDS=('" TERVANE_OECTL_PATH "'";
  for (const QString& word : words) {
    line += " '" + word + "'";
  }
  line += "); COMP_CWORD=" + QString::number(words.size()) +
          "; _oectl; printf '%s\\n' \"${COMPREPLY[@]}\"";
  const OectlRun run = testing::RunTool(
      "bash", {"--norc", "--noprofile", "-c", "source '" TERVANE_COMPLETION_PATH "'; " + line},
      env);
  EXPECT_EQ(run.err, "");
  return run.out;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files.push_back(entry.path());
  }
  return files;
}

// True iff nobody has connected to the listening socket fd, or a connection came and sent
// nothing: what oectl leaves a socket it refuses.
bool NothingWasSent(int fd) {
  pollfd waiting{fd, POLLIN, 0};
  if (::poll(&waiting, 1, 0) != 1) {
    return true;  // nobody connected
  }
  const UniqueFd client(::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC));
  char byte = 0;
  return !client.valid() || ::recv(client.get(), &byte, 1, MSG_DONTWAIT) <= 0;
}

class OectlTest : public ::testing::Test {
 protected:
  OectlTest()
      : server_(files_.maildir, DefaultSocket(), [this](const ControlRequest& request) {
          if (!program_)
            throw ControlRefused("unknown command");
          return program_(request);
        }) {
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
  ControlHandler program_;  // the program's own commands
  testing::MaildirServer server_;
  testing::RecordingEvents events_{server_};
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
  EXPECT_EQ(Oectl({"click", "Not Spam"}).exitCode, 0);
  ASSERT_EQ(events_.clicks.size(), 1u);
  EXPECT_EQ(events_.clicks[0].second, notSpam->GetID());
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
      {{"list", "sent"}, "oectl: unknown folder: sent\n"},  // only inbox ignores letter case
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
      {"log", "x"},
      {"log", "1", "2"},
      {"settings", "now"},
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

TEST_F(OectlTest, InboxInAnyLetterCase) {
  const std::string rows = Oectl({"list", "Inbox"}).out;
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(Oectl({"list", "iNbOx"}).out, rows);
  const OectlRun delivered = Oectl({"deliver", "-", "INBOX"}, "Subject: x\n\n");
  EXPECT_EQ(delivered.exitCode, 0) << delivered.err;
  EXPECT_EQ(FilesIn(files_.maildir / "new").size(), 3u);
}

// A name delivers only into a folder the Maildir holds on disk; nothing is ever written
// outside the Maildir or into a folder the name does not exactly name.
TEST_F(OectlTest, DeliverTakesOnlyFoldersTheMaildirHolds) {
  for (const char* folder : {".spam", ".Work"}) {
    for (const char* sub : {"cur", "new", "tmp"}) {
      std::filesystem::create_directories(files_.maildir / folder / sub);
    }
  }
  const auto newMail = [this] {
    size_t count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(files_.temp.path())) {
      count += entry.path().parent_path().filename() == "new" ? 1 : 0;
    }
    return count;
  };
  const size_t before = newMail();
  for (const QString name : {"/../outbox", "/", "", "spam/..", "Work/", "../Maildir", ".Work"}) {
    const OectlRun run = Oectl({"deliver", "-", name}, "Subject: x\n\n");
    EXPECT_EQ(run.exitCode, 1) << name.toStdString();
    EXPECT_EQ(run.err, "oectl: unknown folder: " + name.toStdString() + "\n");
  }
  EXPECT_EQ(newMail(), before);
  EXPECT_FALSE(std::filesystem::exists(files_.maildir / "outbox"));
  EXPECT_FALSE(std::filesystem::exists(files_.maildir.parent_path() / "outbox"));
  EXPECT_EQ(Oectl({"deliver", "-", "Work"}, "Subject: x\n\n").exitCode, 0);
  EXPECT_EQ(FilesIn(files_.maildir / ".Work" / "new").size(), 1u);
}

// Folders whose names show alike (a name that is not UTF-8 and the one it shows as), and a
// subfolder named like the inbox: delivery by id lands in that very folder.
TEST_F(OectlTest, DeliverByIdLandsInThatVeryFolder) {
  const std::vector<std::string> names = {"\xff\xfe", "\xef\xbf\xbd\xef\xbf\xbd", "Inbox"};
  for (const std::string& name : names) {
    for (const char* sub : {"cur", "new", "tmp"}) {
      std::filesystem::create_directories(files_.maildir / ("." + name) / sub);
    }
  }
  std::vector<FolderSummary> folders = server_.Folders();
  ASSERT_EQ(folders.size(), 5u);  // the inbox, the three, Sent
  for (const FolderSummary& folder : folders) {
    const OectlRun run = Oectl({"deliver", "-", QString::number(folder.id)}, "Subject: x\n\n");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(std::filesystem::path(run.out.substr(0, run.out.size() - 1)).parent_path(),
              std::filesystem::path(folder.location) / "new")
        << folder.name;
  }
  // By name, "Inbox" is the inbox, never the subfolder .Inbox.
  EXPECT_EQ(Oectl({"deliver", "-", "Inbox"}, "Subject: x\n\n").exitCode, 0);
  EXPECT_EQ(FilesIn(files_.maildir / "new").size(), 4u);  // two at the start, one by id, this
}

// As delivery agents do: a missing Maildir is made, private.
TEST_F(OectlTest, DeliverMakesAMissingMaildir) {
  const std::filesystem::path fresh = files_.temp / "mail" / "box";
  QProcessEnvironment env = env_;
  env.insert("MAILDIR", QString::fromStdString(fresh.string()));
  const OectlRun run = RunOectl({"deliver", "-"}, env, "Subject: x\n\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(std::filesystem::path(run.out.substr(0, run.out.size() - 1)).parent_path(),
            fresh / "new");
  for (const std::filesystem::path& dir : {fresh, fresh / "cur", fresh / "new", fresh / "tmp"}) {
    struct stat status {};
    ASSERT_EQ(::stat(dir.c_str(), &status), 0) << dir;
    EXPECT_EQ(status.st_mode & 0777, 0700u) << dir;
  }
  EXPECT_EQ(RunOectl({"deliver", "-", "Sent"}, env, "Subject: x\n\n").exitCode, 1);
}

TEST_F(OectlTest, SettingsAsksTheProgram) {
  int asked = 0;
  program_ = [&asked](const ControlRequest& request) {
    asked += request.command == ControlCommand::kSettings;
    return ControlAnswer();
  };
  const OectlRun run = Oectl({"settings"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(asked, 1);

  const OectlRun none =
      Oectl({"--socket", QString::fromStdString((files_.temp / "none.sock").string()), "settings"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_EQ(none.err, "oectl: Tervane Anti-Spam is not running\n");
}

// spam and notspam pass the message on standard input through a private file, and send more files
// than one request line holds in several requests; empty input is no message.
TEST_F(OectlTest, MarksPassManyFilesAndRefuseEmptyInput) {
  std::vector<std::string> files;
  std::string piped;
  program_ = [&](const ControlRequest& request) {
    files.insert(files.end(), request.files.begin(), request.files.end());
    if (!request.transfer.empty())
      piped = ReadTransferFile(request.transfer);
    ControlAnswer answer;
    answer.marked = std::vector<std::string>{"one line"};
    return answer;
  };
  QStringList args{"spam"};
  for (int i = 0; i < 1500; ++i) {
    const std::filesystem::path file =
        files_.temp / ("message-with-a-rather-long-name-as-mail-files-have-" + std::to_string(i));
    WriteFile(file, "Subject: x\n\n");
    args << QString::fromStdString(file.string());
  }
  const OectlRun many = Oectl(args);
  EXPECT_EQ(many.exitCode, 0) << many.err;
  EXPECT_EQ(files.size(), 1500u);
  EXPECT_GT(std::count(many.out.begin(), many.out.end(), '\n'), 1);  // a line per request

  EXPECT_EQ(Oectl({"notspam"}, "Subject: piped\n\nbody\n").exitCode, 0);
  EXPECT_EQ(piped, "Subject: piped\n\nbody\n");
  const OectlRun empty = Oectl({"spam"}, "");
  EXPECT_EQ(empty.exitCode, 1);
  EXPECT_EQ(empty.err, "oectl: nothing on standard input: no message to mark\n");
}

// The decision log is read from its file, with or without a running program.
TEST_F(OectlTest, LogShowsTheLastLines) {
  const std::filesystem::path state = files_.temp / "state";
  QProcessEnvironment env = env_;
  env.insert("XDG_STATE_HOME", QString::fromStdString(state.string()));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString((files_.temp / "elsewhere").string()));
  const OectlRun missing = RunOectl({"log"}, env);
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("no decision log at"), std::string::npos) << missing.err;

  std::filesystem::create_directories(state / "tervane-antispam");
  std::ofstream log(state / "tervane-antispam" / "decisions.log");
  std::string lastTwenty;
  for (int i = 1; i <= 25; ++i) {
    log << "line " << i << '\n';
    lastTwenty += i > 5 ? "line " + std::to_string(i) + "\n" : "";
  }
  log.close();
  EXPECT_EQ(RunOectl({"log"}, env).out, lastTwenty);
  EXPECT_EQ(RunOectl({"log", "2"}, env).out, "line 24\nline 25\n");
}

// Another user made the socket's folder in a runtime folder everyone may write (as /tmp is)
// and listens there: oectl refuses before it sends anything, and delivers nothing.
TEST_F(OectlTest, TalksToNoSocketPlantedByAnotherUser) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "planting a socket as another user needs root";
  }
  const std::filesystem::path shared = files_.temp / "shared";
  std::filesystem::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(files_.temp.path().c_str(), 0711), 0);
  const std::filesystem::path folder = shared / "tervane";
  const std::filesystem::path socket = folder / "mailclient.sock";
  UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const std::string planted = testing::RunUnprivileged([&] {
    const sockaddr_un address = LocalSocketAddress(socket);
    const bool ok =
        ::mkdir(folder.c_str(), 0777) == 0 && ::chmod(folder.c_str(), 0777) == 0 &&
        ::bind(listening.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::chmod(socket.c_str(), 0777) == 0 && ::listen(listening.get(), 8) == 0;
    return std::string(ok ? "planted" : "not planted");
  });
  ASSERT_EQ(planted, "planted");

  QProcessEnvironment env = env_;
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(shared.string()));
  for (const QStringList& args : {QStringList{"status"}, QStringList{"deliver", "-", "3"}}) {
    const OectlRun run = RunOectl(QStringList{"--timeout", "1"} + args, env, "Subject: secret\n\n");
    EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("refusing the mail client at " + socket.string() + ": " +
                           folder.string() + " belongs to another user"),
              std::string::npos)
        << run.err;
  }
  EXPECT_TRUE(NothingWasSent(listening.get()));
}

// The socket file and its folder are ours, but the process listening on it is not.
TEST_F(OectlTest, TalksToNoServerOfAnotherUser) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "listening as another user needs root";
  }
  const std::filesystem::path folder = files_.temp / "peer";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  const std::filesystem::path socket = folder / "mailclient.sock";
  UniqueFd listening = testing::BindUnixSocket(socket, false);
  ASSERT_EQ(testing::RunUnprivileged([&] {
              return std::string(::listen(listening.get(), 8) == 0 ? "listening" : "refused");
            }),
            "listening");

  const OectlRun run = Oectl({"--socket", QString::fromStdString(socket.string()), "status"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "oectl: refusing the mail client at " + socket.string() + ": it runs as user 65534\n");
  EXPECT_TRUE(NothingWasSent(listening.get()));
}

TEST_F(OectlTest, BashCompletesCommandsFoldersCaptionsAndFiles) {
  EXPECT_EQ(Complete({"s"}, env_), "status\nstart\nstop\nselect\nspam\nsettings\n");
  EXPECT_EQ(Complete({"--json", "list", ""}, env_), "Inbox\nSent\n");
  const auto toolbar = server_.NewAPIObj()->GetToolbar();
  const auto spam = toolbar->CreateButton("Not Spam", "", "");
  EXPECT_EQ(Complete({"click", "N"}, env_), "Not\\ Spam\n");

  std::ofstream(files_.temp / "message.eml") << "Subject: x\n\n";
  for (const char* command : {"deliver", "spam"}) {
    EXPECT_EQ(Complete({command, (files_.temp / "mess").c_str()}, env_),
              (files_.temp / "message.eml").string() + "\n");
  }
  EXPECT_EQ(Complete({"notspam", "a.eml", (files_.temp / "mess").c_str()}, env_),
            (files_.temp / "message.eml").string() + "\n");
  // Without a running program, deliver's folders come from the Maildir on disk.
  for (const char* sub : {"cur", "new", "tmp"}) {
    std::filesystem::create_directories(files_.maildir / ".Old Mail" / sub);
  }
  const QString none = QString::fromStdString((files_.temp / "none.sock").string());
  EXPECT_EQ(Complete({"--socket", none, "deliver", "m.eml", ""}, env_),
            "Inbox\nOld\\ Mail\nSent\n");
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
