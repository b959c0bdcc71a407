// New mail as the filter meets it in a real Maildir: files that are not mail, readers that move
// mail on before it is judged, a spam folder that goes away, bursts larger than the kernel's
// event queue.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "maildir/maildir_delivery.h"
#include "maildir/maildir_store.h"
#include "maildir/new_mail_watcher.h"
#include "tests/support/file_contents.h"
#include "tests/support/maildir_files.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteFile;

namespace fs = std::filesystem;

constexpr int kWaitMs = 30000;

std::string Mail(const std::string& sender, const std::string& subject) {
  return "From: <" + sender + ">\nTo: <me@home.example>\nSubject: " + subject + "\n\nHello.\n";
}

// Writes a message into folder/tmp the way a delivery agent does (without syncing, to be quick)
// and returns its name; Land renames it into new/.
std::string WriteToTmp(const fs::path& folder, const std::string& bytes) {
  const std::string name = UniqueMaildirName();
  WriteFile(folder / "tmp" / name, bytes);
  return name;
}
void Land(const fs::path& folder, const std::string& name) {
  fs::rename(folder / "tmp" / name, folder / "new" / name);
}

// The entries in dir; 0 when it is missing.
size_t FilesIn(const fs::path& dir) {
  std::error_code error;
  const fs::directory_iterator entries(dir, error);
  return error ? 0 : static_cast<size_t>(std::distance(entries, fs::directory_iterator()));
}

// The largest number of events the kernel queues for one watcher before it drops them.
size_t KernelEventQueue() {
  std::ifstream in("/proc/sys/fs/inotify/max_queued_events");
  size_t size = 16384;
  in >> size;
  return size;
}

// A server on a fresh Maildir with a spam folder, judging new mail as the filter does: a
// message from a sender with "spammer" in the address is moved into the spam folder, and one
// that is gone or cannot be read is left where it is.
class FilteredMaildir {
 public:
  FilteredMaildir()
      : server_(temp_.path()),
        manager_(server_.NewFolderManager()),
        spam_(manager_->CreateFolder(0, "spam")) {
    events_.onNewMessage = [this](int32_t folder, int32_t message) { Judge(folder, message); };
    server_.maildir().SetNoticeHandler(
        [this](const std::string& text) { notices_.push_back(text); });
  }

  const fs::path& root() const { return temp_.path(); }
  fs::path spamDir() const { return temp_ / ".spam"; }
  testing::MaildirServer& server() { return server_; }
  IOEFolderManager& manager() { return *manager_; }
  int32_t spam() const { return spam_; }
  const std::vector<int32_t>& announced() const { return announced_; }
  const std::vector<std::string>& notices() const { return notices_; }
  // Runs after each judgement.
  void OnJudged(std::function<void()> then) { judged_ = std::move(then); }

  // Delivers a spam message and waits until it is in the spam folder: every event due before
  // it has been handled by then.
  bool DeliverSpamAndWait() {
    const size_t before = FilesIn(spamDir() / "new");
    DeliverMessage(root(), Mail("sentinel-spammer@bulk.example", "sentinel"));
    return QTest::qWaitFor([&] { return FilesIn(spamDir() / "new") > before; }, kWaitMs);
  }

 private:
  void Judge(int32_t folderId, int32_t messageId) {
    announced_.push_back(messageId);
    const std::unique_ptr<IOEFolder> folder = manager_->GetFolder(folderId);
    const std::unique_ptr<IOEMessage> message = folder ? folder->GetMessage(messageId) : nullptr;
    try {
      if (message && message->GetHeaders().find("spammer") != std::string::npos) {
        manager_->MoveMessage(folderId, spam_, messageId);
      }
    } catch (const ExtensionError& e) {
      notices_.push_back(e.what());
    }
    if (judged_) {
      judged_();
    }
  }

  TempDir temp_;
  testing::MaildirServer server_;
  testing::RecordingEvents events_{server_};
  std::unique_ptr<IOEFolderManager> manager_;
  int32_t spam_;
  std::vector<int32_t> announced_;
  std::vector<std::string> notices_;
  std::function<void()> judged_;
};

// A file in new/ that is not mail: it must be neither read, followed, nor moved.
struct OddFile {
  const char* name;
  std::function<void(const fs::path& file, const fs::path& outside)> make;
  size_t notices;
};

TEST(NewMailTest, FilesInNewThatAreNotMailAreLeftWhereTheyAreAndReportedOnce) {
  const OddFile oddFiles[] = {
      {"FIFO", [](const fs::path& file, const fs::path&) { ::mkfifo(file.c_str(), 0600); }, 1},
      {"folder", [](const fs::path& file, const fs::path&) { fs::create_directory(file); }, 1},
      {"link to /dev/zero",
       [](const fs::path& file, const fs::path&) { fs::create_symlink("/dev/zero", file); }, 0},
      {"link outside the Maildir",
       [](const fs::path& file, const fs::path& outside) {
         fs::create_symlink(outside / "secret.eml", file);
       },
       0},
      {"link to a folder",
       [](const fs::path& file, const fs::path& outside) { fs::create_symlink(outside, file); }, 0},
  };
  for (const OddFile& odd : oddFiles) {
    for (const bool beforeStart : {true, false}) {
      const std::string row = std::string(odd.name) + (beforeStart ? ", waiting" : ", arriving");
      TempDir outside;
      WriteFile(outside / "secret.eml", Mail("spammer@outside.example", "secret"));
      FilteredMaildir maildir;
      const fs::path file = maildir.root() / "new" / "1733745600.M1P1.odd";
      if (beforeStart) {
        odd.make(file, outside.path());
      }
      maildir.manager().ActivateNotifications();
      if (!beforeStart) {
        ASSERT_TRUE(maildir.DeliverSpamAndWait()) << row;
        odd.make(file, outside.path());
      }
      ASSERT_TRUE(maildir.DeliverSpamAndWait()) << row;
      ASSERT_TRUE(maildir.DeliverSpamAndWait()) << row;  // a second look finds it again

      struct stat info {};
      EXPECT_EQ(::lstat(file.c_str(), &info), 0) << row;
      EXPECT_EQ(maildir.notices().size(), odd.notices) << row;
      EXPECT_EQ(FilesIn(maildir.root() / "new"), 1u) << row;
      EXPECT_EQ(ReadBytes(outside / "secret.eml"), Mail("spammer@outside.example", "secret"))
          << row;
      for (const fs::directory_entry& entry : fs::directory_iterator(maildir.spamDir() / "new")) {
        EXPECT_TRUE(entry.is_regular_file() && !entry.is_symlink()) << row << entry.path();
      }
    }
  }
}

TEST(NewMailTest, MailThatAReaderMovesOnToCurBeforeItIsJudgedIsJudgedThereOnce) {
  // Three events a message: it lands in new/, leaves it, lands in cur/. All of them wait in the
  // kernel's queue while the burst is written.
  const size_t count = std::min<size_t>(5000, (KernelEventQueue() - 100) / 3);
  FilteredMaildir maildir;
  maildir.manager().ActivateNotifications();
  ASSERT_TRUE(maildir.DeliverSpamAndWait());
  std::vector<std::string> names;
  for (size_t i = 0; i < count; ++i) {
    const std::string sender = i % 2 == 0 ? "spammer" + std::to_string(i) + "@bulk.example"
                                          : "friend" + std::to_string(i) + "@home.example";
    names.push_back(WriteToTmp(maildir.root(), Mail(sender, "message " + std::to_string(i))));
  }
  for (const std::string& name : names) {
    Land(maildir.root(), name);
    fs::rename(maildir.root() / "new" / name, maildir.root() / "cur" / (name + ":2,S"));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return maildir.announced().size() >= count + 1; }, kWaitMs));
  ASSERT_TRUE(maildir.DeliverSpamAndWait());

  EXPECT_EQ(FilesIn(maildir.spamDir() / "cur"), (count + 1) / 2);
  EXPECT_EQ(FilesIn(maildir.root() / "cur"), count / 2);
  const std::set<int32_t> distinct(maildir.announced().begin(), maildir.announced().end());
  EXPECT_EQ(distinct.size(), maildir.announced().size());
  EXPECT_EQ(maildir.announced().size(), count + 2);
}

TEST(NewMailTest, ASpamFolderRemovedWhileRunningIsMadeAgainForTheNextSpam) {
  FilteredMaildir maildir;
  maildir.manager().ActivateNotifications();
  fs::remove_all(maildir.spamDir());
  ASSERT_TRUE(maildir.DeliverSpamAndWait());
  EXPECT_TRUE(fs::is_regular_file(maildir.spamDir() / "maildirfolder"));
  EXPECT_TRUE(fs::is_directory(maildir.spamDir() / "tmp"));
  EXPECT_EQ(maildir.server().ResolveFolder("spam"), maildir.spam());
  EXPECT_EQ(FilesIn(maildir.root() / "new"), 0u);
  EXPECT_TRUE(maildir.notices().empty());
  // Still watched: mail delivered into it is reported as its own.
  testing::RecordingEvents events(maildir.server());
  DeliverMessage(maildir.spamDir(), Mail("someone@home.example", "into spam"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events.newMessages.empty(); }, kWaitMs));
  EXPECT_EQ(events.newMessages[0].first, maildir.spam());
}

TEST(NewMailTest, AMoveThatFailsLeavesTheMessageReportsWhyAndJudgesItAgainAtTheNextStart) {
  FilteredMaildir maildir;
  maildir.manager().ActivateNotifications();
  fs::remove_all(maildir.spamDir());
  WriteFile(maildir.spamDir(), "a file where the spam folder was\n");
  DeliverMessage(maildir.root(), Mail("spammer@bulk.example", "stays"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !maildir.notices().empty(); }, kWaitMs));
  ASSERT_EQ(maildir.notices().size(), 1u);
  EXPECT_NE(maildir.notices()[0].find("cannot be made again"), std::string::npos)
      << maildir.notices()[0];
  EXPECT_NE(maildir.notices()[0].find("It stays in Inbox"), std::string::npos)
      << maildir.notices()[0];
  EXPECT_EQ(FilesIn(maildir.root() / "new"), 1u);
  EXPECT_EQ(maildir.announced().size(), 1u);

  // Not judged again while the mail client runs...
  DeliverMessage(maildir.root(), Mail("friend@home.example", "kept"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return maildir.announced().size() == 2; }, kWaitMs));
  // ...but at its next start, when the folder can be made again.
  fs::remove(maildir.spamDir());
  maildir.server().StopMailClient();
  maildir.server().StartMailClient();
  maildir.manager().ActivateNotifications();
  ASSERT_TRUE(QTest::qWaitFor([&] { return FilesIn(maildir.spamDir() / "new") == 1; }, kWaitMs));
  EXPECT_EQ(maildir.announced().size(), 3u);
  EXPECT_EQ(maildir.announced()[2], maildir.announced()[0]);
  EXPECT_EQ(FilesIn(maildir.root() / "new"), 1u);  // the kept one
}

TEST(NewMailTest, MailWhoseEventsTheKernelDroppedIsFoundAndAnnouncedOnceEach) {
  // A reader renaming one file back and forth fills the kernel's queue (two events a rename);
  // the events of the mail that lands after it are dropped.
  const size_t renames = KernelEventQueue() / 2 + 100;
  if (renames > 100000) {
    GTEST_SKIP() << "the kernel queues " << KernelEventQueue()
                 << " events: filling it would take too long here";
  }
  constexpr size_t kBurst = 500;
  FilteredMaildir maildir;
  maildir.manager().ActivateNotifications();
  ASSERT_TRUE(maildir.DeliverSpamAndWait());
  std::vector<std::string> names;
  for (size_t i = 0; i < kBurst; ++i) {
    names.push_back(WriteToTmp(maildir.root(), Mail("friend@home.example", "burst")));
  }
  WriteFile(maildir.root() / "cur" / "1.read.host:2,S", Mail("friend@home.example", "read"));
  for (size_t i = 0; i < renames; ++i) {
    fs::rename(maildir.root() / "cur" / "1.read.host:2,S",
               maildir.root() / "cur" / "1.read.host:2,RS");
    fs::rename(maildir.root() / "cur" / "1.read.host:2,RS",
               maildir.root() / "cur" / "1.read.host:2,S");
  }
  for (const std::string& name : names) {
    Land(maildir.root(), name);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return maildir.announced().size() >= kBurst + 1; }, kWaitMs));
  ASSERT_TRUE(maildir.DeliverSpamAndWait());
  const std::set<int32_t> distinct(maildir.announced().begin(), maildir.announced().end());
  EXPECT_EQ(distinct.size(), maildir.announced().size());
  EXPECT_EQ(maildir.announced().size(), kBurst + 2);
}

TEST(NewMailTest, OtherWorkGoesOnWhileABurstIsJudged) {
  constexpr size_t kBurst = 500;
  FilteredMaildir maildir;
  maildir.manager().ActivateNotifications();
  ASSERT_TRUE(maildir.DeliverSpamAndWait());
  size_t judgedWhenTimerRan = 0;
  maildir.OnJudged([&] {
    if (maildir.announced().size() == 2) {  // the first of the burst
      QTimer::singleShot(0, [&] { judgedWhenTimerRan = maildir.announced().size(); });
    }
    // Each judgement takes a while, as lookups in a large database do.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
    while (std::chrono::steady_clock::now() < until) {
    }
  });
  std::vector<std::string> names;
  for (size_t i = 0; i < kBurst; ++i) {
    names.push_back(WriteToTmp(maildir.root(), Mail("friend@home.example", "burst")));
  }
  for (const std::string& name : names) {
    Land(maildir.root(), name);
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return maildir.announced().size() == kBurst + 1; }, kWaitMs));
  EXPECT_GT(judgedWhenTimerRan, 1u);
  EXPECT_LT(judgedWhenTimerRan, kBurst + 1);
}

TEST(NewMailTest, TheStoreRemembersOnlyTheMailThatIsInIt) {
  TempDir temp;
  MaildirStore store(temp.path());
  NewMailWatcher watcher(store);
  size_t announced = 0;
  QObject::connect(&watcher, &NewMailWatcher::NewMessage, [&] { ++announced; });
  watcher.Activate();
  const auto deliverAndWait = [&](size_t count) {
    const size_t before = announced;
    for (size_t i = 0; i < count; ++i) {
      Land(temp.path(), WriteToTmp(temp.path(), Mail("friend@home.example", "kept")));
    }
    return QTest::qWaitFor([&] { return announced == before + count; }, kWaitMs);
  };
  TempDir archive;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(deliverAndWait(300));
    // A reader marks half of it read, then everything is archived or deleted.
    size_t i = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(temp / "new")) {
      if (i++ % 2 == 0) {
        fs::rename(entry.path(), temp / "cur" / (entry.path().filename().string() + ":2,S"));
      }
    }
    for (const char* sub : {"new", "cur"}) {
      for (const fs::directory_entry& entry : fs::directory_iterator(temp / sub)) {
        fs::rename(entry.path(), archive / entry.path().filename());
      }
    }
    fs::remove_all(archive.path());
    fs::create_directory(archive.path());
  }
  // What left is forgotten once the events after it have been read.
  ASSERT_TRUE(deliverAndWait(1));
  ASSERT_TRUE(deliverAndWait(1));
  EXPECT_EQ(store.RememberedMessages(), 2u);
}

}  // namespace
}  // namespace tervane
