#include "store/connection.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>

#include "store/connection_string.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "tests/store/store_test_support.h"

namespace tervane {
namespace {

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
