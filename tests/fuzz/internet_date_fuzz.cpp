// The Internet date reader, alone and as the harvest calls it on a sent message's header.
#include "engine/harvest.h"
#include "engine/internet_date.h"
#include "tests/fuzz/fuzz_check.h"

using tervane::fuzz::AsText;
using tervane::fuzz::Check;

namespace {

// A date is the zero date or a day of the years 1 to 9999.
bool IsReadDate(tervane::TDateTime date) {
  return date == tervane::kZeroDate || (date > -693594 && date < 2958466);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text = AsText(data, size);
  const tervane::TDateTime date = tervane::ParseInternetDate(text);
  Check(IsReadDate(date), "a date read is the zero date or a calendar day");
  if (date != tervane::kZeroDate) {
    // What was read decodes to a day of the calendar.
    const tervane::CivilDateTime civil = tervane::DecodeDateTime(date);
    Check(civil.year >= 1 && civil.year <= 9999, "a date read lies in the years 1 to 9999");
  }

  const tervane::TDateTime today = tervane::EncodeDateTime(2026, 12, 9);
  const tervane::TDateTime sent = tervane::SentMessageDate(text, today);
  Check(sent == today - 10 || IsReadDate(sent), "a sent date is read or ten days back");
  return 0;
}
