#include "base/calendar.h"

#include "base/units.h"

namespace wayloom {
namespace {

// The calendar repeats every 400 years, which are 146097 days. Counting from 1 March puts the leap
// day at the end of the counted year, so that the months before it have fixed starting days.
constexpr std::int64_t kDaysPer400Years = 146097;
constexpr std::int64_t kDaysFrom0000To1970 = 719468;  // from 0000-03-01 to 1970-01-01

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

void AppendDigits(std::string& out, std::int64_t value, int digits) {
  char text[24];
  int length = 0;
  do {
    text[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 || length < digits);
  while (length > 0) out += text[--length];
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::int64_t DaysFromDate(const CalendarDate& date) {
  const std::int64_t year = date.month <= 2 ? date.year - 1 : date.year;  // the year from 1 March
  const std::int64_t era = FloorDivide(year, 400);
  const std::int64_t yearOfEra = year - era * 400;                                       // 0 to 399
  const std::int64_t monthFromMarch = date.month > 2 ? date.month - 3 : date.month + 9;  // 0 to 11
  const std::int64_t dayOfYear = (153 * monthFromMarch + 2) / 5 + date.day - 1;          // 0 to 365
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * kDaysPer400Years + dayOfEra - kDaysFrom0000To1970;
}

CalendarDate DateFromDays(std::int64_t days) {
  const std::int64_t z = days + kDaysFrom0000To1970;
  const std::int64_t era = FloorDivide(z, kDaysPer400Years);
  const std::int64_t dayOfEra = z - era * kDaysPer400Years;  // 0 to 146096
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;  // 0 to 399
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;  // 0 to 11
  CalendarDate date;
  date.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  date.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  date.year = yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

bool ParseIsoDate(std::string_view text, CalendarDate& date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto number = [text](std::size_t from, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    return true;
  };
  int year = 0;
  int month = 0;
  int day = 0;
  if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day)) return false;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  date.year = year;
  date.month = month;
  date.day = day;
  return true;
}

bool AppendIsoUtcTime(std::string& out, std::int64_t utcMs) {
  const DayAndTime split = SplitDays(utcMs);
  const CalendarDate date = DateFromDays(split.day);
  if (date.year < 0 || date.year > 9999) return false;
  const std::int64_t ms = split.msOfDay;
  AppendDigits(out, date.year, 4);
  out += '-';
  AppendDigits(out, date.month, 2);
  out += '-';
  AppendDigits(out, date.day, 2);
  out += 'T';
  AppendDigits(out, ms / 3600000, 2);
  out += ':';
  AppendDigits(out, ms / 60000 % 60, 2);
  out += ':';
  AppendDigits(out, ms / 1000 % 60, 2);
  if (ms % 1000 != 0) {
    out += '.';
    AppendDigits(out, ms % 1000, 3);
  }
  out += 'Z';
  return true;
}

}  // namespace wayloom
