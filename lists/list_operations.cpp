#include "lists/list_operations.h"

#include <algorithm>

#include "engine/address_rules.h"
#include "engine/list_rows.h"
#include "store/filter_database.h"
#include "store/transaction.h"

namespace tervane {
namespace {

// How many entries an import looks at between two progress reports.
constexpr size_t kProgressStep = 1000;

char FoldCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True iff text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (byte < 0x80) {
      ++i;
      continue;
    } else if ((byte & 0xE0) == 0xC0) {
      length = 2, code = byte & 0x1F, least = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3, code = byte & 0x0F, least = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4, code = byte & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size())
      return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
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

bool IsPlainText(std::string_view text) {
  return !HasControlCharacter(text) && IsUtf8(text);
}

bool IsListableAddress(std::string_view address) {
  return IsValidEmail(address) && IsPlainText(address) &&
         address.find_first_of(" \"<>") == std::string_view::npos;
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
  if (!IsListableAddress(address) || (name && !IsPlainText(*name)))
    return AddResult::kInvalid;
  RecordCursor& cursor = CursorOf(db, list);
  if (IsListed(cursor, LookupQuery(list), address))
    return AddResult::kAlreadyListed;
  AppendListRow(cursor, address, name, today);
  return AddResult::kAdded;
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

ImportResult ImportEntries(FilterDatabase& db, ListKind list, const std::vector<ListEntry>& entries,
                           TDateTime today, const ImportProgress& progress) {
  ListChange change(db, list);
  RecordCursor& cursor = change.cursor();
  const QueryText lookup = LookupQuery(list);
  ImportResult result;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (progress && i % kProgressStep == 0)
      progress(i, entries.size());
    const ListEntry& entry = entries[i];
    if (!IsListableAddress(entry.mail) || !IsPlainText(entry.name)) {
      result.invalidLines.push_back(entry.line);
    } else if (IsListed(cursor, lookup, entry.mail)) {
      ++result.alreadyListed;
    } else {
      const std::optional<std::string_view> name =
          entry.name.empty() ? std::nullopt : std::optional<std::string_view>(entry.name);
      AppendListRow(cursor, entry.mail, name, entry.date.value_or(today));
      ++result.imported;
    }
  }
  change.Commit();
  if (progress)
    progress(entries.size(), entries.size());
  return result;
}

}  // namespace tervane
