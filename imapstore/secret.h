#ifndef TERVANE_IMAPSTORE_SECRET_H_
#define TERVANE_IMAPSTORE_SECRET_H_

#include <string>
#include <string_view>

namespace tervane::imap {

// A password held in memory: its bytes are wiped when it goes or is replaced, it is never
// copied (only moved), and nothing prints it.
class Secret {
 public:
  Secret() = default;
  explicit Secret(std::string bytes) : bytes_(std::move(bytes)) {}
  ~Secret();
  Secret(Secret&& other) noexcept;
  Secret& operator=(Secret&& other) noexcept;
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;

  std::string_view view() const { return bytes_; }
  bool empty() const { return bytes_.empty(); }

 private:
  void Wipe();

  std::string bytes_;
};

// Keeps the process out of core dumps (and other users' debuggers) from now on, so that a
// password it holds never lands in a core file.
void KeepOutOfCoreDumps();

}  // namespace tervane::imap

#endif  // TERVANE_IMAPSTORE_SECRET_H_
