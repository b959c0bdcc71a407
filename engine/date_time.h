#ifndef TERVANE_ENGINE_DATE_TIME_H_
#define TERVANE_ENGINE_DATE_TIME_H_

#include <string>

namespace tervane {

// A date and time as a day number: whole days since 30 December 1899 00:00 (the zero date),
// the time of day as the fraction. Local wall-clock time; no time zone is attached.
using TDateTime = double;

inline constexpr TDateTime kZeroDate = 0.0;

// A calendar date and time of day, as written on a calendar and a clock.
struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const CivilDateTime&) const = default;
};

// Stores the day number of year-month-day in *out and returns true iff that is a calendar date
// of the years 1 to 9999.
bool TryEncodeDate(int year, int month, int day, TDateTime* out);

// Stores the fraction of a day of hour:minute:second in *out and returns true iff hour is 0-23
// and minute and second are 0-59.
bool TryEncodeTime(int hour, int minute, int second, TDateTime* out);

// Returns the day number of a calendar date and time of day, or kZeroDate when either is not
// valid.
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                         int second = 0);

// Returns the calendar date and time of day of a day number (seconds rounded to the nearest).
CivilDateTime DecodeDateTime(TDateTime value);

// Returns today's local calendar date at 00:00.
TDateTime LocalToday();

// The calendar date of a day number as "2026-12-09" (the time of day is left out).
std::string FormatIsoDate(TDateTime value);

}  // namespace tervane

#endif  // TERVANE_ENGINE_DATE_TIME_H_
