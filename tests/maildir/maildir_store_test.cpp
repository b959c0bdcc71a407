#include "maildir/maildir_store.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "mailapi/extension_interface.h"
#include "maildir/maildir_delivery.h"
#include "tests/support/file_contents.h"
#include "tests/support/maildir_files.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::MakeMaildirFolder;
using testing::ReadBytes;
using testing::Snapshot;
using testing::TempDir;
using testing::TestMessage;
using testing::WriteFile;

std::vector<std::string> Names(const std::vector<MaildirFolder>& folders) {
  std::vector<std::string> names;
  for (const MaildirFolder& folder : folders) {
    names.push_back(folder.name);
  }
  return names;
}

class MaildirStoreTest : public ::testing::Test {
 protected:
  std::filesystem::path Root() const { return temp_ / "Maildir"; }
  // A message file in the folder's subdir, named name.
  std::filesystem::path Put(const std::filesystem::path& folder, const std::string& subdir,
                            const std::string& name) {
    const std::filesystem::path path = folder / subdir / name;
    WriteFile(path, TestMessage(name));
    return path;
  }
  // The id of the message file named name in the folder.
  int32_t IdOf(MaildirStore& store, int32_t folderId, const std::string& name) {
    for (const int32_t id : store.Scan(folderId)) {
      if (store.MessagePath(folderId, id)->filename() == name) {
        return id;
      }
    }
    return -1;
  }

  TempDir temp_;
};

TEST_F(MaildirStoreTest, MakesAMissingRootAsTheInbox) {
  MaildirStore store(Root());
  for (const char* sub : {"cur", "new", "tmp"}) {
    EXPECT_TRUE(std::filesystem::is_directory(Root() / sub)) << sub;
  }
  EXPECT_EQ(store.Inbox().name, "Inbox");
  EXPECT_GT(store.Inbox().id, 0);
}

TEST_F(MaildirStoreTest, WalksTheInboxFirstThenFoldersByNameWithStableIds) {
  MakeMaildirFolder(Root() / ".Work");
  MakeMaildirFolder(Root() / ".Archive");
  std::filesystem::create_directories(Root() / ".NoMaildir" / "cur");  // lacks new/ and tmp/
  WriteFile(Root() / ".file", "not a folder");
  MaildirStore store(Root());

  const std::vector<MaildirFolder> first = store.Walk();
  EXPECT_EQ(Names(first), (std::vector<std::string>{"Inbox", "Archive", "Work"}));

  MakeMaildirFolder(Root() / ".Later");  // made by another program
  const std::vector<MaildirFolder> second = store.Walk();
  ASSERT_EQ(Names(second), (std::vector<std::string>{"Inbox", "Archive", "Later", "Work"}));
  EXPECT_EQ(second[1].id, first[1].id);
  EXPECT_EQ(second[3].id, first[2].id);
  std::set<int32_t> ids;
  for (const MaildirFolder& folder : second) {
    EXPECT_GT(folder.id, 0);
    ids.insert(folder.id);
  }
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(store.Folder(second[2].id)->dir, Root() / ".Later");
}

TEST_F(MaildirStoreTest, AFolderThatWentAwayIsUnknown) {
  MakeMaildirFolder(Root() / ".Gone");
  MaildirStore store(Root());
  const int32_t id = store.Walk().at(1).id;
  std::filesystem::remove_all(Root() / ".Gone");
  EXPECT_FALSE(store.Folder(id));
  EXPECT_FALSE(store.Folder(999));
}

TEST_F(MaildirStoreTest, ChoosesTheSentFolder) {
  struct Case {
    std::vector<std::string> folders;
    std::string sent;  // empty: none
  };
  const Case cases[] = {
      {{}, ""},
      {{"Sent Messages"}, "Sent Messages"},
      {{"Sent Items", "Sent Messages"}, "Sent Items"},
      {{"Sent", "Sent Items", "Sent Messages"}, "Sent"},
      {{"sent", "Outbox"}, ""},
  };
  for (const Case& c : cases) {
    TempDir temp;
    for (const std::string& name : c.folders) {
      MakeMaildirFolder(temp.path() / ("." + name));
    }
    MaildirStore store(temp.path());
    const std::optional<MaildirFolder> sent = store.SentFolder();
    EXPECT_EQ(sent ? sent->name : "", c.sent) << ::testing::PrintToString(c.folders);
    if (sent) {
      EXPECT_EQ(store.Folder(sent->id)->name, c.sent);
    }
  }
}

TEST_F(MaildirStoreTest, MessageIdsFollowAReadersRenameAndEndWithTheFile) {
  MaildirStore store(Root());
  const int32_t inbox = store.Inbox().id;
  Put(Root(), "new", "1.a.host");
  Put(Root(), "cur", "2.b.host:2,S");
  const std::vector<int32_t> ids = store.Scan(inbox);
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(store.Scan(inbox), ids);

  // A mail reader marks the new message as seen.
  std::filesystem::rename(Root() / "new" / "1.a.host", Root() / "cur" / "1.a.host:2,S");
  EXPECT_EQ(store.MessagePath(inbox, ids[0]), Root() / "cur" / "1.a.host:2,S");
  EXPECT_EQ(store.Scan(inbox), ids);

  std::filesystem::remove(Root() / "cur" / "2.b.host:2,S");
  EXPECT_FALSE(store.MessagePath(inbox, ids[1]));
  EXPECT_EQ(store.Scan(inbox), std::vector<int32_t>{ids[0]});
}

TEST_F(MaildirStoreTest, IgnoresDotFilesAndFoldersInsideNewAndCur) {
  MaildirStore store(Root());
  Put(Root(), "new", ".hidden");
  std::filesystem::create_directory(Root() / "cur" / "sub");
  Put(Root(), "new", "1.a.host");
  EXPECT_EQ(store.Scan(store.Inbox().id).size(), 1u);
}

TEST_F(MaildirStoreTest, CreateFolderMakesAMaildirPlusPlusFolderOnce) {
  MaildirStore store(Root());
  const int32_t id = store.CreateFolder("spam");
  ASSERT_GT(id, 0);
  const std::filesystem::path dir = Root() / ".spam";
  for (const char* sub : {"cur", "new", "tmp"}) {
    EXPECT_TRUE(std::filesystem::is_directory(dir / sub)) << sub;
  }
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "maildirfolder"));
  EXPECT_EQ(std::filesystem::file_size(dir / "maildirfolder"), 0u);
  EXPECT_EQ(store.CreateFolder("spam"), id);
  EXPECT_EQ(Names(store.Walk()), (std::vector<std::string>{"Inbox", "spam"}));
  EXPECT_NE(store.CreateFolder("Spam"), id);
}

TEST_F(MaildirStoreTest, CreateFolderRefusesNamesThatLeaveTheTree) {
  MaildirStore store(Root());
  for (const std::string& name :
       {std::string(), std::string("."), std::string(".."), std::string(".hidden"),
        std::string("a/b"), std::string("../x"), std::string("a\0b", 3)}) {
    EXPECT_EQ(store.CreateFolder(name), -1) << name;
  }
  EXPECT_EQ(Names(store.Walk()), std::vector<std::string>{"Inbox"});
}

TEST_F(MaildirStoreTest, MoveRenamesIntoTheSameSubfolderKeepingFlags) {
  MaildirStore store(Root());
  const int32_t inbox = store.Inbox().id;
  const int32_t spam = store.CreateFolder("spam");
  const std::filesystem::path seen = Put(Root(), "cur", "1.a.host:2,RS");
  const std::filesystem::path fresh = Put(Root(), "new", "2.b.host");
  const int32_t seenId = IdOf(store, inbox, "1.a.host:2,RS");
  const int32_t freshId = IdOf(store, inbox, "2.b.host");

  const int32_t movedSeen = store.MoveMessage(inbox, spam, seenId);
  const int32_t movedFresh = store.MoveMessage(inbox, spam, freshId);
  ASSERT_GT(movedSeen, 0);
  ASSERT_GT(movedFresh, 0);
  EXPECT_NE(movedSeen, seenId);
  EXPECT_EQ(store.MessagePath(spam, movedSeen), Root() / ".spam" / "cur" / "1.a.host:2,RS");
  EXPECT_EQ(store.MessagePath(spam, movedFresh), Root() / ".spam" / "new" / "2.b.host");
  EXPECT_EQ(ReadBytes(Root() / ".spam" / "cur" / "1.a.host:2,RS"), TestMessage("1.a.host:2,RS"));
  EXPECT_FALSE(std::filesystem::exists(seen));
  EXPECT_FALSE(store.MessagePath(inbox, seenId));
  EXPECT_TRUE(store.Scan(inbox).empty());

  // And back: a new id again.
  const int32_t back = store.MoveMessage(spam, inbox, movedSeen);
  EXPECT_GT(back, 0);
  EXPECT_NE(back, seenId);
  EXPECT_EQ(store.MessagePath(inbox, back), seen);
}

TEST_F(MaildirStoreTest, AFailedMoveTouchesNothing) {
  struct Case {
    const char* name;
    bool unknownSource;
    bool unknownDest;
    bool unknownId;
    bool vanished;
    bool nameTaken;
    bool sameFolder;
  };
  const Case cases[] = {
      {"unknown source folder", true, false, false, false, false, false},
      {"unknown destination folder", false, true, false, false, false, false},
      {"unknown message", false, false, true, false, false, false},
      {"source file gone", false, false, false, true, false, false},
      {"destination name taken", false, false, false, false, true, false},
      {"same folder", false, false, false, false, false, true},
  };
  for (const Case& c : cases) {
    TempDir temp;
    MaildirStore store(temp.path());
    const int32_t inbox = store.Inbox().id;
    const int32_t spam = store.CreateFolder("spam");
    Put(temp.path(), "cur", "1.a.host:2,S");
    Put(temp.path(), "new", "2.b.host");
    const int32_t id = IdOf(store, inbox, "1.a.host:2,S");
    if (c.vanished) {
      std::filesystem::remove(temp / "cur" / "1.a.host:2,S");
    }
    if (c.nameTaken) {
      WriteFile(temp / ".spam" / "cur" / "1.a.host:2,S", "someone else's message\n");
    }
    const auto before = Snapshot(temp.path());

    const int32_t source = c.unknownSource ? 77 : inbox;
    const int32_t dest = c.unknownDest ? 78 : c.sameFolder ? inbox : spam;
    EXPECT_EQ(store.MoveMessage(source, dest, c.unknownId ? 79 : id), -1) << c.name;
    EXPECT_EQ(Snapshot(temp.path()), before) << c.name;
  }
}

TEST_F(MaildirStoreTest, AMoveDropsTheUidOfTheFolderLeftAndKeepsTheRestOfTheName) {
  struct Case {
    const char* tool;
    std::string subdir;
    std::string name;
    std::string moved;
  };
  const Case cases[] = {
      {"mbsync, read", "cur", "1733745600.4242_1.mail,U=812:2,S", "1733745600.4242_1.mail:2,S"},
      {"mbsync, new", "new", "1733745601.4242_2.mail,U=813", "1733745601.4242_2.mail"},
      {"Dovecot sizes", "cur", "1733745602.M569844P2811.mail,S=2043,W=2092:2,RS",
       "1733745602.M569844P2811.mail,S=2043,W=2092:2,RS"},
      {"Dovecot file synced by mbsync", "cur", "1733745603.M1P2.mail,S=2043,W=2092,U=9:2,FS",
       "1733745603.M1P2.mail,S=2043,W=2092:2,FS"},
      {"no UID after U=", "cur", "1733745604.M1P2.mail,U=x7:2,S", "1733745604.M1P2.mail,U=x7:2,S"},
      {"U= among the flags", "cur", "1733745605.M1P2.mail:2,U=5", "1733745605.M1P2.mail:2,U=5"},
  };
  for (const Case& c : cases) {
    TempDir temp;
    MaildirStore store(temp.path());
    const int32_t spam = store.CreateFolder("spam");
    Put(temp.path(), c.subdir, c.name);
    const int32_t moved =
        store.MoveMessage(store.Inbox().id, spam, IdOf(store, store.Inbox().id, c.name));
    EXPECT_EQ(store.MessagePath(spam, moved), temp / ".spam" / c.subdir / c.moved) << c.tool;
    EXPECT_EQ(ReadBytes(temp / ".spam" / c.subdir / c.moved), TestMessage(c.name)) << c.tool;
  }
}

TEST_F(MaildirStoreTest, AMoveWithoutTheUidStillReplacesNothing) {
  MaildirStore store(Root());
  const int32_t spam = store.CreateFolder("spam");
  Put(Root(), "cur", "1733745600.4242_1.mail,U=812:2,S");
  WriteFile(Root() / ".spam" / "cur" / "1733745600.4242_1.mail:2,S", "already there\n");
  const auto before = Snapshot(Root());
  EXPECT_EQ(store.MoveMessage(store.Inbox().id, spam,
                              IdOf(store, store.Inbox().id, "1733745600.4242_1.mail,U=812:2,S")),
            -1);
  EXPECT_EQ(Snapshot(Root()), before);
}

TEST_F(MaildirStoreTest, MakingAFolderListsItInDovecotsSubscriptions) {
  struct Case {
    const char* name;
    std::string folder;
    std::string before;  // "-": no subscriptions file
    std::string after;
  };
  const Case cases[] = {
      {"no file", "spam", "-", "-"},
      {"one name a line", "spam", "INBOX\nSent\nTrash\n", "INBOX\nSent\nTrash\nspam\n"},
      {"version 2", "spam", "V\t2\n\nSent\nArchive\t2024\n", "V\t2\n\nSent\nArchive\t2024\nspam\n"},
      {"empty file", "spam", "", "spam\n"},
      {"last line without its end", "spam", "Sent", "Sent\nspam\n"},
      {"already listed", "spam", "spam\nSent\n", "spam\nSent\n"},
      {"namespace prefix", "spam", "INBOX\nINBOX.Sent\n", "INBOX\nINBOX.Sent\nINBOX.spam\n"},
      {"version 2 namespace prefix", "spam", "V\t2\n\nINBOX\tSent\n",
       "V\t2\n\nINBOX\tSent\nINBOX\tspam\n"},
      {"version 2 levels", "Lists.tervane", "V\t2\n\n", "V\t2\n\nLists\ttervane\n"},
  };
  for (const Case& c : cases) {
    TempDir temp;
    const std::filesystem::path file = temp / "subscriptions";
    if (c.before != "-") {
      WriteFile(file, c.before);
      std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);
    }
    MaildirStore store(temp.path());
    ASSERT_GT(store.CreateFolder(c.folder), 0) << c.name;
    EXPECT_EQ(std::filesystem::exists(file) ? ReadBytes(file) : "-", c.after) << c.name;
    EXPECT_FALSE(std::filesystem::exists(temp / "subscriptions.lock")) << c.name;
    if (c.before != "-") {
      EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                    std::filesystem::perms::group_read)
          << c.name;
    }
  }
}

TEST_F(MaildirStoreTest, SubscriptionsHeldByAnotherProgramAreLeftAloneAndReported) {
  MaildirStore store(Root());
  WriteFile(Root() / "subscriptions", "Sent\n");
  WriteFile(Root() / "subscriptions.lock", "Sent\nTrash\n");  // a writer at work
  std::vector<std::string> notices;
  store.SetNoticeHandler([&](const std::string& text) { notices.push_back(text); });
  EXPECT_GT(store.CreateFolder("spam"), 0);
  EXPECT_EQ(ReadBytes(Root() / "subscriptions"), "Sent\n");
  EXPECT_EQ(ReadBytes(Root() / "subscriptions.lock"), "Sent\nTrash\n");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("subscriptions.lock"), std::string::npos) << notices[0];
}

TEST_F(MaildirStoreTest, ForgetsMessagesWhoseFilesLeftUnlessTheyTurnUpAgain) {
  MaildirStore store(Root());
  const int32_t inbox = store.Inbox().id;
  const int32_t deleted = *store.NoteNewFile(inbox, "1.a.host");
  const int32_t read = *store.NoteNewFile(inbox, "2.b.host");
  const int32_t archived = *store.NoteNewFile(inbox, "3.c.host");
  store.NoteDeparture(inbox, MaildirSubdir::kNew, "1.a.host");
  store.NoteDeparture(inbox, MaildirSubdir::kNew, "2.b.host");
  store.ForgetDeparted();
  // A rename whose two halves were read apart: the file turns up in cur/ later.
  store.NoteCurFile(inbox, "2.b.host:2,S");
  store.NoteDeparture(inbox, MaildirSubdir::kNew, "3.c.host");
  store.ForgetDeparted();
  EXPECT_EQ(store.RememberedMessages(), 2u);
  store.ForgetDeparted();
  EXPECT_EQ(store.RememberedMessages(), 1u);
  EXPECT_FALSE(store.Announce(deleted));
  EXPECT_FALSE(store.Announce(archived));
  EXPECT_TRUE(store.Announce(read));
}

TEST_F(MaildirStoreTest, AMessageIdOfAnotherFolderIsNotFound) {
  MaildirStore store(Root());
  const int32_t spam = store.CreateFolder("spam");
  Put(Root(), "new", "1.a.host");
  const int32_t id = IdOf(store, store.Inbox().id, "1.a.host");
  EXPECT_FALSE(store.MessagePath(spam, id));
  EXPECT_EQ(store.MoveMessage(spam, store.Inbox().id, id), -1);
}

TEST_F(MaildirStoreTest, AnnouncesOnlyWaitingNewMessagesAndEachOnce) {
  MaildirStore store(Root());
  const int32_t inbox = store.Inbox().id;
  const int32_t spam = store.CreateFolder("spam");
  Put(Root(), "new", "1.a.host");
  Put(Root(), "new", "2.b.host");
  Put(Root(), "cur", "3.c.host:2,S");
  const std::vector<int32_t> waiting = store.Unannounced(inbox);
  ASSERT_EQ(waiting.size(), 2u);
  EXPECT_TRUE(store.Announce(waiting[0]));
  EXPECT_FALSE(store.Announce(waiting[0]));
  EXPECT_EQ(store.Unannounced(inbox), std::vector<int32_t>{waiting[1]});

  // A message the server moved in is not new mail.
  const int32_t moved = store.MoveMessage(inbox, spam, waiting[1]);
  EXPECT_TRUE(store.Unannounced(spam).empty());
  EXPECT_FALSE(store.Announce(moved));
  EXPECT_EQ(store.NoteNewFile(spam, "2.b.host"), moved);
  // An event is taken at its word; a file gone by the time it is looked at is no message.
  const std::optional<int32_t> gone = store.NoteNewFile(spam, "9.gone.host");
  ASSERT_TRUE(gone);
  EXPECT_EQ(store.OpenMessage(spam, *gone).access, OpenedMessage::Access::kGone);
  EXPECT_FALSE(store.Announce(*gone));
}

TEST(MaildirDeliveryTest, DeliversThroughTmpIntoNewUnderUniqueNames) {
  TempDir temp;
  MakeMaildirFolder(temp.path());
  const std::filesystem::path first = DeliverMessage(temp.path(), "one\n");
  const std::filesystem::path second = DeliverMessage(temp.path(), "two\n");
  EXPECT_EQ(first.parent_path(), temp / "new");
  EXPECT_NE(first, second);
  EXPECT_EQ(ReadBytes(first), "one\n");
  EXPECT_EQ(ReadBytes(second), "two\n");
  EXPECT_TRUE(std::filesystem::is_empty(temp / "tmp"));
  EXPECT_EQ(first.filename().string().find(':'), std::string::npos);
}

TEST(MaildirDeliveryTest, RefusesAFolderThatIsNoMaildir) {
  TempDir temp;
  EXPECT_THROW(DeliverMessage(temp / "missing", "x"), ExtensionError);
  std::filesystem::create_directories(temp / "half" / "tmp");
  EXPECT_THROW(DeliverMessage(temp / "half", "x"), ExtensionError);
  EXPECT_TRUE(std::filesystem::is_empty(temp / "half" / "tmp"));
}

TEST(MaildirDeliveryTest, NamesFoldersTheMaildirPlusPlusWay) {
  EXPECT_EQ(MaildirFolderPath("/m", "Inbox"), "/m");
  EXPECT_EQ(MaildirFolderPath("/m", "spam"), "/m/.spam");
  EXPECT_EQ(MaildirFolderPath("/m", "Sent Items"), "/m/.Sent Items");
}

}  // namespace
}  // namespace tervane
