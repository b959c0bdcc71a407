// A message's header section and a message given as its whole text.
#include "message/header_fields.h"

#include <gtest/gtest.h>

#include <QByteArrayView>
#include <string>

#include "message/text_message.h"

namespace tervane {
namespace {

using namespace std::string_literals;

TEST(HeaderFieldsTest, FindsTheFirstFieldOfThatNameUnfolded) {
  const std::string headers =
      "Received: from a\n\tby b\nX-From: wrong@example.org\nFrom-Name: wrong\n"
      "from: Ann\r\n <ann@example.org>\r\nFrom: second@example.org\nSubject:\n";
  EXPECT_EQ(HeaderFieldValue(headers, "From"), "Ann <ann@example.org>");
  EXPECT_EQ(HeaderFieldValue(headers, "Received"), "from a\tby b");
  EXPECT_EQ(HeaderFieldValue(headers, "Subject"), "");
  EXPECT_EQ(HeaderFieldValue(headers, "To"), "");
  EXPECT_EQ(HeaderFieldValue("", "From"), "");
}

TEST(HeaderFieldsTest, DecodesTheFirstMailboxsDisplayName) {
  struct Case {
    const char* name;
    std::string field;
    std::string displayName;
    std::string address;
  };
  const Case cases[] = {
      {"plain", "Ann Example <ann@example.org>", "Ann Example", "ann@example.org"},
      {"quoted with comma", "\"Doe, John\" <john@example.org>", "Doe, John", "john@example.org"},
      {"RFC 2047 B", "=?UTF-8?B?SsO8cmdlbg==?= <j@example.org>", "J\xc3\xbcrgen", "j@example.org"},
      {"RFC 2047 Q", "=?ISO-8859-1?Q?Ren=E9_Dupont?= <r@example.org>", "Ren\xc3\xa9 Dupont",
       "r@example.org"},
      {"bare address", "ann@example.org", "", "ann@example.org"},
      {"angle address only", "<ann@example.org>", "", "ann@example.org"},
      {"first of several", "Ann <a@example.org>, Bob <b@example.org>", "Ann", "a@example.org"},
      {"group", "Friends: Cat <c@example.org>, d@example.org;", "Cat", "c@example.org"},
      {"empty", "", "", ""},
      {"NUL byte ends the field", "An\0n <a@example.org>"s, "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstMailboxName(c.field), c.displayName) << c.name;
    if (!c.address.empty()) {
      EXPECT_EQ(FirstMailboxAddress(c.field), c.address) << c.name;
    }
  }
}

TEST(HeaderFieldsTest, HandsOutValidUtf8ForRawEightBitNames) {
  for (const std::string& field : {"\xff\xfe <x@example.org>"s, "=?UTF-8?B?/w==?= <x@example.org>"s,
                                   "\xc3 <x@example.org>"s}) {
    const std::string name = FirstMailboxName(field);
    const std::string subject = DecodeHeaderText(field);
    EXPECT_TRUE(QByteArrayView(name).isValidUtf8()) << name;
    EXPECT_TRUE(QByteArrayView(subject).isValidUtf8()) << subject;
  }
}

TEST(HeaderFieldsTest, DecodesSubjects) {
  EXPECT_EQ(DecodeHeaderText("Hello"), "Hello");
  EXPECT_EQ(DecodeHeaderText("=?UTF-8?Q?Gr=C3=BC=C3=9Fe?= from us"),
            "Gr\xc3\xbc\xc3\x9f"
            "e from us");
  EXPECT_EQ(DecodeHeaderText(""), "");
}

// A message piped to oectl reads as a stored one: headers without the blank line, the body after
// it, whatever the line ends; without a blank line it is all headers.
TEST(TextMessageTest, SplitsAsTheStoreReadsAMessage) {
  struct Case {
    const char* name;
    std::string text;
    std::string headers;
    std::string content;
  };
  const Case cases[] = {
      {"LF", "From: A <a@b.example>\nTo: B <b@c.example>\n\nbody\n",
       "From: A <a@b.example>\nTo: B <b@c.example>\n", "body\n"},
      {"CRLF", "From: A <a@b.example>\r\n\r\nbody\r\n", "From: A <a@b.example>\r\n", "body\r\n"},
      {"no blank line", "From: A <a@b.example>\n", "From: A <a@b.example>\n", ""},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextMessage message(c.text);
    EXPECT_EQ(message.GetHeaders(), c.headers);
    EXPECT_EQ(message.GetContent(), c.content);
  }
  TextMessage named("From: Ann <a@b.example>\nTo: \"Doe, Jo\" <j@c.example>\n\n");
  EXPECT_EQ(named.GetSenderName(), "Ann");
  EXPECT_EQ(named.GetRecipientName(), "Doe, Jo");
}

}  // namespace
}  // namespace tervane
