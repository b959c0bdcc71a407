#ifndef TERVANE_TESTS_SUPPORT_X_DISPLAY_H_
#define TERVANE_TESTS_SUPPORT_X_DISPLAY_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace tervane::testing {

// A top-level window of an X display as a window manager would read it.
struct XWindow {
  std::string id;       // "0x1e00007"
  std::string netName;  // _NET_WM_NAME (UTF-8), empty when unset
  std::string wmName;   // WM_NAME, empty when unset
};

// A private X server (Xvfb, no TCP, on the first free display number) for tests that need a
// real display rather than Qt's offscreen platform; ended when the object goes away. Reads its
// windows with the X utilities xwininfo and xprop.
class XvfbDisplay {
 public:
  // Starts the server and waits (up to 10 s) until it takes connections. When it cannot be had
  // (no Xvfb, no free display), ok() is false and failure() says why: tests skip with it.
  XvfbDisplay();
  ~XvfbDisplay();
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool ok() const { return pid_ > 0; }
  const std::string& failure() const { return failure_; }
  // The DISPLAY value, ":N".
  const std::string& name() const { return name_; }

  // The top-level windows that are shown (mapped and viewable), in stacking order.
  std::vector<XWindow> ShownWindows() const;

 private:
  pid_t pid_ = -1;
  std::string name_;
  std::string failure_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_X_DISPLAY_H_
