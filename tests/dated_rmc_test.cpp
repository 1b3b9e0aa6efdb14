// Dated RMC sentences and the calendar behind them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"
#include "track/calendar.h"
#include "track/nmea.h"

namespace wayloom {
namespace {

using test::ChecksumHolds;

constexpr double kDayMs = 86400000.0;

CalendarDate Date(int year, int month, int day) {
  CalendarDate date;
  date.year = year;
  date.month = month;
  date.day = day;
  return date;
}

// The comma-separated fields of a sentence, the last one with its checksum.
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

TEST(DatedRmc, CarriesTheDateInFieldNineWithEmptyVariationAndTheSameGga) {
  const CalendarDate date = Date(2026, 3, 7);
  const std::string undated = test::Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0);
  const std::string dated = test::Rmc(3600000, "48.1173", "11.5166667", 35.0, 12.0, &date);

  EXPECT_EQ(dated, "$GPRMC,010000.000,A,4807.0380,N,01131.0000,E,35.00,12.000,070326,,*35");
  EXPECT_TRUE(ChecksumHolds(dated));
  // Eleven data fields, dated or not: the date takes the place of the undated 0.00.
  EXPECT_EQ(Fields(dated).size(), 12u);
  EXPECT_EQ(Fields(undated).size(), 12u);
}

TEST(DatedRmc, TheDateFollowsTheRoundedClockAcrossMidnightBothWays) {
  // One after another on one thread, as a writer builds them: the date written last must never be
  // reused for a clock on another day, whichever way the clock jumps.
  const struct {
    CalendarDate start;
    double clockMs;
    const char* time;
    const char* date;
  } cases[] = {
      {Date(2026, 3, 7), 0, "000000.000", "070326"},
      {Date(2026, 3, 7), kDayMs - 1, "235959.999", "070326"},
      {Date(2026, 3, 7), kDayMs - 0.4, "000000.000", "080326"},  // rounds up to midnight
      {Date(2026, 3, 7), -0.4, "000000.000", "070326"},          // rounds to 0: still the day
      {Date(2026, 3, 7), kDayMs, "000000.000", "080326"},
      {Date(2026, 3, 7), -1, "235959.999", "060326"},
      {Date(2026, 3, 7), 3600000, "010000.000", "070326"},
      {Date(2026, 3, 7), -kDayMs, "000000.000", "060326"},
      {Date(2026, 3, 7), -kDayMs - 1, "235959.999", "050326"},
      {Date(2026, 3, 7), 365.0 * kDayMs, "000000.000", "070327"},
      {Date(2025, 12, 31), kDayMs + 3600000, "010000.000", "010126"},  // into a new year
      {Date(2026, 1, 1), -3600000, "230000.000", "311225"},            // back into the old one
      {Date(2024, 2, 28), kDayMs, "000000.000", "290224"},             // leap year
      {Date(2023, 2, 28), kDayMs, "000000.000", "010323"},
      {Date(1900, 2, 28), kDayMs, "000000.000", "010300"},  // not a leap year
      {Date(2000, 2, 28), kDayMs, "000000.000", "290200"},  // a leap year
  };
  for (const auto& c : cases) {
    const std::string rmc = test::Rmc(c.clockMs, "48.1173", "11.5166667", 35.0, 12.0, &c.start);
    const std::vector<std::string> fields = Fields(rmc);
    ASSERT_EQ(fields.size(), 12u) << rmc;
    EXPECT_EQ(fields[1], c.time) << c.clockMs;
    EXPECT_EQ(fields[9], c.date) << c.clockMs;
    EXPECT_TRUE(ChecksumHolds(rmc)) << rmc;
  }
}

TEST(Calendar, CountsDaysBothWaysDayAfterDay) {
  EXPECT_EQ(DaysFromDate(Date(1970, 1, 1)), 0);
  EXPECT_EQ(DaysFromDate(Date(1969, 12, 31)), -1);
  EXPECT_EQ(DaysFromDate(Date(2026, 3, 7)), 20519);
  // Every day from 1600 to 2400 comes back as itself, each one day after the one before.
  CalendarDate before = Date(1599, 12, 31);
  for (std::int64_t days = DaysFromDate(Date(1600, 1, 1)); days < DaysFromDate(Date(2400, 1, 1));
       ++days) {
    const CalendarDate date = DateFromDays(days);
    ASSERT_EQ(DaysFromDate(date), days);
    const bool nextDay =
        date.year == before.year && date.month == before.month && date.day == before.day + 1;
    const bool nextMonth = date.day == 1 && (date.month == before.month + 1 ||
                                             (date.month == 1 && date.year == before.year + 1));
    ASSERT_TRUE(nextDay || nextMonth) << date.year << "-" << date.month << "-" << date.day;
    before = date;
  }
}

TEST(Calendar, ReadsOnlyRealDaysInIsoForm) {
  CalendarDate date;
  ASSERT_TRUE(ParseIsoDate("2024-02-29", date));
  EXPECT_EQ(DaysFromDate(date), DaysFromDate(Date(2024, 2, 29)));
  for (const char* bad : {"2023-02-29", "2026-04-31", "2026-13-01", "2026-00-10", "2026-01-00",
                          "26-03-07", "2026-3-7", "2026/03/07", "2026-03-07 ", "+026-03-07"}) {
    EXPECT_FALSE(ParseIsoDate(bad, date)) << bad;
  }
}

}  // namespace
}  // namespace wayloom
