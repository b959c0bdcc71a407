// The real program when its resources run short or its work is large: out of file descriptors
// while mail arrives; an import of many addresses while mail arrives and SIGTERM comes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <future>
#include <map>
#include <string>

#include "maildir/maildir_delivery.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;

// The files process pid has open, by descriptor.
std::map<int, fs::path> OpenFiles(int pid) {
  std::map<int, fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
    files[std::stoi(entry.path().filename())] = fs::read_symlink(entry.path(), error);
  return files;
}

// True iff process pid is reading the file of an import from tervane-lists.
bool Importing(int pid) {
  for (const auto& [fd, file] : OpenFiles(pid)) {
    if (file.filename() == "import" &&
        file.parent_path().filename().string().starts_with("tervane-transfer-"))
      return true;
  }
  return false;
}

size_t FilesIn(const fs::path& dir) {
  std::error_code error;
  const fs::directory_iterator entries(dir, error);
  return error ? 0 : static_cast<size_t>(std::distance(entries, fs::directory_iterator()));
}

// How often text holds part.
size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// Out of descriptors the program cannot open new mail: no verdict, the message stays, the log
// says so once, and the message is judged at the next start of the mail client.
TEST(AdverseConditionsTest, MailThatCannotBeReadIsNotJudgedUntilItCanBe) {
  ProgramSession session;
  ASSERT_TRUE(session.StartAttached());
  const int pid = static_cast<int>(session.program().processId());
  rlimit saved{};
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &saved), 0);
  // The limit at the lowest free descriptor: the next open fails.
  const std::map<int, fs::path> open = OpenFiles(pid);
  rlim_t lowestFree = 0;
  while (open.contains(static_cast<int>(lowestFree)))
    ++lowestFree;
  const rlimit exhausted{lowestFree, saved.rlim_max};
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &exhausted, nullptr), 0);
  DeliverMessage(session.maildir(), "From: <friend@home.example>\n\nhello\n");
  const fs::path log = session.stateHome() / "tervane-antispam" / "decisions.log";
  ASSERT_TRUE(WaitUntil([&] { return ReadBytes(log).find("not judged") != std::string::npos; }))
      << ReadBytes(log);
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &saved, nullptr), 0);
  EXPECT_EQ(FilesIn(session.maildir() / "new"), 1u);

  ASSERT_EQ(session.Oectl({"stop"}).exitCode, 0);
  ASSERT_EQ(session.Oectl({"start"}).exitCode, 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadBytes(log).find("kept: ") != std::string::npos; }))
      << ReadBytes(log);
  EXPECT_EQ(Count(ReadBytes(log), "not judged"), 1u) << ReadBytes(log);
  EXPECT_EQ(Count(ReadBytes(log), "spam: "), 0u) << ReadBytes(log);
  EXPECT_EQ(FilesIn(session.maildir() / "new") + FilesIn(session.maildir() / "cur"), 1u);
}

// An import runs in slices: new mail is judged while it runs, and SIGTERM ends the program
// before it is done, leaving none of it.
TEST(AdverseConditionsTest, ALargeImportLetsMailBeJudgedAndEndsOnSigtermLeavingNothing) {
  ProgramSession session;
  ASSERT_TRUE(session.StartAttached());
  const int pid = static_cast<int>(session.program().processId());
  std::string addresses;
  for (int i = 0; i < 500000; ++i)
    addresses += "bulk" + std::to_string(i) + "@import.example\n";
  std::future<CommandResult> import = std::async(std::launch::async, [&] {
    return session.Lists({"import", "black", "-"}, QByteArray::fromStdString(addresses));
  });
  ASSERT_TRUE(WaitUntil([&] { return Importing(pid); }));
  DeliverMessage(session.maildir(), "From: <" + ReferenceSender() + ">\n\nspam\n");
  EXPECT_TRUE(WaitUntil([&] { return FilesIn(session.maildir() / ".spam" / "new") == 1; }));
  ASSERT_TRUE(Importing(pid)) << "judged only once the import was done";

  EXPECT_TRUE(session.Terminate());
  EXPECT_EQ(import.get().exitCode, 1);
  const CommandResult black = session.Lists({"show", "black"});
  EXPECT_EQ(black.exitCode, 0) << black.err;
  EXPECT_EQ(black.out, "");
}

}  // namespace
}  // namespace tervane::testing
