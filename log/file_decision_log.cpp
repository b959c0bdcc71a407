#include "log/file_decision_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#include "base/fd_io.h"
#include "log/log_file.h"

namespace tervane {
namespace {

namespace fs = std::filesystem;

// A batch larger than this is written without waiting for the owner's flush.
constexpr size_t kBatchBytes = 64 * 1024;

}  // namespace

std::string LogTimeStamp(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char date[32];
  char zone[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(zone, sizeof zone, "%z", &local);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%s.%03d%s", date, static_cast<int>(millis), zone);
  return stamp;
}

FileDecisionLog::FileDecisionLog(fs::path file, int errorFd, size_t capBytes)
    : file_(std::move(file)), errorFd_(errorFd), capBytes_(capBytes) {}

FileDecisionLog::~FileDecisionLog() {
  Flush();
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void FileDecisionLog::SetFlushRequest(std::function<void()> request) {
  flushRequest_ = std::move(request);
}

void FileDecisionLog::Write(std::string_view text) {
  const bool wasEmpty = pending_.empty();
  pending_ += LogTimeStamp(std::chrono::system_clock::now());
  pending_ += ' ';
  for (const char c : text) {
    pending_ += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
  }
  pending_ += '\n';
  if (!flushRequest_ || pending_.size() >= kBatchBytes) {
    Flush();
  } else if (wasEmpty) {
    flushRequest_();
  }
}

void FileDecisionLog::Flush() {
  if (pending_.empty()) {
    return;
  }
  WriteAll(errorFd_, pending_);
  AppendToFile(pending_);
  pending_.clear();
}

bool FileDecisionLog::AppendToFile(std::string_view bytes) {
  if (fileFailed_ || (fd_ < 0 && !OpenFile())) {
    return false;
  }
  if (fileSize_ > 0 && fileSize_ + bytes.size() > capBytes_) {
    ::close(fd_);
    fd_ = -1;
    std::error_code error;
    fs::rename(file_, RotatedLogFile(file_), error);
    if (error) {
      FileFailed(error.value());
      return false;
    }
    if (!OpenFile()) {
      return false;
    }
  }
  if (!WriteAll(fd_, bytes)) {
    FileFailed(errno);
    return false;
  }
  fileSize_ += bytes.size();
  return true;
}

bool FileDecisionLog::OpenFile() {
  std::error_code error;
  fs::create_directories(file_.parent_path(), error);
  if (!error) {
    fs::permissions(file_.parent_path(), fs::perms::owner_all, error);
  }
  fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
    FileFailed(errno);
    return false;
  }
  fileSize_ = static_cast<size_t>(info.st_size);
  return true;
}

void FileDecisionLog::FileFailed(int error) {
  fileFailed_ = true;
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  const std::string message = "Tervane Anti-Spam: cannot write the log " + file_.string() + ": " +
                              std::strerror(error) + "; decisions go to standard error only\n";
  WriteAll(errorFd_, message);
}

}  // namespace tervane
