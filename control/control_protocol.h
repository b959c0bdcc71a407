#ifndef TERVANE_CONTROL_CONTROL_PROTOCOL_H_
#define TERVANE_CONTROL_CONTROL_PROTOCOL_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mailapi/mail_store.h"

namespace tervane {

// The control socket's language: one request per line, one answer line per request, each a
// UTF-8 JSON object. A request names its command in "cmd" ({"cmd":"select","folder":"Inbox",
// "ids":[3,4]}); an answer carries "ok" and either "error" or the command's result. The mail
// client's commands (oectl as its user), the program's own commands and the list commands of
// tervane-lists all speak it; every request and answer is decoded into the types below, so a
// malformed one is refused in one place. A folder's "path" is its directory's bytes
// percent-encoded (RFC 3986, "/" kept), since a directory name need not be UTF-8.

// The longest request line a server reads, without its line break.
inline constexpr size_t kMaxControlLineBytes = 64 * 1024;

// Thrown by whoever answers a request to refuse it; what() is the one-line reason the client
// gets.
class ControlRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A folder as the user names it: "inbox" in any letter case is the inbox "Inbox" (as IMAP's
// INBOX is); every other name is taken exactly as given.
std::string CanonicalFolderName(std::string_view name);

// The id written in text (decimal digits, an optional minus sign, nothing else), or nothing.
std::optional<int32_t> ParseControlId(std::string_view text);

enum class ControlCommand {
  // The mail client's, as its user drives it.
  kStatus,
  kStart,
  kStop,
  kFolders,
  kList,
  kSelect,
  kButtons,
  kClick,
  // The program's.
  kSettings,         // show the settings window
  kReopenReference,  // update put a new ospam.mdb in place
  kLists,            // tervane-lists, carried out on the program's own lists
  kSpam,             // oectl spam: mark messages as the Spam button does
  kNotSpam,          // oectl notspam: mark messages as the Not Spam button does
};

// What tervane-lists asks the program that owns the lists to do.
enum class ListsAction { kFolder, kRows, kAdd, kRemove, kImport, kLevel, kStats };

// A request of tervane-lists. Every action but kFolder names the folder of the lists the tool
// means; the program refuses another folder than its own.
//   kFolder  -> folder: the program's folder of lists
//   kRows    list, match, file: the rows are written into the transfer file -> count
//   kAdd     list, address, name (absent: no name) -> result: kAdded or kAlreadyListed
//   kRemove  list, address -> removed
//   kImport  list, file: the entries to import, as EncodeEntries writes them
//            -> imported, alreadyListed, invalidLines
//   kLevel   level (absent: only read) -> level
//   kStats   -> stats
struct ListsRequest {
  ListsAction action = ListsAction::kFolder;
  std::string dataFolder;
  std::string list;  // "white", "black" or "reference"
  std::string address;
  std::optional<std::string> name;
  std::string match;
  std::string file;
  std::optional<int32_t> level;
};

inline constexpr char kListsAdded[] = "added";
inline constexpr char kListsAlreadyListed[] = "already listed";

struct ControlRequest {
  ControlCommand command = ControlCommand::kStatus;
  std::string folder;        // list, select: a folder's name or id
  std::vector<int32_t> ids;  // select: the messages, in order
  std::string caption;       // click
  ListsRequest lists;        // lists
  // spam, notspam: message files of the mail store (absolute paths), or a transfer file that
  // holds one message piped to oectl.
  std::vector<std::string> files;
  std::string transfer;
};

// The counters of the lists, as the stats action answers them.
struct ListsStats {
  int32_t secureclass = 0;
  int32_t spamnumber = 0;
  int32_t number = 0;
  std::optional<double> harvest;  // the day of the last harvest
};

// The result of a lists request; each action fills in what it answers.
struct ListsAnswer {
  std::optional<std::string> folder;
  std::optional<int64_t> count;
  std::optional<std::string> result;
  std::optional<int64_t> removed;
  std::optional<int64_t> imported;
  std::optional<int64_t> alreadyListed;
  std::optional<std::vector<int64_t>> invalidLines;
  std::optional<int32_t> level;
  std::optional<ListsStats> stats;
};

// The mail store the program works on, as status tells it.
struct ControlAnswer {
  bool ok = true;
  std::string error;  // why the request was refused, when !ok
  // The command's result; each command fills in what it answers.
  std::optional<bool> running;
  std::optional<MailStoreStatus> store;  // status, from the program itself
  std::optional<std::vector<FolderSummary>> folders;
  std::optional<std::vector<MessageSummary>> messages;
  std::optional<std::vector<std::string>> buttons;
  std::optional<bool> reopened;
  ListsAnswer lists;
  std::optional<std::vector<std::string>> marked;  // spam, notspam: a line per message
};

// The command's name on the wire and on oectl's command line ("status", "select", ...).
std::string_view ControlCommandName(ControlCommand command);
// The command named name, or nothing.
std::optional<ControlCommand> ParseControlCommand(std::string_view name);
// True iff command is one of the mail client's own (status to click).
bool IsMailClientCommand(ControlCommand command);

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

#endif  // TERVANE_CONTROL_CONTROL_PROTOCOL_H_
