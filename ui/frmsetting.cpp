#include "ui/frmsetting.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QTabWidget>
#include <QTableView>

#include "engine/date_time.h"
#include "store/database_error.h"
#include "store/filter_database.h"
#include "ui/list_table_model.h"
#include "ui/message_box.h"
#include "ui/settings_actions.h"
#include "ui/window_look.h"

namespace tervane {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPushButton* MakeButton(const QString& caption, const QRect& place, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setGeometry(place);
  return button;
}

QLabel* MakeWrappedLabel(const QRect& place, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setGeometry(place);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// The controls of the white-list or black-list page.
struct ListPage {
  QWidget* page;
  QLineEdit* edit;
  QPushButton* addButton;
  QPushButton* deleteButton;
  QTableView* grid;
};

ListPage MakeListPage(ListTableModel* model, QTabWidget* pages) {
  ListPage p;
  p.page = new QWidget(pages);
  p.edit = new QLineEdit(p.page);
  p.edit->setGeometry(4, 16, 309, 19);
  p.addButton = MakeButton(QStringLiteral("Add"), QRect(320, 16, 65, 21), p.page);
  p.deleteButton = MakeButton(QStringLiteral("Delete"), QRect(320, 56, 65, 21), p.page);

  QTableView* grid = p.grid = new QTableView(p.page);
  grid->setGeometry(4, 56, 309, 185);
  grid->setModel(model);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setShowGrid(true);
  grid->setWordWrap(false);
  // Fixed row heights: the view never measures rows, so a long list costs nothing to show.
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
  QHeaderView* titles = grid->horizontalHeader();
  titles->setDefaultAlignment(Qt::AlignCenter);
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setStretchLastSection(false);
  titles->setHighlightSections(false);
  titles->resizeSection(ListTableModel::kMailColumn, 144);
  titles->resizeSection(ListTableModel::kNameColumn, 161);
  return p;
}

// Makes the cursor's current row the grid's selected row and scrolls it into view.
void SelectCursorRow(QTableView* grid, const RecordCursor& listView) {
  const int row = listView.Active() ? listView.RecNo() : -1;
  if (row >= 0 && row < grid->model()->rowCount()) {
    grid->selectRow(row);
    grid->scrollTo(grid->model()->index(row, ListTableModel::kMailColumn));
  }
}

}  // namespace

TFrmsetting::TFrmsetting(FilterDatabase& db, ProgramSecurityLevel& securityLevel, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      db_(db),
      securityLevel_(securityLevel) {
  setWindowTitle(QStringLiteral("Config"));
  setWindowIcon(TervaneIcon());
  setFont(DialogFont());
  setFixedSize(428, 366);
  move(207, 122);

  PageControl1 = new QTabWidget(this);
  PageControl1->setGeometry(8, 32, 401, 281);

  auto* settingPage = new QWidget(PageControl1);
  GroupBox1 = new QGroupBox(QStringLiteral("Secure Class"), settingPage);
  GroupBox1->setGeometry(8, 72, 369, 177);
  TrackBar1 = new QSlider(Qt::Vertical, GroupBox1);
  TrackBar1->setGeometry(24, 32, 22, 129);
  TrackBar1->setRange(kTrackBarMinimum, kTrackBarMaximum);
  TrackBar1->setSingleStep(1);
  TrackBar1->setPageStep(2);
  TrackBar1->setTickPosition(QSlider::TicksRight);
  TrackBar1->setTickInterval(1);
  // Position 1 at the top; the arrow keys and the wheel move the handle the way they point.
  TrackBar1->setInvertedAppearance(true);
  TrackBar1->setInvertedControls(true);
  Label2 = MakeWrappedLabel(QRect(104, 32, 257, 129), GroupBox1);
  PageControl1->addTab(settingPage, QStringLiteral("Setting"));

  auto* statisticPage = new QWidget(PageControl1);
  Label1 = MakeWrappedLabel(QRect(8, 24, 377, 201), statisticPage);
  PageControl1->addTab(statisticPage, QStringLiteral("Statistic"));

  DataSource1 = new ListTableModel(db_.ADODataSet3, QueryText::kWhiteTable, this);
  const ListPage white = MakeListPage(DataSource1, PageControl1);
  Edit1 = white.edit;
  suiButton4 = white.addButton;
  suiButton3 = white.deleteButton;
  DBGrid1 = white.grid;
  PageControl1->addTab(white.page, QStringLiteral("White List"));

  DataSource2 = new ListTableModel(db_.ADODataSet4, QueryText::kBlackTable, this);
  const ListPage black = MakeListPage(DataSource2, PageControl1);
  Edit2 = black.edit;
  suiButton5 = black.addButton;
  suiButton6 = black.deleteButton;
  DBGrid2 = black.grid;
  PageControl1->addTab(black.page, QStringLiteral("Black List"));
  PageControl1->setCurrentIndex(0);

  suiButton1 = MakeButton(QStringLiteral("Ok"), QRect(256, 320, 65, 23), this);
  suiButton2 = MakeButton(QStringLiteral("Cancel"), QRect(336, 320, 57, 23), this);

  // Names for finding the controls (tests, accessibility).
  const std::pair<QObject*, const char*> names[] = {
      {PageControl1, "PageControl1"},
      {GroupBox1, "GroupBox1"},
      {TrackBar1, "TrackBar1"},
      {Label2, "Label2"},
      {Label1, "Label1"},
      {Edit1, "Edit1"},
      {suiButton4, "suiButton4"},
      {suiButton3, "suiButton3"},
      {DBGrid1, "DBGrid1"},
      {Edit2, "Edit2"},
      {suiButton5, "suiButton5"},
      {suiButton6, "suiButton6"},
      {DBGrid2, "DBGrid2"},
      {suiButton1, "suiButton1"},
      {suiButton2, "suiButton2"},
  };
  for (const auto& [object, name] : names) {
    object->setObjectName(QLatin1String(name));
  }

  connect(TrackBar1, &QSlider::valueChanged, this, &TFrmsetting::TrackBar1Change);
  connect(suiButton1, &QPushButton::clicked, this, &TFrmsetting::suiButton1Click);
  connect(suiButton2, &QPushButton::clicked, this, &TFrmsetting::suiButton2Click);
  connect(suiButton3, &QPushButton::clicked, this, &TFrmsetting::suiButton3Click);
  connect(suiButton4, &QPushButton::clicked, this, &TFrmsetting::suiButton4Click);
  connect(suiButton5, &QPushButton::clicked, this, &TFrmsetting::suiButton5Click);
  connect(suiButton6, &QPushButton::clicked, this, &TFrmsetting::suiButton6Click);
  TrackBar1Change();
}

void TFrmsetting::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Spontaneous shows come from the window system (a restore); only the program's own showing
  // of the hidden window reloads.
  if (!event->spontaneous()) {
    FormShow();
  }
}

void TFrmsetting::FormShow() {
  TrackBar1->setValue(TrackBarPositionForLevel(securityLevel_.stored()));
  TrackBar1Change();
  try {
    DataSource1->Reload();
    SelectCursorRow(DBGrid1, db_.ADODataSet3);
    DataSource2->Reload();
    SelectCursorRow(DBGrid2, db_.ADODataSet4);
    Label1->setText(QString::fromStdString(StatisticsText(ReadSpamNumber(db_))));
  } catch (const DatabaseError& error) {
    ShowErrorMessage(this, error.what());
  }
}

void TFrmsetting::TrackBar1Change() {
  const std::string_view text = LevelDescription(TrackBar1->value());
  if (!text.empty()) {
    Label2->setText(ToQString(text));
  }
}

void TFrmsetting::suiButton1Click() {
  const int32_t level = LevelForTrackBarPosition(TrackBar1->value());
  try {
    SaveSecurityLevel(db_, level);
  } catch (const DatabaseError& error) {
    ShowErrorMessage(this, error.what());
    return;
  }
  securityLevel_.Set(level);
  hide();
}

void TFrmsetting::suiButton2Click() {
  hide();
}

void TFrmsetting::suiButton4Click() {
  AddToList(Edit1, db_.ADODataSet3, QueryText::kWhiteTableLookup, DataSource1, DBGrid1);
}

void TFrmsetting::suiButton5Click() {
  AddToList(Edit2, db_.ADODataSet4, QueryText::kBlackTableLookup, DataSource2, DBGrid2);
}

void TFrmsetting::suiButton3Click() {
  DeleteFromList(db_.ADODataSet3, DataSource1, DBGrid1);
}

void TFrmsetting::suiButton6Click() {
  DeleteFromList(db_.ADODataSet4, DataSource2, DBGrid2);
}

void TFrmsetting::AddToList(QLineEdit* edit, RecordCursor& listView, QueryText lookup,
                            ListTableModel* model, QTableView* grid) {
  try {
    if (AddListRow(listView, lookup, edit->text().toStdString(), std::nullopt, LocalToday(),
                   ListWriter::kSettingsWindow) == AddResult::kInvalid) {
      ShowMessageBox(this, ToQString(kInvalidEmailMessage));
      return;
    }
  } catch (const DatabaseError& error) {
    ShowErrorMessage(this, error.what());
    return;
  }
  model->Resync();
  SelectCursorRow(grid, listView);
  edit->clear();
}

void TFrmsetting::DeleteFromList(RecordCursor& listView, ListTableModel* model, QTableView* grid) {
  const QModelIndex selected = grid->currentIndex();
  try {
    DeleteListEntry(listView, selected.isValid() ? selected.row() : -1);
  } catch (const DatabaseError& error) {
    ShowErrorMessage(this, error.what());
    return;
  }
  model->Resync();
  SelectCursorRow(grid, listView);
}

}  // namespace tervane
