// Calendar dates for dated sentences: the proleptic Gregorian calendar, counted in days.
#pragma once

#include <cstdint>
#include <string_view>

namespace wayloom {

struct CalendarDate {
  std::int64_t year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to the length of the month
};

// Whole-number division rounding down, for negative counts too (b above 0).
std::int64_t FloorDivide(std::int64_t a, std::int64_t b);

// A clock split into the day it falls on (counted from day 0, negative before it) and the
// milliseconds since that day's midnight, from 0 to below kMsPerDay.
struct DayAndTime {
  static constexpr std::int64_t kMsPerDay = 86400000;

  std::int64_t day = 0;
  std::int64_t msOfDay = 0;
};
DayAndTime SplitDay(std::int64_t clockMs);

// Days since 1970-01-01 (negative before it), and back.
std::int64_t DaysFromDate(const CalendarDate& date);
CalendarDate DateFromDays(std::int64_t days);

// Reads YYYY-MM-DD: four digits, two, two, a day that exists (29 February only in leap years).
// False, leaving date alone, for anything else.
bool ParseIsoDate(std::string_view text, CalendarDate& date);

}  // namespace wayloom
