// The real program killed with SIGKILL at random points of its work: a burst of new mail, a Spam
// on many selected messages, a detach that harvests and compacts. After every kill each message
// is in exactly one folder, cust.mdb passes SQLite's integrity check, and a restart attaches and
// filters. TERVANE_CRASH_TRIALS sets the kills per case (bench/crash_soak.sh runs many),
// TERVANE_CRASH_SEED the random points; each case prints one line of counts.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "maildir/maildir_delivery.h"
#include "maildir/message_file.h"
#include "message/header_fields.h"
#include "store/compaction_files.h"
#include "store/filter_database.h"
#include "store/integrity_check.h"
#include "tests/e2e/program_session.h"
#include "tests/support/maildir_files.h"
#include "tests/support/program_folder.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kReferenceSender = ReferenceSender();

int TrialsPerCase() {
  const char* trials = std::getenv("TERVANE_CRASH_TRIALS");
  return trials != nullptr && std::atoi(trials) > 0 ? std::atoi(trials) : 3;
}

unsigned Seed() {
  const char* seed = std::getenv("TERVANE_CRASH_SEED");
  return seed != nullptr ? static_cast<unsigned>(std::strtoul(seed, nullptr, 10))
                         : std::random_device()();
}

// A message of ours: its Message-ID names it wherever it goes.
struct TestMessage {
  std::string id;
  std::string sender;
  std::string folder;  // where it is delivered
  std::string recipient = "me@home.example";
  std::string Text() const {
    return "Message-ID: <" + id + ">\nDate: Tue, 1 Dec 2099 10:00:00 +0000\nFrom: <" + sender +
           ">\nTo: <" + recipient + ">\nSubject: " + id + "\n\nbody of " + id + "\n";
  }
};

// Folder name -> the Message-IDs of the files in its cur/ and new/, for every folder of the
// Maildir.
std::map<std::string, std::vector<std::string>> MessagesByFolder(const fs::path& maildir) {
  std::map<std::string, std::vector<std::string>> folders;
  auto read = [&](const std::string& name, const fs::path& dir) {
    for (const char* sub : {"cur", "new"}) {
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(dir / sub, error)) {
        const std::optional<std::string> headers = ReadMessageHeaders(entry.path());
        folders[name].push_back(headers ? HeaderFieldValue(*headers, "Message-ID") : "");
      }
    }
  };
  read("Inbox", maildir);
  for (const auto& entry : fs::directory_iterator(maildir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.size() > 1 && name[0] == '.')
      read(name.substr(1), entry.path());
  }
  return folders;
}

// The folder each message is in, by its "<id>"; "" for a message found nowhere, "*" for one
// found more than once.
std::map<std::string, std::string> WhereEach(const fs::path& maildir) {
  std::map<std::string, std::string> where;
  for (const auto& [folder, ids] : MessagesByFolder(maildir)) {
    for (const std::string& id : ids)
      where[id] = where.count(id) ? "*" : folder;
  }
  return where;
}

size_t FilesIn(const fs::path& folderDir) {
  size_t count = 0;
  for (const char* sub : {"cur", "new"}) {
    std::error_code error;
    for (auto it = fs::directory_iterator(folderDir / sub, error); !error && it != fs::end(it);
         it.increment(error))
      ++count;
  }
  return count;
}

// True iff a compaction's copy (or its journal) is in folder.
bool HasCompactionCopy(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (IsCompactionFile(entry.path().filename().string()))
      return true;
  }
  return false;
}

// What the kills of one case found, printed as one line that bench/crash_soak.sh adds up.
struct Tally {
  Tally(const char* name, unsigned seed) : name(name), seed(seed) {}
  const char* name;
  unsigned seed;
  int trials = 0;
  int messages = 0;
  int lost = 0;
  int duplicated = 0;
  int midway = 0;    // kills that left the operation unfinished
  std::string note;  // what else the case counted
  ~Tally() {
    std::cout << "crash " << name << ": trials " << trials << ", messages " << messages << ", lost "
              << lost << ", duplicated " << duplicated << ", killed mid-way " << midway << note
              << " (seed " << seed << ")" << std::endl;
  }
};

class CrashConsistencyTest : public ::testing::Test {
 protected:
  void Deliver(ProgramSession& session, const TestMessage& message) {
    DeliverMessage(MaildirFolderPath(session.maildir(), message.folder), message.Text());
  }

  void Kill(ProgramSession& session) {
    ::kill(static_cast<pid_t>(session.program().processId()), SIGKILL);
    ASSERT_TRUE(session.program().waitForFinished(10000));
  }

  // Kills the program as soon as its spam folder holds moved messages (at once for none).
  void KillOnceMoved(ProgramSession& session, size_t moved) {
    const fs::path spam = session.maildir() / ".spam";
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (FilesIn(spam) < moved && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(200us);
    Kill(session);
  }

  // Every message exactly once; cust.mdb, as the kill left it, sound.
  void CheckAfterKill(ProgramSession& session, const std::vector<TestMessage>& messages,
                      Tally& tally) {
    ++tally.trials;
    tally.messages += static_cast<int>(messages.size());
    const auto where = WhereEach(session.maildir());
    for (const TestMessage& message : messages) {
      const auto found = where.find("<" + message.id + ">");
      if (found == where.end()) {
        ++tally.lost;
        ADD_FAILURE() << message.id << " was lost";
      } else if (found->second == "*") {
        ++tally.duplicated;
        ADD_FAILURE() << message.id << " is in two places";
      }
    }
    EXPECT_EQ(where.size(), messages.size()) << "only our messages, each once";

    // Checked on a copy, so that the restart meets the files exactly as the kill left them.
    TempDir copy;
    CopyProgramFolder(session.programFolder(), copy.path());
    EXPECT_EQ(IntegrityProblems(copy / kCustomerDatabaseFile, kCustomerDatabasePassword),
              std::vector<std::string>{});
  }

  // The next start attaches and filters: a reference-list sender's new mail goes to spam.
  void CheckRestartFilters(ProgramSession& session, std::vector<TestMessage>& messages) {
    ASSERT_TRUE(session.StartAttached());
    messages.push_back({"after-restart@crash.example", kReferenceSender, "Inbox"});
    Deliver(session, messages.back());
    EXPECT_TRUE(WaitUntil(
        [&] { return WhereEach(session.maildir())["<after-restart@crash.example>"] == "spam"; }));
    EXPECT_TRUE(session.Terminate());
    EXPECT_EQ(WhereEach(session.maildir()).size(), messages.size());
  }

  // oectl with arguments, run beside the test until the returned future is read.
  std::future<CommandResult> OectlInBackground(ProgramSession& session, QStringList arguments) {
    return std::async(std::launch::async,
                      [&session, arguments] { return session.Oectl(arguments); });
  }

  const unsigned seed_ = Seed();
  std::mt19937 random_{seed_};
};

// A burst of new mail lands at once; the program is killed after it has moved a random share
// of the spam, and more mail arrives while it is down. What was judged stays where it went; the
// rest is judged at the next start.
TEST_F(CrashConsistencyTest, KilledDuringABurstOfNewMail) {
  constexpr int kBurst = 200;
  constexpr int kWhileDown = 20;
  Tally tally("burst", seed_);
  for (int trial = 0; trial < TrialsPerCase(); ++trial) {
    ProgramSession session;
    ASSERT_TRUE(session.StartAttached());
    std::vector<TestMessage> messages;
    for (int i = 0; i < kBurst + kWhileDown; ++i) {
      messages.push_back({"burst-" + std::to_string(i) + "@crash.example",
                          i % 2 ? kReferenceSender : "friend" + std::to_string(i) + "@home.example",
                          "Inbox"});
    }
    // Written into tmp/ first, then renamed into new/ one after the other as fast as that goes,
    // as a delivery agent flushing its queue does.
    std::vector<std::string> staged;
    for (int i = 0; i < kBurst; ++i) {
      staged.push_back(UniqueMaildirName());
      WriteFile(session.maildir() / "tmp" / staged.back(), messages[i].Text());
    }
    for (const std::string& name : staged)
      fs::rename(session.maildir() / "tmp" / name, session.maildir() / "new" / name);
    KillOnceMoved(session, std::uniform_int_distribution<size_t>(0, kBurst / 2 - 1)(random_));
    tally.midway += FilesIn(session.maildir() / ".spam") < kBurst / 2;
    for (int i = kBurst; i < kBurst + kWhileDown; ++i)
      Deliver(session, messages[i]);
    CheckAfterKill(session, messages, tally);

    // Everything the killed program left unjudged is judged at the next start.
    ASSERT_TRUE(session.StartAttached());
    EXPECT_TRUE(
        WaitUntil([&] { return FilesIn(session.maildir() / ".spam") == messages.size() / 2; }));
    const auto where = WhereEach(session.maildir());
    for (const TestMessage& message : messages)
      EXPECT_EQ(where.at("<" + message.id + ">"),
                message.sender == kReferenceSender ? "spam" : "Inbox")
          << message.id;
    ASSERT_TRUE(session.Terminate());
    CheckRestartFilters(session, messages);
  }
}

// Spam on many selected messages, killed after a random number of them has moved.
TEST_F(CrashConsistencyTest, KilledDuringSpamOnManySelectedMessages) {
  constexpr int kMessages = 150;
  Tally tally("spam", seed_);
  for (int trial = 0; trial < TrialsPerCase(); ++trial) {
    ProgramSession session;
    ASSERT_TRUE(session.StartAttached());
    std::vector<TestMessage> messages;
    for (int i = 0; i < kMessages; ++i) {
      messages.push_back({"marked-" + std::to_string(i) + "@crash.example",
                          "sender" + std::to_string(i) + "@shop.example", "Inbox"});
      Deliver(session, messages.back());
    }
    ASSERT_TRUE(WaitUntil([&] { return session.MessageIds("Inbox").size() == kMessages; }));
    QStringList select{"select", "Inbox"};
    for (const std::string& id : session.MessageIds("Inbox"))
      select << QString::fromStdString(id);
    ASSERT_EQ(session.Oectl(select).exitCode, 0);

    // Killed once a random count has moved (none: right after the click).
    const size_t movedBeforeKill = std::uniform_int_distribution<size_t>(0, kMessages - 1)(random_);
    std::future<CommandResult> click = OectlInBackground(session, {"click", "Spam"});
    KillOnceMoved(session, movedBeforeKill);
    click.get();
    const size_t moved = FilesIn(session.maildir() / ".spam");
    tally.midway += moved > 0 && moved < kMessages;
    CheckAfterKill(session, messages, tally);
    CheckRestartFilters(session, messages);
  }
}

// The first detach harvests the sent mail into the white list and compacts cust.mdb; killed at
// a random time within how long a whole one takes here.
TEST_F(CrashConsistencyTest, KilledDuringADetachThatHarvestsAndCompacts) {
  constexpr int kSent = 300;
  auto prepare = [&](ProgramSession& session, std::vector<TestMessage>& messages) {
    ASSERT_TRUE(session.StartAttached());
    MakeMaildirFolder(session.maildir() / ".Sent");
    for (int i = 0; i < kSent; ++i) {
      messages.push_back({"sent-" + std::to_string(i) + "@crash.example", "me@home.example", "Sent",
                          "friend" + std::to_string(i) + "@home.example"});
      Deliver(session, messages.back());
    }
    // The folder is seen once the mail client lists it.
    ASSERT_TRUE(WaitUntil([&] { return session.FolderCounts()["Sent"] == kSent; }));
  };

  // One whole detach tells how long the kills may wait.
  std::chrono::milliseconds whole;
  {
    ProgramSession session;
    std::vector<TestMessage> messages;
    prepare(session, messages);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(session.Oectl({"stop"}).exitCode, 0);
    whole = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start);
    ASSERT_TRUE(session.Terminate());
  }

  Tally tally("detach", seed_);
  int duringCompaction = 0;
  for (int trial = 0; trial < TrialsPerCase(); ++trial) {
    ProgramSession session;
    std::vector<TestMessage> messages;
    prepare(session, messages);
    const ino_t before = InodeOf(session.programFolder() / kCustomerDatabaseFile);
    const auto wait = std::chrono::microseconds(std::uniform_int_distribution<long>(
        0, std::chrono::duration_cast<std::chrono::microseconds>(whole).count())(random_));
    std::future<CommandResult> stop = OectlInBackground(session, {"stop"});
    std::this_thread::sleep_for(wait);
    Kill(session);
    stop.get();
    tally.midway += InodeOf(session.programFolder() / kCustomerDatabaseFile) == before;
    duringCompaction += HasCompactionCopy(session.programFolder());
    tally.note = ", " + std::to_string(duringCompaction) + " of them during the compaction";
    CheckAfterKill(session, messages, tally);
    CheckRestartFilters(session, messages);
    EXPECT_FALSE(HasCompactionCopy(session.programFolder())) << "the next owner removes it";
  }
}

}  // namespace
}  // namespace tervane::testing
