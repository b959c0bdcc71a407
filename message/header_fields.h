#ifndef TERVANE_MESSAGE_HEADER_FIELDS_H_
#define TERVANE_MESSAGE_HEADER_FIELDS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tervane {

// Where a message's header section ends: the blank line ("\n" or "\r\n") that closes it.
struct HeaderSplit {
  size_t headerSize;  // bytes of header lines before the blank line
  size_t bodyStart;   // first byte after the blank line
};

// What a search for the end of the header section found.
struct HeaderEnd {
  bool found;
  HeaderSplit split;  // when found
  size_t nextLine;    // where to go on looking once more text has come
};

// The first blank line in text at or after the line starting at from. Line ends are looked for
// from searchFrom on, so text that arrives in pieces is searched once: pass the size the text
// had at the previous search, before which the unfinished line from holds no line end.
// REQUIRES: from is 0 or just after a '\n'; no '\n' in text between from and searchFrom.
HeaderEnd FindHeaderEnd(std::string_view text, size_t from, size_t searchFrom = 0);

// The split of a whole message: without a blank line it is all headers and no body.
HeaderSplit SplitMessage(std::string_view text);

// The unfolded value of the first header field named name (letter case ignored), or empty.
std::string HeaderFieldValue(std::string_view headers, std::string_view name);

// The Message-ID field of a header section without the blanks around it, or empty.
std::string MessageIdField(std::string_view headers);

// True iff the message came through a mailing list: it carries List-Id or List-Post, or a
// Precedence of list or bulk.
bool IsMailingListMessage(std::string_view headers);

// The display name of the first mailbox of an address field, RFC 2047 decoded, or empty.
std::string FirstMailboxName(std::string_view fieldValue);
// The address of the first mailbox of an address field, or empty.
std::string FirstMailboxAddress(std::string_view fieldValue);
// An unstructured field (a Subject) with its RFC 2047 words decoded.
std::string DecodeHeaderText(std::string_view fieldValue);

}  // namespace tervane

#endif  // TERVANE_MESSAGE_HEADER_FIELDS_H_
