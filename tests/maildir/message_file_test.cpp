#include "maildir/message_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArrayView>
#include <string>

#include "tests/support/maildir_files.h"
#include "tests/support/temp_dir.h"

namespace tervane {
namespace {

using testing::TempDir;
using testing::WriteFile;

using namespace std::string_literals;

struct SplitCase {
  const char* name;
  std::string file;
  std::string headers;
  std::string body;
};

TEST(MessageFileTest, SplitsHeadersFromTheBodyAtTheFirstBlankLine) {
  const SplitCase cases[] = {
      {"LF", "A: 1\nB: 2\n\nbody\n\nmore\n", "A: 1\nB: 2\n", "body\n\nmore\n"},
      {"CRLF", "A: 1\r\nB: 2\r\n\r\nbody\r\n", "A: 1\r\nB: 2\r\n", "body\r\n"},
      {"CRLF headers, LF blank line", "A: 1\r\n\nbody", "A: 1\r\n", "body"},
      {"folded line kept as is", "A: 1\n  2\n\nb", "A: 1\n  2\n", "b"},
      {"no blank line", "A: 1\nB: 2\n", "A: 1\nB: 2\n", ""},
      {"no final line break", "A: 1\nB: 2", "A: 1\nB: 2", ""},
      {"starts with a blank line", "\nA: not a header\n", "", "A: not a header\n"},
      {"starts with CRLF", "\r\nbody", "", "body"},
      {"empty file", "", "", ""},
      {"nothing after the blank line", "A: 1\n\n", "A: 1\n", ""},
      {"line of spaces is no blank line", "A: 1\n \nB: 2\n\nb", "A: 1\n \nB: 2\n", "b"},
      {"NUL bytes", "A: x\0y\n\nb\0dy"s, "A: x\0y\n"s, "b\0dy"s},
      {"invalid UTF-8", "A: \xff\xfe\xc3\n\n\x80\x81", "A: \xff\xfe\xc3\n", "\x80\x81"},
      {"lone CR is not a line break", "A: 1\r\rB\n\nb", "A: 1\r\rB\n", "b"},
  };
  TempDir temp;
  for (const SplitCase& c : cases) {
    const std::filesystem::path file = temp / "message";
    WriteFile(file, c.file);
    EXPECT_EQ(ReadMessageHeaders(file), c.headers) << c.name;
    EXPECT_EQ(ReadMessageBody(file), c.body) << c.name;
  }
}

TEST(MessageFileTest, FindsTheBlankLineAcrossReadChunks) {
  // Header sections around the size read at once, so the blank line falls on every side of a
  // chunk's end.
  TempDir temp;
  for (size_t size = 16 * 1024 - 4; size <= 16 * 1024 + 4; ++size) {
    for (const std::string& lineBreak : {"\n"s, "\r\n"s}) {
      std::string headers = "X: ";
      headers.append(size - headers.size() - lineBreak.size(), 'a');
      headers += lineBreak;
      const std::filesystem::path file = temp / "message";
      WriteFile(file, headers + lineBreak + "body" + lineBreak);
      EXPECT_EQ(ReadMessageHeaders(file), headers) << size;
      EXPECT_EQ(ReadMessageBody(file), "body" + lineBreak) << size;
    }
  }
}

TEST(MessageFileTest, ReadsTheHeadersOfAMessageWithAHugeBody) {
  TempDir temp;
  const std::filesystem::path file = temp / "message";
  const std::string headers = "From: ann@example.org\nSubject: big\n";
  WriteFile(file, headers + "\nstart of a 50 MB body\n");
  ASSERT_EQ(::truncate(file.c_str(), 50 * 1024 * 1024), 0);
  EXPECT_EQ(ReadMessageHeaders(file), headers);
}

TEST(MessageFileTest, ReadsAtMostAMegabyteOfHeadersAndOnlyWholeLines) {
  const std::string line = "Received: from relay.example.org by mx.example.net\n";
  std::string manyLines;
  while (manyLines.size() < 2 * kMaxHeaderBytes) {
    manyLines += line;
  }
  const size_t wholeLinesInCap = kMaxHeaderBytes / line.size() * line.size();
  std::string justFits = "X: " + std::string(kMaxHeaderBytes - 5, 'a') + "\n";
  struct Case {
    const char* name;
    std::string file;
    std::string headers;
  };
  const Case cases[] = {
      {"20 MB line without a line end", std::string(20 * 1024 * 1024, 'x'), ""},
      {"2 MB of header lines", manyLines + "\nbody\n", manyLines.substr(0, wholeLinesInCap)},
      {"a header of just under 1 MiB", justFits + "\nbody\n", justFits},
  };
  TempDir temp;
  for (const Case& c : cases) {
    const std::filesystem::path file = temp / "message";
    WriteFile(file, c.file);
    EXPECT_EQ(ReadMessageHeaders(file), c.headers) << c.name;
  }
}

TEST(MessageFileTest, AMissingFileGivesNothing) {
  TempDir temp;
  EXPECT_FALSE(ReadMessageHeaders(temp / "gone"));
  EXPECT_FALSE(ReadMessageBody(temp / "gone"));
}

}  // namespace
}  // namespace tervane
