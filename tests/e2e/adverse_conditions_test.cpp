// The real program out of file descriptors, and importing many addresses, while mail arrives.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <utility>

#include "maildir/maildir_delivery.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;

class AdverseConditionsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(session.StartAttached()); }
  // The descriptors the program has open, and the files they stand for.
  std::map<int, fs::path> OpenFiles() {
    std::map<int, fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(
             "/proc/" + std::to_string(session.program().processId()) + "/fd", error))
      files[std::stoi(entry.path().filename())] = fs::read_symlink(entry.path(), error);
    return files;
  }
  static std::string Described(const std::map<int, fs::path>& files) {
    std::string text;
    for (const auto& [fd, file] : files)
      text += " " + std::to_string(fd) + "=" + file.string();
    return text;
  }

  ProgramSession session;
  const fs::path log = session.stateHome() / "tervane-antispam" / "decisions.log";
};

// Out of descriptors the program cannot open new mail: no verdict, the message stays, the log
// says so once, and it is judged at the next start of the mail client.
TEST_F(AdverseConditionsTest, MailThatCannotBeReadIsNotJudgedUntilItCanBe) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers probe memory through a pipe of their own: with no descriptor "
                  "left they take every virtual call for one on a dead object";
#endif
  const pid_t pid = static_cast<pid_t>(session.program().processId());
  rlimit saved{};
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &saved), 0);
  // The limit at the lowest free descriptor, once those of the start are closed: the
  // connection of the start's oectl is the last to go (the listening socket stays).
  const auto sockets = [](const std::map<int, fs::path>& files) {
    return std::ranges::count_if(
        files, [](const auto& fd) { return fd.second.string().starts_with("socket:"); });
  };
  std::map<int, fs::path> open;
  ASSERT_TRUE(WaitUntil(
      [&] { return std::exchange(open, OpenFiles()) == OpenFiles() && sockets(open) == 1; }));
  rlimit exhausted{0, saved.rlim_max};
  while (open.contains(static_cast<int>(exhausted.rlim_cur)))
    ++exhausted.rlim_cur;
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &exhausted, nullptr), 0);
  DeliverMessage(session.maildir(), "From: <friend@home.example>\n\nhello\n");
  ASSERT_TRUE(WaitUntil([&] { return ReadBytes(log).find("not judged") != std::string::npos; }))
      << "descriptors before: " << Described(open) << "\nand now: " << Described(OpenFiles())
      << "\n"
      << ReadBytes(log);
  ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &saved, nullptr), 0);

  ASSERT_EQ(session.Oectl({"stop"}).exitCode, 0);
  ASSERT_EQ(session.Oectl({"start"}).exitCode, 0);
  ASSERT_TRUE(WaitUntil([&] { return ReadBytes(log).find("kept: ") != std::string::npos; }));
  const std::string lines = ReadBytes(log);
  EXPECT_EQ(lines.find("not judged"), lines.rfind("not judged")) << lines;
  EXPECT_EQ(lines.find("spam: "), std::string::npos) << lines;
}

// An import runs in slices: new mail is judged while it runs, and SIGTERM ends the program
// before it is done, leaving none of it.
TEST_F(AdverseConditionsTest, ALargeImportLetsMailBeJudgedAndEndsOnSigtermLeavingNothing) {
  const auto importing = [this] {  // holding tervane-lists's transfer file
    return std::ranges::any_of(OpenFiles(),
                               [](const auto& fd) { return fd.second.filename() == "import"; });
  };
  std::string addresses;
  for (int i = 0; i < 500000; ++i)
    addresses += "bulk" + std::to_string(i) + "@import.example\n";
  std::future<CommandResult> import = std::async(std::launch::async, [&] {
    return session.Lists({"import", "black", "-"}, QByteArray::fromStdString(addresses));
  });
  ASSERT_TRUE(WaitUntil(importing));
  DeliverMessage(session.maildir(), "From: <" + ReferenceSender() + ">\n\nspam\n");
  EXPECT_TRUE(WaitUntil([&] { return !fs::is_empty(session.maildir() / ".spam" / "new"); }));
  ASSERT_TRUE(importing()) << "judged only once the import was done";

  EXPECT_TRUE(session.Terminate());
  EXPECT_EQ(import.get().exitCode, 1);
  EXPECT_EQ(session.Lists({"show", "black"}).out, "");
}

}  // namespace
}  // namespace tervane::testing
