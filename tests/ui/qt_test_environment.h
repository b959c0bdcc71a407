#ifndef TERVANE_TESTS_UI_QT_TEST_ENVIRONMENT_H_
#define TERVANE_TESTS_UI_QT_TEST_ENVIRONMENT_H_

#include <QString>
#include <sstream>
#include <streambuf>
#include <string>

class QWidget;

namespace tervane::testing {

// Everything the UI tests run in: one QApplication for the test program, on Qt's offscreen
// platform unless QT_QPA_PLATFORM names another (set up by a global GoogleTest environment).

// Collects what is written to std::cerr while it lives (the message boxes of the offscreen
// platform).
class CapturedStderr {
 public:
  CapturedStderr();
  ~CapturedStderr();
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;

  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* saved_;
};

// Saves a picture of widget as DIR/name.png when TERVANE_SCREENSHOTS=DIR is set.
void SaveScreenshot(QWidget& widget, const QString& name);

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_UI_QT_TEST_ENVIRONMENT_H_
