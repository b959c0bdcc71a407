#include "log/file_decision_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// Standard error of the log, played by a pipe that the test reads.
class ErrorPipe {
 public:
  ErrorPipe() { EXPECT_EQ(::pipe(fds_), 0); }
  ~ErrorPipe() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int writeEnd() const { return fds_[1]; }
  std::string Drain() {
    ::close(fds_[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fds_[0], buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<size_t>(got));
    fds_[1] = ::dup(fds_[0]);  // keeps the destructor's close harmless
    return text;
  }

 private:
  int fds_[2];
};

TEST(FileDecisionLog, EachLineIsTimeStampedOnStandardErrorAndInThePrivateFile) {
  TempDir temp;
  ErrorPipe error;
  const fs::path file = temp / "state" / "tervane-antispam" / "decisions.log";
  {
    FileDecisionLog log(file, error.writeEnd());
    log.Write("spam: message 3 in Inbox from <a@b.example>: on the black list; moved to spam");
    log.Write("forged\nline\r with\x1b escapes");
  }
  const std::string written = ReadBytes(file);
  EXPECT_EQ(error.Drain(), written);
  const std::regex line(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d{4} spam: message 3 in Inbox from <a@b\.example>: on the black list; moved to spam
\S+ forged\?line\? with\? escapes
)");
  EXPECT_TRUE(std::regex_match(written, line)) << written;
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms(0700));
}

// A burst of decisions costs one write: lines wait until the owner's flush, which is requested
// once per batch.
TEST(FileDecisionLog, LinesWaitForTheRequestedFlush) {
  TempDir temp;
  ErrorPipe error;
  FileDecisionLog log(temp / "decisions.log", error.writeEnd());
  int requests = 0;
  log.SetFlushRequest([&] { ++requests; });
  log.Write("one");
  log.Write("two");
  EXPECT_EQ(requests, 1);
  EXPECT_FALSE(fs::exists(temp / "decisions.log"));
  log.Flush();
  EXPECT_EQ(LastLogLines(temp / "decisions.log", 5).size(), 2u);
  log.Write("three");
  EXPECT_EQ(requests, 2);
}

TEST(FileDecisionLog, RotatesAtItsCapAndTheLastLinesSpanBothFiles) {
  TempDir temp;
  ErrorPipe error;
  const fs::path file = temp / "decisions.log";
  {
    FileDecisionLog log(file, error.writeEnd(), /*capBytes=*/2000);
    for (int i = 0; i < 100; ++i)
      log.Write("decision " + std::to_string(i));
  }
  // About 41 bytes a line: two rotations, the last after line 96.
  EXPECT_LE(fs::file_size(file), 2000u);
  EXPECT_LE(fs::file_size(RotatedLogFile(file)), 2000u);
  const std::vector<std::string> last = LastLogLines(file, 20);
  ASSERT_EQ(last.size(), 20u);
  EXPECT_NE(last.front().find(" decision 80"), std::string::npos) << last.front();
  EXPECT_NE(last.back().find(" decision 99"), std::string::npos) << last.back();
  EXPECT_TRUE(LastLogLines(temp / "none.log", 10).empty());
}

TEST(FileDecisionLog, AFileThatCannotBeWrittenIsReportedOnceAndLinesGoOnToStandardError) {
  TempDir temp;
  fs::permissions(temp.path(), fs::perms(0777));
  fs::create_directories(temp / "locked");
  fs::permissions(temp / "locked", fs::perms(0555));
  ErrorPipe error;
  const int child = testing::RunUnprivileged([&] {
    FileDecisionLog log(temp / "locked" / "state" / "decisions.log", error.writeEnd());
    for (int i = 0; i < 3; ++i)
      log.Write("decision " + std::to_string(i));
    return 0;
  });
  ASSERT_EQ(child, 0);
  const std::string text = error.Drain();
  size_t reports = 0;
  for (size_t at = 0; (at = text.find("cannot write the log", at)) != std::string::npos; ++at)
    ++reports;
  EXPECT_EQ(reports, 1u) << text;
  EXPECT_NE(text.find(" decision 2\n"), std::string::npos) << text;
}

TEST(LogFile, LivesInTheStateFolder) {
  {
    const testing::ScopedEnv state("XDG_STATE_HOME", "/var/state");
    EXPECT_EQ(DefaultLogFile(), "/var/state/tervane-antispam/decisions.log");
  }
  const testing::ScopedEnv state("XDG_STATE_HOME", "relative");
  const testing::ScopedEnv home("HOME", "/home/ann");
  EXPECT_EQ(DefaultLogFile(), "/home/ann/.local/state/tervane-antispam/decisions.log");
}

}  // namespace
}  // namespace tervane
