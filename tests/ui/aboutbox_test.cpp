#include "ui/aboutbox.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>

#include "tests/ui/qt_test_environment.h"
#include "tests/ui/recording_shell_opener.h"

namespace tervane {
namespace {

using testing::RecordingShellOpener;
using testing::ShellCall;

class AboutBoxTest : public ::testing::Test {
 protected:
  template <typename T>
  T* Control(const char* name) {
    T* control = window_.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  RecordingShellOpener shell_;
  TAboutBox window_{shell_};
};

TEST_F(AboutBoxTest, ShowsNameVersionAndLinksCentredAndOnTop) {
  window_.show();
  EXPECT_EQ(window_.windowTitle(), "About Tervane Spam Filter For Outlook Express");
  EXPECT_EQ(Control<QLabel>("ProductName")->text(), "Tervane Spam Filter For Outlook Express");
  EXPECT_EQ(Control<QLabel>("Version")->text(), "Version 1.2");
  EXPECT_EQ(Control<QLabel>("Label2")->text(), " www.tervane.example");
  EXPECT_EQ(Control<QLabel>("Label4")->text(), "support@tervane.example");
  EXPECT_EQ(window_.size(), QSize(320, 249));
  EXPECT_TRUE(window_.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  const QRect area = window_.screen()->availableGeometry();
  const QRect frame = window_.frameGeometry();
  EXPECT_LE(std::abs((frame.left() - area.left()) - (area.right() - frame.right())), 1);
  EXPECT_LE(std::abs((frame.top() - area.top()) - (area.bottom() - frame.bottom())), 1);
  testing::SaveScreenshot(window_, QStringLiteral("about"));
}

struct LinkCase {
  const char* name;
  const char* label;
  ShellCall call;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
  *os << c.name;
}

class AboutLinkTest : public AboutBoxTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(AboutLinkTest, ClickingALinkAsksTheShellAndLeavesTheWindowOpen) {
  window_.show();
  QTest::mouseClick(Control<QLabel>(GetParam().label), Qt::LeftButton);
  EXPECT_EQ(shell_.calls, std::vector<ShellCall>{GetParam().call});
  EXPECT_TRUE(window_.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Links, AboutLinkTest,
    ::testing::Values(
        LinkCase{"WebSite", "Label2", {"open", "www.tervane.example", ShowCommand::kShow}},
        LinkCase{"Support", "Label4", {"", "mailto:support@tervane.example", ShowCommand::kHide}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutBoxTest, ARightClickOnALinkOpensNothing) {
  window_.show();
  QTest::mouseClick(Control<QLabel>("Label2"), Qt::RightButton);
  EXPECT_TRUE(shell_.calls.empty());
}

struct KeyCase {
  const char* name;
  Qt::Key key;
  bool staysOpen;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
  *os << c.name;
}

class AboutKeyTest : public AboutBoxTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AboutKeyTest, EnterClosesAndEscapeDoesNothing) {
  window_.show();
  QTest::keyClick(Control<QPushButton>("OKButton"), GetParam().key);
  EXPECT_EQ(window_.isVisible(), GetParam().staysOpen);
  EXPECT_TRUE(shell_.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, AboutKeyTest,
                         ::testing::Values(KeyCase{"Return", Qt::Key_Return, false},
                                           KeyCase{"Enter", Qt::Key_Enter, false},
                                           KeyCase{"Escape", Qt::Key_Escape, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutBoxTest, OkAndTheCloseButtonHideTheWindowForTheNextShowing) {
  window_.show();
  Control<QPushButton>("OKButton")->click();
  EXPECT_FALSE(window_.isVisible());
  window_.show();
  window_.close();
  EXPECT_FALSE(window_.isVisible());
  window_.show();
  EXPECT_TRUE(window_.isVisible());
}

}  // namespace
}  // namespace tervane
