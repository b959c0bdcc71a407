#ifndef TERVANE_UPDATER_TERMINAL_PROGRESS_H_
#define TERVANE_UPDATER_TERMINAL_PROGRESS_H_

#include <cstdio>
#include <string>

namespace tervane {

// One line of progress on a terminal, rewritten in place. Writes nothing when stream is not a
// terminal, so a log or a pipe gets only the result.
class TerminalProgress {
 public:
  explicit TerminalProgress(std::FILE* stream);
  // Replaces the line with text.
  void Show(const std::string& text);
  // Clears the line, so the next output starts on an empty one.
  void Clear();

 private:
  std::FILE* stream_;
  bool terminal_;
  bool shown_ = false;
};

}  // namespace tervane

#endif  // TERVANE_UPDATER_TERMINAL_PROGRESS_H_
