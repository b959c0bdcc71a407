#include "lists/list_file.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tervane {

void PrintTo(const ListEntry& entry, std::ostream* os) {
  *os << entry.line << ": \"" << entry.mail << "\" \"" << entry.name << "\" "
      << DateText(entry.date);
}

namespace {

using namespace std::string_literals;

const TDateTime kJan31 = EncodeDateTime(2024, 1, 31);

struct ParseCase {
  const char* name;
  std::string content;
  ListFileFormat format;
  std::vector<ListEntry> entries;
};
void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseListFileTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseListFileTest, ReadsEntriesWithTheirLines) {
  EXPECT_EQ(ParseListFile(GetParam().content, GetParam().format), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ParseListFileTest,
    ::testing::Values(ParseCase{"TextCommentsBlanksAndNames",
                                "# my friends\n\n  ann@x.org \t Ann Smith \n\t\nbob@y.org\n",
                                ListFileFormat::kText,
                                {{"ann@x.org", "Ann Smith", {}, 3}, {"bob@y.org", "", {}, 5}}},
                      ParseCase{"TextCrLfAndByteOrderMark",
                                "\xEF\xBB\xBF"
                                "ann@x.org\r\nbob@y.org\tBob\r\n",
                                ListFileFormat::kText,
                                {{"ann@x.org", "", {}, 1}, {"bob@y.org", "Bob", {}, 2}}},
                      // What `show` prints reads back: the date column is passed over.
                      ParseCase{"TextShowOutput",
                                "ann@x.org\tAnn\t2024-01-31\n",
                                ListFileFormat::kText,
                                {{"ann@x.org", "Ann", {}, 1}}},
                      ParseCase{"TextInvalidLinesAreKeptForTheImportToCount",
                                "not an address\n",
                                ListFileFormat::kText,
                                {{"not an address", "", {}, 1}}},
                      ParseCase{"CsvColumnsInAnyOrderAndCase",
                                "Name,MAIL\r\nAnn,ann@x.org\r\n",
                                ListFileFormat::kCsv,
                                {{"ann@x.org", "Ann", {}, 2}}},
                      ParseCase{"CsvQuotedCommaQuoteAndLineBreak",
                                "mail,name,date\n"
                                "ann@x.org,\"Smith, \"\"Ann\"\"\",2024-01-31\n"
                                "\n"
                                "\"bob@y.org\",\"two\nlines\",not a date\n",
                                ListFileFormat::kCsv,
                                {{"ann@x.org", "Smith, \"Ann\"", kJan31, 2},
                                 {"bob@y.org", "two\nlines", {}, 4}}},
                      ParseCase{"EmptyFile", "", ListFileFormat::kText, {}},
                      ParseCase{"CsvHeaderOnly", "mail,name,date\n", ListFileFormat::kCsv, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadFileCase {
  const char* name;
  std::string content;
  ListFileFormat format;
  const char* message;
};
void PrintTo(const BadFileCase& c, std::ostream* os) {
  *os << c.name;
}

class BadListFileTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadListFileTest, IsRefusedWhole) {
  try {
    ParseListFile(GetParam().content, GetParam().format);
    FAIL() << "accepted";
  } catch (const ListFileError& e) {
    EXPECT_EQ(std::string(e.what()), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, BadListFileTest,
    ::testing::Values(
        BadFileCase{"NulByte",
                    "ann@x.org\n\x7f"
                    "ELF\0\x01\x02"s,
                    ListFileFormat::kText, "line 2: a NUL byte: this is not a text file"},
        BadFileCase{"MegabyteLine", "ann@x.org\n" + std::string(1 << 20, 'a'),
                    ListFileFormat::kText,
                    "line 2: longer than 4096 bytes: this is not a list of addresses"},
        BadFileCase{"CsvWithoutMailColumn", "address,name\nann@x.org,Ann\n", ListFileFormat::kCsv,
                    "line 1: the header has no column \"mail\" (expected mail,name,date)"},
        BadFileCase{"CsvRowWithMissingColumns", "mail,name,date\nann@x.org,Ann\n",
                    ListFileFormat::kCsv, "line 2: 2 fields where the header has 3"},
        BadFileCase{"CsvQuoteLeftOpen", "mail\n\"ann@x.org\nbob@y.org\n", ListFileFormat::kCsv,
                    "line 2: a quoted field is not closed"},
        BadFileCase{"CsvTextAfterClosingQuote", "mail\n\"ann\"@x.org\n", ListFileFormat::kCsv,
                    "line 2: text after a closing quote"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListFile, ExportReadsBackInBothFormats) {
  const std::vector<ListEntry> rows = {
      {"ann@x.org", "Smith, \"Ann\"", kJan31, 0},
      {"bob@y.org", "two\nlines", {}, 0},
      {"carl@z.org", "", kJan31, 0},
  };
  for (const ListFileFormat format : {ListFileFormat::kCsv, ListFileFormat::kText}) {
    std::string file = ListFileHeader(format, ListKind::kWhite);
    for (const ListEntry& row : rows)
      file += ListFileLine(format, row);
    const std::vector<ListEntry> read = ParseListFile(file, format);
    ASSERT_EQ(read.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(read[i].mail, rows[i].mail);
      if (format == ListFileFormat::kCsv) {  // plain text has no dates, names end a line
        EXPECT_EQ(read[i].name, rows[i].name);
        EXPECT_EQ(read[i].date, rows[i].date);
      }
    }
  }
}

TEST(ListFile, FormatAndDates) {
  EXPECT_EQ(ListFileFormatFor("backup/WHITE.CSV"), ListFileFormat::kCsv);
  EXPECT_EQ(ListFileFormatFor("white.txt"), ListFileFormat::kText);
  EXPECT_EQ(ListFileFormatFor("csv"), ListFileFormat::kText);
  EXPECT_EQ(ParseDateText("2024-02-29"), EncodeDateTime(2024, 2, 29));
  EXPECT_EQ(DateText(ParseDateText("2024-02-29")), "2024-02-29");
  for (const char* bad : {"2023-02-29", "2024-01-31x", "31.01.2024", "", "2024--01"})
    EXPECT_EQ(ParseDateText(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace tervane
