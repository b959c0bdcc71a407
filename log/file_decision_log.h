#ifndef TERVANE_LOG_FILE_DECISION_LOG_H_
#define TERVANE_LOG_FILE_DECISION_LOG_H_

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "log/decision_log.h"

namespace tervane {

// "2026-12-09T11:36:17.123+0100": local time with milliseconds and the zone's offset.
std::string LogTimeStamp(std::chrono::system_clock::time_point when);

// The program's log: every line, time-stamped, goes to standard error (so a service manager's
// journal has it) and is appended to a file (made with its folder, mode 0700, when missing). When
// the file would grow past its cap it is renamed to its rotated name (replacing the one before)
// and a new file is begun, so the log keeps between one and two caps of the latest lines.
// Lines are collected and written in batches: a burst of mail costs one write per batch, not per
// message. A file that cannot be written is reported once on standard error, and from then on
// the lines go to standard error only. Control characters in a line are shown as '?'.
// REQUIRES: used on one thread.
class FileDecisionLog : public DecisionLog {
 public:
  static constexpr size_t kDefaultCapBytes = 4 * 1024 * 1024;

  explicit FileDecisionLog(std::filesystem::path file, int errorFd = STDERR_FILENO,
                           size_t capBytes = kDefaultCapBytes);
  // Writes what is still collected.
  ~FileDecisionLog() override;
  FileDecisionLog(const FileDecisionLog&) = delete;
  FileDecisionLog& operator=(const FileDecisionLog&) = delete;

  void Write(std::string_view text) override;
  // Writes the lines collected so far.
  void Flush();
  // request is called when a line arrives while none is waiting, for the owner to run Flush soon
  // (a program posts it to its event loop). Without one, every line is written at once.
  void SetFlushRequest(std::function<void()> request);

  const std::filesystem::path& file() const { return file_; }

 private:
  // Appends bytes to the file, opening or rotating it first; false once the file has failed.
  bool AppendToFile(std::string_view bytes);
  bool OpenFile();
  void FileFailed(int error);

  std::filesystem::path file_;
  int errorFd_;
  size_t capBytes_;
  std::function<void()> flushRequest_;
  std::string pending_;
  int fd_ = -1;
  size_t fileSize_ = 0;
  bool fileFailed_ = false;
};

}  // namespace tervane

#endif  // TERVANE_LOG_FILE_DECISION_LOG_H_
