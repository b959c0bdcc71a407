#ifndef TERVANE_ENGINE_INTERNET_DATE_H_
#define TERVANE_ENGINE_INTERNET_DATE_H_

#include <string_view>

#include "engine/date_time.h"

namespace tervane {

// Reads the date of an Internet message ("Mon, 15 Mar 04 10:20:30 +0800", "15-Mar-2004 10:20",
// "Mon Mar 15 10:20:30 2004", ...) as the wall-clock time written, ignoring the zone.
// Returns kZeroDate for anything that is not a valid calendar date and time; never throws.
TDateTime ParseInternetDate(std::string_view text);

}  // namespace tervane

#endif  // TERVANE_ENGINE_INTERNET_DATE_H_
