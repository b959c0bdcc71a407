#ifndef TERVANE_UI_FRMSETTING_H_
#define TERVANE_UI_FRMSETTING_H_

#include <QWidget>
#include <cstdint>

#include "engine/security_level.h"
#include "store/query_text.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class QTableView;

namespace tervane {

class ListTableModel;
class RecordCursor;
struct FilterDatabase;

// The settings window ("Config"): the security level, the count of marked spam, and the white
// and black lists with Add and Delete. Created once and hidden; closing it only hides it. Every
// showing reloads the level, both lists and the count. The level is stored only by "Ok"; list
// changes are stored at the click. Errors of the data layer are shown in a message box.
// REQUIRES: db and securityLevel outlive the window.
class TFrmsetting : public QWidget {
  Q_OBJECT

 public:
  TFrmsetting(FilterDatabase& db, ProgramSecurityLevel& securityLevel, QWidget* parent = nullptr);

  // The window's handlers, each wired to its control.
  void FormShow();
  void TrackBar1Change();
  void suiButton1Click();  // Ok
  void suiButton2Click();  // Cancel
  void suiButton4Click();  // Add (white list)
  void suiButton5Click();  // Add (black list)
  void suiButton3Click();  // Delete (white list)
  void suiButton6Click();  // Delete (black list)

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void AddToList(QLineEdit* edit, RecordCursor& listView, QueryText lookup, ListTableModel* model,
                 QTableView* grid);
  void DeleteFromList(RecordCursor& listView, ListTableModel* model, QTableView* grid);

  FilterDatabase& db_;
  ProgramSecurityLevel& securityLevel_;

  QTabWidget* PageControl1;
  QGroupBox* GroupBox1;  // "Secure Class"
  QSlider* TrackBar1;
  QLabel* Label2;
  QLabel* Label1;
  ListTableModel* DataSource1;  // ADODataSet3, the white list
  ListTableModel* DataSource2;  // ADODataSet4, the black list
  QLineEdit* Edit1;
  QPushButton* suiButton4;
  QPushButton* suiButton3;
  QTableView* DBGrid1;
  QLineEdit* Edit2;
  QPushButton* suiButton5;
  QPushButton* suiButton6;
  QTableView* DBGrid2;
  QPushButton* suiButton1;
  QPushButton* suiButton2;
};

}  // namespace tervane

#endif  // TERVANE_UI_FRMSETTING_H_
