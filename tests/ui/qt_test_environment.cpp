#include "tests/ui/qt_test_environment.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <iostream>
#include <memory>

namespace tervane::testing {
namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[8] = "ui_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

CapturedStderr::CapturedStderr() : saved_(std::cerr.rdbuf(text_.rdbuf())) {}

CapturedStderr::~CapturedStderr() {
  std::cerr.rdbuf(saved_);
}

void SaveScreenshot(QWidget& widget, const QString& name) {
  const QString dir = qEnvironmentVariable("TERVANE_SCREENSHOTS");
  if (dir.isEmpty()) {
    return;
  }
  ASSERT_TRUE(QDir().mkpath(dir)) << dir.toStdString();
  const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
  EXPECT_TRUE(widget.grab().save(file)) << file.toStdString();
}

}  // namespace tervane::testing
