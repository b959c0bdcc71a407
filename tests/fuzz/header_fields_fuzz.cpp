// The header readers over any message text: where the header ends, however the text arrives
// in pieces, and the fields the mail client shows.
#include <algorithm>
#include <string>

#include "message/header_fields.h"
#include "tests/fuzz/fuzz_check.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

namespace {

// Searches text for the end of its header as a reader does that gets it in pieces of
// pieceSize bytes, resuming where the previous search left off.
tervane::HeaderEnd FindInPieces(std::string_view text, size_t pieceSize) {
  size_t from = 0;
  size_t searched = 0;  // the size of the text at the previous search
  for (size_t have = std::min(pieceSize, text.size());;
       have = std::min(have + pieceSize, text.size())) {
    const tervane::HeaderEnd end =
        tervane::FindHeaderEnd(text.substr(0, have), from, std::max(from, searched));
    searched = have;
    if (end.found || have == text.size()) {
      return end;
    }
    Check(end.nextLine <= have, "the search resumes inside the text seen");
    Check(end.nextLine == 0 || text[end.nextLine - 1] == '\n', "the search resumes at a line");
    from = end.nextLine;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);

  const tervane::HeaderEnd whole = tervane::FindHeaderEnd(text, 0);
  const tervane::HeaderSplit split = tervane::SplitMessage(text);
  Check(split.headerSize <= split.bodyStart && split.bodyStart <= text.size(),
        "the split lies inside the message");
  if (whole.found) {
    Check(split.headerSize == whole.split.headerSize && split.bodyStart == whole.split.bodyStart,
          "the split is the first blank line");
    const std::string_view blank =
        text.substr(split.headerSize, split.bodyStart - split.headerSize);
    Check(blank == "\n" || blank == "\r\n", "the header ends at a blank line");
  }
  // The piece size comes from the first byte, so that the fuzzer can steer it.
  const size_t pieceSize = size == 0 ? 1 : 1 + data[0] % 64;
  const tervane::HeaderEnd pieces = FindInPieces(text, pieceSize);
  Check(pieces.found == whole.found, "reading in pieces finds the same end");
  if (whole.found) {
    Check(pieces.split.headerSize == whole.split.headerSize, "the same header size in pieces");
  }

  const std::string_view headers = text.substr(0, split.headerSize);
  for (const char* name : {"From", "To", "Subject", "Date"}) {
    const std::string value = tervane::HeaderFieldValue(headers, name);
    tervane::FirstMailboxName(value);
    tervane::FirstMailboxAddress(value);
    tervane::DecodeHeaderText(value);
  }
  // The raw text as a field value, too: GMime sees every byte the fuzzer makes.
  tervane::FirstMailboxName(text);
  tervane::FirstMailboxAddress(text);
  tervane::DecodeHeaderText(text);
  return 0;
}
