#include "shell/help_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

// "Help" opens the compiled help where the desktop can show it, else the HTML pages.
TEST(HelpFileTest, CompiledHelpOnlyWhereTheDesktopOpensIt) {
  const struct {
    const char* name;
    bool compiled;
    bool html;
    bool desktopOpensCompiled;
    const char* expected;
  } cases[] = {
      {"both, a viewer", true, true, true, "quorlenhelp.chm"},
      {"both, no viewer", true, true, false, "help/quorlenhelp.htm"},
      {"no compiled help", false, true, true, "help/quorlenhelp.htm"},
      {"no pages, no viewer", true, false, false, "quorlenhelp.chm"},
      {"neither", false, false, false, "quorlenhelp.chm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    if (c.compiled)
      std::ofstream(dir / "quorlenhelp.chm") << "ITSF";
    if (c.html) {
      fs::create_directories(dir / "help");
      std::ofstream(dir / "help" / "quorlenhelp.htm") << "<html>";
    }
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(HelpFile(folder, c.desktopOpensCompiled), folder + c.expected);
  }
}

}  // namespace
}  // namespace tervane
