#include "ui/desktop_applications.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kChm = {"application/vnd.ms-htmlhelp", "application/x-chm"};

// Whether the desktop can open compiled help, for the files a desktop may have.
TEST(DesktopApplicationsTest, FindsAnApplicationForTheTypeWhereverTheDesktopRecordsIt) {
  const struct {
    const char* name;
    std::map<std::string, std::string> files;  // under the session's folders
    bool expected;
  } cases[] = {
      {"nothing", {}, false},
      {"an entry in a subfolder",
       {{"share/applications/kde/xchm.desktop",
         "[Desktop Entry]\nName=xCHM\nMimeType=text/plain;application/x-chm;\n"}},
       true},
      {"an entry deleted by the user",
       {{"home/applications/xchm.desktop",
         "[Desktop Entry]\nMimeType=application/vnd.ms-htmlhelp;\nHidden=true\n"}},
       false},
      {"an entry for other types",
       {{"share/applications/viewer.desktop",
         "[Desktop Entry]\nMimeType=application/x-chmod;text/html;\n"}},
       false},
      {"the type in another group",
       {{"share/applications/viewer.desktop",
         "[Desktop Entry]\nName=v\n[Desktop Action x]\nMimeType=application/x-chm;\n"}},
       false},
      {"an entry cut short",
       {{"share/applications/xchm.desktop", "[Desktop Entry]\nMimeType=application/x-chm;"}},
       false},
      {"the cache",
       {{"share/applications/mimeinfo.cache",
         "[MIME Cache]\napplication/vnd.ms-htmlhelp=xchm.desktop;\n"}},
       true},
      {"a user's default",
       {{"config/mimeapps.list", "[Default Applications]\napplication/x-chm=kchm.desktop\n"}},
       true},
      {"a user's added association",
       {{"config/mimeapps.list", "[Added Associations]\napplication/x-chm=kchm.desktop;\n"}},
       true},
      {"only a removed association",
       {{"config/mimeapps.list", "[Removed Associations]\napplication/x-chm=kchm.desktop;\n"}},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    for (const auto& [name, text] : c.files) {
      fs::create_directories((dir / name).parent_path());
      std::ofstream(dir / name) << text;
    }
    const DesktopApplicationFolders folders{
        {dir / "home" / "applications", dir / "share" / "applications"},
        {dir / "config", dir / "xdg"}};
    EXPECT_EQ(HasApplicationFor(kChm, folders), c.expected);
  }
}

}  // namespace
}  // namespace tervane
