#include "engine/harvest.h"

#include <memory>
#include <optional>
#include <string>

#include "engine/address_rules.h"
#include "engine/clock.h"
#include "engine/internet_date.h"
#include "engine/list_rows.h"
#include "log/decision_log.h"
#include "mailapi/extension_interface.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

constexpr std::string_view kDateMarker = "Date:";
constexpr std::size_t kDateTextOffset = 6;  // "Date:" and the character after it
constexpr std::size_t kDateTextLength = 32;
constexpr TDateTime kUndatedAge = 10;
constexpr std::string_view kReturnPathMarker = "Return-Path: <";
constexpr std::string_view kFromLineMarker = "From:";
constexpr std::string_view kNextFromLineMarker = "\nFrom:";
constexpr std::string_view kBlanks = " \t\r";

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The first maxCodePoints UTF-8 code points of text (a stray continuation byte counts with the
// code point before it).
std::string_view FirstCodePoints(std::string_view text, std::size_t maxCodePoints) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < text.size(); ++count) {
    if (count == maxCodePoints)
      break;
    ++end;
    while (end < text.size() && IsContinuationByte(text[end]))
      ++end;
  }
  return text.substr(0, end);
}

// text without its first n code points.
std::string_view DropCodePoints(std::string_view text, std::size_t n) {
  return text.substr(FirstCodePoints(text, n).size());
}

// The text of the first From line after its name, without the line break; nothing when the
// header has no From line.
std::optional<std::string_view> FromLineText(std::string_view headerText) {
  size_t start = 0;
  if (!headerText.starts_with(kFromLineMarker)) {
    start = headerText.find(kNextFromLineMarker);
    if (start == std::string_view::npos)
      return std::nullopt;
    ++start;  // past the line feed
  }
  const std::string_view rest = headerText.substr(start + kFromLineMarker.size());
  return rest.substr(0, rest.find('\n'));
}

// The address a sent message was sent from: the sender rule's when the header has a
// Return-Path, else the address on the From line itself (between its angle brackets, or the
// line's bare text), never reaching into a later line as the sender rule may. Empty for none.
std::string SentMessageSender(std::string_view headerText) {
  if (headerText.find(kReturnPathMarker) != std::string_view::npos)
    return ExtractSenderAddress(headerText);
  const std::optional<std::string_view> line = FromLineText(headerText);
  if (!line)
    return {};
  const size_t open = line->find('<');
  const size_t close = open == std::string_view::npos ? open : line->find('>', open);
  if (close != std::string_view::npos)
    return std::string(line->substr(open + 1, close - open - 1));
  const size_t first = line->find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  return std::string(line->substr(first, line->find_last_not_of(kBlanks) - first + 1));
}

// True iff recipient is the sent message's own sender address (letter case ignored): a note
// to oneself would otherwise white-list the user's own address, which spam forges as sender.
bool IsOwnAddress(std::string_view recipient, std::string_view headerText) {
  const std::string sender = SentMessageSender(headerText);
  return !sender.empty() && SameAddress(recipient, sender);
}

}  // namespace

TDateTime SentMessageDate(std::string_view headerText, TDateTime today) {
  const auto marker = headerText.find(kDateMarker);
  if (marker == std::string_view::npos)
    return today - kUndatedAge;
  // The marker is ASCII, so the sixth character on is the sixth code point on.
  const std::string_view rest = DropCodePoints(headerText.substr(marker), kDateTextOffset);
  return ParseInternetDate(FirstCodePoints(rest, kDateTextLength));
}

void HarvestSentRecipients(FilterContext& context) {
  RecordCursor& cursor = context.database.ADODataSet1;
  cursor.Query(QueryText::kMiscWhereId1);
  const TDateTime watermark = cursor.FieldAsDateTime("date");

  const std::unique_ptr<IOEFolder> sent = context.folderManager.GetSentFolder();
  if (!sent)
    return;
  const TDateTime today = context.clock.Today();
  int walked = 0;
  int newer = 0;
  int added = 0;
  int unreadable = 0;
  for (std::unique_ptr<IOEMessage> message = sent->GetFirstMessage(); message;
       message = sent->GetNextMessage()) {
    ++walked;
    std::string headers;
    std::string name;
    try {
      headers = message->GetHeaders();
      name = message->GetRecipientName();
    } catch (const MessageGone&) {
      continue;
    } catch (const MessageUnreadable&) {
      ++unreadable;
      continue;
    }
    if (SentMessageDate(headers, today) <= watermark)
      continue;
    ++newer;
    const std::string recipient = ExtractRecipientAddress(headers);
    if (IsOwnAddress(recipient, headers))
      continue;
    added += AddListRow(cursor, QueryText::kWhiteTableLookup, recipient, name, today,
                        ListWriter::kMarking) == AddResult::kAdded;
  }

  // A message that could not be read is looked at again by the next harvest.
  if (unreadable == 0) {
    cursor.Query(QueryText::kMisc);
    cursor.Edit();
    cursor.SetFieldAsDateTime("date", today);
    cursor.Post();
  }
  context.log.Write(
      "harvest: " + std::to_string(added) + " addresses added to the white list from " +
      std::to_string(newer) + " of " + std::to_string(walked) + " sent messages newer than " +
      FormatIsoDate(watermark) + "; " +
      (unreadable == 0
           ? "watermark now " + FormatIsoDate(today)
           : std::to_string(unreadable) + " could not be read, so the watermark stays"));
}

}  // namespace tervane
