#include "extserver/client_objects.h"

#include <cstddef>
#include <vector>

#include "extserver/mail_client_state.h"

namespace tervane {
namespace {

class ToolbarButtonObj : public IOEButton {
 public:
  explicit ToolbarButtonObj(int32_t id) : id_(id) {}
  int32_t GetID() override { return id_; }

 private:
  const int32_t id_;
};

class ToolbarObj : public IOEToolbar {
 public:
  explicit ToolbarObj(MailClientState& state) : state_(state) {}

  int32_t GetID() override { return MailClientState::kToolbarId; }
  std::unique_ptr<IOEButton> CreateButton(const std::string& caption, const std::string&,
                                          const std::string&) override {
    return std::make_unique<ToolbarButtonObj>(state_.AddButton(caption));
  }

 private:
  MailClientState& state_;
};

class APIObj : public IOEAPIObj {
 public:
  explicit APIObj(MailClientState& state) : state_(state) {}

  std::unique_ptr<IOEToolbar> GetToolbar() override {
    return state_.running() ? std::make_unique<ToolbarObj>(state_) : nullptr;
  }
  void RemoveToolbars() override { state_.RemoveButtons(); }
  int32_t GetSelectedFolderID() override { return state_.selectedFolder(); }
  int32_t GetFirstSelectedMessageID() override {
    walk_ = state_.selectedMessages();
    next_ = 0;
    return GetNextSelectedMessageID();
  }
  int32_t GetNextSelectedMessageID() override { return next_ < walk_.size() ? walk_[next_++] : -1; }

 private:
  MailClientState& state_;
  std::vector<int32_t> walk_;  // the selection when the walk started
  size_t next_ = 0;
};

}  // namespace

std::unique_ptr<IOEAPIObj> MakeAPIObj(MailClientState& state) {
  return std::make_unique<APIObj>(state);
}

}  // namespace tervane
