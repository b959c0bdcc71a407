#ifndef TERVANE_ENGINE_LIST_ROWS_H_
#define TERVANE_ENGINE_LIST_ROWS_H_

#include <optional>
#include <string_view>

#include "engine/date_time.h"
#include "store/query_text.h"

namespace tervane {

class RecordCursor;

// The rows of the white and black lists: the one place where a row is looked up, added and
// deleted, and where the rules for what may go on a list live. Every function that touches the
// database throws DatabaseError.

// A list holds addresses and domain entries ("@example.com", IsDomainEntry), which stand for
// every address with exactly that domain.

// Who adds a row, which decides what it takes and whether an address already listed is added
// again.
enum class ListWriter {
  // Spam, Not Spam and the harvest: the address as the sender and recipient rules give it, with
  // no test of its own but that it is no domain entry (they list exact addresses only); once.
  kMarking,
  // The settings window's Add: what the window's rule takes (IsValidEmail) or a domain entry,
  // exactly as typed, and again when it is listed already.
  kSettingsWindow,
  // tervane-lists and list files: what the command line's stricter rule takes
  // (PassesCommandLineRule), with a name that is plain text; once.
  kCommandLine,
};

enum class AddResult {
  kAdded,
  kAlreadyListed,  // a row with that address (letter case ignored) is there: nothing added
  kInvalid,        // the writer's rule refuses the address or the name: nothing added
};

// Returns true iff text is well-formed UTF-8 without control characters (a line of text).
bool IsPlainText(std::string_view text);

// The command line's rule: IsValidEmail accepts address (the window's rule) or it is a domain
// entry, it is plain text, and it holds no blank, quote or angle bracket, as an address taken
// from between a header's angle brackets does not (so "Ann <ann@x.org>", which could never match
// a sender, is refused).
bool PassesCommandLineRule(std::string_view address);

// Returns true iff a lookup (one of the three lookup queries) finds a row for address.
bool IsListed(RecordCursor& cursor, QueryText lookup, std::string_view address);

// How a list holds a sender: by its address, else by its domain entry, else not at all.
enum class ListMatch { kNone, kAddress, kDomain };

// Looks address up in the list the lookup searches: the address first, then its domain entry
// (two indexed lookups at most).
ListMatch MatchInList(RecordCursor& cursor, QueryText lookup, std::string_view address);

// Adds a list row to the list that lookup searches, through its open cursor: mail = address
// unchanged, date = today, class 1, and name when given (else left unset); posted at once,
// unless writer's rules say otherwise. When writing fails, the new row is dropped (the cursor
// does not stay in insert mode) and the error thrown.
AddResult AddListRow(RecordCursor& cursor, QueryText lookup, std::string_view address,
                     std::optional<std::string_view> name, TDateTime today, ListWriter writer);

// Deletes the first row the lookup finds for address, if any; further duplicates stay. Returns
// true iff it deleted one.
bool DeleteFirstListMatch(RecordCursor& cursor, QueryText lookup, std::string_view address);

}  // namespace tervane

#endif  // TERVANE_ENGINE_LIST_ROWS_H_
