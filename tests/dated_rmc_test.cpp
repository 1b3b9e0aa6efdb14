// Dated RMC sentences and the calendar behind them.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "calendar.h"
#include "nmea.h"

namespace wayloom {
namespace {

constexpr double kDayMs = 86400000.0;

CalendarDate Date(int year, int month, int day) {
  CalendarDate date;
  date.year = year;
  date.month = month;
  date.day = day;
  return date;
}

// Comma-separated fields of a sentence, '$' and checksum included in the first and last.
std::vector<std::string> Fields(std::string_view sentence) {
  std::vector<std::string> fields(1);
  for (const char c : sentence) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

bool ChecksumHolds(std::string_view sentence) {
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence[0] != '$' || star + 3 != sentence.size()) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum);
  return sentence.substr(star + 1) == hex;
}

TEST(DatedRmc, CarriesTheDateInFieldNineWithEmptyVariationAndTheSameGga) {
  SentencePair undated;
  undated.Build(3600000, "48.1173", "11.5166667", 35.0, 12.0);
  SentencePair dated;
  dated.SetDate(Date(2026, 3, 7));
  dated.Build(3600000, "48.1173", "11.5166667", 35.0, 12.0);

  EXPECT_EQ(dated.Rmc(), "$GPRMC,010000.000,A,4807.0380,N,01131.0000,E,35.00,12.000,070326,,*35");
  EXPECT_TRUE(ChecksumHolds(dated.Rmc()));
  EXPECT_EQ(dated.Gga(), undated.Gga());
  // Eleven data fields, dated or not: the date takes the place of the undated 0.00.
  const std::vector<std::string> fields = Fields(dated.Rmc());
  ASSERT_EQ(fields.size(), 12u);
  EXPECT_EQ(fields[9], "070326");
  EXPECT_EQ(fields[10], "");
  EXPECT_EQ(fields[11], "*35");
  EXPECT_EQ(Fields(undated.Rmc()).size(), 12u);

  // Cleared, the pair gives exactly the undated sentence again.
  dated.ClearDate();
  dated.Build(3600000, "48.1173", "11.5166667", 35.0, 12.0);
  EXPECT_EQ(dated.Rmc(), undated.Rmc());
}

TEST(DatedRmc, TheDateFollowsTheRoundedClockAcrossMidnightBothWays) {
  const struct {
    CalendarDate start;
    double clockMs;
    const char* time;
    const char* date;
  } cases[] = {
      {Date(2026, 3, 7), 0, "000000.000", "070326"},
      {Date(2026, 3, 7), kDayMs - 1, "235959.999", "070326"},
      {Date(2026, 3, 7), kDayMs - 0.4, "000000.000", "080326"},  // rounds up to midnight
      {Date(2026, 3, 7), kDayMs, "000000.000", "080326"},
      {Date(2026, 3, 7), -0.4, "000000.000", "070326"},          // rounds to 0: still the day
      {Date(2026, 3, 7), -1, "235959.999", "060326"},
      {Date(2026, 3, 7), -kDayMs, "000000.000", "060326"},
      {Date(2026, 3, 7), -kDayMs - 1, "235959.999", "050326"},
      {Date(2025, 12, 31), kDayMs + 3600000, "010000.000", "010126"},  // into a new year
      {Date(2026, 1, 1), -3600000, "230000.000", "311225"},             // back into the old one
      {Date(2024, 2, 28), kDayMs, "000000.000", "290224"},  // leap year
      {Date(2023, 2, 28), kDayMs, "000000.000", "010323"},
      {Date(1900, 2, 28), kDayMs, "000000.000", "010300"},  // not a leap year
      {Date(2000, 2, 28), kDayMs, "000000.000", "290200"},  // a leap year
      {Date(2026, 3, 7), 365.0 * kDayMs, "000000.000", "070327"},
  };
  for (const auto& c : cases) {
    SentencePair pair;
    pair.SetDate(c.start);
    pair.Build(c.clockMs, "48.1173", "11.5166667", 35.0, 12.0);
    const std::vector<std::string> fields = Fields(pair.Rmc());
    ASSERT_EQ(fields.size(), 12u) << pair.Rmc();
    EXPECT_EQ(fields[1], c.time) << c.clockMs;
    EXPECT_EQ(fields[9], c.date) << c.clockMs;
    EXPECT_TRUE(ChecksumHolds(pair.Rmc())) << pair.Rmc();
  }
}

TEST(DatedRmc, OnePairKeepsTheRightDateAsTheClockGoesBackAndForth) {
  // The pair remembers the date it wrote last; a clock that jumps must never reuse a stale one.
  SentencePair pair;
  pair.SetDate(Date(2026, 3, 7));
  const struct {
    double clockMs;
    const char* date;
  } steps[] = {{3600000, "070326"}, {kDayMs + 5, "080326"}, {-5, "060326"},
               {3600000, "070326"}, {1e300, "070326"} /* beyond any calendar: held */};
  for (const auto& step : steps) {
    pair.Build(step.clockMs, "-33.8568", "151.2153", 1.5, 270.0);
    if (step.clockMs < 1e20) {
      EXPECT_EQ(Fields(pair.Rmc())[9], step.date) << step.clockMs;
    }
    EXPECT_TRUE(ChecksumHolds(pair.Rmc())) << pair.Rmc();
  }
  pair.SetDate(Date(1999, 12, 31));
  pair.Build(3600000, "-33.8568", "151.2153", 1.5, 270.0);
  EXPECT_EQ(Fields(pair.Rmc())[9], "311299");
}

TEST(Calendar, CountsDaysBothWaysOverFourHundredYearsAndMore) {
  EXPECT_EQ(DaysFromDate(Date(1970, 1, 1)), 0);
  EXPECT_EQ(DaysFromDate(Date(2000, 3, 1)), 11017);
  EXPECT_EQ(DaysFromDate(Date(1969, 12, 31)), -1);
  EXPECT_EQ(DaysFromDate(Date(2026, 3, 7)), 20519);
  // Every day from 1600 to 2400 comes back as itself, each one day after the one before.
  CalendarDate before = DateFromDays(DaysFromDate(Date(1600, 1, 1)) - 1);
  for (std::int64_t days = DaysFromDate(Date(1600, 1, 1)); days < DaysFromDate(Date(2400, 1, 1));
       ++days) {
    const CalendarDate date = DateFromDays(days);
    ASSERT_EQ(DaysFromDate(date), days);
    const bool nextDay = date.year == before.year && date.month == before.month &&
                         date.day == before.day + 1;
    const bool nextMonth = date.day == 1 && ((date.year == before.year && date.month == before.month + 1) ||
                                             (date.year == before.year + 1 && date.month == 1));
    ASSERT_TRUE(nextDay || nextMonth) << date.year << "-" << date.month << "-" << date.day;
    before = date;
  }
}

TEST(Calendar, ReadsOnlyRealDaysInIsoForm) {
  CalendarDate date;
  ASSERT_TRUE(ParseIsoDate("2024-02-29", date));
  EXPECT_EQ(date.year, 2024);
  EXPECT_EQ(date.month, 2);
  EXPECT_EQ(date.day, 29);
  for (const char* bad : {"2023-02-29", "2026-04-31", "2026-13-01", "2026-00-10", "2026-01-00",
                          "26-03-07", "2026-3-7", "2026/03/07", "2026-03-07 ", "", "+026-03-07"}) {
    EXPECT_FALSE(ParseIsoDate(bad, date)) << bad;
  }
  EXPECT_EQ(date.day, 29);  // left alone
}

}  // namespace
}  // namespace wayloom
