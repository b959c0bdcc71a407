#include "shell/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/support/file_contents.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ScopedEnv;

constexpr char kFailure[] = "Failed to set data for 'Tervane Spam Filter For OE'";
const std::string kEntryHead =
    "[Desktop Entry]\n"
    "Type=Application\n"
    "Name=Tervane Spam Filter For OE\n"
    "Comment=Judges new mail by its sender and moves spam into the folder \"spam\"\n"
    "Icon=tervane-antispam\n";
constexpr char kExec[] = "Exec=\"/opt/tervane/TervaneAntiSpam\"\nTerminal=false\n";

class AutostartTest : public ::testing::Test {
 protected:
  fs::path EntryFile() const { return folder_ / "Tervane Spam Filter For OE.desktop"; }

  testing::TempDir dir_;
  const fs::path config_ = dir_ / "config";
  const fs::path folder_ = config_ / "autostart";
  ScopedEnv config_env_{"XDG_CONFIG_HOME", config_.string()};
};

TEST_F(AutostartTest, FolderFollowsXdgConfigHomeOnlyWhenAbsolute) {
  const ScopedEnv home("HOME", (dir_ / "home").string());
  const fs::path fallback = dir_ / "home" / ".config" / "autostart";
  const struct {
    const char* name;
    std::optional<std::string> config;
    fs::path expected;
  } cases[] = {
      {"absolute", "/srv/conf", "/srv/conf/autostart"},
      {"relative", "conf", fallback},
      {"empty", "", fallback},
      {"unset", std::nullopt, fallback},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedEnv config("XDG_CONFIG_HOME", c.config);
    EXPECT_EQ(AutostartFolder(), c.expected);
  }
}

TEST_F(AutostartTest, EntryStartsTheProgramByItsQuotedFullPath) {
  const struct {
    const char* program;
    const char* exec;
  } cases[] = {
      {"/opt/tervane/TervaneAntiSpam", R"(Exec="/opt/tervane/TervaneAntiSpam")"},
      {"/home/u/My Programs/Tervane Anti-Spam/TervaneAntiSpam",
       R"(Exec="/home/u/My Programs/Tervane Anti-Spam/TervaneAntiSpam")"},
      // Inside quotes '"', '$', '`' and '\' are escaped, and the string value escapes '\' again.
      {R"(/opt/a"b$c/TervaneAntiSpam)", R"(Exec="/opt/a\\"b\\$c/TervaneAntiSpam")"},
      {R"(/opt/a`b\c/TervaneAntiSpam)", R"(Exec="/opt/a\\`b\\\\c/TervaneAntiSpam")"},
      // '%' would start a field code.
      {"/opt/100%/TervaneAntiSpam", R"(Exec="/opt/100%%/TervaneAntiSpam")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    WriteAutostartEntry(c.program);
    EXPECT_EQ(ReadBytes(EntryFile()), kEntryHead + c.exec + "\nTerminal=false\n");
  }
}

TEST_F(AutostartTest, RelativeProgramPathIsMadeAbsolute) {
  WriteAutostartEntry("bin/TervaneAntiSpam");
  const std::string expected =
      "Exec=\"" + (fs::current_path() / "bin" / "TervaneAntiSpam").string() + "\"\n";
  EXPECT_NE(ReadBytes(EntryFile()).find(expected), std::string::npos);
}

TEST_F(AutostartTest, EveryStartRewritesTheEntryWithTheLatestPathAndCreatesTheFolder) {
  ASSERT_FALSE(fs::exists(config_));
  WriteAutostartEntry("/first/TervaneAntiSpam");
  WriteAutostartEntry("/second place/TervaneAntiSpam");

  const std::string text = ReadBytes(EntryFile());
  EXPECT_NE(text.find("Exec=\"/second place/TervaneAntiSpam\"\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("first"), std::string::npos) << text;
  // No temporary file is left beside the entry.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

// The user's switch-off survives the rewrite at every start; a damaged entry (a crash while an
// editor saved it, say) is written anew and says so, keeping what its complete lines said.
TEST_F(AutostartTest, RewriteKeepsTheUsersSwitchOffAndRepairsADamagedEntry) {
  const struct {
    const char* name;
    std::optional<std::string> old;  // nothing: no entry yet
    const char* kept;                // the lines after Terminal=false
    bool repaired;
  } cases[] = {
      {"no entry", std::nullopt, "", false},
      {"ours, on", kEntryHead + kExec, "", false},
      {"hidden", "[Desktop Entry]\nExec=/old\nHidden=true\n", "Hidden=true\n", false},
      {"hidden with blanks and CRLF", "[Desktop Entry]\r\nHidden = true\r\n", "Hidden=true\n",
       false},
      {"gnome switch", "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n",
       "X-GNOME-Autostart-enabled=false\n", false},
      {"both", "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\nHidden=true\n",
       "Hidden=true\nX-GNOME-Autostart-enabled=false\n", false},
      {"switched on again", "[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", "",
       false},
      {"last word wins", "[Desktop Entry]\nHidden=true\nHidden=false\n", "", false},
      {"another group's key", "[Desktop Entry]\nName=x\n[Desktop Action a]\nHidden=true\n", "",
       false},
      {"empty file", "", "", true},
      {"cut inside the last line", "[Desktop Entry]\nHidden=true\nExec=\"/opt/ter", "Hidden=true\n",
       true},
      {"cut inside the switch", "[Desktop Entry]\nExec=/old\nHidden=tr", "", true},
      {"lost its header", "Hidden=true\nExec=/old\n", "Hidden=true\n", true},
      {"garbage",
       std::string("\x7f"
                   "ELF\x02\x01\0\0",
                   8),
       "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(config_);
    if (c.old) {
      fs::create_directories(folder_);
      std::ofstream(EntryFile(), std::ios::binary) << *c.old;
    }
    const AutostartRewrite rewrite = WriteAutostartEntry("/opt/tervane/TervaneAntiSpam");
    EXPECT_EQ(ReadBytes(EntryFile()), kEntryHead + kExec + c.kept);
    EXPECT_EQ(rewrite.keptSwitchOff, *c.kept != '\0');
    EXPECT_EQ(rewrite.repaired, c.repaired);
  }
}

TEST_F(AutostartTest, FailureThrowsTheExactMessage) {
  const struct {
    const char* name;
    fs::path blocker;  // where a folder or the entry must go
    bool folder;       // the blocker is a non-empty folder, else a regular file
  } cases[] = {
      {"file instead of the autostart folder", folder_, false},
      {"file instead of the config folder", config_, false},
      {"folder instead of the entry", folder_ / "Tervane Spam Filter For OE.desktop", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(config_);
    fs::create_directories(c.blocker.parent_path());
    if (c.folder) {
      fs::create_directories(c.blocker / "inside");
    } else {
      std::ofstream(c.blocker) << "x";
    }
    try {
      WriteAutostartEntry("/opt/tervane/TervaneAntiSpam");
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), kFailure);
    }
  }
}

}  // namespace
}  // namespace tervane
