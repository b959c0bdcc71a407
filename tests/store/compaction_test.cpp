#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "store/filter_database.h"
#include "store/integrity_check.h"
#include "tests/support/child_process.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::FileNames;
using testing::OpenDescriptorsTo;
using testing::ProgramFolder;
using testing::ReadBytes;

using ListRow = std::tuple<std::string, std::string, double, int32_t>;

std::vector<ListRow> ReadList(RecordCursor& cursor, QueryText list) {
  std::vector<ListRow> rows;
  for (cursor.Query(list); !cursor.Eof(); cursor.Next()) {
    rows.emplace_back(cursor.FieldAsString("mail"), cursor.FieldAsString("name"),
                      cursor.FieldAsDateTime("date"), cursor.FieldAsInteger("class"));
  }
  return rows;
}

void AddRows(RecordCursor& cursor, QueryText list, const std::string& prefix, int count) {
  cursor.Query(list);
  for (int i = 0; i < count; ++i) {
    cursor.Append();
    cursor.SetFieldAsString("mail", prefix + std::to_string(i) + "@x.example");
    cursor.SetFieldAsString("name", "Person " + std::to_string(i));
    cursor.SetFieldAsDateTime("date", 45000.0 + i);
    cursor.SetFieldAsInteger("class", 1);
    cursor.Post();
  }
}

TEST(Compaction, KeepsEveryRowAndThePassword) {
  ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  AddRows(db.ADODataSet1, QueryText::kWhiteTable, "w", 120);
  AddRows(db.ADODataSet1, QueryText::kBlackTable, "b", 40);
  // Deleting most of the white list leaves free pages for compaction to drop.
  db.ADODataSet3.Query(QueryText::kWhiteTable);
  for (int i = 0; i < 100; ++i)
    db.ADODataSet3.Delete();
  db.ADODataSet1.Query(QueryText::kMisc);
  db.ADODataSet1.Edit();
  db.ADODataSet1.SetFieldAsInteger("number", 21);
  db.ADODataSet1.Post();
  const auto white = ReadList(db.ADODataSet1, QueryText::kWhiteTable);
  const auto black = ReadList(db.ADODataSet1, QueryText::kBlackTable);
  // Closing writes the log of committed changes back into the file, so its size is all of it.
  CloseFilterDatabase(db);
  const auto sizeBefore = std::filesystem::file_size(folder.customer());
  OpenFilterDatabase(db, folder.dir.path());
  db.ADODataSet4.Query(QueryText::kBlackTable);  // left open: compaction closes it
  ::chmod(folder.customer().c_str(), 0640);

  ASSERT_TRUE(CompactDatabaseFile(db, folder.customer(), kCustomerDatabasePassword));
  EXPECT_FALSE(db.ADOConnection1.Connected());
  EXPECT_FALSE(db.ADOConnection2.Connected());
  EXPECT_FALSE(db.ADODataSet4.Active());
  EXPECT_LT(std::filesystem::file_size(folder.customer()), sizeBefore);
  EXPECT_EQ(std::filesystem::status(folder.customer()).permissions(),
            static_cast<std::filesystem::perms>(0640));
  EXPECT_EQ(FileNames(folder.dir.path()), (std::vector<std::string>{"cust.mdb", "ospam.mdb"}));
  EXPECT_EQ(IntegrityProblems(folder.customer(), kCustomerDatabasePassword),
            std::vector<std::string>{});

  EXPECT_EQ(OpenFilterDatabase(db, folder.dir.path()), 2);
  EXPECT_EQ(ReadList(db.ADODataSet1, QueryText::kWhiteTable), white);
  EXPECT_EQ(ReadList(db.ADODataSet1, QueryText::kBlackTable), black);
  db.ADODataSet1.Query(QueryText::kMiscWhereId1);
  EXPECT_EQ(db.ADODataSet1.FieldAsInteger("number"), 21);
  db.ADODataSet1.Query(QueryText::kBlackTableLookup, "B7@X.EXAMPLE");
  EXPECT_FALSE(db.ADODataSet1.IsEmpty()) << "lookups still ignore letter case";
  // Row identities survive, so the next new row and deletes still work.
  AddRows(db.ADODataSet1, QueryText::kWhiteTable, "new", 1);
  db.ADODataSet1.Query(QueryText::kWhiteTableLookup, "w110@x.example");
  db.ADODataSet1.Delete();
  EXPECT_EQ(ReadList(db.ADODataSet1, QueryText::kWhiteTable).size(), white.size());
}

TEST(Compaction, FollowsASymbolicLink) {
  ProgramFolder folder;
  testing::TempDir elsewhere;
  const auto real = elsewhere / "cust.mdb";
  std::filesystem::rename(folder.customer(), real);
  std::filesystem::create_symlink(real, folder.customer());
  FilterDatabase db;
  ASSERT_TRUE(CompactDatabaseFile(db, folder.customer(), kCustomerDatabasePassword));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.customer()));
  EXPECT_EQ(OpenFilterDatabase(db, folder.dir.path()), 2);
}

// A small tmpfs mounted on a fresh folder, unmounted at the end: a disk that fills up.
class SmallDisk {
 public:
  explicit SmallDisk(std::uintmax_t bytes) : path_(dir_ / "disk") {
    std::filesystem::create_directory(path_);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_)
      ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  testing::TempDir dir_;
  std::filesystem::path path_;
  bool mounted_ = false;
};

std::uintmax_t BlocksOf(const std::filesystem::path& file) {
  return (std::filesystem::file_size(file) + 4095) / 4096 * 4096;
}

enum class Fault {
  kWrongPassword,
  kNotADatabase,
  kMissingFile,
  kReadOnlyFolder,
  kFileSizeLimit,
  kFullDisk,
};

struct FailureCase {
  const char* name;
  Fault fault;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class CompactionFailureTest : public ::testing::TestWithParam<FailureCase> {};

// Compaction runs in a child process, where a fault can lower a limit or drop privileges.
TEST_P(CompactionFailureTest, LeavesTheFileAsItWas) {
  const Fault fault = GetParam().fault;
  ProgramFolder folder;
  std::filesystem::path dir = folder.dir.path();
  std::string password(kCustomerDatabasePassword);
  std::function<void()> limit;
  std::unique_ptr<SmallDisk> disk;
  if (fault == Fault::kFileSizeLimit || fault == Fault::kFullDisk) {
    // A copy of this many rows is larger than the limit below and than the room left on disk.
    FilterDatabase db;
    OpenFilterDatabase(db, dir);
    AddRows(db.ADODataSet1, QueryText::kWhiteTable, "w", 4000);
    CloseFilterDatabase(db);
  }
  switch (fault) {
    case Fault::kWrongPassword:
      password = kReferenceDatabasePassword;
      break;
    case Fault::kNotADatabase:
      std::filesystem::remove(folder.customer());
      std::ofstream(folder.customer()) << "not a database\n";
      break;
    case Fault::kMissingFile:
      std::filesystem::remove(folder.customer());
      break;
    case Fault::kReadOnlyFolder:
      if (!testing::CanTestPermissions())
        GTEST_SKIP() << "running as root without a user nobody to check permissions with";
      testing::GiveToUnprivilegedUser(dir);
      ::chmod(dir.c_str(), 0555);
      break;
    case Fault::kFileSizeLimit:
      limit = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{100 * 1024, 100 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &size);
      };
      break;
    case Fault::kFullDisk:
      if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs as a full disk needs root";
      disk = std::make_unique<SmallDisk>(BlocksOf(folder.customer()) +
                                         BlocksOf(folder.reference()) + 8192);
      if (!disk->mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
      dir = disk->path();
      testing::CopyProgramFolder(folder.dir.path(), dir);
      break;
  }
  const auto customer = dir / kCustomerDatabaseFile;
  const bool exists = std::filesystem::exists(customer);
  const std::string before = exists ? ReadBytes(customer) : "";
  const auto names = FileNames(dir);

  auto compact = [&] {
    FilterDatabase db;
    return CompactDatabaseFile(db, customer, password) ? std::string("compacted")
                                                       : std::string("not compacted");
  };
  EXPECT_EQ(fault == Fault::kReadOnlyFolder ? testing::RunUnprivileged(compact)
                                            : testing::RunInChildProcess(compact, limit),
            "not compacted");
  EXPECT_EQ(FileNames(dir), names) << "no temporary file remains";
  EXPECT_EQ(std::filesystem::exists(customer), exists);
  if (exists) {
    EXPECT_EQ(ReadBytes(customer), before);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, CompactionFailureTest,
                         ::testing::Values(FailureCase{"WrongPassword", Fault::kWrongPassword},
                                           FailureCase{"NotADatabase", Fault::kNotADatabase},
                                           FailureCase{"MissingFile", Fault::kMissingFile},
                                           FailureCase{"ReadOnlyFolder", Fault::kReadOnlyFolder},
                                           FailureCase{"FileSizeLimit", Fault::kFileSizeLimit},
                                           FailureCase{"FullDisk", Fault::kFullDisk}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Compaction, WorksAfterCloseAndHoldsNoFileOpen) {
  ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  db.ADODataSet3.Query(QueryText::kWhiteTable);
  CloseFilterDatabase(db);
  EXPECT_TRUE(CompactDatabaseFile(db, folder.customer(), kCustomerDatabasePassword));
  EXPECT_EQ(OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_TRUE(CompactDatabaseFile(db, folder.customer(), kCustomerDatabasePassword));
}

// The check a crash test relies on: it must see a page damaged on disk.
TEST(IntegrityCheck, NamesADamagedPage) {
  ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  AddRows(db.ADODataSet1, QueryText::kWhiteTable, "w", 300);
  CloseFilterDatabase(db);
  ASSERT_EQ(IntegrityProblems(folder.customer(), kCustomerDatabasePassword),
            std::vector<std::string>{});
  ASSERT_GT(std::filesystem::file_size(folder.customer()), 4u * 4096);

  {
    std::fstream file(folder.customer(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(3 * 4096 + 1000);
    file.write("sixteen garbage!", 16);
  }
  EXPECT_NE(IntegrityProblems(folder.customer(), kCustomerDatabasePassword),
            std::vector<std::string>{});
}

}  // namespace
}  // namespace tervane
