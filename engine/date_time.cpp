#include "engine/date_time.h"

#include <cstdio>

#include <cmath>
#include <ctime>

namespace tervane {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Days from 1970-01-01 to year-month-day in the proleptic Gregorian calendar
// (H. Hinnant's days_from_civil). Constant-evaluated, so day numbers made during another file's
// static initialisation see the right zero date.
constexpr long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

// The inverse of DaysFromCivil.
void CivilFromDays(long z, int* year, int* month, int* day) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

constexpr long kZeroDateDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime* out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  *out = static_cast<TDateTime>(DaysFromCivil(year, month, day) - kZeroDateDays);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, TDateTime* out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return false;
  }
  *out = (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
  return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  TDateTime date = kZeroDate;
  TDateTime time = 0.0;
  if (!TryEncodeDate(year, month, day, &date) || !TryEncodeTime(hour, minute, second, &time)) {
    return kZeroDate;
  }
  return date + time;
}

CivilDateTime DecodeDateTime(TDateTime value) {
  // Whole seconds from the zero date; day numbers before it count their fraction forward,
  // as the day number's fraction is always the time of day.
  const double total = std::round(std::fabs(value) * kSecondsPerDay);
  long days = static_cast<long>(total / kSecondsPerDay);
  long seconds = static_cast<long>(total - static_cast<double>(days) * kSecondsPerDay);
  if (value < 0)
    days = -days;
  CivilDateTime result;
  CivilFromDays(days + kZeroDateDays, &result.year, &result.month, &result.day);
  result.hour = static_cast<int>(seconds / 3600);
  result.minute = static_cast<int>(seconds / 60 % 60);
  result.second = static_cast<int>(seconds % 60);
  return result;
}

TDateTime LocalToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TDateTime today = kZeroDate;
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, &today);
  return today;
}

std::string FormatIsoDate(TDateTime value) {
  const CivilDateTime date = DecodeDateTime(value);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

}  // namespace tervane
