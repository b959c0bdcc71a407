#include "ui/frmsetting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/date_time.h"
#include "store/filter_database.h"
#include "store/sqlcipher_file.h"
#include "tests/support/program_folder.h"
#include "tests/ui/qt_test_environment.h"

namespace tervane {
namespace {

using testing::CapturedStderr;
using ::testing::HasSubstr;
using testing::ProgramFolder;

const QString kHighText =
    "High - you will only receive e-mail from addresses appearing in your whitelist.";
const QString kMediumText = "Medium - most junk e-mail is caught.";
const QString kLowText = "Low - obvious junk e-mail in your blacklist is caught.";

// The settings window over a fresh customer database, opened as at an attach.
class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { securityLevel_.Set(OpenFilterDatabase(db_, folder_.dir.path())); }

  TFrmsetting& Window() {
    if (!window_) {
      window_ = std::make_unique<TFrmsetting>(db_, securityLevel_);
    }
    return *window_;
  }

  // The window's control called name. Fails the test when there is none.
  template <typename T>
  T* Control(const char* name) {
    T* control = Window().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  void SetMisc(const char* field, int32_t value) {
    db_.ADODataSet1.Query(QueryText::kMisc);
    db_.ADODataSet1.Edit();
    db_.ADODataSet1.SetFieldAsInteger(field, value);
    db_.ADODataSet1.Post();
  }

  int32_t Misc(const char* field) {
    db_.ADODataSet1.Query(QueryText::kMiscWhereId1);
    return db_.ADODataSet1.FieldAsInteger(field);
  }

  // Adds rows the way the other parts of the program do, behind the window's back.
  void AddRows(QueryText table, const std::vector<std::string>& mails) {
    for (const std::string& mail : mails) {
      db_.ADODataSet1.Query(table);
      db_.ADODataSet1.Append();
      db_.ADODataSet1.SetFieldAsString("mail", mail);
      db_.ADODataSet1.SetFieldAsInteger("class", 1);
      db_.ADODataSet1.Post();
    }
  }

  std::vector<std::string> StoredMails(QueryText table) {
    std::vector<std::string> mails;
    RecordCursor& cursor = db_.ADODataSet1;
    for (cursor.Query(table); !cursor.Eof(); cursor.Next()) {
      mails.push_back(cursor.FieldAsString("mail"));
    }
    return mails;
  }

  static std::vector<std::string> ShownMails(QTableView* grid) {
    std::vector<std::string> mails;
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
      mails.push_back(grid->model()->index(row, 0).data().toString().toStdString());
    }
    return mails;
  }

  ProgramFolder folder_;
  FilterDatabase db_;
  ProgramSecurityLevel securityLevel_;
  std::unique_ptr<TFrmsetting> window_;
};

TEST_F(SettingsWindowTest, IsBuiltHiddenWithItsPagesInOrderAndTheFirstActive) {
  TFrmsetting& window = Window();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.windowTitle(), "Config");
  EXPECT_EQ(window.size(), QSize(428, 366));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());  // not resizable
  auto* pages = Control<QTabWidget>("PageControl1");
  ASSERT_EQ(pages->count(), 4);
  EXPECT_EQ(pages->tabText(0), "Setting");
  EXPECT_EQ(pages->tabText(1), "Statistic");
  EXPECT_EQ(pages->tabText(2), "White List");
  EXPECT_EQ(pages->tabText(3), "Black List");
  EXPECT_EQ(pages->currentIndex(), 0);
  auto* grid = Control<QTableView>("DBGrid2");
  EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), "Mail Address");
  EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), "Name");
  EXPECT_EQ(grid->columnWidth(0), 144);
  EXPECT_EQ(grid->columnWidth(1), 161);
}

// A stored level, what the window shows for it, and what "Ok" then stores.
struct LevelCase {
  const char* name;
  int32_t level;
  int position;
  QString text;
  int32_t storedByOk;
};

void PrintTo(const LevelCase& c, std::ostream* os) {
  *os << c.name;
}

class LevelTest : public SettingsWindowTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(LevelTest, ShowingSetsTheTrackBarAndOkStoresItsLevel) {
  const LevelCase& c = GetParam();
  SetMisc("secureclass", c.level);
  securityLevel_.Set(c.level);
  Window().show();
  EXPECT_EQ(Control<QSlider>("TrackBar1")->value(), c.position);
  EXPECT_EQ(Control<QLabel>("Label2")->text(), c.text);

  Control<QPushButton>("suiButton1")->click();
  EXPECT_FALSE(Window().isVisible());
  EXPECT_EQ(Misc("secureclass"), c.storedByOk);
  EXPECT_EQ(securityLevel_.stored(), c.storedByOk);
}

INSTANTIATE_TEST_SUITE_P(StoredLevels, LevelTest,
                         ::testing::Values(LevelCase{"High", 3, 1, kHighText, 3},
                                           LevelCase{"Medium", 2, 2, kMediumText, 2},
                                           LevelCase{"Low", 1, 3, kLowText, 1},
                                           LevelCase{"ZeroShowsLow", 0, 3, kLowText, 1},
                                           LevelCase{"FourShowsHigh", 4, 1, kHighText, 3},
                                           LevelCase{"LowestInteger", INT32_MIN, 3, kLowText, 1},
                                           LevelCase{"HighestInteger", INT32_MAX, 1, kHighText, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

class TrackBarTest : public SettingsWindowTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(TrackBarTest, MovingTheTrackBarShowsItsTextAndOkStoresIt) {
  const LevelCase& c = GetParam();
  Window().show();  // the new database holds Medium
  auto* trackBar = Control<QSlider>("TrackBar1");
  trackBar->setValue(c.position);
  EXPECT_EQ(Control<QLabel>("Label2")->text(), c.text);

  Control<QPushButton>("suiButton1")->click();
  EXPECT_EQ(Misc("secureclass"), c.storedByOk);
  EXPECT_EQ(securityLevel_.stored(), c.storedByOk);
}

INSTANTIATE_TEST_SUITE_P(Positions, TrackBarTest,
                         ::testing::Values(LevelCase{"Top", 0, 1, kHighText, 3},
                                           LevelCase{"Middle", 0, 2, kMediumText, 2},
                                           LevelCase{"Bottom", 0, 3, kLowText, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsWindowTest, ArrowKeysMoveTheTrackBarTheWayTheyPoint) {
  Window().show();
  auto* trackBar = Control<QSlider>("TrackBar1");
  trackBar->setValue(1);
  QTest::keyClick(trackBar, Qt::Key_Down);
  EXPECT_EQ(trackBar->value(), 2);
  QTest::keyClick(trackBar, Qt::Key_PageDown);
  EXPECT_EQ(trackBar->value(), 3);
  QTest::keyClick(trackBar, Qt::Key_Up);
  EXPECT_EQ(trackBar->value(), 2);
  EXPECT_EQ(Control<QLabel>("Label2")->text(), kMediumText);
}

TEST_F(SettingsWindowTest, CancelAndTheCloseButtonStoreNothing) {
  for (const char* way : {"Cancel", "close button"}) {
    SCOPED_TRACE(way);
    Window().show();
    Control<QSlider>("TrackBar1")->setValue(1);
    if (std::string(way) == "Cancel") {
      Control<QPushButton>("suiButton2")->click();
    } else {
      Window().close();
    }
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Misc("secureclass"), 2);
    EXPECT_EQ(securityLevel_.stored(), 2);

    Window().show();
    EXPECT_EQ(Control<QSlider>("TrackBar1")->value(), 2);
    EXPECT_EQ(Control<QLabel>("Label2")->text(), kMediumText);
    Window().hide();
  }
}

struct StatisticsCase {
  const char* name;
  int32_t spamNumber;
  const char* text;
};

void PrintTo(const StatisticsCase& c, std::ostream* os) {
  *os << c.name;
}

class StatisticsTest : public SettingsWindowTest,
                       public ::testing::WithParamInterface<StatisticsCase> {};

TEST_P(StatisticsTest, ShowsTheCountAndHalfOfItInMinutes) {
  SetMisc("spamnumber", GetParam().spamNumber);
  Window().show();
  EXPECT_EQ(Control<QLabel>("Label1")->text().toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    SpamNumbers, StatisticsTest,
    ::testing::Values(
        StatisticsCase{"Zero", 0,
                       "Tervane Spam Filter For Outlook Express already blocked 0 spam messages. "
                       "If you waste 30 sec in every spam message, you alreay save 0 mins in "
                       "your life."},
        StatisticsCase{"One", 1,
                       "Tervane Spam Filter For Outlook Express already blocked 1 spam messages. "
                       "If you waste 30 sec in every spam message, you alreay save 0 mins in "
                       "your life."},
        StatisticsCase{"Seven", 7,
                       "Tervane Spam Filter For Outlook Express already blocked 7 spam messages. "
                       "If you waste 30 sec in every spam message, you alreay save 3 mins in "
                       "your life."},
        StatisticsCase{"SixtyOne", 61,
                       "Tervane Spam Filter For Outlook Express already blocked 61 spam messages. "
                       "If you waste 30 sec in every spam message, you alreay save 30 mins in "
                       "your life."},
        StatisticsCase{"MinusThreeRoundsTowardZero", -3,
                       "Tervane Spam Filter For Outlook Express already blocked -3 spam "
                       "messages. If you waste 30 sec in every spam message, you alreay save -1 "
                       "mins in your life."},
        StatisticsCase{"LowestInteger", INT32_MIN,
                       "Tervane Spam Filter For Outlook Express already blocked -2147483648 spam "
                       "messages. If you waste 30 sec in every spam message, you alreay save "
                       "-1073741824 mins in your life."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsWindowTest, EveryShowingReloadsListsCountAndLevel) {
  Window().show();
  EXPECT_TRUE(ShownMails(Control<QTableView>("DBGrid1")).empty());
  Window().hide();

  // Marking, harvesting and another "Ok" change the database while the window is hidden.
  AddRows(QueryText::kWhiteTable, {"friend@a.example"});
  AddRows(QueryText::kBlackTable, {"spammer@b.example", "other@c.example"});
  SetMisc("spamnumber", 5);
  securityLevel_.Set(3);
  Window().show();

  EXPECT_EQ(ShownMails(Control<QTableView>("DBGrid1")),
            std::vector<std::string>{"friend@a.example"});
  EXPECT_EQ(ShownMails(Control<QTableView>("DBGrid2")),
            (std::vector<std::string>{"spammer@b.example", "other@c.example"}));
  EXPECT_THAT(Control<QLabel>("Label1")->text().toStdString(), HasSubstr("blocked 5 spam"));
  EXPECT_EQ(Control<QSlider>("TrackBar1")->value(), 1);
  EXPECT_EQ(db_.ADODataSet3.OpenCount(), 2);
  EXPECT_EQ(db_.ADODataSet4.OpenCount(), 2);
}

TEST_F(SettingsWindowTest, ShowingWithTheDatabaseClosedReportsTheErrorAndKeepsGoing) {
  CloseFilterDatabase(db_);
  CapturedStderr messages;
  Window().show();
  EXPECT_THAT(messages.Text(), HasSubstr("ADODataSet3: "));
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(Control<QTableView>("DBGrid1")->model()->rowCount(), 0);
  Window().grab();  // painting the empty lists must not touch the closed cursors
}

TEST_F(SettingsWindowTest, AnAddThatCannotBeWrittenIsDroppedAndNeverPostedLater) {
  // A trigger makes the database refuse one address, as a full disk or a damaged file would.
  CloseFilterDatabase(db_);
  sqlcipher::Exec(sqlcipher::OpenExisting(folder_.customer(), kCustomerDatabasePassword).get(),
                  "CREATE TRIGGER refuse BEFORE INSERT ON whitetable "
                  "WHEN NEW.mail = 'failed@x.example' BEGIN SELECT RAISE(ABORT, 'refused'); END");
  OpenFilterDatabase(db_, folder_.dir.path());
  Window().show();
  auto* edit = Control<QLineEdit>("Edit1");
  edit->setText("failed@x.example");
  {
    CapturedStderr messages;
    Control<QPushButton>("suiButton4")->click();
    EXPECT_THAT(messages.Text(), HasSubstr("ADODataSet3: "));
  }
  EXPECT_EQ(edit->text(), "failed@x.example");

  // The next write on the list view must not store the failed row after all.
  edit->setText("next@x.example");
  Control<QPushButton>("suiButton4")->click();
  EXPECT_EQ(StoredMails(QueryText::kWhiteTable), std::vector<std::string>{"next@x.example"});
  EXPECT_EQ(ShownMails(Control<QTableView>("DBGrid1")), std::vector<std::string>{"next@x.example"});
}

TEST_F(SettingsWindowTest, ListsReadRowsOnlyAsTheGridScrollsToThem) {
  std::vector<std::string> mails;
  for (int i = 0; i < 300; ++i) {
    mails.push_back("sender" + std::to_string(i) + "@lazy.example");
  }
  AddRows(QueryText::kWhiteTable, mails);
  Window().show();
  Control<QTabWidget>("PageControl1")->setCurrentIndex(2);
  auto* grid = Control<QTableView>("DBGrid1");
  EXPECT_LT(grid->model()->rowCount(), 300);

  EXPECT_TRUE(QTest::qWaitFor([&] {
    grid->scrollToBottom();
    return grid->model()->rowCount() == 300;
  }));
  EXPECT_EQ(ShownMails(grid), mails);

  // The last row, read late, is the one deleted.
  grid->selectRow(299);
  Control<QPushButton>("suiButton3")->click();
  mails.pop_back();
  EXPECT_EQ(StoredMails(QueryText::kWhiteTable), mails);
  EXPECT_EQ(ShownMails(grid), mails);
  EXPECT_EQ(grid->currentIndex().row(), 298);
}

// The controls and cursor of one list page.
struct ListPageCase {
  const char* name;
  QueryText table;
  const char* edit;
  const char* otherEdit;
  const char* addButton;
  const char* deleteButton;
  const char* grid;
  const char* emptyError;
};

void PrintTo(const ListPageCase& c, std::ostream* os) {
  *os << c.name;
}

class ListPageTest : public SettingsWindowTest, public ::testing::WithParamInterface<ListPageCase> {
 protected:
  QLineEdit* Edit() { return Control<QLineEdit>(GetParam().edit); }
  QPushButton* AddButton() { return Control<QPushButton>(GetParam().addButton); }
  QPushButton* DeleteButton() { return Control<QPushButton>(GetParam().deleteButton); }
  QTableView* Grid() { return Control<QTableView>(GetParam().grid); }
  QueryText OtherTable() const {
    return GetParam().table == QueryText::kWhiteTable ? QueryText::kBlackTable
                                                      : QueryText::kWhiteTable;
  }
};

TEST_P(ListPageTest, AddRejectsAnInvalidAddressAndKeepsTheText) {
  Window().show();
  for (const char* text :
       {"", "bob.example", "@bob", "@@bob.example", "bob@example", "bob@example."}) {
    SCOPED_TRACE(text);
    Edit()->setText(text);
    CapturedStderr messages;
    AddButton()->click();
    EXPECT_EQ(messages.Text(), "please input a valid email.\n");
    EXPECT_EQ(Edit()->text(), text);
  }
  EXPECT_TRUE(StoredMails(GetParam().table).empty());
  EXPECT_EQ(Grid()->model()->rowCount(), 0);
}

// A domain entry stands for every address of that domain: the window takes it as well.
TEST_P(ListPageTest, AddTakesADomainEntry) {
  Window().show();
  Edit()->setText("@bob.example");
  AddButton()->click();
  EXPECT_EQ(Edit()->text(), "");
  EXPECT_EQ(StoredMails(GetParam().table), std::vector<std::string>{"@bob.example"});
}

TEST_P(ListPageTest, AddTwiceStoresTwoRowsAsTypedAndEmptiesOnlyItsOwnBox) {
  Window().show();
  Control<QLineEdit>(GetParam().otherEdit)->setText("other@box.example");
  const TDateTime before = LocalToday();
  for (int i = 0; i < 2; ++i) {
    Edit()->setText(" Bob@Example.COM");
    AddButton()->click();
    EXPECT_EQ(Edit()->text(), "");
  }
  const TDateTime after = LocalToday();
  EXPECT_EQ(Control<QLineEdit>(GetParam().otherEdit)->text(), "other@box.example");

  const std::vector<std::string> twice{" Bob@Example.COM", " Bob@Example.COM"};
  EXPECT_EQ(StoredMails(GetParam().table), twice);
  EXPECT_TRUE(StoredMails(OtherTable()).empty());
  EXPECT_EQ(ShownMails(Grid()), twice);
  EXPECT_EQ(Grid()->model()->index(1, 1).data().toString(), "");
  EXPECT_EQ(Grid()->currentIndex().row(), 1);

  RecordCursor& cursor = db_.ADODataSet1;
  for (cursor.Query(GetParam().table); !cursor.Eof(); cursor.Next()) {
    EXPECT_TRUE(cursor.FieldIsNull("name"));
    EXPECT_EQ(cursor.FieldAsInteger("class"), 1);
    const TDateTime date = cursor.FieldAsDateTime("date");
    EXPECT_TRUE(date == before || date == after) << date;
  }
}

TEST_P(ListPageTest, DeleteRemovesTheSelectedRow) {
  AddRows(GetParam().table, {"a@x.example", "b@x.example", "c@x.example"});
  Window().show();
  Grid()->selectRow(1);
  DeleteButton()->click();

  const std::vector<std::string> left{"a@x.example", "c@x.example"};
  EXPECT_EQ(StoredMails(GetParam().table), left);
  EXPECT_EQ(ShownMails(Grid()), left);
  EXPECT_EQ(Grid()->currentIndex().row(), 1);  // the next row is selected
}

TEST_P(ListPageTest, DeleteOnAnEmptyListShowsTheDataLayerError) {
  AddRows(OtherTable(), {"keep@x.example"});
  Window().show();
  CapturedStderr messages;
  DeleteButton()->click();
  EXPECT_EQ(messages.Text(), std::string(GetParam().emptyError) +
                                 ": Cannot perform this operation on an empty dataset\n");
  EXPECT_TRUE(Window().isVisible());
  EXPECT_EQ(StoredMails(OtherTable()), std::vector<std::string>{"keep@x.example"});
}

TEST_P(ListPageTest, AddWithTheDatabaseClosedShowsTheErrorAndKeepsTheText) {
  Window().show();
  CloseFilterDatabase(db_);
  Edit()->setText("late@x.example");
  CapturedStderr messages;
  AddButton()->click();
  EXPECT_THAT(messages.Text(), HasSubstr(std::string(GetParam().emptyError) + ": "));
  EXPECT_EQ(Edit()->text(), "late@x.example");
  EXPECT_TRUE(Window().isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListPageTest,
    ::testing::Values(ListPageCase{"WhiteList", QueryText::kWhiteTable, "Edit1", "Edit2",
                                   "suiButton4", "suiButton3", "DBGrid1", "ADODataSet3"},
                      ListPageCase{"BlackList", QueryText::kBlackTable, "Edit2", "Edit1",
                                   "suiButton5", "suiButton6", "DBGrid2", "ADODataSet4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsWindowTest, Screenshots) {
  AddRows(QueryText::kWhiteTable, {"friend@a.example", "colleague@b.example"});
  AddRows(QueryText::kBlackTable, {"offers@spam.example"});
  SetMisc("spamnumber", 7);
  Window().show();
  auto* pages = Control<QTabWidget>("PageControl1");
  const char* names[] = {"settings_setting", "settings_statistic", "settings_white_list",
                         "settings_black_list"};
  for (int page = 0; page < pages->count(); ++page) {
    pages->setCurrentIndex(page);
    testing::SaveScreenshot(Window(), QString::fromLatin1(names[page]));
  }
}

}  // namespace
}  // namespace tervane
