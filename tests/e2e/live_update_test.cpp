// Live Update from end to end: the real program, the real tervane-server and the real update.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <fstream>

#include "reflist/ed25519_keys.h"
#include "tests/e2e/program_session.h"
#include "tests/support/file_contents.h"

namespace tervane::testing {
namespace {

namespace fs = std::filesystem;

// tervane-server as a process on a free port, signing with a key pair of its own that the
// session's program folder trusts (its update.pub is replaced).
class MakersServer {
 public:
  MakersServer(const fs::path& programFolder, const std::string& seed) {
    MakeKeyPair(work_.path());
    fs::copy_file(work_ / "update.pub", programFolder / "update.pub",
                  fs::copy_options::overwrite_existing);
    std::ofstream(work_ / "seed.txt") << seed;
    process_.start(TERVANE_SERVER_PATH,
                   {"--key", QString::fromStdString((work_ / "update.key").string()), "--port", "0",
                    "--database", QString::fromStdString((work_ / "reports.sqlite").string()),
                    "--seed", QString::fromStdString((work_ / "seed.txt").string())});
    // "published version 1: ..." then "listening on 127.0.0.1:<port>"
    while (host_.empty() && process_.waitForReadyRead(10000)) {
      while (process_.canReadLine()) {
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        if (line.startsWith("listening on "))
          host_ = line.mid(13).toStdString();
      }
    }
  }
  ~MakersServer() {
    process_.terminate();
    process_.waitForFinished(5000);
  }
  const std::string& Host() const { return host_; }

 private:
  TempDir work_;
  QProcess process_;
  std::string host_;
};

TEST(LiveUpdateTest, TheToolbarsLiveUpdateBringsTheNewListIntoTheRunningProgram) {
  ProgramSession session;
  // The shipped list and one address more: update refuses a list that drops most of the one in
  // place.
  MakersServer maker(session.programFolder(),
                     ReadBytes(TERVANE_REFERENCE_LIST) + "fresh@spam.example\n");
  ASSERT_FALSE(maker.Host().empty());
  session.SetEnvironment("TERVANE_SERVER", QString::fromStdString(maker.Host()));
  ASSERT_TRUE(session.StartAttached());
  const fs::path reference = session.programFolder() / "ospam.mdb";
  const ino_t shipped = InodeOf(reference);

  // Not on the shipped list: the message stays.
  session.Deliver("fresh@spam.example", "first\n");
  ASSERT_TRUE(WaitUntil([&] { return session.FolderCounts().at("Inbox") == 1; }));

  ASSERT_EQ(session.Oectl({"click", "Live Update"}).exitCode, 0);
  ASSERT_TRUE(WaitUntil(
      [&] { return InodeOf(reference) != shipped && session.RunningInstances("update").empty(); },
      std::chrono::seconds(30)));

  // The program, still attached, judges by the new list.
  session.Deliver("fresh@spam.example", "second\n");
  EXPECT_TRUE(WaitUntil([&] {
    const auto counts = session.FolderCounts();
    return counts.at("spam") == 1 && counts.at("Inbox") == 1;
  }));

  // By hand, the next time: nothing new.
  const CommandResult again = session.RunTool("update", {});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out, "Already up to date.\n");
}

}  // namespace
}  // namespace tervane::testing
