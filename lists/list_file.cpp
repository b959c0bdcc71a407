#include "lists/list_file.h"

#include <algorithm>
#include <charconv>

namespace tervane {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string LineError(size_t line, std::string_view what) {
  return "line " + std::to_string(line) + ": " + std::string(what);
}

// The physical lines of content (without their LF or CRLF), after checking that it is text.
std::vector<std::string_view> TextLines(std::string_view content) {
  if (content.starts_with(kByteOrderMark))
    content.remove_prefix(kByteOrderMark.size());
  std::vector<std::string_view> lines;
  while (!content.empty()) {
    const size_t end = std::min(content.find('\n'), content.size());
    std::string_view line = content.substr(0, end);
    content.remove_prefix(std::min(end + 1, content.size()));
    if (line.ends_with('\r'))
      line.remove_suffix(1);
    const size_t number = lines.size() + 1;
    if (line.find('\0') != std::string_view::npos)
      throw ListFileError(LineError(number, "a NUL byte: this is not a text file"));
    if (line.size() > kMaxListLineBytes) {
      throw ListFileError(LineError(number, "longer than " + std::to_string(kMaxListLineBytes) +
                                                " bytes: this is not a list of addresses"));
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<ListEntry> ParseText(const std::vector<std::string_view>& lines) {
  std::vector<ListEntry> entries;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = Trim(lines[i]);
    if (line.empty() || line.starts_with('#'))
      continue;
    const size_t tab = line.find('\t');
    ListEntry entry;
    entry.line = i + 1;
    entry.mail = Trim(line.substr(0, tab));
    if (tab != std::string_view::npos) {
      const std::string_view rest = line.substr(tab + 1);
      entry.name = Trim(rest.substr(0, rest.find('\t')));
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

// One CSV record: its fields and the line it begins on.
struct CsvRecord {
  size_t line = 0;
  std::vector<std::string> fields;
};

// Reads the CSV records of lines (RFC 4180: fields quoted with '"', a doubled quote inside
// quotes, line ends inside quotes belong to the field). Blank lines are no records.
std::vector<CsvRecord> CsvRecords(const std::vector<std::string_view>& lines) {
  std::vector<CsvRecord> records;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (Trim(lines[i]).empty())
      continue;
    CsvRecord record;
    record.line = i + 1;
    std::string field;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the field was quoted and its quote is closed
    for (;;) {
      const std::string_view line = lines[i];
      for (size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        if (quoted) {
          if (c != '"') {
            field += c;
          } else if (k + 1 < line.size() && line[k + 1] == '"') {
            field += '"';
            ++k;
          } else {
            quoted = false;
            wasQuoted = true;
          }
        } else if (c == ',') {
          record.fields.push_back(std::move(field));
          field.clear();
          wasQuoted = false;
        } else if (wasQuoted) {
          if (c != ' ' && c != '\t')
            throw ListFileError(LineError(i + 1, "text after a closing quote"));
        } else if (c == '"' && Trim(field).empty()) {
          field.clear();
          quoted = true;
        } else {
          field += c;
        }
      }
      if (!quoted)
        break;
      if (++i == lines.size())
        throw ListFileError(LineError(record.line, "a quoted field is not closed"));
      field += '\n';
    }
    record.fields.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

std::optional<size_t> ColumnNamed(const std::vector<std::string>& header, std::string_view name) {
  for (size_t i = 0; i < header.size(); ++i) {
    const std::string_view column = Trim(header[i]);
    if (std::equal(column.begin(), column.end(), name.begin(), name.end(),
                   [](char a, char b) { return (a | 0x20) == b; }))
      return i;
  }
  return std::nullopt;
}

std::vector<ListEntry> ParseCsv(const std::vector<std::string_view>& lines) {
  const std::vector<CsvRecord> records = CsvRecords(lines);
  if (records.empty())
    return {};
  const std::vector<std::string>& header = records.front().fields;
  const std::optional<size_t> mail = ColumnNamed(header, "mail");
  const std::optional<size_t> name = ColumnNamed(header, "name");
  const std::optional<size_t> date = ColumnNamed(header, "date");
  if (!mail) {
    throw ListFileError(LineError(records.front().line,
                                  "the header has no column \"mail\" (expected mail,name,date)"));
  }
  std::vector<ListEntry> entries;
  for (size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    if (record.fields.size() != header.size()) {
      throw ListFileError(LineError(record.line, std::to_string(record.fields.size()) +
                                                     " fields where the header has " +
                                                     std::to_string(header.size())));
    }
    ListEntry entry;
    entry.line = record.line;
    entry.mail = Trim(record.fields[*mail]);
    if (name)
      entry.name = Trim(record.fields[*name]);
    if (date)
      entry.date = ParseDateText(Trim(record.fields[*date]));
    entries.push_back(std::move(entry));
  }
  return entries;
}

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos)
    return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"')
      out += '"';
  }
  return out + '"';
}

// text with its tabs and line ends as blanks, for a field of plain text.
std::string OnOneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
  return text;
}

}  // namespace

std::optional<ListFileFormat> ListFileFormatNamed(std::string_view word) {
  if (word == "text")
    return ListFileFormat::kText;
  if (word == "csv")
    return ListFileFormat::kCsv;
  return std::nullopt;
}

ListFileFormat ListFileFormatFor(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return static_cast<char>(c | 0x20); });
  return extension == ".csv" ? ListFileFormat::kCsv : ListFileFormat::kText;
}

std::vector<ListEntry> ParseListFile(std::string_view content, ListFileFormat format) {
  const std::vector<std::string_view> lines = TextLines(content);
  return format == ListFileFormat::kCsv ? ParseCsv(lines) : ParseText(lines);
}

std::string ListFileHeader(ListFileFormat format, ListKind list) {
  if (format == ListFileFormat::kCsv)
    return "mail,name,date\n";
  return "# " + std::string(ListKindName(list)) + " list: address, tab, name\n";
}

std::string ListFileLine(ListFileFormat format, const ListEntry& entry) {
  if (format == ListFileFormat::kCsv)
    return CsvField(entry.mail) + ',' + CsvField(entry.name) + ',' + DateText(entry.date) + '\n';
  const std::string mail = OnOneLine(entry.mail);
  return entry.name.empty() ? mail + '\n' : mail + '\t' + OnOneLine(entry.name) + '\n';
}

std::string DateText(std::optional<TDateTime> date) {
  return date ? FormatIsoDate(*date) : std::string();
}

std::optional<TDateTime> ParseDateText(std::string_view text) {
  int parts[3] = {};
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (at == end || *at != '-')
        return std::nullopt;
      ++at;
    }
    const auto [next, error] = std::from_chars(at, end, parts[i]);
    if (error != std::errc() || next == at)
      return std::nullopt;
    at = next;
  }
  TDateTime date = kZeroDate;
  if (at != end || !TryEncodeDate(parts[0], parts[1], parts[2], &date))
    return std::nullopt;
  return date;
}

}  // namespace tervane
