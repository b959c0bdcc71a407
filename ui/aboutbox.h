#ifndef TERVANE_UI_ABOUTBOX_H_
#define TERVANE_UI_ABOUTBOX_H_

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tervane {

class LinkLabel;
class ShellOpener;

// The about window: the product's name and version, a link to the maker's web site and one to
// the support address. Always on top, centred on the screen when shown. "OK" (also Enter) and
// the close button hide it; Escape does nothing. Created once and hidden.
// REQUIRES: shell outlives the window.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(ShellOpener& shell, QWidget* parent = nullptr);

  // The window's handlers, each wired to its control.
  void OKButtonClick();
  void Label2Click();  // the web site
  void Label4Click();  // the support address

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ShellOpener& shell_;

  QFrame* Panel1;
  QLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Label1;
  LinkLabel* Label2;
  QLabel* Label3;
  LinkLabel* Label4;
  QPushButton* OKButton;
};

}  // namespace tervane

#endif  // TERVANE_UI_ABOUTBOX_H_
