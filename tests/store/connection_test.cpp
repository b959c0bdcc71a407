#include "store/connection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <ostream>
#include <string>

#include "store/connection_string.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "tests/support/child_process.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::CanTestPermissions;
using testing::FileNames;
using testing::OpenDescriptorsTo;
using testing::ProgramFolder;
using testing::ReadBytes;

struct ParseCase {
  const char* name;
  const char* text;
  const char* dataSource;
  const char* password;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

const ParseCase kParseCases[] = {
    {"MailClientForm",
     "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/t/cust.mdb;Persist Security Info=False;"
     "Jet OLEDB:Database Password=lorimand",
     "/opt/t/cust.mdb", "lorimand"},
    {"CompactionForm",
     "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/tmp/~CP1;Jet OLEDB:Database Password=pw;",
     "/tmp/~CP1", "pw"},
    {"KeysIgnoreCaseAndBlanks", " data source = /a b/x.mdb ; JET OLEDB:DATABASE PASSWORD = pw ",
     "/a b/x.mdb", "pw"},
    {"QuotedValueWithSemicolon",
     "Data Source=\"/a;b/x \"\"q\"\".mdb\";Jet OLEDB:Database Password=p", "/a;b/x \"q\".mdb", "p"},
    {"SingleQuotes", "Data Source='/a/x.mdb'", "/a/x.mdb", ""},
    {"NoPassword", "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a/x.mdb", "/a/x.mdb", ""},
};

class ConnectionStringTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConnectionStringTest, Parses) {
  const ConnectionTarget target = ParseConnectionString(GetParam().text);
  EXPECT_EQ(target.dataSource, GetParam().dataSource);
  EXPECT_EQ(target.password, GetParam().password);
}

INSTANTIATE_TEST_SUITE_P(Forms, ConnectionStringTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionString, NoDataSourceIsAnError) {
  EXPECT_THROW(ParseConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source="),
               DatabaseError);
  EXPECT_THROW(ParseConnectionString("Jet OLEDB:Database Password=x"), DatabaseError);
}

TEST(ConnectionString, AnyFileNameReadsBack) {
  for (const char* file : {"/plain/cust.mdb", "/semi;colon/cust.mdb", "/quo\"te/it's.mdb",
                           " leading blank.mdb", "/trailing blank "}) {
    const ConnectionTarget target = ParseConnectionString(MakeConnectionString(file, "kd503817"));
    EXPECT_EQ(target.dataSource, file);
    EXPECT_EQ(target.password, "kd503817");
  }
}

enum class FileKind { kMissing, kCustomerDatabase, kText };

struct OpenFailureCase {
  const char* name;
  FileKind kind;
  const char* text;  // the file's content for kText
  const char* password;
  const char* reason;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
  *os << c.name;
}

const OpenFailureCase kOpenFailures[] = {
    {"MissingFile", FileKind::kMissing, "", "lorimand", "the file does not exist"},
    {"WrongPassword", FileKind::kCustomerDatabase, "", "kd503817", "wrong password"},
    {"GarbageFile", FileKind::kText, "This is a text file, not a database.\n", "lorimand",
     "not a database"},
    {"EmptyFile", FileKind::kText, "", "lorimand", "the file is empty"},
};

class OpenFailureTest : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailureTest, FailsClearlyAndChangesNothing) {
  const OpenFailureCase& c = GetParam();
  testing::TempDir dir;
  const auto file = dir / "cust.mdb";
  if (c.kind == FileKind::kCustomerDatabase) {
    ProgramFolder made;
    std::filesystem::copy_file(made.customer(), file);
  } else if (c.kind == FileKind::kText) {
    std::ofstream(file, std::ios::binary) << c.text;
  }
  const auto namesBefore = FileNames(dir.path());
  const std::string bytesBefore = c.kind == FileKind::kMissing ? "" : ReadBytes(file);

  Connection connection;
  connection.SetConnectionString(MakeConnectionString(file, c.password));
  try {
    connection.Open();
    FAIL() << "opened";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
  EXPECT_FALSE(connection.Connected());
  EXPECT_EQ(FileNames(dir.path()), namesBefore);
  if (c.kind != FileKind::kMissing) {
    EXPECT_EQ(ReadBytes(file), bytesBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, OpenFailureTest, ::testing::ValuesIn(kOpenFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// "opened", or the message of the failed open.
std::string OpenCustomer(const std::filesystem::path& folder) {
  Connection connection;
  connection.SetConnectionString(CustomerConnectionString(folder));
  try {
    connection.Open();
    return "opened";
  } catch (const DatabaseError& e) {
    return e.what();
  }
}

enum class Denial { kReadOnlyFile, kReadOnlyFolder, kUnreadableFile };

struct DenialCase {
  const char* name;
  Denial denial;
  const char* reason;
};

void PrintTo(const DenialCase& c, std::ostream* os) {
  *os << c.name;
}

const DenialCase kDenials[] = {
    {"ReadOnlyFile", Denial::kReadOnlyFile, "cust.mdb is read-only: "},
    {"ReadOnlyFolder", Denial::kReadOnlyFolder, "\" is read-only: "},
    {"UnreadableFile", Denial::kUnreadableFile, "cust.mdb cannot be read (Permission denied)"},
};

class DeniedAccessTest : public ::testing::TestWithParam<DenialCase> {};

// The user's own program folder with a mode taken away: the open names the cause, leaves no side
// file, and works again once the mode is given back.
TEST_P(DeniedAccessTest, NamesTheCauseLeavesNothingAndOpensOnceRestored) {
  if (!CanTestPermissions())
    GTEST_SKIP() << "running as root without a user nobody to check permissions with";
  const DenialCase& c = GetParam();
  ProgramFolder folder;
  testing::GiveToUnprivilegedUser(folder.dir.path());
  const auto& dir = folder.dir.path();
  switch (c.denial) {
    case Denial::kReadOnlyFile:
      ::chmod(folder.customer().c_str(), 0400);
      break;
    case Denial::kReadOnlyFolder:
      ::chmod(dir.c_str(), 0500);
      break;
    case Denial::kUnreadableFile:
      ::chmod(folder.customer().c_str(), 0200);
      break;
  }
  const auto names = FileNames(dir);
  const std::string refused = testing::RunUnprivileged([&] { return OpenCustomer(dir); });
  EXPECT_NE(refused.find(c.reason), std::string::npos) << refused;
  EXPECT_NE(refused.find(folder.customer().string()), std::string::npos) << refused;
  EXPECT_EQ(FileNames(dir), names);

  ::chmod(dir.c_str(), 0700);
  ::chmod(folder.customer().c_str(), 0600);
  EXPECT_EQ(testing::RunUnprivileged([&] { return OpenCustomer(dir); }), "opened");
}

INSTANTIATE_TEST_SUITE_P(Modes, DeniedAccessTest, ::testing::ValuesIn(kDenials),
                         [](const auto& info) { return std::string(info.param.name); });

// An older build opened a read-only cust.mdb read-only and left its log and the log's index
// behind, read-only too. They hold nothing, so the next start clears them; a read-only log that
// does hold changes is kept and named.
TEST(Connection, ReadOnlyLeftOversOfAnEarlierOpen) {
  if (!CanTestPermissions())
    GTEST_SKIP() << "running as root without a user nobody to check permissions with";
  ProgramFolder folder;
  const auto log = folder.customer().string() + "-wal";
  const auto index = folder.customer().string() + "-shm";
  std::ofstream(log, std::ios::binary).flush();
  std::ofstream(index, std::ios::binary) << std::string(32768, '\0');
  testing::GiveToUnprivilegedUser(folder.dir.path());
  ::chmod(log.c_str(), 0400);
  ::chmod(index.c_str(), 0400);
  EXPECT_EQ(testing::RunUnprivileged([&] { return OpenCustomer(folder.dir.path()); }), "opened");
  EXPECT_EQ(FileNames(folder.dir.path()), (std::vector<std::string>{"cust.mdb", "ospam.mdb"}));

  std::ofstream(log, std::ios::binary) << std::string(4096, 'x');
  testing::GiveToUnprivilegedUser(log);
  ::chmod(log.c_str(), 0400);
  const std::string refused =
      testing::RunUnprivileged([&] { return OpenCustomer(folder.dir.path()); });
  EXPECT_NE(refused.find("cust.mdb-wal is read-only: it holds changes"), std::string::npos)
      << refused;
  EXPECT_TRUE(std::filesystem::exists(log));
}

TEST(Connection, CloseReleasesTheFilesWhateverCursorsWereOpen) {
  ProgramFolder folder({"spam@junk.example"});
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  for (int i = 0; i < 100; ++i) {
    db.ADODataSet1.Query(QueryText::kWhiteTable);
    db.ADODataSet1.Append();
    db.ADODataSet1.SetFieldAsString("mail", "w" + std::to_string(i) + "@x.example");
    db.ADODataSet1.Post();
  }
  db.ADODataSet3.Query(QueryText::kWhiteTable);  // rows left unread
  db.ADODataSet4.Query(QueryText::kBlackTable);
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "spam@junk.example");
  db.ADODataSet1.Query(QueryText::kMisc);
  db.ADODataSet1.Edit();  // an edit left pending is dropped
  db.ADODataSet1.SetFieldAsInteger("number", 5);
  ASSERT_TRUE(db.ADODataSet3.CanFetchMore());
  EXPECT_GT(OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_GT(OpenDescriptorsTo(folder.reference()), 0);

  CloseFilterDatabase(db);
  EXPECT_EQ(OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_EQ(OpenDescriptorsTo(folder.reference()), 0);
  for (RecordCursor* cursor :
       {&db.ADODataSet1, &db.ADODataSet2, &db.ADODataSet3, &db.ADODataSet4}) {
    EXPECT_FALSE(cursor->Active()) << cursor->Name();
  }
  EXPECT_FALSE(db.ADOConnection1.Connected());
  CloseFilterDatabase(db);  // closing twice is harmless

  OpenFilterDatabase(db, folder.dir.path());
  db.ADODataSet1.Query(QueryText::kMisc);
  EXPECT_EQ(db.ADODataSet1.FieldAsInteger("number"), 0);
}

TEST(Connection, OpenWhenOpenKeepsTheFile) {
  ProgramFolder folder;
  Connection connection;
  connection.SetConnectionString(CustomerConnectionString(folder.dir.path()));
  connection.Open();
  connection.SetConnectionString(ReferenceConnectionString(folder.dir.path()));
  connection.Open();  // takes effect at the next Open after a Close
  EXPECT_GT(OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_EQ(OpenDescriptorsTo(folder.reference()), 0);
  connection.Close();
  connection.Open();
  EXPECT_EQ(OpenDescriptorsTo(folder.customer()), 0);
  EXPECT_GT(OpenDescriptorsTo(folder.reference()), 0);
}

}  // namespace
}  // namespace tervane
