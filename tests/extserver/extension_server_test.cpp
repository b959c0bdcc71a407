#include "extserver/extension_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLibrary>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "control/control_socket_file.h"
#include "maildir/maildir_delivery.h"
#include "tests/support/maildir_files.h"
#include "tests/support/maildir_server.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::MakeMaildirFolder;
using testing::TempDir;
using testing::TestMessage;
using testing::WriteFile;

constexpr int kWaitMs = 10000;

using Event = std::pair<int32_t, int32_t>;  // (folder id, message id)

class ExtensionServerTest : public ::testing::Test {
 protected:
  ExtensionServerTest() : server_(temp_.path()), manager_(server_.NewFolderManager()) {}

  int32_t Inbox() { return manager_->GetInboxFolder()->GetID(); }
  // Waits until count events have come; false on time-out.
  bool WaitForEvents(size_t count) {
    return QTest::qWaitFor([&] { return events_.size() >= count; }, kWaitMs);
  }
  // Delivers a last message to the inbox and waits for its event, so every event due before it
  // has come. Returns the events before it.
  std::vector<Event> EventsSoFar() {
    const size_t before = events_.size();
    DeliverMessage(temp_.path(), TestMessage("sentinel"));
    EXPECT_TRUE(WaitForEvents(before + 1));
    std::vector<Event> events = events_;
    events.pop_back();
    events_.clear();
    return events;
  }

  TempDir temp_;
  testing::MaildirServer server_;
  std::unique_ptr<IOEFolderManager> manager_;
  testing::RecordingEvents recorder_{server_};
  std::vector<Event>& events_ = recorder_.newMessages;
};

TEST_F(ExtensionServerTest, ReportsEachFileOfABurstExactlyOnce) {
  manager_->ActivateNotifications();
  constexpr int kBurst = 2000;
  for (int i = 0; i < kBurst; ++i) {
    DeliverMessage(temp_.path(), TestMessage("burst " + std::to_string(i)));
  }
  const std::vector<Event> events = EventsSoFar();
  ASSERT_EQ(events.size(), static_cast<size_t>(kBurst));
  std::set<int32_t> ids;
  for (const auto& [folder, message] : events) {
    EXPECT_EQ(folder, Inbox());
    ids.insert(message);
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(kBurst));
  EXPECT_TRUE(manager_->GetInboxFolder()->GetMessage(*ids.begin()));
}

TEST_F(ExtensionServerTest, ReportsMailThatWaitedInNewWhenActivated) {
  MakeMaildirFolder(temp_ / ".Lists");
  const std::filesystem::path waiting = DeliverMessage(temp_.path(), TestMessage("waiting"));
  DeliverMessage(temp_ / ".Lists", TestMessage("list mail"));
  WriteFile(temp_ / "cur" / "1.read.host:2,S", TestMessage("already read"));
  WriteFile(temp_ / "tmp" / "2.half.host", TestMessage("still being written"));
  std::unique_ptr<IOEFolder> lists = manager_->GetFirstFolder();
  lists = manager_->GetNextFolder();

  manager_->ActivateNotifications();
  ASSERT_TRUE(WaitForEvents(2));
  const std::vector<Event> events = EventsSoFar();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].first, Inbox());
  EXPECT_EQ(events[1].first, lists->GetID());
  EXPECT_EQ(manager_->GetFolder(Inbox())->GetMessage(events[0].second)->GetHeaders(),
            "From: Ann Example <ann@example.org>\nTo: bob@example.net\nSubject: waiting\n");

  // Activating again reports nothing twice.
  manager_->ActivateNotifications();
  EXPECT_TRUE(EventsSoFar().empty());
}

TEST_F(ExtensionServerTest, ReportsNothingWhileStoppedAndCatchesUpAtTheNextActivation) {
  DeliverMessage(temp_.path(), TestMessage("before the first activation"));
  QTest::qWait(300);
  EXPECT_TRUE(events_.empty());

  manager_->ActivateNotifications();
  EXPECT_EQ(EventsSoFar().size(), 1u);

  server_.StopMailClient();
  DeliverMessage(temp_.path(), TestMessage("while stopped"));
  WriteFile(temp_ / "tmp" / "3.tmp.host", "x");
  QTest::qWait(300);
  EXPECT_TRUE(events_.empty());
  server_.StartMailClient();
  manager_->ActivateNotifications();
  ASSERT_TRUE(WaitForEvents(1));
  EXPECT_EQ(EventsSoFar().size(), 1u);
}

TEST_F(ExtensionServerTest, NeverReportsFilesInTmp) {
  manager_->ActivateNotifications();
  WriteFile(temp_ / "tmp" / "1.tmp.host", TestMessage("in tmp"));
  EXPECT_TRUE(EventsSoFar().empty());
}

TEST_F(ExtensionServerTest, DoesNotReportMessagesItMovedItself) {
  const int32_t spam = manager_->CreateFolder(0, "spam");
  ASSERT_GT(spam, 0);
  // Like the filter: every new inbox message goes to spam while the event is handled.
  std::vector<int32_t> moved;
  recorder_.onNewMessage = [&](int32_t folder, int32_t message) {
    if (folder == Inbox() && moved.empty()) {
      moved.push_back(manager_->MoveMessage(folder, spam, message));
    }
  };
  manager_->ActivateNotifications();
  DeliverMessage(temp_.path(), TestMessage("spam"));
  ASSERT_TRUE(WaitForEvents(1));
  const std::vector<Event> events = EventsSoFar();
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_GT(moved[0], 0);
  EXPECT_TRUE(manager_->GetFolder(spam)->GetMessage(moved[0]));
  EXPECT_FALSE(manager_->GetInboxFolder()->GetMessage(events[0].second));
}

TEST_F(ExtensionServerTest, WatchesFoldersMadeLater) {
  manager_->ActivateNotifications();
  const int32_t spam = manager_->CreateFolder(0, "spam");
  DeliverMessage(temp_ / ".spam", TestMessage("into a new folder"));
  ASSERT_TRUE(WaitForEvents(1));
  EXPECT_EQ(events_.at(0).first, spam);

  MakeMaildirFolder(temp_ / ".Other");  // made by another program, met at the next walk
  int32_t other = -1;
  for (auto folder = manager_->GetFirstFolder(); folder; folder = manager_->GetNextFolder()) {
    if (folder->GetName() == "Other") {
      other = folder->GetID();
    }
  }
  DeliverMessage(temp_ / ".Other", TestMessage("into another folder"));
  ASSERT_TRUE(WaitForEvents(2));
  EXPECT_EQ(events_.at(1).first, other);

  // Removed and made again by another program: the same folder, watched again.
  std::filesystem::remove_all(temp_ / ".Other");
  MakeMaildirFolder(temp_ / ".Other");
  EXPECT_EQ(server_.ResolveFolder("Other"), other);
  DeliverMessage(temp_ / ".Other", TestMessage("into the folder made again"));
  ASSERT_TRUE(WaitForEvents(3));
  EXPECT_EQ(events_.at(2).first, other);
}

TEST_F(ExtensionServerTest, HandsOutFoldersAndMessages) {
  MakeMaildirFolder(temp_ / ".Sent Items");
  WriteFile(temp_ / "cur" / "1.a.host:2,S",
            "From: =?UTF-8?Q?Ren=C3=A9?= <rene@example.org>\r\nTo: \"Doe, Jo\" <jo@example.org>"
            "\r\nSubject: =?UTF-8?B?SGVsbG8=?=\r\n\r\nBody\r\n");
  std::vector<std::string> names;
  for (auto folder = manager_->GetFirstFolder(); folder; folder = manager_->GetNextFolder()) {
    names.push_back(folder->GetName());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Inbox", "Sent Items"}));
  EXPECT_EQ(manager_->GetSentFolder()->GetName(), "Sent Items");
  EXPECT_FALSE(manager_->GetFolder(999));
  EXPECT_EQ(manager_->CreateFolder(999, "x"), -1);

  std::unique_ptr<IOEFolder> inbox = manager_->GetInboxFolder();
  std::unique_ptr<IOEMessage> message = inbox->GetFirstMessage();
  ASSERT_TRUE(message);
  EXPECT_FALSE(inbox->GetNextMessage());
  EXPECT_EQ(message->GetSenderName(), "Ren\xc3\xa9");
  EXPECT_EQ(message->GetRecipientName(), "Doe, Jo");
  EXPECT_EQ(message->GetContent(), "Body\r\n");

  const std::optional<std::vector<MessageSummary>> list = server_.Messages(Inbox());
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 1u);
  EXPECT_EQ(list->at(0).sender, "rene@example.org");
  EXPECT_EQ(list->at(0).subject, "Hello");
  EXPECT_TRUE(inbox->GetMessage(list->at(0).id));
  EXPECT_FALSE(server_.Messages(999));

  std::filesystem::remove(temp_ / "cur" / "1.a.host:2,S");
  EXPECT_FALSE(inbox->GetMessage(list->at(0).id));
  EXPECT_THROW(message->GetHeaders(), MessageGone);
}

TEST_F(ExtensionServerTest, ListsFoldersWithCountsAndResolvesThem) {
  const int32_t spam = manager_->CreateFolder(0, "spam");
  DeliverMessage(temp_.path(), "a\n");
  WriteFile(temp_ / "cur" / "1.b.host:2,S", "b\n");
  DeliverMessage(temp_ / ".spam", "c\n");
  const std::vector<FolderSummary> folders = server_.Folders();
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0].name, "Inbox");
  EXPECT_EQ(folders[0].count, 2);
  EXPECT_EQ(folders[1].id, spam);
  EXPECT_EQ(folders[1].count, 1);

  EXPECT_EQ(server_.ResolveFolder("spam"), spam);
  EXPECT_EQ(server_.ResolveFolder(std::to_string(spam)), spam);
  EXPECT_EQ(server_.ResolveFolder("Inbox"), Inbox());
  EXPECT_FALSE(server_.ResolveFolder("Spam"));
  EXPECT_FALSE(server_.ResolveFolder("999"));
  EXPECT_FALSE(server_.ResolveFolder(""));
}

TEST_F(ExtensionServerTest, ToolbarButtonsLiveWhileTheMailClientRuns) {
  std::unique_ptr<IOEAPIObj> api = server_.NewAPIObj();
  EXPECT_TRUE(server_.IsMailClientRunning());
  std::unique_ptr<IOEToolbar> toolbar = api->GetToolbar();
  ASSERT_TRUE(toolbar);
  const int32_t spamButton = toolbar->CreateButton("Spam", "a.bmp", "a.bmp")->GetID();
  const int32_t notSpamButton = toolbar->CreateButton("Not Spam", "b.bmp", "b.bmp")->GetID();
  toolbar->CreateButton("Spam", "c.bmp", "c.bmp");
  EXPECT_GT(spamButton, 0);
  EXPECT_NE(spamButton, notSpamButton);
  EXPECT_THROW(toolbar->CreateButton("", "", ""), ExtensionError);
  EXPECT_EQ(server_.ButtonCaptions(), (std::vector<std::string>{"Spam", "Not Spam", "Spam"}));

  EXPECT_TRUE(server_.Click("Spam"));
  EXPECT_FALSE(server_.Click("Config"));
  ASSERT_EQ(recorder_.clicks.size(), 1u);
  EXPECT_EQ(recorder_.clicks[0].first, toolbar->GetID());
  EXPECT_EQ(recorder_.clicks[0].second, spamButton);

  server_.StartMailClient();  // already running
  EXPECT_EQ(recorder_.inits, 0);
  server_.StopMailClient();
  server_.StopMailClient();
  EXPECT_EQ(recorder_.shutdowns, 1);
  EXPECT_FALSE(server_.IsMailClientRunning());
  EXPECT_TRUE(server_.ButtonCaptions().empty());
  EXPECT_FALSE(api->GetToolbar());
  EXPECT_THROW(toolbar->CreateButton("Spam", "", ""), ExtensionError);

  server_.StartMailClient();
  EXPECT_EQ(recorder_.inits, 1);
  api->GetToolbar()->CreateButton("About", "", "");
  api->RemoveToolbars();
  EXPECT_TRUE(server_.ButtonCaptions().empty());
}

TEST_F(ExtensionServerTest, SelectionIsWalkedPerClientObject) {
  DeliverMessage(temp_.path(), "a\n");
  DeliverMessage(temp_.path(), "b\n");
  const std::vector<MessageSummary> messages = *server_.Messages(Inbox());
  std::unique_ptr<IOEAPIObj> api = server_.NewAPIObj();
  std::unique_ptr<IOEAPIObj> other = server_.NewAPIObj();
  EXPECT_EQ(api->GetSelectedFolderID(), -1);
  EXPECT_EQ(api->GetFirstSelectedMessageID(), -1);

  ASSERT_TRUE(server_.Select(Inbox(), {messages[1].id, messages[0].id}));
  EXPECT_EQ(api->GetSelectedFolderID(), Inbox());
  EXPECT_EQ(api->GetFirstSelectedMessageID(), messages[1].id);
  EXPECT_EQ(other->GetFirstSelectedMessageID(), messages[1].id);
  EXPECT_EQ(api->GetNextSelectedMessageID(), messages[0].id);
  EXPECT_EQ(api->GetNextSelectedMessageID(), -1);
  EXPECT_EQ(other->GetNextSelectedMessageID(), messages[0].id);

  EXPECT_FALSE(server_.Select(999, {}));
  EXPECT_FALSE(server_.Select(Inbox(), {messages[0].id, 999}));
  EXPECT_EQ(api->GetFirstSelectedMessageID(), messages[1].id);
  EXPECT_TRUE(server_.Select(Inbox(), {}));
  EXPECT_EQ(api->GetSelectedFolderID(), Inbox());
  EXPECT_EQ(api->GetFirstSelectedMessageID(), -1);
}

TEST(ExtensionServerPaths, FollowTheEnvironment) {
  struct Case {
    const char* maildir;
    const char* runtime;
    std::filesystem::path root;
    std::filesystem::path socket;
  };
  const std::string uid = std::to_string(::getuid());
  const Case cases[] = {
      {"/m", "/run/user/5", "/m", "/run/user/5/tervane/mailclient.sock"},
      {nullptr, nullptr, "/home/u/Maildir", "/tmp/tervane-" + uid + "/mailclient.sock"},
  };
  const std::string savedHome = getenv("HOME") != nullptr ? getenv("HOME") : "";
  setenv("HOME", "/home/u", 1);
  for (const Case& c : cases) {
    c.maildir != nullptr ? setenv("MAILDIR", c.maildir, 1) : unsetenv("MAILDIR");
    c.runtime != nullptr ? setenv("XDG_RUNTIME_DIR", c.runtime, 1) : unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DefaultMaildirRoot(), c.root);
    EXPECT_EQ(DefaultControlSocketPath(), c.socket);
  }
  setenv("HOME", savedHome.c_str(), 1);
  unsetenv("MAILDIR");
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(ExtensionServerEvents, AClientUnsubscribedDuringAnEventDoesNotHearIt) {
  TempDir temp;
  testing::MaildirServer server(temp.path());
  testing::RecordingEvents first(server);
  auto second = std::make_unique<testing::RecordingEvents>(server);
  first.onClick = [&](int32_t, int32_t) { second.reset(); };
  server.NewAPIObj()->GetToolbar()->CreateButton("Spam", "", "");
  EXPECT_TRUE(server.Click("Spam"));  // second goes while first hears the click
  EXPECT_EQ(first.clicks.size(), 1u);
  EXPECT_FALSE(second);
}

TEST(HookLibrary, LoadsByItsBareNameFromTheProgramFolder) {
  QLibrary hook(QStringLiteral(TERVANE_PROGRAM_DIR "/oehook"));
  EXPECT_TRUE(hook.load()) << hook.errorString().toStdString();
}

}  // namespace
}  // namespace tervane
