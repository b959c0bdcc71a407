#ifndef TERVANE_UPDATER_UPDATE_WINDOW_H_
#define TERVANE_UPDATER_UPDATE_WINDOW_H_

#include <QWidget>

#include "updater/reference_update.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tervane {

// The small window of update started from the toolbar: what it is doing, a progress bar, and at
// the end the result sentence with a Close button. Layout and wiring only.
class UpdateWindow : public QWidget {
  Q_OBJECT

 public:
  explicit UpdateWindow(QWidget* parent = nullptr);

  void ShowProgress(const UpdateProgress& progress);
  // Shows the sentence (and a warning below it, when not empty) and lets the user close.
  void ShowResult(const QString& sentence, const QString& warning);

 private:
  QLabel* text_;
  QProgressBar* bar_;
  QLabel* warning_;
  QPushButton* close_;
};

}  // namespace tervane

#endif  // TERVANE_UPDATER_UPDATE_WINDOW_H_
