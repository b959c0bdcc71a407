#ifndef TERVANE_UI_SHELL_OPENER_H_
#define TERVANE_UI_SHELL_OPENER_H_

#include <string_view>

namespace tervane {

// How the opened program's window should appear (the values of the Windows show commands).
enum class ShowCommand : int {
  kHide = 0,  // SW_HIDE
  kShow = 5,  // SW_SHOW
};

// The desktop's "open" service: hands a program, document or address to the program the user
// has chosen for it. Callers never learn whether that worked; nothing is waited for.
class ShellOpener {
 public:
  virtual ~ShellOpener() = default;

  // Opens file with verb ("open", or "" for the default action): a program file is started
  // without arguments, a document or an address (e.g. "mailto:...", or a bare host name such as
  // "www.example.org", taken as a web address) goes to its default application.
  virtual void Open(std::string_view verb, std::string_view file, ShowCommand show) = 0;
};

}  // namespace tervane

#endif  // TERVANE_UI_SHELL_OPENER_H_
