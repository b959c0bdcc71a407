#ifndef TERVANE_UI_DESKTOP_SHELL_OPENER_H_
#define TERVANE_UI_DESKTOP_SHELL_OPENER_H_

#include <QString>
#include <QUrl>
#include <string_view>

#include "ui/shell_opener.h"

namespace tervane {

// What the desktop is asked to do with a file text.
struct ShellTarget {
  enum class Kind { kAddress, kProgram };
  Kind kind = Kind::kAddress;
  QUrl address;     // kAddress: the document or web/mail address to hand to its application
  QString program;  // kProgram: the program file to start
};

// Returns how file is opened: an absolute path naming an executable regular file is a program;
// any other absolute path is a local document; text with a scheme ("mailto:", "http://") is
// that address; anything else (a bare host name) is a web address over http.
ShellTarget ResolveShellTarget(std::string_view file);

// The desktop's opener: programs through QProcess::startDetached, documents and addresses
// through QDesktopServices::openUrl. The verb and the show command change nothing here: the
// desktop has one action per kind of file and decides itself how the window appears.
class DesktopShellOpener : public ShellOpener {
 public:
  void Open(std::string_view verb, std::string_view file, ShowCommand show) override;
};

}  // namespace tervane

#endif  // TERVANE_UI_DESKTOP_SHELL_OPENER_H_
