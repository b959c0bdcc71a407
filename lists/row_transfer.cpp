#include "lists/row_transfer.h"

#include <charconv>

namespace tervane {
namespace {

namespace fs = std::filesystem;

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
}

std::string Unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size())
      throw TransferError("row file: a line ends in a backslash");
    switch (text[i]) {
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        out += text[i];
    }
  }
  return out;
}

template <typename Number>
Number ParseNumber(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw TransferError("row file: \"" + std::string(text) + "\" is not a number");
  return value;
}

}  // namespace

void AppendEncodedEntry(std::string& out, const ListEntry& entry) {
  char number[32];
  out.append(number, std::to_chars(number, number + sizeof number, entry.line).ptr);
  out += '\t';
  AppendEscaped(out, entry.mail);
  out += '\t';
  AppendEscaped(out, entry.name);
  out += '\t';
  if (entry.date)
    out.append(number, std::to_chars(number, number + sizeof number, *entry.date).ptr);
  out += '\n';
}

std::string EncodeEntries(const std::vector<ListEntry>& entries) {
  std::string out;
  for (const ListEntry& entry : entries)
    AppendEncodedEntry(out, entry);
  return out;
}

std::vector<ListEntry> DecodeEntries(std::string_view text) {
  std::vector<ListEntry> entries;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos)
      throw TransferError("row file: the last line is not complete");
    std::string_view fields[4];
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    for (int i = 0; i < 4; ++i) {
      const size_t tab = i < 3 ? line.find('\t') : line.size();
      if (tab == std::string_view::npos)
        throw TransferError("row file: a line has fewer than four fields");
      fields[i] = line.substr(0, tab);
      line.remove_prefix(std::min(tab + 1, line.size()));
    }
    ListEntry entry;
    entry.line = ParseNumber<size_t>(fields[0]);
    entry.mail = Unescaped(fields[1]);
    entry.name = Unescaped(fields[2]);
    if (!fields[3].empty())
      entry.date = ParseNumber<double>(fields[3]);
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace tervane
