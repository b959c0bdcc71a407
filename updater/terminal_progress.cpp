#include "updater/terminal_progress.h"

#include <unistd.h>

namespace tervane {

TerminalProgress::TerminalProgress(std::FILE* stream)
    : stream_(stream), terminal_(::isatty(fileno(stream)) == 1) {}

void TerminalProgress::Show(const std::string& text) {
  if (!terminal_)
    return;
  // Carriage return, the text, then erase what a longer line before left.
  std::fprintf(stream_, "\r%s\x1b[K", text.c_str());
  std::fflush(stream_);
  shown_ = true;
}

void TerminalProgress::Clear() {
  if (!shown_)
    return;
  std::fprintf(stream_, "\r\x1b[K");
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace tervane
