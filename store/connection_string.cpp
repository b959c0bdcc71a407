#include "store/connection_string.h"

#include <algorithm>
#include <cctype>

#include "store/database_error.h"

namespace tervane {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// Reads one value starting at text[pos] up to the next ';' (or the end) and moves pos past it.
std::string ReadValue(std::string_view text, size_t& pos) {
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
  std::string value;
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
    const char quote = text[pos++];
    while (pos < text.size()) {
      if (text[pos] == quote) {
        if (pos + 1 < text.size() && text[pos + 1] == quote) {
          value += quote;
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      value += text[pos++];
    }
    while (pos < text.size() && text[pos] != ';')
      ++pos;  // blanks after the closing quote
  } else {
    const size_t end = std::min(text.find(';', pos), text.size());
    value = Trim(text.substr(pos, end - pos));
    pos = end;
  }
  if (pos < text.size())
    ++pos;  // the ';'
  return value;
}

}  // namespace

ConnectionTarget ParseConnectionString(std::string_view text) {
  ConnectionTarget target;
  bool hasSource = false;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t equals = text.find('=', pos);
    if (equals == std::string_view::npos)
      break;
    const std::string_view key = Trim(text.substr(pos, equals - pos));
    pos = equals + 1;
    std::string value = ReadValue(text, pos);
    if (EqualsIgnoringCase(key, "Data Source")) {
      target.dataSource = std::move(value);
      hasSource = true;
    } else if (EqualsIgnoringCase(key, "Jet OLEDB:Database Password")) {
      target.password = std::move(value);
    }
  }
  if (!hasSource || target.dataSource.empty()) {
    throw DatabaseError("The connection string names no data source: \"" + std::string(text) +
                        "\"");
  }
  return target;
}

std::string MakeConnectionString(const std::filesystem::path& file, std::string_view password) {
  std::string source = file.string();
  const bool needsQuotes = source.find_first_of(";\"'") != std::string::npos ||
                           (!source.empty() && (IsBlank(source.front()) || IsBlank(source.back())));
  if (needsQuotes) {
    std::string quoted = "\"";
    for (char c : source) {
      quoted += c;
      if (c == '"')
        quoted += '"';
    }
    source = quoted + "\"";
  }
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + source +
         ";Persist Security Info=False;Jet OLEDB:Database Password=" + std::string(password);
}

}  // namespace tervane
