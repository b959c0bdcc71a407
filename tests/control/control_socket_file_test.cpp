// The private folder of the control socket, and telling a live socket from a stale one.

#include "control/control_socket_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "base/unique_fd.h"
#include "mailapi/extension_interface.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unix_socket.h"

namespace tervane {
namespace {

// The permission bits of path.
mode_t Mode(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

TEST(PreparePrivateFolderTest, MakesTheFolderAndItsParentsPrivate) {
  testing::TempDir temp;
  const auto folder = temp / "a" / "b" / "tervane";
  PreparePrivateFolder(folder);
  EXPECT_EQ(Mode(folder), 0700);
}

TEST(PreparePrivateFolderTest, NarrowsOurOwnOpenFolder) {
  testing::TempDir temp;
  const auto folder = temp / "tervane";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  PreparePrivateFolder(folder);
  EXPECT_EQ(Mode(folder), 0700);
}

TEST(PreparePrivateFolderTest, RefusesWhatIsNotOurFolder) {
  testing::TempDir temp;
  std::ofstream(temp / "file") << "x";
  std::filesystem::create_directory(temp / "real");
  std::filesystem::create_directory_symlink(temp / "real", temp / "link");
  EXPECT_THROW(PreparePrivateFolder(temp / "file"), ControlSocketError);
  EXPECT_THROW(PreparePrivateFolder(temp / "link"), ControlSocketError);

  const auto foreign = temp / "foreign";
  std::filesystem::create_directory(foreign);
  ASSERT_EQ(::chmod(foreign.c_str(), 0755), 0);
  if (::chown(foreign.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0) {
    GTEST_SKIP() << "giving a folder to another user needs root";
  }
  EXPECT_THROW(PreparePrivateFolder(foreign), ControlSocketError);
  EXPECT_EQ(Mode(foreign), 0755);  // left as it was
}

TEST(ProbeSocketTest, TellsAbsentStaleAndLiveApart) {
  testing::TempDir temp;
  const auto path = temp / "s.sock";
  EXPECT_EQ(ProbeSocket(path), SocketState::kAbsent);
  {
    const UniqueFd stale = testing::BindUnixSocket(path, false);
    EXPECT_EQ(ProbeSocket(path), SocketState::kStale);
  }
  EXPECT_EQ(ProbeSocket(path), SocketState::kStale);  // the file outlives its socket
  std::filesystem::remove(path);
  const UniqueFd live = testing::BindUnixSocket(path, true);
  EXPECT_EQ(ProbeSocket(path), SocketState::kLive);
}

TEST(ProbeSocketTest, RefusesAFileThatIsNoSocket) {
  testing::TempDir temp;
  std::ofstream(temp / "plain") << "x";
  EXPECT_THROW(ProbeSocket(temp / "plain"), ControlSocketError);
}

// What a client meets before it connects: only a socket of ours in a private folder of ours
// passes. (A folder or socket of another user: tests/tools/oectl_test.cpp, as root.)
TEST(CheckServerSocketFileTest, RefusesWhatOthersCouldReachOrPlant) {
  testing::TempDir temp;
  const auto folder = temp / "tervane";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  const UniqueFd listening = testing::BindUnixSocket(folder / "s.sock", true);
  EXPECT_TRUE(CheckServerSocketFile(folder / "s.sock"));

  std::ofstream(folder / "plain") << "x";
  std::filesystem::create_directory_symlink(folder, temp / "link");
  EXPECT_THROW(CheckServerSocketFile(folder / "plain"), ControlSocketError);
  EXPECT_THROW(CheckServerSocketFile(temp / "link" / "s.sock"), ControlSocketError);
  ASSERT_EQ(::chmod(folder.c_str(), 0770), 0);
  EXPECT_THROW(CheckServerSocketFile(folder / "s.sock"), ControlSocketError);
}

TEST(CheckServerSocketFileTest, NothingThereIsNoServer) {
  testing::TempDir temp;
  EXPECT_FALSE(CheckServerSocketFile(temp / "none.sock"));
  EXPECT_FALSE(CheckServerSocketFile(temp / "missing" / "none.sock"));
}

TEST(PeerUidTest, NamesTheUserAtTheOtherEnd) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const UniqueFd a(fds[0]);
  const UniqueFd b(fds[1]);
  EXPECT_EQ(PeerUid(a.get()), ::geteuid());
  EXPECT_FALSE(PeerUid(-1));
}

}  // namespace
}  // namespace tervane
