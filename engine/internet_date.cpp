#include "engine/internet_date.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace tervane {
namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"SUN", "MON", "TUE", "WED",
                                                       "THU", "FRI", "SAT"};
constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// Removes and returns the text before the first separator, dropping the separator; takes the
// whole text when the separator does not occur.
std::string_view Fetch(std::string_view* text, char separator) {
  const auto pos = text->find(separator);
  if (pos == std::string_view::npos) {
    const std::string_view word = *text;
    *text = {};
    return word;
  }
  const std::string_view word = text->substr(0, pos);
  text->remove_prefix(pos + 1);
  return word;
}

// Reads a whole word as a decimal integer with an optional sign; fallback when it is not one.
int ToIntDefault(std::string_view word, int fallback) {
  if (!word.empty() && word.front() == '+')
    word.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || error != std::errc() || end != word.data() + word.size())
    return fallback;
  return value;
}

bool EqualsUpper(std::string_view word, std::string_view upper) {
  if (word.size() != upper.size())
    return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i])
      return false;
  }
  return true;
}

// The month's number 1-12 for its three-letter name in any case, else 0.
int MonthNumber(std::string_view word) {
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (EqualsUpper(word, kMonths[i]))
      return static_cast<int>(i) + 1;
  }
  return 0;
}

bool StartsWithWeekday(std::string_view text) {
  if (text.size() < 3)
    return false;
  for (const auto weekday : kWeekdays) {
    if (EqualsUpper(text.substr(0, 3), weekday))
      return true;
  }
  return false;
}

// "-" when the text holds a "-" after its first character and before its first space;
// a space otherwise, and always when the text holds no space.
char DayMonthSeparator(std::string_view text) {
  const auto dash = text.find('-');
  const auto space = text.find(' ');
  if (dash != std::string_view::npos && dash >= 1 && space != std::string_view::npos &&
      dash < space) {
    return '-';
  }
  return ' ';
}

}  // namespace

TDateTime ParseInternetDate(std::string_view text) {
  text = Trim(text);
  if (text.empty())
    return kZeroDate;

  if (StartsWithWeekday(text)) {
    Fetch(&text, ' ');
    text = TrimLeft(text);
  }

  const char separator = DayMonthSeparator(text);
  std::string_view rest = text;
  const std::string_view first = Fetch(&rest, separator);
  rest = TrimLeft(rest);
  int day = 1;
  int month = 0;
  if (MonthNumber(first) != 0) {
    month = MonthNumber(first);
    day = ToIntDefault(Fetch(&rest, separator), 1);
  } else {
    day = ToIntDefault(first, 1);
    month = MonthNumber(Fetch(&rest, separator));
  }
  rest = TrimLeft(rest);

  // The year is the next word; when that is not a number (as in "Mar 15 10:20:30 2004") it is
  // the rest of the text, and the word read in its place is what the time is read from.
  const std::string_view yearWord = Fetch(&rest, ' ');
  int year = ToIntDefault(yearWord, 1900);
  if (year == 1900) {
    year = ToIntDefault(rest, 1900);
    rest = yearWord;
  }
  if (year < 80) {
    year += 2000;
  } else if (year < 100) {
    year += 1900;
  }

  TDateTime date = kZeroDate;
  if (!TryEncodeDate(year, month, day, &date))
    return kZeroDate;

  if (rest.find(':') != std::string_view::npos) {
    rest = TrimLeft(rest);
    std::string_view clock = Fetch(&rest, ' ');
    const int hour = ToIntDefault(Fetch(&clock, ':'), 0);
    const int minute = ToIntDefault(Fetch(&clock, ':'), 0);
    const int second = ToIntDefault(Fetch(&clock, ':'), 0);
    TDateTime time = 0.0;
    if (!TryEncodeTime(hour, minute, second, &time))
      return kZeroDate;
    date += time;
  }
  return date;
}

}  // namespace tervane
