// The units and constants every stage shares, in one place: the day in milliseconds and its split,
// knots and kilometres, degrees and radians.
#pragma once

#include <cstdint>

namespace wayloom {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr double kMetresPerNauticalMile = 1852.0;
constexpr double kKilometresPerNauticalMile = 1.852;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = 0.017453292519943295;  // kPi / 180

// Whole-number division rounding down, for negative counts too: FloorDivide(-1, 10) is -1.
constexpr std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A clock in whole milliseconds since midnight of day 0, as the day it falls on and the time of
// that day: clock -1 is the last millisecond of day -1.
struct DayAndTime {
  std::int64_t day = 0;
  std::int64_t msOfDay = 0;  // 0 to kMsPerDay - 1
};

constexpr DayAndTime SplitDays(std::int64_t clockMs) {
  const std::int64_t day = FloorDivide(clockMs, kMsPerDay);
  return {day, clockMs - day * kMsPerDay};
}

}  // namespace wayloom
