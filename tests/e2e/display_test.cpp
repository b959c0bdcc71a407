// The program on a real X display (a private Xvfb): the titles a window manager reads, and
// SIGTERM and SIGINT ending the program whatever window or message box is open.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control/control_client.h"
#include "store/folder_owner.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"
#include "tests/support/x_display.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kBoxTitle[] = "Tervane Anti-Spam";
constexpr char kAboutTitle[] = "About Tervane Spam Filter For Outlook Express";

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!display_.ok())
      GTEST_SKIP() << "no X display for the test: " << display_.failure();
    session_.UseDisplay(display_.name());
  }

  // The titles (_NET_WM_NAME) of the shown windows, sorted.
  std::vector<std::string> ShownTitles() const {
    std::vector<std::string> titles;
    for (const XWindow& window : display_.ShownWindows())
      titles.push_back(window.netName);
    std::sort(titles.begin(), titles.end());
    return titles;
  }
  // A bound for slow (sanitizer) builds on a busy machine, not a timing target.
  bool WaitForShownWindows(size_t count) {
    return WaitUntil([&] { return display_.ShownWindows().size() == count; }, 60s);
  }

  XvfbDisplay display_;
  ProgramSession session_;
};

TEST_F(DisplayTest, WindowTitlesAreExactlyTheirCaptions) {
  ASSERT_TRUE(session_.StartAttached());
  ASSERT_EQ(session_.Oectl({"click", "Config"}).exitCode, 0);
  ASSERT_EQ(session_.Oectl({"click", "About"}).exitCode, 0);
  ASSERT_TRUE(WaitForShownWindows(2));

  EXPECT_EQ(ShownTitles(), (std::vector<std::string>{kAboutTitle, "Config"}));
  for (const XWindow& window : display_.ShownWindows())
    EXPECT_EQ(window.wmName, window.netName) << window.id;
}

// The application menu's "Tervane Anti-Spam settings" sends the program command "settings".
TEST_F(DisplayTest, SettingsCommandOpensTheSettingsWindowOnlyWhileAttached) {
  ControlRequest settings;
  settings.command = ControlCommand::kSettings;
  ASSERT_TRUE(session_.StartAttached());
  EXPECT_NO_THROW(Exchange(session_.controlSocket(), settings, 5s));
  ASSERT_TRUE(WaitForShownWindows(1));
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Config"});

  ASSERT_EQ(session_.Oectl({"stop"}).exitCode, 0);
  try {
    Exchange(session_.controlSocket(), settings, 5s);
    ADD_FAILURE() << "the settings opened while detached";
  } catch (const ControlRefusal& refusal) {
    EXPECT_NE(std::string(refusal.what()).find("not attached"), std::string::npos)
        << refusal.what();
  }
}

// What is on the screen when the signal comes.
enum class Scene {
  kStartUpErrorBox,       // the lists are in use: a box before the program's event loop
  kAutostartErrorBox,     // the autostart entry cannot be written: a box while starting up
  kRestartedInstanceBox,  // a restarted instance whose attach failed says why
  kSettingsAndAboutOpen,  // the two windows of the toolbar, no box
};

struct SignalCase {
  const char* name;
  Scene scene;
  int signal;
};

void PrintTo(const SignalCase& c, std::ostream* out) {
  *out << c.name;
}

class SignalOnDisplayTest : public DisplayTest, public ::testing::WithParamInterface<SignalCase> {};

// A box that nobody presses must not keep the program from ending: it once did for minutes.
TEST_P(SignalOnDisplayTest, EndsTheProgramAtOnce) {
  const fs::path errors = session_.programFolder().parent_path() / "errors.txt";
  std::optional<FolderOwner> otherOwner;
  switch (GetParam().scene) {
    case Scene::kStartUpErrorBox:
      otherOwner = FolderOwner::Acquire(session_.programFolder());
      session_.Start(errors);
      break;
    case Scene::kAutostartErrorBox:
      std::ofstream(session_.configHome()) << "a file where the folder should be";
      session_.Start(errors);
      break;
    case Scene::kRestartedInstanceBox:
      fs::remove(session_.programFolder() / "cust.mdb");
      session_.environment().insert("TERVANE_RESTARTED", "1");
      session_.Start(errors);
      break;
    case Scene::kSettingsAndAboutOpen:
      ASSERT_TRUE(session_.StartAttached());
      ASSERT_EQ(session_.Oectl({"click", "Config"}).exitCode, 0);
      ASSERT_EQ(session_.Oectl({"click", "About"}).exitCode, 0);
      break;
  }
  const bool settingsAndAbout = GetParam().scene == Scene::kSettingsAndAboutOpen;
  ASSERT_TRUE(WaitForShownWindows(settingsAndAbout ? 2 : 1))
      << ::testing::PrintToString(ShownTitles()) << " shown; the program "
      << (session_.program().state() == QProcess::NotRunning ? "ended" : "runs")
      << ", its standard error: " << ReadBytes(errors);
  if (!settingsAndAbout) {
    ASSERT_EQ(ShownTitles(), std::vector<std::string>{kBoxTitle});
  }

  ::kill(static_cast<pid_t>(session_.program().processId()), GetParam().signal);
  // Ending takes a fifth of a second (a sanitizer build's leak check at exit takes longer); the
  // bound only tells an ended program from a blocked one.
  ASSERT_TRUE(session_.program().waitForFinished(20000));
  EXPECT_EQ(session_.program().exitStatus(), QProcess::NormalExit);
  if (settingsAndAbout) {
    EXPECT_EQ(session_.program().exitCode(), 0);
  }
  EXPECT_TRUE(session_.RunningInstances().empty());
}

INSTANTIATE_TEST_SUITE_P(
    States, SignalOnDisplayTest,
    ::testing::Values(SignalCase{"StartUpErrorBoxTerm", Scene::kStartUpErrorBox, SIGTERM},
                      SignalCase{"StartUpErrorBoxInt", Scene::kStartUpErrorBox, SIGINT},
                      SignalCase{"AutostartErrorBoxTerm", Scene::kAutostartErrorBox, SIGTERM},
                      SignalCase{"RestartedInstanceBoxTerm", Scene::kRestartedInstanceBox, SIGTERM},
                      SignalCase{"RestartedInstanceBoxInt", Scene::kRestartedInstanceBox, SIGINT},
                      SignalCase{"SettingsAndAboutOpenTerm", Scene::kSettingsAndAboutOpen, SIGTERM},
                      SignalCase{"SettingsAndAboutOpenInt", Scene::kSettingsAndAboutOpen, SIGINT}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tervane::testing
