#include "lists/row_transfer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "tests/support/file_contents.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

TEST(RowTransfer, EntriesSurviveTheFileWithEveryAwkwardByte) {
  const std::vector<ListEntry> entries = {
      {"a\\b\tc@x.org", "two\r\nlines\\n", EncodeDateTime(2024, 1, 31, 10, 20, 30), 3},
      {"", "", std::nullopt, 0},
      {"caf\xC3\xA9@x.org", "\xE9t\xE9", 45292.123456789, 100000},
  };
  EXPECT_EQ(DecodeEntries(EncodeEntries(entries)), entries);
}

TEST(RowTransfer, MalformedFilesAreRefused) {
  for (const char* text : {"1\ta\tb\n", "x\ta\tb\t\n", "1\ta\tb\t", "1\ta\tb\tsoon\n",
                           "1\ta\\\tb\t\n", "1\ta\tb\t2\textra\n"}) {
    EXPECT_THROW(DecodeEntries(text), TransferError) << text;
  }
}

TEST(RowTransfer, FolderAndFilesArePrivateAndGoWithTheFolder) {
  const testing::TempDir runtime;
  const testing::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
  fs::path file;
  {
    const TransferFolder folder;
    file = folder.NewFile("rows", "content");
    EXPECT_EQ(file.parent_path().parent_path(), runtime.path());
    EXPECT_EQ(fs::status(file.parent_path()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadTransferFile(file), "content");
    WriteTransferFile(file, "new");
    EXPECT_EQ(testing::ReadBytes(file), "new");
    EXPECT_THROW(folder.NewFile("rows", ""), TransferError);  // never replaces a file
  }
  EXPECT_FALSE(fs::exists(file.parent_path()));
}

struct RefusedCase {
  const char* name;
  // Puts something in folder and returns the path to hand over; nothing skips the case.
  std::function<std::optional<fs::path>(const fs::path& folder)> make;
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.name;
}

class RefusedTransferFileTest : public ::testing::TestWithParam<RefusedCase> {};

// The program opens only a private regular file of its own user, so a request cannot make it
// read or write anything else.
TEST_P(RefusedTransferFileTest, NeitherReadNorWritten) {
  const testing::TempDir dir;
  const std::optional<fs::path> path = GetParam().make(dir.path());
  if (!path)
    GTEST_SKIP() << "changing a file's owner needs root";
  EXPECT_THROW(ReadTransferFile(*path), TransferError);
  EXPECT_THROW(WriteTransferFile(*path, "x"), TransferError);
}

constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

fs::path WriteFile(const fs::path& file, fs::perms perms = kPrivate) {
  std::ofstream(file) << "secret\n";
  fs::permissions(file, perms);
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedTransferFileTest,
    ::testing::Values(
        RefusedCase{"Missing", [](const fs::path& dir) { return dir / "missing"; }},
        RefusedCase{"SymbolicLinkToAPrivateFile",
                    [](const fs::path& dir) {
                      fs::create_symlink(WriteFile(dir / "target"), dir / "link");
                      return dir / "link";
                    }},
        RefusedCase{"ReadableByOthers",
                    [](const fs::path& dir) {
                      return WriteFile(dir / "file", kPrivate | fs::perms::others_read);
                    }},
        RefusedCase{"Fifo",
                    [](const fs::path& dir) {
                      EXPECT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
                      return dir / "fifo";
                    }},
        RefusedCase{"Folder",
                    [](const fs::path& dir) {
                      fs::create_directory(dir / "folder");
                      fs::permissions(dir / "folder", fs::perms::owner_all);
                      return dir / "folder";
                    }},
        RefusedCase{"OtherUsersFile",
                    [](const fs::path& dir) -> std::optional<fs::path> {
                      const fs::path file = WriteFile(dir / "file");
                      if (::geteuid() != 0 || ::chown(file.c_str(), 65534, 65534) != 0)
                        return std::nullopt;
                      return file;
                    }},
        RefusedCase{"RelativePath",
                    [](const fs::path& dir) {
                      return WriteFile(dir / "file").lexically_relative(fs::current_path());
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tervane
