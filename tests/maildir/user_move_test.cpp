// The user's own moves into and out of the spam folder, as the Maildir store sees them: each way a
// message can enter or leave the folder, and a burst of moves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "maildir/maildir_delivery.h"
#include "tests/support/maildir_files.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::MakeMaildirFolder;
using testing::TestMessage;
using testing::WriteFile;

constexpr int kWaitMs = 10000;

// A Maildir with an inbox, "spam", "Work" and "Trash", notifications on.
class UserMoveTest : public ::testing::Test {
 public:
  UserMoveTest() {
    for (const char* name : {".spam", ".Work", ".Trash"})
      MakeMaildirFolder(root() / name);
    manager_->ActivateNotifications();
    inbox_ = *server_.ResolveFolder("Inbox");
    spam_ = *server_.ResolveFolder("spam");
    work_ = *server_.ResolveFolder("Work");
    trash_ = *server_.ResolveFolder("Trash");
  }

  fs::path root() const { return temp_.path(); }
  // A message written into folder/tmp, as delivery agents and clients write one.
  fs::path InTmp(const fs::path& folder) {
    const fs::path file = folder / "tmp" / UniqueMaildirName();
    WriteFile(file, TestMessage("moved"));
    return file;
  }
  // Waits until a sentinel delivered last is announced: every event before it has come.
  void Settle() {
    const size_t before = events_.newMessages.size();
    DeliverMessage(root() / ".Work", TestMessage("sentinel"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return events_.newMessages.size() > before; }, kWaitMs));
    events_.newMessages.pop_back();
  }

  testing::TempDir temp_;
  testing::MaildirServer server_{temp_.path()};
  testing::RecordingEvents events_{server_};
  std::unique_ptr<IOEFolderManager> manager_ = server_.NewFolderManager();
  int32_t inbox_ = 0, spam_ = 0, work_ = 0, trash_ = 0;
};

struct Way {
  const char* name;
  const char* start;  // the folder the message lies in (read, in cur/) before; "" for tmp/ only
  // Moves the message's file; returns its file in the end folder (empty when it went away).
  std::function<fs::path(UserMoveTest&, const fs::path& file)> act;
  const char* from;  // "Inbox", "spam", ... or "" for no known folder; nullptr: no move
  const char* to;
  bool newMail = false;  // announced as new mail instead
};

fs::path RenameInto(const fs::path& file, const fs::path& dir) {
  fs::rename(file, dir / file.filename());
  return dir / file.filename();
}

TEST_F(UserMoveTest, EachWayIntoOrOutOfTheSpamFolder) {
  const std::vector<Way> ways = {
      {"rename from the inbox's cur/ into spam's cur/", "Inbox",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / ".spam/cur"); },
       "Inbox", "spam"},
      {"rename of unread mail from Work's new/ into spam's new/", "",
       [](UserMoveTest& t, const fs::path& f) {
         return RenameInto(RenameInto(f, t.root() / ".Work/new"), t.root() / ".spam/new");
       },
       "Work", "spam"},
      {"a copy that turns up in spam's cur/ (a client, a synchronizer)", "",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / ".spam/cur"); }, "",
       "spam"},
      {"a hard link into spam's cur/ (neomutt's save)", "",
       [](UserMoveTest& t, const fs::path& f) {
         fs::create_hard_link(f, t.root() / ".spam/cur" / f.filename());
         fs::remove(f);
         return t.root() / ".spam/cur" / f.filename();
       },
       "", "spam"},
      {"rename out of spam into the inbox", "spam",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / "cur"); }, "spam",
       "Inbox"},
      {"rename out of spam into Trash (the store reports it; the engine ignores it)", "spam",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / ".Trash/cur"); },
       "spam", "Trash"},
      {"new mail delivered into spam's new/", "",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / ".spam/new"); },
       nullptr, nullptr, true},
      {"deleted from spam", "spam",
       [](UserMoveTest&, const fs::path& f) {
         fs::remove(f);
         return fs::path();
       },
       nullptr, nullptr},
      {"rename between two other folders", "Inbox",
       [](UserMoveTest& t, const fs::path& f) { return RenameInto(f, t.root() / ".Work/cur"); },
       nullptr, nullptr},
      {"a reader's rename within spam, new/ to cur/", "",
       [](UserMoveTest& t, const fs::path& f) {
         return RenameInto(RenameInto(f, t.root() / ".spam/new"), t.root() / ".spam/cur");
       },
       nullptr, nullptr, true},
  };
  const auto folderId = [this](const char* name) {
    return *name == '\0' ? 0 : *server_.ResolveFolder(name);
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    const fs::path folder = std::string(way.start) == "Inbox" ? root()
                            : *way.start == '\0'              ? root() / ".Work"
                                                 : root() / ("." + std::string(way.start));
    fs::path file = InTmp(folder);
    if (*way.start != '\0')
      file = RenameInto(file, folder / "cur");
    Settle();
    events_.moves.clear();
    events_.newMessages.clear();
    way.act(*this, file);
    Settle();
    EXPECT_EQ(events_.newMessages.size(), way.newMail ? 1u : 0u);
    if (way.from == nullptr) {
      EXPECT_TRUE(events_.moves.empty());
      continue;
    }
    ASSERT_EQ(events_.moves.size(), 1u);
    EXPECT_EQ(events_.moves[0].from, folderId(way.from));
    EXPECT_EQ(events_.moves[0].to, folderId(way.to));
    const std::unique_ptr<IOEMessage> message =
        manager_->GetFolder(events_.moves[0].to)->GetMessage(events_.moves[0].messageId);
    ASSERT_TRUE(message);
    EXPECT_NE(message->GetHeaders().find("Subject: moved"), std::string::npos);
  }
}

TEST_F(UserMoveTest, TheStoresOwnMovesAreNoMarks) {
  DeliverMessage(root(), TestMessage("judged"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return events_.newMessages.size() == 1; }, kWaitMs));
  const int32_t moved = manager_->MoveMessage(inbox_, spam_, events_.newMessages[0].second);
  ASSERT_GT(moved, 0);
  ASSERT_GT(manager_->MoveMessage(spam_, inbox_, moved), 0);
  Settle();
  EXPECT_TRUE(events_.moves.empty());
}

// The user selects 500 messages and moves them into spam at once: 500 moves, each once, in the
// order made, while new mail that arrives meanwhile is still announced.
TEST_F(UserMoveTest, ABurstOfMovesIsEachReportedOnceInOrder) {
  constexpr int kMoves = 500;
  std::vector<fs::path> files;
  for (int i = 0; i < kMoves; ++i)
    files.push_back(DeliverMessage(root() / ".Work", TestMessage("burst")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return events_.newMessages.size() == kMoves; }, kWaitMs));
  std::vector<std::string> names;
  for (int i = 0; i < kMoves; ++i) {
    const fs::path to = root() / ".spam/cur" / (files[i].filename().string() + ":2,S");
    fs::rename(files[i], to);
    names.push_back(to.filename().string());
    if (i % 100 == 0)
      DeliverMessage(root(), TestMessage("new mail meanwhile"));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return events_.moves.size() >= kMoves; }, kWaitMs));
  Settle();
  ASSERT_EQ(events_.moves.size(), static_cast<size_t>(kMoves));
  EXPECT_EQ(events_.newMessages.size(), static_cast<size_t>(kMoves + 5));
  std::vector<int32_t> ids;
  for (const auto& move : events_.moves) {
    EXPECT_EQ(move.from, work_);
    EXPECT_EQ(move.to, spam_);
    ids.push_back(move.messageId);
  }
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));  // ids are handed out in arrival order
  EXPECT_EQ(std::set<int32_t>(ids.begin(), ids.end()).size(), ids.size());
}

}  // namespace
}  // namespace tervane
