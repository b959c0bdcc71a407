#include "store/record_cursor.h"

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include "store/connection.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "store/sqlcipher_file.h"
#include "store/transaction.h"
#include "tests/support/program_folder.h"

namespace tervane {
namespace {

using testing::ProgramFolder;

constexpr double kToday = 45292.0;  // 2024-01-01

void AddListRow(RecordCursor& cursor, QueryText list, const std::string& mail,
                const std::string& name = {}) {
  cursor.Query(list);
  cursor.Append();
  cursor.SetFieldAsString("mail", mail);
  cursor.SetFieldAsDateTime("date", kToday);
  cursor.SetFieldAsInteger("class", 1);
  if (!name.empty())
    cursor.SetFieldAsString("name", name);
  cursor.Post();
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const DatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

struct PresenceCase {
  const char* name;
  std::vector<std::string> stored;
  std::string address;
  bool present;
};

void PrintTo(const PresenceCase& c, std::ostream* os) {
  *os << c.name;
}

const PresenceCase kPresenceCases[] = {
    {"EmptyTable", {}, "joe@mail.example", false},
    {"OneRow", {"joe@mail.example"}, "joe@mail.example", true},
    {"TwoRows", {"joe@mail.example", "joe@mail.example"}, "joe@mail.example", true},
    {"OtherAddress", {"ann@mail.example"}, "joe@mail.example", false},
    {"LetterCaseIgnored", {"Joe.Smith@Mail.Example"}, "joe.smith@mail.example", true},
    {"PrefixIsNoMatch", {"joe@mail.example"}, "joe@mail.exampl", false},
    {"AddressWithQuote", {"o'brien@mail.example"}, "o'brien@mail.example", true},
    {"QuoteCannotWidenTheQuery", {"joe@mail.example"}, "x' or '1'='1", false},
};

// The same presence rules hold for each list, on the cursor each list is reached through.
class PresenceTest : public ::testing::TestWithParam<PresenceCase> {};

TEST_P(PresenceTest, WhiteList) {
  ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  for (const auto& mail : GetParam().stored)
    AddListRow(db.ADODataSet1, QueryText::kWhiteTable, mail);
  db.ADODataSet1.Query(QueryText::kWhiteTableLookup, GetParam().address);
  EXPECT_EQ(!db.ADODataSet1.IsEmpty(), GetParam().present);
  EXPECT_EQ(db.ADODataSet1.Bof() && db.ADODataSet1.Eof(), !GetParam().present);
  db.ADODataSet1.Query(QueryText::kBlackTableLookup, GetParam().address);
  EXPECT_TRUE(db.ADODataSet1.IsEmpty()) << "the black list holds nothing";
}

TEST_P(PresenceTest, BlackList) {
  ProgramFolder folder;
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  for (const auto& mail : GetParam().stored)
    AddListRow(db.ADODataSet1, QueryText::kBlackTable, mail);
  db.ADODataSet1.Query(QueryText::kBlackTableLookup, GetParam().address);
  EXPECT_EQ(!db.ADODataSet1.IsEmpty(), GetParam().present);
  db.ADODataSet1.Query(QueryText::kWhiteTableLookup, GetParam().address);
  EXPECT_TRUE(db.ADODataSet1.IsEmpty()) << "the white list holds nothing";
}

TEST_P(PresenceTest, ReferenceList) {
  ProgramFolder folder(GetParam().stored);
  FilterDatabase db;
  OpenFilterDatabase(db, folder.dir.path());
  db.ADODataSet2.Query(QueryText::kOfficialSpamLookup, GetParam().address);
  EXPECT_EQ(!db.ADODataSet2.IsEmpty(), GetParam().present);
  EXPECT_EQ(db.ADODataSet2.Bof() && db.ADODataSet2.Eof(), !GetParam().present);
}

INSTANTIATE_TEST_SUITE_P(Lookups, PresenceTest, ::testing::ValuesIn(kPresenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenFilterDatabase(db_, folder_.dir.path()); }

  ProgramFolder folder_;
  FilterDatabase db_;
};

TEST_F(CursorTest, DeleteRemovesOnlyTheFirstMatch) {
  RecordCursor& cursor = db_.ADODataSet1;
  AddListRow(cursor, QueryText::kWhiteTable, "joe@mail.example", "first");
  AddListRow(cursor, QueryText::kWhiteTable, "other@mail.example");
  AddListRow(cursor, QueryText::kWhiteTable, "JOE@mail.example", "second");

  cursor.Query(QueryText::kWhiteTableLookup, "joe@mail.example");
  EXPECT_EQ(cursor.FieldAsString("name"), "first");
  cursor.Delete();

  cursor.Query(QueryText::kWhiteTableLookup, "joe@mail.example");
  ASSERT_FALSE(cursor.IsEmpty());
  EXPECT_EQ(cursor.FieldAsString("name"), "second");
  cursor.Delete();

  cursor.Query(QueryText::kWhiteTableLookup, "joe@mail.example");
  EXPECT_TRUE(cursor.IsEmpty());
  EXPECT_EQ(ErrorOf([&] { cursor.Delete(); }),
            "ADODataSet1: Cannot perform this operation on an empty dataset");
  cursor.Query(QueryText::kWhiteTableLookup, "other@mail.example");
  EXPECT_FALSE(cursor.IsEmpty());
}

TEST_F(CursorTest, AppendedRowIsWrittenAtOnce) {
  RecordCursor& cursor = db_.ADODataSet1;
  cursor.Query(QueryText::kBlackTableLookup, "spam@junk.example");
  ASSERT_TRUE(cursor.IsEmpty());
  cursor.Append();
  cursor.SetFieldAsString("mail", "spam@junk.example");
  cursor.SetFieldAsDateTime("date", kToday);
  cursor.SetFieldAsInteger("class", 1);
  cursor.SetFieldAsString("name", "Junk Sender");
  cursor.Post();
  EXPECT_EQ(cursor.FieldAsString("mail"), "spam@junk.example");

  // A copy of the file taken while the connection stays open holds the row: it is committed.
  const testing::TempDir copy;
  testing::CopyProgramFolder(folder_.dir.path(), copy.path());
  FilterDatabase other;
  OpenFilterDatabase(other, copy.path());
  other.ADODataSet1.Query(QueryText::kBlackTableLookup, "spam@junk.example");
  ASSERT_FALSE(other.ADODataSet1.IsEmpty());
  EXPECT_EQ(other.ADODataSet1.FieldAsString("name"), "Junk Sender");
  EXPECT_EQ(other.ADODataSet1.FieldAsDateTime("date"), kToday);
  EXPECT_EQ(other.ADODataSet1.FieldAsInteger("class"), 1);
}

// A process killed while it posts rows one by one keeps, on disk, exactly the rows it posted
// before the kill, in order, plus at most the one being posted; the file stays whole.
TEST(CursorCrash, AKillWhilePostingKeepsEveryPostedRow) {
  for (const int killAfter : {1, 40, 400}) {
    ProgramFolder folder;
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(report[0]);
      FilterDatabase db;
      OpenFilterDatabase(db, folder.dir.path());
      for (int i = 0;; ++i) {
        AddListRow(db.ADODataSet1, QueryText::kWhiteTable, "p" + std::to_string(i) + "@x.example");
        if (::write(report[1], &i, sizeof i) != sizeof i)
          ::_exit(1);
      }
    }
    ::close(report[1]);
    int posted = -1;
    while (posted + 1 < killAfter && ::read(report[0], &posted, sizeof posted) == sizeof posted) {
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // Every row reported before the kill was posted; the reports still in the pipe count too.
    while (::read(report[0], &posted, sizeof posted) == sizeof posted) {
    }
    ::close(report[0]);
    ASSERT_GE(posted + 1, killAfter);

    FilterDatabase db;
    OpenFilterDatabase(db, folder.dir.path());
    db.ADODataSet1.Query(QueryText::kWhiteTable);
    int kept = 0;
    for (; !db.ADODataSet1.Eof(); db.ADODataSet1.Next(), ++kept) {
      ASSERT_EQ(db.ADODataSet1.FieldAsString("mail"), "p" + std::to_string(kept) + "@x.example");
    }
    EXPECT_GE(kept, posted + 1);
    EXPECT_LE(kept, posted + 2) << "at most the row being posted at the kill";
    CloseFilterDatabase(db);
    sqlcipher::DatabasePtr raw =
        sqlcipher::OpenExisting(folder.customer(), kCustomerDatabasePassword);
    sqlcipher::StatementPtr check = sqlcipher::Prepare(raw.get(), "PRAGMA integrity_check");
    ASSERT_EQ(sqlite3_step(check.get()), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0)), "ok");
  }
}

TEST_F(CursorTest, WritesCommitWhileAListViewHoldsUnreadRows) {
  for (int i = 0; i < 150; ++i) {
    AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "u" + std::to_string(i) + "@x.example");
  }
  db_.ADODataSet3.Query(QueryText::kWhiteTable);
  ASSERT_TRUE(db_.ADODataSet3.CanFetchMore());
  ASSERT_LT(db_.ADODataSet3.FetchedCount(), 150);

  AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "late@x.example");
  const testing::TempDir copy;
  testing::CopyProgramFolder(folder_.dir.path(), copy.path());
  FilterDatabase other;
  OpenFilterDatabase(other, copy.path());
  other.ADODataSet1.Query(QueryText::kWhiteTableLookup, "late@x.example");
  EXPECT_FALSE(other.ADODataSet1.IsEmpty());

  EXPECT_EQ(db_.ADODataSet3.RecordCount(), 151);
  EXPECT_EQ(db_.ADODataSet3.StringAt(150, "mail"), "late@x.example");
}

TEST_F(CursorTest, ListViewReadsRowsAsItMoves) {
  for (int i = 0; i < 150; ++i) {
    AddListRow(db_.ADODataSet1, QueryText::kBlackTable, "b" + std::to_string(i) + "@x.example");
  }
  RecordCursor& list = db_.ADODataSet4;
  list.Query(QueryText::kBlackTable);
  const int first = list.FetchedCount();
  EXPECT_GT(first, 0);
  EXPECT_LT(first, 150);
  EXPECT_EQ(list.FetchMore(10), 10);
  EXPECT_EQ(list.FetchMore(1000), 150 - first - 10);
  EXPECT_FALSE(list.CanFetchMore());
  EXPECT_EQ(list.StringAt(149, "mail"), "b149@x.example");

  list.Query(QueryText::kBlackTable);
  int seen = 0;
  for (; !list.Eof(); list.Next()) {
    EXPECT_EQ(list.RecNo(), seen);
    EXPECT_EQ(list.FieldAsString("mail"), "b" + std::to_string(seen) + "@x.example");
    ++seen;
  }
  EXPECT_EQ(seen, 150);

  list.Query(QueryText::kBlackTable);
  list.MoveTo(120);
  EXPECT_EQ(list.FieldAsString("mail"), "b120@x.example");
  EXPECT_FALSE(list.Bof());
  list.First();
  EXPECT_TRUE(list.Bof());
  EXPECT_EQ(ErrorOf([&] { list.MoveTo(150); }), "ADODataSet4: Row 150 is out of range");
}

TEST_F(CursorTest, DeleteInAListViewMovesToTheNextRow) {
  for (const char* mail : {"a@x.example", "b@x.example", "c@x.example"}) {
    AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, mail);
  }
  RecordCursor& list = db_.ADODataSet3;
  list.Query(QueryText::kWhiteTable);
  list.MoveTo(1);
  list.Delete();
  EXPECT_EQ(list.FieldAsString("mail"), "c@x.example");
  EXPECT_FALSE(list.Eof());
  list.Delete();  // the last row: the row before it becomes current
  EXPECT_EQ(list.FieldAsString("mail"), "a@x.example");
  EXPECT_TRUE(list.Eof());
  list.Delete();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(ErrorOf([&] { list.Delete(); }),
            "ADODataSet3: Cannot perform this operation on an empty dataset");
  list.Query(QueryText::kWhiteTable);
  EXPECT_TRUE(list.IsEmpty());
}

TEST_F(CursorTest, MiscEditAndPostRoundTrip) {
  RecordCursor& cursor = db_.ADODataSet1;
  cursor.Query(QueryText::kMisc);
  EXPECT_EQ(cursor.FieldAsInteger("id"), 1);
  EXPECT_TRUE(cursor.FieldIsNull("date"));
  EXPECT_EQ(cursor.FieldAsDateTime("date"), 0.0);
  cursor.Edit();
  cursor.SetFieldAsInteger("secureclass", 3);
  cursor.SetFieldAsInteger("spamnumber", cursor.FieldAsInteger("spamnumber") + 1);
  cursor.Post();

  cursor.Query(QueryText::kMiscWhereId1);
  EXPECT_EQ(cursor.FieldAsInteger("secureclass"), 3);
  EXPECT_EQ(cursor.FieldAsInteger("spamnumber"), 1);
  cursor.Edit();
  cursor.SetFieldAsDateTime("date", kToday);
  cursor.Post();

  CloseFilterDatabase(db_);
  EXPECT_EQ(OpenFilterDatabase(db_, folder_.dir.path()), 3);
  cursor.Query(QueryText::kMisc);
  EXPECT_EQ(cursor.FieldAsInteger("spamnumber"), 1);
  EXPECT_EQ(cursor.FieldAsInteger("number"), 0);
  EXPECT_EQ(cursor.FieldAsDateTime("date"), kToday);
  EXPECT_EQ(cursor.RecordCount(), 1);
}

TEST_F(CursorTest, CancelAndMovingOn) {
  RecordCursor& cursor = db_.ADODataSet1;
  cursor.Query(QueryText::kWhiteTable);
  cursor.Append();
  cursor.SetFieldAsString("mail", "dropped@x.example");
  cursor.Cancel();
  cursor.Query(QueryText::kWhiteTableLookup, "dropped@x.example");
  EXPECT_TRUE(cursor.IsEmpty());

  // Moving on posts a pending change, as closing does not.
  cursor.Query(QueryText::kMisc);
  cursor.Edit();
  cursor.SetFieldAsInteger("number", 7);
  cursor.First();
  cursor.Edit();
  cursor.SetFieldAsInteger("number", 8);
  cursor.Close();
  cursor.Query(QueryText::kMisc);
  EXPECT_EQ(cursor.FieldAsInteger("number"), 7);
}

TEST_F(CursorTest, MisuseFailsWithTheCursorsName) {
  RecordCursor& cursor = db_.ADODataSet1;
  cursor.Query(QueryText::kMisc);
  EXPECT_EQ(ErrorOf([&] { cursor.FieldAsString("nosuch"); }),
            "ADODataSet1: Field 'nosuch' not found");
  EXPECT_EQ(ErrorOf([&] { cursor.SetFieldAsInteger("number", 1); }),
            "ADODataSet1: Dataset not in edit or insert mode");
  EXPECT_EQ(ErrorOf([&] { cursor.Post(); }), "ADODataSet1: Dataset not in edit or insert mode");
  cursor.Close();
  EXPECT_EQ(ErrorOf([&] { cursor.FieldAsInteger("number"); }),
            "ADODataSet1: Cannot perform this operation on a closed dataset");
  cursor.Query(QueryText::kWhiteTableLookup, "nobody@x.example");
  EXPECT_EQ(ErrorOf([&] { cursor.Edit(); }),
            "ADODataSet1: Cannot perform this operation on an empty dataset");
  EXPECT_EQ(cursor.FieldAsString("mail"), "") << "an empty result reads as null";

  CloseFilterDatabase(db_);
  EXPECT_EQ(ErrorOf([&] { db_.ADODataSet2.Query(QueryText::kOfficialSpamLookup, "a@b.example"); }),
            "ADODataSet2: Operation is not allowed when the connection is closed");
  RecordCursor unset("ADODataSet9", db_.ADOConnection1);
  EXPECT_EQ(ErrorOf([&] { unset.Open(); }), "ADODataSet9: No query text set");
}

TEST_F(CursorTest, TextThatIsNoNumberFailsToReadAsOne) {
  RecordCursor& cursor = db_.ADODataSet1;
  AddListRow(cursor, QueryText::kWhiteTable, "joe@mail.example", "12");
  cursor.Query(QueryText::kWhiteTableLookup, "joe@mail.example");
  EXPECT_EQ(cursor.FieldAsInteger("name"), 12);
  EXPECT_EQ(cursor.FieldAsString("date"), "45292");
  EXPECT_EQ(ErrorOf([&] { cursor.FieldAsInteger("mail"); }),
            "ADODataSet1: 'joe@mail.example' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { cursor.FieldAsDateTime("mail"); }),
            "ADODataSet1: 'joe@mail.example' is not a valid date and time");
}

TEST_F(CursorTest, OpenCountsEveryQuery) {
  RecordCursor& cursor = db_.ADODataSet2;
  const int64_t before = cursor.OpenCount();
  cursor.Query(QueryText::kOfficialSpamLookup, "a@x.example");
  cursor.Open();  // already open: nothing runs
  cursor.Query(QueryText::kOfficialSpamLookup, "b@x.example");
  EXPECT_EQ(cursor.OpenCount(), before + 2);
}

// Scoped transactions: the import of a list is stored whole or not at all.
class TransactionTest : public CursorTest {
 protected:
  bool Listed(const std::string& mail) {
    db_.ADODataSet1.Query(QueryText::kWhiteTableLookup, mail);
    return !db_.ADODataSet1.IsEmpty();
  }
};

TEST_F(TransactionTest, CommitStoresEveryChangeAtOnce) {
  AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "old@x.example");
  {
    Transaction transaction(db_.ADOConnection1);
    AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "new@x.example");
    db_.ADODataSet1.Query(QueryText::kWhiteTableLookup, "old@x.example");
    db_.ADODataSet1.Delete();
    transaction.Commit();
    EXPECT_THROW(transaction.Commit(), DatabaseError);
  }
  const testing::TempDir copy;
  testing::CopyProgramFolder(folder_.dir.path(), copy.path());
  FilterDatabase other;
  OpenFilterDatabase(other, copy.path());
  other.ADODataSet1.Query(QueryText::kWhiteTable);
  ASSERT_EQ(other.ADODataSet1.RecordCount(), 1);
  EXPECT_EQ(other.ADODataSet1.FieldAsString("mail"), "new@x.example");
}

TEST_F(TransactionTest, AnErrorLeavingTheScopeTakesEveryChangeBack) {
  AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "old@x.example");
  try {
    Transaction transaction(db_.ADOConnection1);
    AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "new@x.example");
    db_.ADODataSet1.Query(QueryText::kWhiteTableLookup, "old@x.example");
    db_.ADODataSet1.Delete();
    EXPECT_THROW(Transaction(db_.ADOConnection1), DatabaseError);  // no second one inside
    throw DatabaseError("failed half way");
  } catch (const DatabaseError&) {
  }
  EXPECT_TRUE(Listed("old@x.example"));
  EXPECT_FALSE(Listed("new@x.example"));
  // The connection writes on as before, each post committed.
  AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "later@x.example");
  CloseFilterDatabase(db_);
  OpenFilterDatabase(db_, folder_.dir.path());
  EXPECT_TRUE(Listed("later@x.example"));
}

TEST_F(TransactionTest, AProcessEndingInsideLeavesTheFileAsItWas) {
  AddListRow(db_.ADODataSet1, QueryText::kWhiteTable, "old@x.example");
  CloseFilterDatabase(db_);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FilterDatabase db;
    OpenFilterDatabase(db, folder_.dir.path());
    Transaction transaction(db.ADOConnection1);
    for (int i = 0; i < 500; ++i)
      AddListRow(db.ADODataSet1, QueryText::kWhiteTable, "n" + std::to_string(i) + "@x.example");
    ::_exit(0);  // ends without committing, as a killed process does
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  OpenFilterDatabase(db_, folder_.dir.path());
  db_.ADODataSet1.Query(QueryText::kWhiteTable);
  EXPECT_EQ(db_.ADODataSet1.RecordCount(), 1);
}

TEST_F(TransactionTest, NeedsAnOpenConnection) {
  CloseFilterDatabase(db_);
  EXPECT_THROW(Transaction(db_.ADOConnection1), DatabaseError);
}

}  // namespace
}  // namespace tervane
