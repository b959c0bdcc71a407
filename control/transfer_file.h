#ifndef TERVANE_CONTROL_TRANSFER_FILE_H_
#define TERVANE_CONTROL_TRANSFER_FILE_H_

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tervane {

// What is too large for a request on the control socket (one line of at most 64 KiB) passes
// through a file: list rows between tervane-lists and the running program, a message piped to
// oectl. The client makes the file in a folder of its own and sends its path; the program reads
// it, or writes into it. Both sides open it without following a symbolic link and only when it
// is a regular file of this user that nobody else may read or write.

// A refused or unreadable transfer file, or content that is not what was expected; what() says
// which.
class TransferError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A new folder only this user may enter (mode 0700), under $XDG_RUNTIME_DIR when set, else the
// temporary folder; removed with its files when the object goes. Throws TransferError.
class TransferFolder {
 public:
  TransferFolder();
  ~TransferFolder();
  TransferFolder(const TransferFolder&) = delete;
  TransferFolder& operator=(const TransferFolder&) = delete;

  // Makes the file name in the folder (mode 0600) holding content; returns its path.
  std::filesystem::path NewFile(std::string_view name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a transfer file. Throws TransferError when it is refused (above) or
// cannot be read.
std::string ReadTransferFile(const std::filesystem::path& file);

// Replaces the content of an existing transfer file with content. Throws TransferError when it
// is refused (above) or cannot be written.
void WriteTransferFile(const std::filesystem::path& file, std::string_view content);

}  // namespace tervane

#endif  // TERVANE_CONTROL_TRANSFER_FILE_H_
