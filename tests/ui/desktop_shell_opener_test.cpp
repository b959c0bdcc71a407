#include "ui/desktop_shell_opener.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

class ResolveShellTargetTest : public ::testing::Test {
 protected:
  ResolveShellTargetTest() {
    std::ofstream(document_) << "help";
    std::ofstream(program_) << "#!/bin/sh\n";
    fs::permissions(program_, fs::perms::owner_all);
  }

  testing::TempDir dir_;
  const fs::path document_ = dir_ / "quorlenhelp.chm";
  const fs::path program_ = dir_ / "update";
};

TEST_F(ResolveShellTargetTest, AddressesGoToTheirApplications) {
  const struct {
    const char* file;
    const char* address;
  } cases[] = {
      {"www.tervane.example", "http://www.tervane.example"},
      {"localhost:8080", "http://localhost:8080"},
      {"www.tervane.example/tervane_spam_filter_help.htm",
       "http://www.tervane.example/tervane_spam_filter_help.htm"},
      {"mailto:support@tervane.example", "mailto:support@tervane.example"},
      {"https://www.tervane.example/a?b=1", "https://www.tervane.example/a?b=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const ShellTarget target = ResolveShellTarget(c.file);
    EXPECT_EQ(target.kind, ShellTarget::Kind::kAddress);
    EXPECT_EQ(target.address.toString().toStdString(), c.address);
  }
}

TEST_F(ResolveShellTargetTest, LocalFilesAreDocumentsUnlessExecutable) {
  ShellTarget target = ResolveShellTarget(document_.string());
  EXPECT_EQ(target.kind, ShellTarget::Kind::kAddress);
  EXPECT_EQ(target.address, QUrl::fromLocalFile(QString::fromStdString(document_.string())));

  target = ResolveShellTarget((dir_ / "missing.chm").string());
  EXPECT_EQ(target.kind, ShellTarget::Kind::kAddress);
  EXPECT_TRUE(target.address.isLocalFile());

  target = ResolveShellTarget(program_.string());
  EXPECT_EQ(target.kind, ShellTarget::Kind::kProgram);
  EXPECT_EQ(target.program.toStdString(), program_.string());

  // A folder is opened like a document, never started.
  target = ResolveShellTarget(dir_.path().string());
  EXPECT_EQ(target.kind, ShellTarget::Kind::kAddress);
}

}  // namespace
}  // namespace tervane
