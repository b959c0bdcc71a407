#ifndef TERVANE_TESTS_SUPPORT_TMUX_TERMINAL_H_
#define TERVANE_TESTS_SUPPORT_TMUX_TERMINAL_H_

// A terminal program driven as a person would: started in a tmux session of a private tmux
// server (its own socket, no configuration file), keys sent to it, its screen read back. The
// session goes with the object.

#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <memory>
#include <string>

namespace tervane::testing {

class TmuxTerminal {
 public:
  // Starts command (run by sh) in a 120 x 40 terminal with environment. Returns null, with
  // *reason set, when tmux is missing or cannot start.
  static std::unique_ptr<TmuxTerminal> Start(const std::string& command,
                                             const QProcessEnvironment& environment,
                                             std::string* reason);
  ~TmuxTerminal();
  TmuxTerminal(const TmuxTerminal&) = delete;
  TmuxTerminal& operator=(const TmuxTerminal&) = delete;

  // Types keys, each a tmux key name ("Enter", "Escape") or text typed literally.
  void Keys(const QStringList& keys);
  void Type(const std::string& text) { Keys({QString::fromStdString(text)}); }
  // The screen as text.
  std::string Screen() const;
  // True iff text shows on the screen within timeout.
  bool WaitFor(const std::string& text,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  TmuxTerminal(QString socket, QProcessEnvironment environment)
      : socket_(std::move(socket)), environment_(std::move(environment)) {}
  // Runs tmux with arguments on this terminal's server; its standard output.
  std::string Tmux(const QStringList& arguments) const;

  QString socket_;
  QProcessEnvironment environment_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_TMUX_TERMINAL_H_
