#ifndef TERVANE_LISTS_LIST_PROTOCOL_H_
#define TERVANE_LISTS_LIST_PROTOCOL_H_

// The request tervane-lists sends to the running program on the control socket, one JSON object
// per line: {"cmd":"lists", "action":..., "folder":<the folder of the lists the tool means>,
// ...}. The program refuses a request for another folder than its own. Answers carry "ok" and
// the members below; a refusal carries "error".
//
//   action "folder"  -> "folder": the program's folder of lists
//   action "rows"    "list", "match", "file": writes the rows into the transfer file
//                    -> "count"
//   action "add"     "list", "address", "name" (absent: no name) -> "result": "added" or
//                    "already listed"; an invalid entry is refused with kInvalidEmailMessage
//   action "remove"  "list", "address" -> "removed": rows removed
//   action "import"  "list", "file": the entries to import, as EncodeEntries writes them
//                    -> "imported", "alreadyListed", "invalidLines": [line, ...]
//   action "level"   "level" (absent: only read) -> "level": misc.secureclass
//   action "stats"   -> "secureclass", "spamnumber", "number", "harvest" (day number or null)

namespace tervane::list_protocol {

inline constexpr char kCommand[] = "lists";

inline constexpr char kFolderAction[] = "folder";
inline constexpr char kRowsAction[] = "rows";
inline constexpr char kAddAction[] = "add";
inline constexpr char kRemoveAction[] = "remove";
inline constexpr char kImportAction[] = "import";
inline constexpr char kLevelAction[] = "level";
inline constexpr char kStatsAction[] = "stats";

inline constexpr char kAdded[] = "added";
inline constexpr char kAlreadyListed[] = "already listed";

}  // namespace tervane::list_protocol

#endif  // TERVANE_LISTS_LIST_PROTOCOL_H_
