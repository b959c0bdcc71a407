#include "lists/list_operations.h"

#include <algorithm>

#include "engine/list_rows.h"
#include "store/filter_database.h"
#include "store/transaction.h"

namespace tervane {
namespace {

// How many entries an import looks at between two progress reports: a slice.
constexpr size_t kProgressStep = 1000;

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The general cursor of list, with the rows of a rolled-back change forgotten.
class ListChange {
 public:
  ListChange(FilterDatabase& db, ListKind list)
      : cursor_(CursorOf(db, list)), transaction_(ConnectionOf(db, list)) {}
  ~ListChange() {
    if (!committed_)
      cursor_.Close();
  }
  ListChange(const ListChange&) = delete;
  ListChange& operator=(const ListChange&) = delete;

  RecordCursor& cursor() { return cursor_; }
  void Commit() {
    transaction_.Commit();
    committed_ = true;
  }

 private:
  RecordCursor& cursor_;
  Transaction transaction_;
  bool committed_ = false;
};

}  // namespace

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [](char a, char b) { return FoldCase(a) == FoldCase(b); }) != text.end();
}

size_t ForEachListEntry(FilterDatabase& db, ListKind list, std::string_view match,
                        const std::function<void(const ListEntry&)>& each) {
  RecordCursor& cursor = CursorOf(db, list);
  const bool hasNameAndDate = IsUserList(list);
  size_t passed = 0;
  ListEntry entry;
  for (cursor.Query(WholeListQuery(list)); !cursor.Eof(); cursor.Next()) {
    entry.mail = cursor.FieldAsString("mail");
    if (hasNameAndDate) {
      entry.name = cursor.FieldAsString("name");
      entry.date.reset();
      if (!cursor.FieldIsNull("date"))
        entry.date = cursor.FieldAsDateTime("date");
    }
    if (match.empty() || ContainsIgnoringCase(entry.mail, match) ||
        ContainsIgnoringCase(entry.name, match)) {
      each(entry);
      ++passed;
    }
  }
  return passed;
}

AddResult AddAddress(FilterDatabase& db, ListKind list, std::string_view address,
                     std::optional<std::string_view> name, TDateTime today) {
  return AddListRow(CursorOf(db, list), LookupQuery(list), address, name, today,
                    ListWriter::kCommandLine);
}

size_t RemoveAddress(FilterDatabase& db, ListKind list, std::string_view address) {
  ListChange change(db, list);
  RecordCursor& cursor = change.cursor();
  size_t removed = 0;
  // The lookup's rows are every row with that address; each delete moves on to the next.
  for (cursor.Query(LookupQuery(list), address); !cursor.IsEmpty(); ++removed)
    cursor.Delete();
  change.Commit();
  return removed;
}

ImportResult ImportEntries(FilterDatabase& db, ListKind list, const EntrySource& source,
                           size_t total, TDateTime today, const ImportProgress& progress) {
  ListChange change(db, list);
  RecordCursor& cursor = change.cursor();
  const QueryText lookup = LookupQuery(list);
  ImportResult result;
  ListEntry entry;
  size_t done = 0;
  while (source(entry)) {
    const std::optional<std::string_view> name =
        entry.name.empty() ? std::nullopt : std::optional<std::string_view>(entry.name);
    switch (AddListRow(cursor, lookup, entry.mail, name, entry.date.value_or(today),
                       ListWriter::kCommandLine)) {
      case AddResult::kAdded:
        ++result.imported;
        break;
      case AddResult::kAlreadyListed:
        ++result.alreadyListed;
        break;
      case AddResult::kInvalid:
        result.invalidLines.push_back(entry.line);
        break;
    }
    if (++done % kProgressStep == 0 && progress)
      progress(done, total);
  }
  if (progress)
    progress(done, total);
  change.Commit();
  return result;
}

ImportResult ImportEntries(FilterDatabase& db, ListKind list, const std::vector<ListEntry>& entries,
                           TDateTime today, const ImportProgress& progress) {
  size_t next = 0;
  const EntrySource source = [&entries, &next](ListEntry& entry) {
    if (next == entries.size())
      return false;
    entry = entries[next++];
    return true;
  };
  return ImportEntries(db, list, source, entries.size(), today, progress);
}

}  // namespace tervane
