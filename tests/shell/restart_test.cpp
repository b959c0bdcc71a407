#include "shell/restart.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <QLocalServer>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "base/unique_fd.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unix_socket.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ScopedEnv;

TEST(RestartTest, MarkHoldsOnlyWhenTheVariableIsOneAndIsTakenAway) {
  const struct {
    std::optional<std::string> value;
    bool restarted;
  } cases[] = {{std::nullopt, false}, {"", false}, {"0", false}, {"yes", false}, {"1", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.value_or("(unset)"));
    const ScopedEnv variable(kRestartedVariable, c.value);
    EXPECT_EQ(TakeRestartedMark(), c.restarted);
    EXPECT_EQ(std::getenv(kRestartedVariable), nullptr);
  }
}

TEST(RestartTest, FreshInstanceGetsTheVariableAndKeepsTheEnvironment) {
  const testing::TempDir dir;
  const ScopedEnv unset(kRestartedVariable, std::nullopt);
  const ScopedEnv server("TERVANE_SERVER", "127.0.0.1:1");
  fs::create_directories(dir / "program folder");
  const fs::path program = dir / "program folder" / "TervaneAntiSpam";
  const fs::path output = dir / "environment";
  std::ofstream(program)
      << "#!/bin/sh\n"
      << "printf '%s|%s|%s' \"$TERVANE_RESTARTED\" \"$TERVANE_SERVER\" \"$#\" > '"
      << output.string() << ".tmp' && mv '" << output.string() << ".tmp' '" << output.string()
      << "'\n";
  fs::permissions(program, fs::perms::owner_all);

  StartFreshInstance(program);
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(output); }, 10000));
  std::string text;
  std::getline(std::ifstream(output), text);
  EXPECT_EQ(text, "1|127.0.0.1:1|0");
}

TEST(RestartTest, MissingProgramStartsNothing) {
  const testing::TempDir dir;
  EXPECT_NO_THROW(StartFreshInstance(dir / "TervaneAntiSpam"));
}

TEST(RestartTest, SocketIsFreeWhenNothingAnswers) {
  const testing::TempDir dir;
  EXPECT_TRUE(WaitUntilSocketFree(dir / "none.sock", 2s));
  // A socket file left behind by a process that ended.
  const fs::path stale = dir / "stale.sock";
  testing::BindUnixSocket(stale, false);
  ASSERT_TRUE(fs::exists(stale));
  EXPECT_TRUE(WaitUntilSocketFree(stale, 2s));
}

TEST(RestartTest, SocketIsNotFreeWhileAServerListens) {
  const testing::TempDir dir;
  QLocalServer server;
  ASSERT_TRUE(server.listen(QString::fromStdString((dir / "live.sock").string())));
  EXPECT_FALSE(WaitUntilSocketFree(dir / "live.sock", 200ms));
}

TEST(RestartTest, WaitEndsWhenTheServerLeaves) {
  const testing::TempDir dir;
  const fs::path path = dir / "leaving.sock";
  std::optional<UniqueFd> listener(testing::BindUnixSocket(path, true));
  std::thread leaver([&] {
    std::this_thread::sleep_for(150ms);
    listener.reset();
  });
  const bool free = WaitUntilSocketFree(path, 10s);
  leaver.join();
  EXPECT_TRUE(free);
}

}  // namespace
}  // namespace tervane
