#ifndef TERVANE_EXTSERVER_MAIL_CLIENT_STATE_H_
#define TERVANE_EXTSERVER_MAIL_CLIENT_STATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tervane {

struct ToolbarButton {
  int32_t id;
  std::string caption;
};

// What the mail client shows its user: whether it runs, its one toolbar's buttons and the
// selection.
class MailClientState {
 public:
  static constexpr int32_t kToolbarId = 1;

  bool running() const { return running_; }
  // Stopping takes the toolbar's buttons away with the mail client's window.
  void SetRunning(bool running);

  // Appends a button; returns its id. Throws ExtensionError for an empty caption or when the
  // mail client does not run.
  int32_t AddButton(std::string caption);
  void RemoveButtons() { buttons_.clear(); }
  const std::vector<ToolbarButton>& buttons() const { return buttons_; }
  // The id of the first button with that caption.
  std::optional<int32_t> FindButton(std::string_view caption) const;

  void Select(int32_t folderId, std::vector<int32_t> messageIds);
  // -1 when nothing is selected.
  int32_t selectedFolder() const { return selectedFolder_; }
  const std::vector<int32_t>& selectedMessages() const { return selectedMessages_; }

 private:
  bool running_ = true;
  std::vector<ToolbarButton> buttons_;
  int32_t lastButtonId_ = 0;
  int32_t selectedFolder_ = -1;
  std::vector<int32_t> selectedMessages_;
};

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_MAIL_CLIENT_STATE_H_
