// Who owns a folder of lists, and where the lists of an installed program live.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/data_folder.h"
#include "store/database_error.h"
#include "store/folder_owner.h"
#include "tests/support/child_process.h"
#include "tests/support/file_contents.h"
#include "tests/support/program_folder.h"
#include "tests/support/scoped_env.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;
using testing::ProgramFolder;
using testing::ScopedEnv;
using testing::TempDir;

TEST(FolderOwner, ASecondOwnerIsRefusedWithTheFirstOnesProcessUntilItLetsGo) {
  TempDir folder;
  {
    const FolderOwner first = FolderOwner::Acquire(folder.path());
    try {
      FolderOwner::Acquire(folder.path(), std::chrono::milliseconds(100));
      FAIL() << "taken twice";
    } catch (const FolderInUse& e) {
      EXPECT_EQ(e.owner(), ::getpid());
      EXPECT_NE(std::string(e.what()).find("in use by process " + std::to_string(::getpid())),
                std::string::npos)
          << e.what();
    }
  }
  EXPECT_NO_THROW(FolderOwner::Acquire(folder.path()));
}

// The lock file only names the owner: deleting it lets no second owner in.
TEST(FolderOwner, NoSecondOwnerWhenTheLockFileIsDeleted) {
  TempDir folder;
  const FolderOwner first = FolderOwner::Acquire(folder.path());
  fs::remove(folder / kFolderLockFile);
  EXPECT_THROW(FolderOwner::Acquire(folder.path()), FolderInUse);
}

// The lock goes with its process, however it ends: a killed owner never leaves the folder taken.
TEST(FolderOwner, AKilledOwnerLetsTheFolderGo) {
  TempDir folder;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const FolderOwner owner = FolderOwner::Acquire(folder.path());
    [[maybe_unused]] const ssize_t written = ::write(ready[1], "x", 1);
    ::pause();
    ::_exit(0);
  }
  char byte;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  EXPECT_THROW(FolderOwner::Acquire(folder.path()), FolderInUse);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_NO_THROW(FolderOwner::Acquire(folder.path(), std::chrono::seconds(2)));
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(FolderOwner, RemovesOnlyWhatAKilledCompactionLeft) {
  TempDir folder;
  const std::vector<std::string> leftovers = {"~CPa1B2c3", "~CPa1B2c3-journal", "~CPzzzzzz-wal"};
  const std::vector<std::string> kept = {"cust.mdb",       "cust.mdb-wal",  "~CPab",
                                         "notes~CPa1B2c3", "~CPa1B2c3.bak", "~MKa1B2c3"};
  for (const auto& names : {leftovers, kept})
    for (const std::string& name : names)
      std::ofstream(folder / name) << "x";
  FolderOwner::Acquire(folder.path()).RemoveCompactionLeftovers();
  for (const std::string& name : leftovers)
    EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const std::string& name : kept)
    EXPECT_TRUE(fs::exists(folder / name)) << name;
}

TEST(DatabaseFolder, AWritableProgramFolderKeepsItsLists) {
  ProgramFolder program;
  TempDir data;
  const ScopedEnv dataHome("XDG_DATA_HOME", data.path().string());
  EXPECT_EQ(PrepareDatabaseFolder(program.dir.path()), program.dir.path());
  EXPECT_TRUE(fs::is_empty(data.path()));
}

// A system-wide install: the user's own copies are made once from the shipped files and never
// replaced afterwards.
TEST(DatabaseFolder, AReadOnlyProgramFolderSeedsTheUsersFolderOnce) {
  ProgramFolder program;
  TempDir data;
  // As a package installs them: readable by all, writable by none of the users.
  fs::permissions(program.customer(), fs::perms(0644));
  fs::permissions(program.reference(), fs::perms(0644));
  fs::permissions(program.dir.path(), fs::perms(0555));
  fs::permissions(data.path(), fs::perms(0777));
  const fs::path expected = data / "share" / "tervane-antispam";
  const ScopedEnv dataHome("XDG_DATA_HOME", (data / "share").string());

  const auto prepareAsUser = [&] {
    return testing::RunUnprivileged(
        [&] { return PrepareDatabaseFolder(program.dir.path()).string(); });
  };
  ASSERT_EQ(prepareAsUser(), expected.string());
  EXPECT_EQ(fs::status(expected).permissions(), fs::perms(0700));
  EXPECT_EQ(testing::ReadBytes(expected / "cust.mdb"), testing::ReadBytes(program.customer()));
  EXPECT_EQ(testing::ReadBytes(expected / "ospam.mdb"), testing::ReadBytes(program.reference()));

  std::ofstream(expected / "cust.mdb", std::ios::trunc) << "the user's own lists";
  fs::remove(expected / "ospam.mdb");
  ASSERT_EQ(prepareAsUser(), expected.string());
  EXPECT_EQ(testing::ReadBytes(expected / "cust.mdb"), "the user's own lists");
  EXPECT_EQ(testing::ReadBytes(expected / "ospam.mdb"), testing::ReadBytes(program.reference()));
  fs::permissions(program.dir.path(), fs::perms(0700));
}

TEST(DatabaseFolder, WithoutAnyHomeTheReadOnlyInstallHasNoFolder) {
  ProgramFolder program;
  fs::permissions(program.dir.path(), fs::perms(0555));
  const ScopedEnv dataHome("XDG_DATA_HOME", "relative/ignored");
  const ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(testing::RunUnprivileged([&] {
              try {
                return DatabaseFolderFor(program.dir.path()).string();
              } catch (const DatabaseError&) {
                return std::string("refused");
              }
            }),
            "refused");
  fs::permissions(program.dir.path(), fs::perms(0700));
}

}  // namespace
}  // namespace tervane
