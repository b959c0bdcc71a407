#include "tools/oectl/answer_text.h"

#include <initializer_list>

namespace tervane {
namespace {

void AppendRow(std::string& text, std::initializer_list<std::string> fields) {
  bool first = true;
  for (const std::string& field : fields) {
    if (!first) {
      text += '\t';
    }
    first = false;
    for (const char c : field) {
      text += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
    }
  }
  text += '\n';
}

}  // namespace

std::string AnswerText(const ControlAnswer& answer) {
  std::string text;
  if (answer.running) {
    AppendRow(text, {*answer.running ? "running" : "stopped"});
  }
  if (const std::optional<MailStoreStatus>& store = answer.store) {
    if (!store->connected)
      AppendRow(text, {store->kind, store->location});
    else if (*store->connected)
      AppendRow(text, {store->kind, store->location, "connected"});
    else
      AppendRow(text, {store->kind, store->location, "not connected", store->problem});
  }
  if (answer.folders) {
    for (const FolderSummary& folder : *answer.folders) {
      AppendRow(text, {std::to_string(folder.id), folder.name, std::to_string(folder.count)});
    }
  }
  if (answer.messages) {
    for (const MessageSummary& message : *answer.messages) {
      AppendRow(text, {std::to_string(message.id), message.sender, message.subject});
    }
  }
  for (const auto* lines : {&answer.buttons, &answer.marked}) {
    for (const std::string& line : lines->value_or(std::vector<std::string>{})) {
      AppendRow(text, {line});
    }
  }
  return text;
}

}  // namespace tervane
