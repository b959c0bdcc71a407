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
    EXPECT_EQ(ReadBytes(EntryFile()), std::string("[Desktop Entry]\n"
                                                  "Type=Application\n"
                                                  "Name=Tervane Spam Filter For OE\n") +
                                          c.exec + "\nTerminal=false\n");
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
