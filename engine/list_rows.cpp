#include "engine/list_rows.h"

#include <algorithm>

#include "engine/address_rules.h"
#include "store/database_error.h"
#include "store/record_cursor.h"

namespace tervane {
namespace {

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

// Appends the row and posts it; drops it again when writing fails.
void AppendListRow(RecordCursor& cursor, std::string_view address,
                   std::optional<std::string_view> name, TDateTime today) {
  cursor.Append();
  try {
    cursor.SetFieldAsString("mail", address);
    cursor.SetFieldAsDateTime("date", today);
    cursor.SetFieldAsInteger("class", 1);
    if (name) {
      cursor.SetFieldAsString("name", *name);
    }
    cursor.Post();
  } catch (const DatabaseError&) {
    // Otherwise the cursor would post the row again at its next move.
    cursor.Cancel();
    throw;
  }
}

bool Accepts(ListWriter writer, std::string_view address, std::optional<std::string_view> name) {
  switch (writer) {
    case ListWriter::kMarking:
      return !IsDomainEntry(address);
    case ListWriter::kSettingsWindow:
      return IsValidEmail(address) || IsDomainEntry(address);
    case ListWriter::kCommandLine:
      return PassesCommandLineRule(address) && (!name || IsPlainText(*name));
  }
  return false;
}

}  // namespace

bool IsPlainText(std::string_view text) {
  return !HasControlCharacter(text) && IsUtf8(text);
}

bool PassesCommandLineRule(std::string_view address) {
  return (IsValidEmail(address) || IsDomainEntry(address)) && IsPlainText(address) &&
         address.find_first_of(" \"<>") == std::string_view::npos;
}

bool IsListed(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  cursor.Query(lookup, address);
  return !cursor.IsEmpty();
}

AddResult AddListRow(RecordCursor& cursor, QueryText lookup, std::string_view address,
                     std::optional<std::string_view> name, TDateTime today, ListWriter writer) {
  if (!Accepts(writer, address, name))
    return AddResult::kInvalid;
  if (writer != ListWriter::kSettingsWindow && IsListed(cursor, lookup, address))
    return AddResult::kAlreadyListed;
  AppendListRow(cursor, address, name, today);
  return AddResult::kAdded;
}

ListMatch MatchInList(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  if (IsListed(cursor, lookup, address))
    return ListMatch::kAddress;
  const std::string domain = DomainEntryOf(address);
  if (!domain.empty() && IsListed(cursor, lookup, domain))
    return ListMatch::kDomain;
  return ListMatch::kNone;
}

bool DeleteFirstListMatch(RecordCursor& cursor, QueryText lookup, std::string_view address) {
  if (!IsListed(cursor, lookup, address))
    return false;
  cursor.Delete();
  return true;
}

}  // namespace tervane
