// The whole program, run as a real process on its own Maildir and driven only through oectl.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <signal.h>

#include <QFile>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/spam_report.h"
#include "store/filter_database.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kReferenceSender[] = "offers@cheap-pills.example";  // in the shipped sample list

// The program's lists and counters, read after it has closed its database (a detach).
class Lists {
 public:
  explicit Lists(const fs::path& programFolder) { OpenFilterDatabase(db_, programFolder); }
  ~Lists() { CloseFilterDatabase(db_); }
  bool Has(QueryText lookup, const std::string& address) {
    db_.ADODataSet1.Query(lookup, address);
    return !db_.ADODataSet1.IsEmpty();
  }
  int32_t Misc(const char* field) {
    db_.ADODataSet1.Query(QueryText::kMiscWhereId1);
    return db_.ADODataSet1.FieldAsInteger(field);
  }

 private:
  FilterDatabase db_;
};

class ProgramTest : public ::testing::Test {
 protected:
  // Stops the mail client and waits until the program has closed its database.
  bool StopMailClient() {
    return session.Oectl({"stop"}).exitCode == 0 &&
           WaitUntil([this] { return session.Oectl({"buttons"}).Rows().empty(); }) &&
           WaitUntil([this] {
             try {
               Lists lists(session.programFolder());
               return true;
             } catch (const std::exception&) {
               return false;
             }
           });
  }

  ProgramSession session;
};

TEST_F(ProgramTest, AttachMakesTheSpamFolderAndSixButtonsAndRegistersAutostart) {
  ASSERT_TRUE(session.StartAttached());

  EXPECT_EQ(session.Oectl({"buttons"}).out, "Spam\nNot Spam\nConfig\nLive Update\nHelp\nAbout\n");
  EXPECT_EQ(session.FolderCounts().count("spam"), 1u);
  const std::string entry =
      ReadBytes(session.configHome() / "autostart" / "Tervane Spam Filter For OE.desktop");
  EXPECT_NE(entry.find("Exec=\"" + (session.programFolder() / "TervaneAntiSpam").string() + "\"\n"),
            std::string::npos)
      << entry;
}

TEST_F(ProgramTest, NewMailFromAReferenceListSenderGoesToSpamAndOtherMailStays) {
  ASSERT_TRUE(session.StartAttached());
  session.Deliver(kReferenceSender, "cheap pills\n");
  session.Deliver("friend@home.example", "hello\n");

  EXPECT_TRUE(WaitUntil([this] {
    const auto counts = session.FolderCounts();
    return counts.at("spam") == 1 && counts.at("Inbox") == 1;
  }));
  const auto spam = session.Oectl({"list", "spam"}).Rows();
  ASSERT_EQ(spam.size(), 1u);
  EXPECT_EQ(spam[0].at(1), kReferenceSender);

  // The log says why, once the burst is written out.
  const fs::path log = session.stateHome() / "tervane-antispam" / "decisions.log";
  EXPECT_TRUE(WaitUntil([&] {
    const std::string text = ReadBytes(log);
    return text.find("from <" + std::string(kReferenceSender) +
                     ">: on the reference list; moved to spam") != std::string::npos &&
           text.find("from <friend@home.example>: on no list; left in Inbox") != std::string::npos;
  })) << ReadBytes(log);
}

TEST_F(ProgramTest, SpamAndNotSpamMoveListCountAndReport) {
  ASSERT_TRUE(session.StartAttached());
  session.Deliver("ann@one.example", "first body\n");
  session.Deliver("bob@two.example", "second body\n");
  ASSERT_TRUE(WaitUntil([this] { return session.MessageIds("Inbox").size() == 2; }));
  QStringList select{"select", "Inbox"};
  for (const std::string& id : session.MessageIds("Inbox"))
    select << QString::fromStdString(id);
  ASSERT_EQ(session.Oectl(select).exitCode, 0);

  ASSERT_EQ(session.Oectl({"click", "Spam"}).exitCode, 0);
  EXPECT_EQ(session.FolderCounts().at("spam"), 2);
  EXPECT_EQ(session.FolderCounts().at("Inbox"), 0);
  const std::string host = session.reports().Host();
  const std::string prefix = "http://" + host;
  std::vector<std::string> expected{
      SpamReportAddress(host, "ann@one.example", "first body\n").substr(prefix.size()),
      SpamReportAddress(host, "bob@two.example", "second body\n").substr(prefix.size())};
  EXPECT_TRUE(WaitUntil([&] { return session.reports().Targets().size() == 2; }));
  std::vector<std::string> targets = session.reports().Targets();
  std::sort(targets.begin(), targets.end());
  EXPECT_EQ(targets, expected);

  // Not Spam on the first message of the spam folder sends it back.
  const auto spam = session.Oectl({"list", "spam"}).Rows();
  ASSERT_EQ(spam.size(), 2u);
  const auto& ann = spam[0].at(1) == "ann@one.example" ? spam[0] : spam[1];
  ASSERT_EQ(session.Oectl({"select", "spam", QString::fromStdString(ann.at(0))}).exitCode, 0);
  ASSERT_EQ(session.Oectl({"click", "Not Spam"}).exitCode, 0);
  EXPECT_EQ(session.FolderCounts().at("Inbox"), 1);
  EXPECT_EQ(session.FolderCounts().at("spam"), 1);

  // The lists now judge new mail: Bob is on the black list, Ann on the white list. Automatic
  // filtering reports nothing.
  session.Deliver("bob@two.example", "again\n");
  session.Deliver("ann@one.example", "again\n");
  EXPECT_TRUE(WaitUntil([this] {
    const auto counts = session.FolderCounts();
    return counts.at("spam") == 2 && counts.at("Inbox") == 2;
  }));
  EXPECT_EQ(session.reports().Targets().size(), 2u);

  ASSERT_TRUE(StopMailClient());
  Lists lists(session.programFolder());
  EXPECT_TRUE(lists.Has(QueryText::kBlackTableLookup, "bob@two.example"));
  EXPECT_FALSE(lists.Has(QueryText::kBlackTableLookup, "ann@one.example"));
  EXPECT_TRUE(lists.Has(QueryText::kWhiteTableLookup, "ann@one.example"));
  EXPECT_EQ(lists.Misc("spamnumber"), 2);
}

TEST_F(ProgramTest, FirstDetachHarvestsAndCompactsTheSecondDoesNot) {
  const std::string recent = "Date: Tue, 1 Dec 2099 10:00:00 +0000\n";
  ASSERT_TRUE(session.StartAttached());
  ASSERT_EQ(session.Oectl({"folders"}).exitCode, 0);
  fs::create_directories(session.maildir() / ".Sent" / "cur");
  fs::create_directories(session.maildir() / ".Sent" / "new");
  fs::create_directories(session.maildir() / ".Sent" / "tmp");
  session.Deliver("me@home.example", "hi\n", "Sent", "friend@home.example", recent);
  const ino_t before = InodeOf(session.programFolder() / "cust.mdb");

  ASSERT_TRUE(StopMailClient());
  const ino_t afterFirst = InodeOf(session.programFolder() / "cust.mdb");
  EXPECT_NE(afterFirst, before);
  {
    Lists lists(session.programFolder());
    EXPECT_TRUE(lists.Has(QueryText::kWhiteTableLookup, "friend@home.example"));
    EXPECT_EQ(lists.Misc("number"), 1);
  }

  ASSERT_EQ(session.Oectl({"start"}).exitCode, 0);
  ASSERT_TRUE(WaitUntil([this] { return session.Oectl({"buttons"}).Rows().size() == 6; }));
  session.Deliver("me@home.example", "hi\n", "Sent", "other@home.example", recent);
  ASSERT_TRUE(StopMailClient());
  EXPECT_EQ(InodeOf(session.programFolder() / "cust.mdb"), afterFirst);
  Lists lists(session.programFolder());
  EXPECT_FALSE(lists.Has(QueryText::kWhiteTableLookup, "other@home.example"));
  EXPECT_EQ(lists.Misc("number"), 2);
}

TEST_F(ProgramTest, MissingDatabaseRestartsOnceThenStaysUpReportingTheError) {
  fs::remove(session.programFolder() / "cust.mdb");
  const fs::path errors = session.programFolder() / "errors.txt";
  session.Start(errors);

  // The first instance hands over to a fresh one and ends.
  ASSERT_TRUE(session.program().waitForFinished(10000));
  EXPECT_EQ(session.program().exitCode(), 0);
  ASSERT_TRUE(WaitUntil([this] { return session.Oectl({"status"}).exitCode == 0; }));
  ASSERT_TRUE(WaitUntil([&] { return ReadBytes(errors).find("cust.mdb") != std::string::npos; }));

  // The fresh one stays up without restarting again and says what is wrong once.
  const std::vector<int> instances = session.RunningInstances();
  ASSERT_EQ(instances.size(), 1u);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(session.RunningInstances(), instances);
  EXPECT_EQ(session.Oectl({"status"}).exitCode, 0);
  // Standard error carries the message once, beside one log line per failed attach.
  std::istringstream lines(ReadBytes(errors));
  int messages = 0;
  int logged = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("cust.mdb") == std::string::npos)
      continue;
    (line.find(" attach failed: ") != std::string::npos ? logged : messages) += 1;
  }
  EXPECT_EQ(messages, 1) << ReadBytes(errors);
  EXPECT_EQ(logged, 2) << ReadBytes(errors);
}

// Two desktop sessions of one user get two control sockets but share the program folder: the
// second instance must not touch the lists the first one works on, even across a compaction.
TEST_F(ProgramTest, ASecondInstanceOnTheSameListsStopsAtOnceAndAKilledOwnerFreesThem) {
  ASSERT_TRUE(session.StartAttached());
  const qint64 owner = session.program().processId();
  const std::unique_ptr<QProcess> second = session.StartAnotherInstance();
  ASSERT_TRUE(second->waitForFinished(10000));
  EXPECT_NE(second->exitCode(), 0);
  EXPECT_NE(second->readAllStandardError().toStdString().find("in use by process " +
                                                              std::to_string(owner)),
            std::string::npos);

  // A compaction killed half way leaves its copy; the next owner clears it and works on.
  std::ofstream(session.programFolder() / "~CPk1ll3d") << "half a copy";
  session.Deliver("bob@shop.example", "first\n");
  ::kill(static_cast<pid_t>(owner), SIGKILL);
  session.program().waitForFinished(5000);
  ASSERT_TRUE(session.StartAttached());
  EXPECT_FALSE(fs::exists(session.programFolder() / "~CPk1ll3d"));
  ASSERT_TRUE(StopMailClient());
  EXPECT_EQ(Lists(session.programFolder()).Misc("number"), 1);
}

// Many instances started at once, as a login with several autostart entries may do: exactly one
// stays.
TEST_F(ProgramTest, OfFiveSimultaneousStartsExactlyOneStays) {
  constexpr int kRounds = 100;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 5; ++i)
      starts.push_back(session.StartAnotherInstance());
    ASSERT_TRUE(WaitUntil([&] { return session.RunningInstances().size() == 1; }))
        << "round " << round;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(session.RunningInstances().size(), 1u) << "round " << round;
    for (const auto& process : starts)
      process->kill();
    for (const auto& process : starts)
      process->waitForFinished(5000);
  }
}

TEST_F(ProgramTest, OddFilesInNewAndARemovedSpamFolderDoNotStopTheFilter) {
  ASSERT_TRUE(session.StartAttached());
  const fs::path fifo = session.maildir() / "new" / "1733745600.M1P1.fifo";
  const fs::path link = session.maildir() / "new" / "1733745600.M2P1.zero";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", link);
  fs::remove_all(session.maildir() / ".spam");
  session.Deliver(kReferenceSender, "cheap pills\n");

  ASSERT_TRUE(WaitUntil([this] { return session.FolderCounts().at("spam") == 1; }));
  EXPECT_EQ(session.Oectl({"status"}).exitCode, 0);
  EXPECT_TRUE(fs::is_regular_file(session.maildir() / ".spam" / "maildirfolder"));
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(ProgramTest, SigtermEndsTheProgramCleanly) {
  ASSERT_TRUE(session.StartAttached());
  EXPECT_TRUE(session.Terminate());
  EXPECT_NE(session.Oectl({"status"}).exitCode, 0);
}

// The lists and the level from the command line while the filter runs: the program carries
// the commands out, and its next message is judged by them; stopped, the tool works alone.
TEST_F(ProgramTest, ListsChangedFromTheCommandLineJudgeTheNextMessage) {
  ASSERT_TRUE(session.StartAttached());
  std::string addresses;
  for (int i = 0; i < 1000; ++i)
    addresses += "sender" + std::to_string(i) + "@junk.example\n";
  const CommandResult imported =
      session.Lists({"import", "black", "-"}, QByteArray::fromStdString(addresses));
  EXPECT_EQ(imported.out, "imported 1,000, skipped 0\n") << imported.err;
  EXPECT_EQ(session.Lists({"show", "black", "--match", "SENDER999@"}).Rows().at(0).at(0),
            "sender999@junk.example");

  session.Deliver("sender500@junk.example", "bulk\n");
  EXPECT_TRUE(WaitUntil([this] { return session.FolderCounts().at("spam") == 1; }));

  ASSERT_EQ(session.Lists({"level", "high"}).exitCode, 0);
  ASSERT_EQ(session.Lists({"add", "white", "friend@home.example", "Friend"}).exitCode, 0);
  session.Deliver("stranger@nowhere.example", "who?\n");
  session.Deliver("friend@home.example", "hello\n");
  EXPECT_TRUE(WaitUntil([this] {
    const auto counts = session.FolderCounts();
    return counts.at("spam") == 2 && counts.at("Inbox") == 1;
  }));

  // Detached, the program opens its database for the command and closes it again.
  ASSERT_TRUE(StopMailClient());
  EXPECT_EQ(session.Lists({"show", "white"}).Rows().at(0).at(1), "Friend");
  EXPECT_TRUE(session.Terminate());
  const CommandResult stats = session.Lists({"stats"});
  EXPECT_EQ(stats.Rows().at(0), (std::vector<std::string>{"security level", "high"})) << stats.err;
}

}  // namespace
}  // namespace tervane::testing
