#ifndef TERVANE_TESTS_SUPPORT_RECORDING_EVENTS_H_
#define TERVANE_TESTS_SUPPORT_RECORDING_EVENTS_H_

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "mailapi/oe_server.h"

namespace tervane::testing {

// Subscribed to a server for its whole life: records every event, and calls the hooks set.
class RecordingEvents : public IOEEvents {
 public:
  using Ids = std::pair<int32_t, int32_t>;  // (folder, message) or (toolbar, button)

  explicit RecordingEvents(IOEServer& server) : server_(server) { server_.Subscribe(*this); }
  ~RecordingEvents() override { server_.Unsubscribe(*this); }
  RecordingEvents(const RecordingEvents&) = delete;
  RecordingEvents& operator=(const RecordingEvents&) = delete;

  void InitOEAPI() override { ++inits; }
  void ShutdownOEAPI() override { ++shutdowns; }
  void NewMessage(int32_t folderId, int32_t messageId) override {
    newMessages.emplace_back(folderId, messageId);
    if (onNewMessage)
      onNewMessage(folderId, messageId);
  }
  void MessageMoved(int32_t fromFolderId, int32_t toFolderId, int32_t messageId) override {
    moves.push_back({fromFolderId, toFolderId, messageId});
  }
  void ButtonClicked(int32_t toolbarId, int32_t buttonId) override {
    clicks.emplace_back(toolbarId, buttonId);
    if (onClick)
      onClick(toolbarId, buttonId);
  }

  int inits = 0;
  int shutdowns = 0;
  std::vector<Ids> newMessages;
  std::vector<Ids> clicks;
  struct Move {
    int32_t from;
    int32_t to;
    int32_t messageId;
  };
  std::vector<Move> moves;
  std::function<void(int32_t, int32_t)> onNewMessage;
  std::function<void(int32_t, int32_t)> onClick;

 private:
  IOEServer& server_;
};

}  // namespace tervane::testing

#endif  // TERVANE_TESTS_SUPPORT_RECORDING_EVENTS_H_
