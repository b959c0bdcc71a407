#include "extserver/mail_client_state.h"

#include <algorithm>
#include <utility>

#include "mailapi/extension_interface.h"

namespace tervane {

void MailClientState::SetRunning(bool running) {
  running_ = running;
  if (!running) {
    buttons_.clear();
  }
}

int32_t MailClientState::AddButton(std::string caption) {
  if (caption.empty()) {
    throw ExtensionError("a toolbar button needs a caption");
  }
  if (!running_) {
    throw ExtensionError("the mail client is not running");
  }
  buttons_.push_back(ToolbarButton{++lastButtonId_, std::move(caption)});
  return lastButtonId_;
}

std::optional<int32_t> MailClientState::FindButton(std::string_view caption) const {
  const auto found =
      std::find_if(buttons_.begin(), buttons_.end(),
                   [caption](const ToolbarButton& b) { return b.caption == caption; });
  if (found == buttons_.end()) {
    return std::nullopt;
  }
  return found->id;
}

void MailClientState::Select(int32_t folderId, std::vector<int32_t> messageIds) {
  selectedFolder_ = folderId;
  selectedMessages_ = std::move(messageIds);
}

}  // namespace tervane
