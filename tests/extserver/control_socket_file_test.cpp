// The private folder of the control socket, and telling a live socket from a stale one.

#include "extserver/control_socket_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "extserver/unique_fd.h"
#include "mailclient/extension_interface.h"
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
  EXPECT_THROW(PreparePrivateFolder(temp / "file"), ExtensionError);
  EXPECT_THROW(PreparePrivateFolder(temp / "link"), ExtensionError);

  const auto foreign = temp / "foreign";
  std::filesystem::create_directory(foreign);
  ASSERT_EQ(::chmod(foreign.c_str(), 0755), 0);
  if (::chown(foreign.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0) {
    GTEST_SKIP() << "giving a folder to another user needs root";
  }
  EXPECT_THROW(PreparePrivateFolder(foreign), ExtensionError);
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
  EXPECT_THROW(ProbeSocket(temp / "plain"), ExtensionError);
}

// What a client meets before it connects: only a socket of ours in a private folder of ours passes.
struct SocketFileCase {
  const char* name;
  // Changes what the test made (a listening socket s.sock in a 0700 folder of ours) and returns
  // the path to check; giving something to another user needs root.
  std::function<std::filesystem::path(const std::filesystem::path& socket)> arrange;
  const char* refusal;  // part of the error; nullptr when the check passes
  bool needsRoot = false;
};

class CheckServerSocketFileTest : public ::testing::TestWithParam<SocketFileCase> {};

TEST_P(CheckServerSocketFileTest, RefusesWhatAnotherUserCouldHavePlanted) {
  const SocketFileCase& row = GetParam();
  if (row.needsRoot && ::geteuid() != 0) {
    GTEST_SKIP() << "giving a file to another user needs root";
  }
  testing::TempDir temp;
  const auto folder = temp / "tervane";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
  const UniqueFd listening = testing::BindUnixSocket(folder / "s.sock", true);
  const std::filesystem::path path = row.arrange(folder / "s.sock");
  if (row.refusal == nullptr) {
    EXPECT_TRUE(CheckServerSocketFile(path));
    return;
  }
  try {
    CheckServerSocketFile(path);
    ADD_FAILURE() << "accepted";
  } catch (const ExtensionError& error) {
    EXPECT_NE(std::string(error.what()).find(row.refusal), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckServerSocketFileTest,
    ::testing::Values(SocketFileCase{"OurSocketInOurPrivateFolder",
                                     [](const auto& socket) { return socket; }, nullptr},
                      SocketFileCase{"FolderOpenToOthers",
                                     [](const auto& socket) {
                                       ::chmod(socket.parent_path().c_str(), 0777);
                                       return socket;
                                     },
                                     "is open to other users"},
                      SocketFileCase{"FolderIsASymbolicLink",
                                     [](const auto& socket) {
                                       const auto link =
                                           socket.parent_path().parent_path() / "link";
                                       std::filesystem::create_directory_symlink(
                                           socket.parent_path(), link);
                                       return link / socket.filename();
                                     },
                                     "is not a folder"},
                      SocketFileCase{"NotASocket",
                                     [](const auto& socket) {
                                       std::ofstream(socket.parent_path() / "plain") << "x";
                                       return socket.parent_path() / "plain";
                                     },
                                     "is not a socket"},
                      SocketFileCase{"FolderOfAnotherUser",
                                     [](const auto& socket) {
                                       static_cast<void>(
                                           ::chown(socket.parent_path().c_str(), 65534, 65534));
                                       return socket;
                                     },
                                     "tervane belongs to another user", true},
                      SocketFileCase{"SocketOfAnotherUser",
                                     [](const auto& socket) {
                                       static_cast<void>(::lchown(socket.c_str(), 65534, 65534));
                                       return socket;
                                     },
                                     "s.sock belongs to another user", true}),
    [](const auto& info) { return std::string(info.param.name); });

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
