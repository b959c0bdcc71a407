#ifndef TERVANE_MESSAGE_TEXT_MESSAGE_H_
#define TERVANE_MESSAGE_TEXT_MESSAGE_H_

#include <string>

#include "mailapi/extension_interface.h"

namespace tervane {

// A message given as its whole text (piped to oectl, say) rather than held by a mail store, read
// as a store reads its messages: the header section without the blank line that ends it, the
// body after it, and the display names of the first From and To mailboxes.
class TextMessage : public IOEMessage {
 public:
  explicit TextMessage(std::string text);

  std::string GetRecipientName() override;
  std::string GetSenderName() override;
  std::string GetHeaders() override;
  std::string GetContent() override;

 private:
  std::string text_;
  size_t headerSize_;
  size_t bodyStart_;
};

}  // namespace tervane

#endif  // TERVANE_MESSAGE_TEXT_MESSAGE_H_
