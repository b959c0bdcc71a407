#ifndef TERVANE_LISTS_LIST_OPERATIONS_H_
#define TERVANE_LISTS_LIST_OPERATIONS_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/date_time.h"
#include "engine/list_rows.h"
#include "lists/list_kind.h"

namespace tervane {

struct FilterDatabase;

// The list commands over an open filter database, the same for tervane-lists working on the
// files and for the running program answering it: plain C++ over the store's cursors (the
// general cursor of the list's file, each step a fresh query). Every function throws
// DatabaseError; a function that changes a list changes it whole or not at all.
// REQUIRES: the connection holding the list is open.

// One list row as the commands show, export and import it. The reference list has neither name
// nor date. line is where an imported row stood in its file (1-based), 0 elsewhere.
struct ListEntry {
  std::string mail;
  std::string name;
  std::optional<TDateTime> date;
  size_t line = 0;
  bool operator==(const ListEntry&) const = default;
};

// Calls each for every row of list whose address or name contains match, ASCII letter case
// ignored (every row when match is empty), in stored order, each as soon as it is read. Returns
// how many rows were passed on.
size_t ForEachListEntry(FilterDatabase& db, ListKind list, std::string_view match,
                        const std::function<void(const ListEntry&)>& each);

// Returns true iff text contains part with ASCII letter case ignored (lookups compare so).
bool ContainsIgnoringCase(std::string_view text, std::string_view part);

// Adds one row to a user list as the command line does (ListWriter::kCommandLine; mail =
// address as given, date = today, class 1, name when given), committed at once.
// REQUIRES: IsUserList(list).
AddResult AddAddress(FilterDatabase& db, ListKind list, std::string_view address,
                     std::optional<std::string_view> name, TDateTime today);

// Removes every row of a user list whose address is address (letter case ignored), all in one
// transaction. Returns how many rows went. REQUIRES: IsUserList(list).
size_t RemoveAddress(FilterDatabase& db, ListKind list, std::string_view address);

struct ImportResult {
  size_t imported = 0;
  size_t alreadyListed = 0;          // on the list before, or earlier in the same import
  std::vector<size_t> invalidLines;  // the line of each entry the command line's rule refuses
  bool operator==(const ImportResult&) const = default;
};

// Called during an import after each slice of entries and once after the last, inside its
// transaction, with the entries looked at so far and their number (0 when not known).
using ImportProgress = std::function<void(size_t done, size_t total)>;
// Hands out the entries of an import one at a time: false when there are no more.
using EntrySource = std::function<bool(ListEntry& entry)>;

// Adds every listable entry whose address is not listed yet (name when not empty, its date or
// else today), all in one transaction: when anything fails, or source or progress throws, the
// list is left exactly as it was and the error is thrown. Holds one entry of source at a time.
// REQUIRES: IsUserList(list).
ImportResult ImportEntries(FilterDatabase& db, ListKind list, const EntrySource& source,
                           size_t total, TDateTime today, const ImportProgress& progress = {});
ImportResult ImportEntries(FilterDatabase& db, ListKind list, const std::vector<ListEntry>& entries,
                           TDateTime today, const ImportProgress& progress = {});

}  // namespace tervane

#endif  // TERVANE_LISTS_LIST_OPERATIONS_H_
