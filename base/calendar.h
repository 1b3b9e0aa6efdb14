// Calendar dates for dated sentences: the proleptic Gregorian calendar, counted in days.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wayloom {

struct CalendarDate {
  std::int64_t year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;    // 1 to the length of the month
};

// Days since 1970-01-01 (negative before it), and back.
std::int64_t DaysFromDate(const CalendarDate& date);
CalendarDate DateFromDays(std::int64_t days);

// Reads YYYY-MM-DD: four digits, two, two, a day that exists (29 February only in leap years).
// False, leaving date alone, for anything else.
bool ParseIsoDate(std::string_view text, CalendarDate& date);

// Appends a UTC time (milliseconds since 1970-01-01) as ISO 8601 / xs:dateTime:
// 2026-03-07T01:00:00Z, with .sss only when there are milliseconds. False, appending nothing, for
// a year outside 0 to 9999, which readers do not take.
bool AppendIsoUtcTime(std::string& out, std::int64_t utcMs);

}  // namespace wayloom
