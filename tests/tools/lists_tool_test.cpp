// tervane-lists as a user runs it: on the files of a stopped program, through a program in this
// process, and against bad input.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "shell/program_list_commands.h"
#include "store/filter_database.h"
#include "store/folder_owner.h"
#include "tests/support/child_process.h"
#include "tests/support/file_contents.h"
#include "tests/support/maildir_server.h"
#include "tests/support/program_folder.h"
#include "tests/support/unix_socket.h"
#include "tests/tools/tool_run.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::ToolRun;

QString Q(const fs::path& path) {
  return QString::fromStdString(path.string());
}

class ListsToolTest : public ::testing::Test {
 protected:
  ListsToolTest() {
    fs::create_directory(runtime / "run");
    fs::permissions(runtime / "run", fs::perms::owner_all);
    env.insert("XDG_RUNTIME_DIR", Q(runtime / "run"));
  }

  ToolRun Lists(QStringList args, const QByteArray& input = {}) {
    args = QStringList{"--folder", Q(folder.dir.path()), "--socket", Q(socket)} + args;
    return testing::RunTool(TERVANE_LISTS_PATH, args, env, input);
  }
  // The white list's addresses as `show` prints them, each followed by a blank.
  std::string WhiteMails() {
    std::istringstream lines(Lists({"show", "white"}).out);
    std::string mails;
    for (std::string line; std::getline(lines, line);)
      mails += line.substr(0, line.find('\t')) + " ";
    return mails;
  }
  fs::path WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(runtime / name, std::ios::binary) << content;
    return runtime / name;
  }

  testing::ProgramFolder folder{{"known@spam.example"}};
  testing::TempDir runtime;
  fs::path socket = runtime / "run" / "mailclient.sock";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(ListsToolTest, WorksOnTheFilesOfAStoppedProgram) {
  EXPECT_EQ(Lists({"add", "white", "Ann@X.org", "Ann"}).exitCode, 0);
  const ToolRun again = Lists({"add", "white", "ann@x.org"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_NE(again.out.find("already on the white list"), std::string::npos) << again.out;
  const ToolRun invalid = Lists({"add", "black", "Ann <ann@x.org>"});
  EXPECT_EQ(invalid.exitCode, 1);
  EXPECT_EQ(invalid.err, "please input a valid email.\n");

  const fs::path csv = WriteFile("in.csv", "mail,name,date\nbob@y.org,\"Bob, B\",2024-01-31\n");
  EXPECT_EQ(Lists({"import", "white", Q(csv)}).out, "imported 1, skipped 0\n");
  EXPECT_EQ(Lists({"show", "white", "--match", "B, b"}).out, "bob@y.org\tBob, B\t2024-01-31\n");
  EXPECT_EQ(Lists({"show", "reference"}).out, "known@spam.example\n");

  EXPECT_EQ(Lists({"level", "high"}).exitCode, 0);
  EXPECT_EQ(Lists({"stats"}).out,
            "security level\thigh\nmarked as spam\t0\ndetaches\t0\nlast harvest\tnever\n");
  EXPECT_EQ(Lists({"remove", "white", "ANN@x.org"}).exitCode, 0);
  EXPECT_EQ(Lists({"remove", "white", "ann@x.org"}).exitCode, 1);

  const ToolRun exported = Lists({"export", "white", Q(runtime / "out.csv")});
  EXPECT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_EQ(testing::ReadBytes(runtime / "out.csv"),
            "mail,name,date\nbob@y.org,\"Bob, B\",2024-01-31\n");
}

struct BadInputCase {
  const char* name;
  std::optional<std::string> content;  // nothing: the file does not exist
  const char* fileName;
  int exitCode;
  const char* message;    // in standard error, or in standard output for exit 3
  const char* listAfter;  // the white list's addresses afterwards
};
void PrintTo(const BadInputCase& c, std::ostream* os) {
  *os << c.name;
}

class ListsBadInputTest : public ListsToolTest,
                          public ::testing::WithParamInterface<BadInputCase> {};

// The white list holds keep@x.org when each file is imported.
TEST_P(ListsBadInputTest, ClearMessageAndNoHalfImportedList) {
  ASSERT_EQ(Lists({"add", "white", "keep@x.org"}).exitCode, 0);
  const BadInputCase& c = GetParam();
  const fs::path file = c.content ? WriteFile(c.fileName, *c.content) : runtime / c.fileName;
  const ToolRun run = Lists({"import", "white", Q(file), "--verbose"});
  EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
  EXPECT_NE((c.exitCode == 3 ? run.out : run.err).find(c.message), std::string::npos)
      << run.out << run.err;
  EXPECT_EQ(WhiteMails(), c.listAfter);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, ListsBadInputTest,
    ::testing::Values(
        BadInputCase{"NotText",
                     "new@x.org\n\x7f"
                     "ELF\x02\x01\x01\0\0\0"s,
                     "a.out", 1,
                     "line 2: a NUL byte: this is not a text file; nothing was imported",
                     "keep@x.org "},
        BadInputCase{"MegabyteLine", "new@x.org\n" + std::string(1 << 20, 'x') + "\n", "big.txt", 1,
                     "line 2: longer than 4096 bytes", "keep@x.org "},
        BadInputCase{"CsvWithMissingColumns", "mail,name,date\nnew@x.org,New\n", "l.csv", 1,
                     "line 2: 2 fields where the header has 3; nothing was imported",
                     "keep@x.org "},
        BadInputCase{"CsvWithoutMail", "name\nNew\n", "l.csv", 1, "no column \"mail\"",
                     "keep@x.org "},
        BadInputCase{"EmptyFile", "", "empty.txt", 1, "holds no addresses; nothing was imported",
                     "keep@x.org "},
        BadInputCase{"MissingFile", std::nullopt, "missing.txt", 1,
                     "missing.txt: No such file or directory", "keep@x.org "},
        BadInputCase{"QuotesTabsCrLfAndNonAscii",
                     "\"q\"@x.org\r\nok@x.org\r\nbad\x01@x.org\ncaf\xE9@x.org\nKEEP@x.org\n"
                     "Ann <ann@x.org>\tAnn\n",
                     "mixed.txt", 3,
                     "imported 1, skipped 5: 4 invalid, 1 already listed\nline 1: invalid: "
                     "\"q\"@x.org\nline 3:",
                     "keep@x.org ok@x.org "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListsToolTest, StandardInputIsReadFirst) {
  const ToolRun run = Lists({"import", "black", "-"}, "spam@x.org\n");
  EXPECT_EQ(run.out, "imported 1, skipped 0\n") << run.err;
  EXPECT_EQ(Lists({"show", "black"}).out.substr(0, 11), "spam@x.org\t");
}

TEST_F(ListsToolTest, AReadOnlyDatabaseIsSaidSo) {
  fs::permissions(folder.dir.path(), fs::perms(0777));
  fs::permissions(folder.customer(), fs::perms(0444));
  fs::permissions(runtime.path(), fs::perms(0777));
  const fs::path err = runtime / "err.txt";
  const std::string command = std::string(TERVANE_LISTS_PATH) + " --folder '" +
                              folder.dir.path().string() + "' add white new@x.org 2>'" +
                              err.string() + "'";
  EXPECT_EQ(testing::RunUnprivileged(
                [&] { return std::to_string(WEXITSTATUS(std::system(command.c_str()))); }),
            "1");
  EXPECT_NE(testing::ReadBytes(err).find("cust.mdb is read-only"), std::string::npos)
      << testing::ReadBytes(err);
}

TEST_F(ListsToolTest, AnOwnerThatDoesNotAnswerIsNamedWithTheSocket) {
  const FolderOwner owner = FolderOwner::Acquire(folder.dir.path());
  const ToolRun run = Lists({"show", "white"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("in use by process " + std::to_string(::getpid())), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("no program answers for them at " + socket.string()), std::string::npos);
  EXPECT_EQ(run.err.find("database is locked"), std::string::npos);
}

// A program owning the folder, as the real one does: its server, its database and its level.
class ListsThroughProgramTest : public ListsToolTest {
 protected:
  ListsThroughProgramTest() { securityLevel.Set(OpenFilterDatabase(db, folder.dir.path())); }

  FolderOwner owner = FolderOwner::Acquire(folder.dir.path());
  testing::TempDir mail;
  FilterDatabase db;
  ProgramSecurityLevel securityLevel;
  ProgramListCommands commands{db, folder.dir.path(), securityLevel};
  testing::MaildirServer server{mail / "Maildir", socket, [this](const ControlRequest& request) {
                                  ControlAnswer answer;
                                  answer.lists = commands.Answer(request.lists);
                                  return answer;
                                }};
};

TEST_F(ListsThroughProgramTest, EveryCommandGoesThroughTheProgram) {
  EXPECT_EQ(Lists({"add", "black", "spam@x.org", "Spammer"}).exitCode, 0);
  db.ADODataSet1.Query(QueryText::kBlackTableLookup, "SPAM@x.org");
  EXPECT_FALSE(db.ADODataSet1.IsEmpty());  // the program's next lookup sees it

  std::string many;
  for (int i = 0; i < 3000; ++i)
    many += "user" + std::to_string(i) + "@example.org\n";
  EXPECT_EQ(Lists({"import", "white", "-"}, QByteArray::fromStdString(many + "bad\n")).out,
            "imported 3,000, skipped 1: 1 invalid, 0 already listed\n");
  EXPECT_EQ(Lists({"show", "white", "--match", "USER2999@"}).out.substr(0, 22),
            "user2999@example.org\t\t");
  const ToolRun json = Lists({"show", "black", "--json"});
  const QJsonDocument rows = QJsonDocument::fromJson(QByteArray::fromStdString(json.out));
  EXPECT_EQ(rows[0]["name"].toString(), "Spammer") << json.out;

  EXPECT_EQ(Lists({"level", "low"}).out, "security level set to low\n");
  EXPECT_EQ(securityLevel.level(), SecurityLevel::kLow);
  EXPECT_EQ(Lists({"remove", "black", "spam@x.org"}).exitCode, 0);
  EXPECT_EQ(Lists({"export", "black"}).out, "# black list: address, tab, name\n");
}

TEST_F(ListsThroughProgramTest, AProgramOfAnotherFolderIsNotUsed) {
  const testing::ProgramFolder other;
  const FolderOwner otherOwner = FolderOwner::Acquire(other.dir.path());
  const ToolRun run = testing::RunTool(
      TERVANE_LISTS_PATH,
      {"--folder", Q(other.dir.path()), "--socket", Q(socket), "add", "white", "a@x.org"}, env);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("keeps its lists in " + folder.dir.path().string()), std::string::npos)
      << run.err;
}

// A program that answers where its lists are, then ends while an import is sent to it.
TEST_F(ListsToolTest, AProgramEndingDuringAnImportLeavesAllOrNothing) {
  const FolderOwner owner = FolderOwner::Acquire(folder.dir.path());
  const UniqueFd listening = testing::BindUnixSocket(socket, true);
  const std::string folderAnswer =
      QJsonDocument(QJsonObject{{"ok", true}, {"folder", Q(folder.dir.path())}})
          .toJson(QJsonDocument::Compact)
          .toStdString() +
      "\n";
  std::thread program([&] {
    for (const bool answer : {true, false}) {
      const UniqueFd peer(::accept(listening.get(), nullptr, nullptr));
      char c = 0;
      while (::read(peer.get(), &c, 1) == 1 && c != '\n') {
      }
      if (answer) {
        ASSERT_EQ(::write(peer.get(), folderAnswer.data(), folderAnswer.size()),
                  static_cast<ssize_t>(folderAnswer.size()));
      }
    }
  });
  const ToolRun run = Lists({"import", "white", "-"}, "new@x.org\n");
  program.join();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("the list holds all of it or none of it"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tervane
