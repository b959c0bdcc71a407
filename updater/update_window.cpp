#include "updater/update_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace tervane {

UpdateWindow::UpdateWindow(QWidget* parent)
    : QWidget(parent),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      warning_(new QLabel(this)),
      close_(new QPushButton("Close", this)) {
  setWindowTitle("Live Update");
  setMinimumWidth(420);
  text_->setWordWrap(true);
  warning_->setWordWrap(true);
  warning_->hide();
  close_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addWidget(warning_);
  layout->addLayout(buttons);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
}

void UpdateWindow::ShowProgress(const UpdateProgress& progress) {
  text_->setText(QString::fromStdString(ProgressText(progress)));
  const bool measurable =
      progress.stage == UpdateProgress::Stage::kDownloading && progress.bytesTotal > 0;
  // A bar without a range is a busy indicator: the other steps have no measure the user needs.
  bar_->setRange(0, measurable ? 1000 : 0);
  if (measurable)
    bar_->setValue(static_cast<int>(1000 * progress.bytesReceived / progress.bytesTotal));
}

void UpdateWindow::ShowResult(const QString& sentence, const QString& warning) {
  text_->setText(sentence);
  bar_->hide();
  warning_->setText(warning);
  warning_->setVisible(!warning.isEmpty());
  close_->setEnabled(true);
  close_->setDefault(true);
  close_->setFocus();
}

}  // namespace tervane
