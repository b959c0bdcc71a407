#ifndef TERVANE_LISTS_LIST_FILE_H_
#define TERVANE_LISTS_LIST_FILE_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/date_time.h"
#include "lists/list_operations.h"

namespace tervane {

// The two file formats lists are imported from and exported to, as plain text functions.
//
// Plain text: one address per line, optionally followed by a tab and a name (anything after a
// further tab is ignored, so the tab-separated output of `show` reads back); blank lines and
// lines beginning with '#' are skipped. CSV: a header naming the columns, of which "mail" is
// required and "name" and "date" (YYYY-MM-DD) are read when present (letter case ignored), then
// one row per record, quoted as RFC 4180 has it. Both: UTF-8, LF or CRLF line ends, an opening
// byte-order mark ignored, blanks around addresses and names dropped.
enum class ListFileFormat { kText, kCsv };

// "text" or "csv"; nothing for any other word.
std::optional<ListFileFormat> ListFileFormatNamed(std::string_view word);
// CSV for a name ending in ".csv" (letter case ignored), plain text for any other.
ListFileFormat ListFileFormatFor(const std::filesystem::path& file);

// No line of a list is longer than this; a longer one means the file is no list.
inline constexpr size_t kMaxListLineBytes = 4096;

// Content that is no list at all; what() says why and on which line.
class ListFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Returns the entries of content in file order, each with its line number, valid or not (the
// import judges them). Throws ListFileError for content that is not a list: a NUL byte, a line
// longer than kMaxListLineBytes, a CSV without a "mail" column, a CSV row whose number of fields
// differs from the header's, a quote left open or text after a closing quote.
std::vector<ListEntry> ParseListFile(std::string_view content, ListFileFormat format);

// What an exported file begins with (a comment naming the list, or the CSV header), and one
// entry as a line of the file, line end included. Plain text writes tabs and line ends inside
// an address or a name as blanks.
std::string ListFileHeader(ListFileFormat format, ListKind list);
std::string ListFileLine(ListFileFormat format, const ListEntry& entry);

// A date as YYYY-MM-DD, empty for none; and back (nothing for any other text).
std::string DateText(std::optional<TDateTime> date);
std::optional<TDateTime> ParseDateText(std::string_view text);

}  // namespace tervane

#endif  // TERVANE_LISTS_LIST_FILE_H_
