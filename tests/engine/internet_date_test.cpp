#include "engine/internet_date.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/date_time.h"

namespace tervane {
namespace {

struct DateCase {
  const char* name;
  std::string text;
  CivilDateTime expected;  // the zero date's calendar value when the text is not readable
};

// Shows the case by name in test output.
void PrintTo(const DateCase& c, std::ostream* os) {
  *os << c.name;
}

constexpr CivilDateTime kUnreadable{};

class ParseInternetDateTest : public testing::TestWithParam<DateCase> {};

TEST_P(ParseInternetDateTest, Reads) {
  const TDateTime value = ParseInternetDate(GetParam().text);
  if (GetParam().expected == kUnreadable) {
    EXPECT_EQ(value, kZeroDate);
  } else {
    const CivilDateTime& e = GetParam().expected;
    EXPECT_EQ(value, EncodeDateTime(e.year, e.month, e.day, e.hour, e.minute, e.second));
    EXPECT_EQ(DecodeDateTime(value), e);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseInternetDateTest,
    testing::Values(
        // The reader's reference table.
        DateCase{"Rfc822WithZone", "Mon, 15 Mar 04 10:20:30 +0800", {2004, 3, 15, 10, 20, 30}},
        DateCase{"DashedWithTime", "15-Mar-2004 10:20:30", {2004, 3, 15, 10, 20, 30}},
        DateCase{"DashedWithoutSpaceIsOneWord", "15-Mar-2004", kUnreadable},
        DateCase{"AsctimeOrder", "Mon Mar 15 10:20:30 2004", {2004, 3, 15, 10, 20, 30}},
        DateCase{"TwoDigitYear85", "15 Mar 85", {1985, 3, 15}},
        DateCase{"TwoDigitYear79", "15 Mar 79", {2079, 3, 15}},
        DateCase{"NoSuchDay", "31 Apr 2004", kUnreadable},
        DateCase{"NoSuchMonth", "15 Xyz 2004", kUnreadable},
        DateCase{"HourTooLarge", "15 Mar 2004 25:00:00", kUnreadable},
        // Two-digit years and their edges.
        DateCase{"Year00", "1 Jan 00", {2000, 1, 1}}, DateCase{"Year80", "1 Jan 80", {1980, 1, 1}},
        DateCase{"Year99", "1 Jan 99", {1999, 1, 1}},
        DateCase{"Year100KeptAsWritten", "1 Jan 100", {100, 1, 1}},
        DateCase{"YearTooLarge", "1 Jan 10000", kUnreadable},
        // Weekday forms.
        DateCase{"WeekdayLowerCase", "tue, 2 Feb 2010 08:00:00 GMT", {2010, 2, 2, 8, 0, 0}},
        DateCase{"WeekdayWithExtraBlanks", "Wed,    3 Mar 2010", {2010, 3, 3}},
        DateCase{"WeekdayAlone", "Thu", kUnreadable},
        DateCase{"NoWeekday", "4 Mar 2010 23:59:59", {2010, 3, 4, 23, 59, 59}},
        DateCase{"MonthWordInAnyCase", "4 mAR 2010", {2010, 3, 4}},
        DateCase{"LongMonthNameNotKnown", "4 March 2010", kUnreadable},
        // Time of day.
        DateCase{"HoursAndMinutesOnly", "5 May 2011 7:05", {2011, 5, 5, 7, 5, 0}},
        DateCase{"MinuteTooLarge", "5 May 2011 10:60:00", kUnreadable},
        DateCase{"SecondTooLarge", "5 May 2011 10:00:60", kUnreadable},
        DateCase{"NegativeHour", "5 May 2011 -1:00:00", kUnreadable},
        DateCase{"UnreadableTimePartsAreZero", "5 May 2011 xx:30:yy", {2011, 5, 5, 0, 30, 0}},
        DateCase{"ZoneNameIgnored", "5 May 2011 10:00:00 PDT", {2011, 5, 5, 10, 0, 0}},
        DateCase{"NoYearDefaultsTo1900", "5 May", {1900, 5, 5}},
        DateCase{"LeapDay", "29 Feb 2004", {2004, 2, 29}},
        DateCase{"NoLeapDay", "29 Feb 2100", kUnreadable},
        DateCase{"DayNotANumberDefaultsToFirst", "x Jun 2012", {2012, 6, 1}},
        // Trimming of blanks and control characters.
        DateCase{"TrimmedBothEnds", " \t\r\n 15 Mar 2004 10:20:30\r\n", {2004, 3, 15, 10, 20, 30}},
        DateCase{"Empty", "", kUnreadable}, DateCase{"OnlyBlanks", " \t\r\n", kUnreadable}),
    [](const testing::TestParamInfo<DateCase>& info) { return info.param.name; });

TEST(DateTimeTest, DayNumbersMatchTheCalendar) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDateTime(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDateTime(2004, 3, 15), 38061.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2004, 3, 15, 12, 0, 0), 38061.5);
  EXPECT_EQ(EncodeDateTime(1899, 12, 29), -1.0);
  EXPECT_EQ(DecodeDateTime(38061.5), (CivilDateTime{2004, 3, 15, 12, 0, 0}));
}

TEST(DateTimeTest, OneSecondAfterMidnightIsLater) {
  const TDateTime midnight = EncodeDateTime(2026, 12, 9);
  EXPECT_GT(EncodeDateTime(2026, 12, 9, 0, 0, 1), midnight);
  EXPECT_EQ(ParseInternetDate("9 Dec 2026 00:00:00"), midnight);
}

TEST(DateTimeTest, TodayHasNoTimeOfDay) {
  const TDateTime today = LocalToday();
  EXPECT_GT(today, EncodeDateTime(2020, 1, 1));
  EXPECT_EQ(today, static_cast<double>(static_cast<long>(today)));
}

}  // namespace
}  // namespace tervane
