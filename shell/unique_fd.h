#ifndef TERVANE_SHELL_UNIQUE_FD_H_
#define TERVANE_SHELL_UNIQUE_FD_H_

#include <unistd.h>

#include <utility>

namespace tervane {

// Owns one file descriptor and closes it when it goes away; move-constructible, not copyable.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace tervane

#endif  // TERVANE_SHELL_UNIQUE_FD_H_
