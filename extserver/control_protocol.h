#ifndef TERVANE_EXTSERVER_CONTROL_PROTOCOL_H_
#define TERVANE_EXTSERVER_CONTROL_PROTOCOL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "extserver/extension_server.h"

namespace tervane {

// The control socket's language: one request per line, one answer line per request, each a
// UTF-8 JSON object. A request names its command in "cmd" ({"cmd":"select","folder":"Inbox",
// "ids":[3,4]}); an answer carries "ok" and either "error" or the command's result. A folder's
// "path" is its directory's bytes percent-encoded (RFC 3986, "/" kept), since a directory name
// need not be UTF-8.

// The longest request line a server reads, without its line break.
inline constexpr size_t kMaxControlLineBytes = 64 * 1024;

// A folder as the user names it: "inbox" in any letter case is the inbox "Inbox" (as IMAP's
// INBOX is); every other name is taken exactly as given.
std::string CanonicalFolderName(std::string_view name);

// The id written in text (decimal digits, an optional minus sign, nothing else), or nothing.
std::optional<int32_t> ParseControlId(std::string_view text);

enum class ControlCommand { kStatus, kStart, kStop, kFolders, kList, kSelect, kButtons, kClick };

struct ControlRequest {
  ControlCommand command = ControlCommand::kStatus;
  std::string folder;        // list, select: a folder's name or id
  std::vector<int32_t> ids;  // select: the messages, in order
  std::string caption;       // click
};

struct ControlAnswer {
  bool ok = true;
  std::string error;  // why the request was refused, when !ok
  // The command's result; each command fills in at most one.
  std::optional<bool> running;
  std::optional<std::vector<FolderSummary>> folders;
  std::optional<std::vector<MessageSummary>> messages;
  std::optional<std::vector<std::string>> buttons;
};

// The command's name on the wire and on oectl's command line ("status", "select", ...).
std::string_view ControlCommandName(ControlCommand command);
// The command named name, or nothing.
std::optional<ControlCommand> ParseControlCommand(std::string_view name);

// One line of JSON, without a line break.
std::string EncodeRequest(const ControlRequest& request);
// The request in line, or the one-line reason it cannot be carried out.
std::variant<ControlRequest, std::string> DecodeRequest(std::string_view line);

// One line of JSON, without a line break.
std::string EncodeAnswer(const ControlAnswer& answer);
// A refusal with message.
std::string EncodeError(std::string_view message);
// The answer in line, or the one-line reason it is not an answer.
std::variant<ControlAnswer, std::string> DecodeAnswer(std::string_view line);

}  // namespace tervane

#endif  // TERVANE_EXTSERVER_CONTROL_PROTOCOL_H_
