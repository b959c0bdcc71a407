#include "mailclient/mail_client_components.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "maildir/maildir_delivery.h"
#include "tests/support/maildir_server.h"
#include "tests/support/temp_dir.h"

namespace tervane::testing {
namespace {

class ComponentsTest : public ::testing::Test {
 protected:
  TempDir dir;
  MaildirServer server{dir / "Maildir"};
};

TEST_F(ComponentsTest, InitComesFromTheEventLoopWhenTheMailClientAlreadyRuns) {
  TOEAPIInit init{server};
  QSignalSpy inits(&init, &TOEAPIInit::OnInitOEAPI);
  init.Connect();
  init.Connect();  // a second connect changes nothing
  EXPECT_EQ(inits.count(), 0);
  ASSERT_TRUE(inits.wait(5000));
  EXPECT_EQ(inits.count(), 1);
}

TEST_F(ComponentsTest, StartAndEndReachOnlyAConnectedComponent) {
  TOEAPIInit init{server};
  QSignalSpy inits(&init, &TOEAPIInit::OnInitOEAPI);
  QSignalSpy shutdowns(&init, &TOEAPIInit::OnShutdownOEAPI);
  server.StopMailClient();
  init.Connect();
  server.StartMailClient();
  server.StopMailClient();
  EXPECT_EQ(inits.count(), 1);
  EXPECT_EQ(shutdowns.count(), 1);

  init.Disconnect();
  server.StartMailClient();
  server.StopMailClient();
  EXPECT_EQ(inits.count(), 1);
  EXPECT_EQ(shutdowns.count(), 1);
}

TEST_F(ComponentsTest, DisconnectedFolderManagerHearsNoNewMailAndACallConnectsItAgain) {
  TOEFolderManager folders{server};
  QSignalSpy newMail(&folders, &TOEFolderManager::OnNewMessage);
  folders.ActivateNotifications();  // connects first
  ASSERT_TRUE(folders.IsConnected());
  DeliverMessage(dir / "Maildir", "From: a@b.example\n\nfirst\n");
  ASSERT_TRUE(newMail.wait(5000));

  folders.Disconnect();
  DeliverMessage(dir / "Maildir", "From: a@b.example\n\nsecond\n");
  EXPECT_FALSE(newMail.wait(300));
  EXPECT_EQ(newMail.count(), 1);

  ASSERT_NE(folders.GetInboxFolder(), nullptr);
  EXPECT_TRUE(folders.IsConnected());
}

TEST_F(ComponentsTest, ClickReachesTheBoundButtonAndItsToolbarOnly) {
  TOEAPIObj api{server};
  TOEToolbar toolbar{server};
  TOEButton spam{server};
  TOEButton about{server};
  toolbar.Bind(api.GetToolbar());
  ASSERT_TRUE(toolbar.IsBound());
  spam.Bind(toolbar.CreateButton("Spam", "a.bmp", "a.bmp"));
  about.Bind(toolbar.CreateButton("About", "b.bmp", "b.bmp"));
  QSignalSpy spamClicks(&spam, &TOEButton::OnClick);
  QSignalSpy aboutClicks(&about, &TOEButton::OnClick);
  QSignalSpy toolbarClicks(&toolbar, &TOEToolbar::OnButtonClicked);

  ASSERT_TRUE(server.Click("Spam"));
  EXPECT_EQ(spamClicks.count(), 1);
  EXPECT_EQ(aboutClicks.count(), 0);
  ASSERT_EQ(toolbarClicks.count(), 1);

  // A button bound anew forgets the old one's clicks.
  spam.Bind(toolbar.CreateButton("Spam again", "a.bmp", "a.bmp"));
  ASSERT_TRUE(server.Click("Spam"));
  EXPECT_EQ(spamClicks.count(), 1);
  EXPECT_EQ(toolbarClicks.count(), 2);

  toolbar.Disconnect();
  ASSERT_TRUE(server.Click("About"));
  EXPECT_EQ(aboutClicks.count(), 1);
  EXPECT_EQ(toolbarClicks.count(), 2);
  EXPECT_THROW(toolbar.CreateButton("Late", "c.bmp", "c.bmp"), ExtensionError);
}

}  // namespace
}  // namespace tervane::testing
