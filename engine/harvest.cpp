#include "engine/harvest.h"

#include <memory>
#include <string>

#include "engine/address_rules.h"
#include "engine/clock.h"
#include "engine/internet_date.h"
#include "engine/list_rows.h"
#include "log/decision_log.h"
#include "mailclient/extension_interface.h"
#include "store/filter_database.h"

namespace tervane {
namespace {

constexpr std::string_view kDateMarker = "Date:";
constexpr std::size_t kDateTextOffset = 6;  // "Date:" and the character after it
constexpr std::size_t kDateTextLength = 32;
constexpr TDateTime kUndatedAge = 10;

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
  for (std::unique_ptr<IOEMessage> message = sent->GetFirstMessage(); message;
       message = sent->GetNextMessage()) {
    ++walked;
    const std::string headers = message->GetHeaders();
    const std::string name = message->GetRecipientName();
    if (SentMessageDate(headers, today) > watermark) {
      ++newer;
      added += AddToListIfAbsent(cursor, QueryText::kWhiteTableLookup,
                                 ExtractRecipientAddress(headers), name, today);
    }
  }

  cursor.Query(QueryText::kMisc);
  cursor.Edit();
  cursor.SetFieldAsDateTime("date", today);
  cursor.Post();
  context.log.Write("harvest: " + std::to_string(added) +
                    " addresses added to the white list from " + std::to_string(newer) + " of " +
                    std::to_string(walked) + " sent messages newer than " +
                    FormatIsoDate(watermark) + "; watermark now " + FormatIsoDate(today));
}

}  // namespace tervane
