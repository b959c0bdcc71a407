#include "message/text_message.h"

#include <utility>

#include "message/header_fields.h"

namespace tervane {

TextMessage::TextMessage(std::string text) : text_(std::move(text)) {
  const HeaderSplit split = SplitMessage(text_);
  headerSize_ = split.headerSize;
  bodyStart_ = split.bodyStart;
}

std::string TextMessage::GetRecipientName() {
  return FirstMailboxName(HeaderFieldValue(GetHeaders(), "To"));
}

std::string TextMessage::GetSenderName() {
  return FirstMailboxName(HeaderFieldValue(GetHeaders(), "From"));
}

std::string TextMessage::GetHeaders() {
  return text_.substr(0, headerSize_);
}

std::string TextMessage::GetContent() {
  return text_.substr(bodyStart_);
}

}  // namespace tervane
