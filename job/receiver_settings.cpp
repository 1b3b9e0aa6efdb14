#include "job/receiver_settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "base/number_text.h"

namespace wayloom {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Limits that keep every clock and distance far inside a double's and a 64-bit count's range.
constexpr double kLeastPeriodSeconds = 0.001;  // the time field's resolution
constexpr double kMostPeriodSeconds = 86400.0;
constexpr double kLeastSpeedKnots = 0.001;
constexpr double kMostSpeedKnots = 1e6;
constexpr double kMostDwellSeconds = 86400.0;
constexpr double kMostNoiseMetres = 100000.0;

bool InRange(double value, double least, double most) { return value >= least && value <= most; }

// A speed in knots, or followed by km/h, mph or m/s (a space between is allowed).
bool ParseSpeed(std::string_view text, double& knots, double& metresPerSecond) {
  struct Unit {
    std::string_view name;
    double metresPerSecond;
  };
  static constexpr Unit kUnits[] = {{"km/h", 1000.0 / 3600.0},
                                    {"mph", 1609.344 / 3600.0},
                                    {"m/s", 1.0},
                                    {"kn", 1852.0 / 3600.0},
                                    {"", 1852.0 / 3600.0}};
  for (const Unit& unit : kUnits) {
    if (text.size() < unit.name.size() ||
        text.substr(text.size() - unit.name.size()) != unit.name) {
      continue;
    }
    std::string_view number = text.substr(0, text.size() - unit.name.size());
    if (!unit.name.empty() && !number.empty() && number.back() == ' ') number.remove_suffix(1);
    const double value = ParsePlainDecimal(number);
    if (!(value > 0.0) || !std::isfinite(value)) return false;
    // Knots as given print exactly as given; other units are converted.
    const bool inKnots = unit.metresPerSecond == 1852.0 / 3600.0;
    metresPerSecond = value * unit.metresPerSecond;
    knots = inKnots ? value : metresPerSecond * 3600.0 / 1852.0;
    return true;
  }
  return false;
}

// HH:MM:SS, a time of day that exists, as milliseconds since midnight.
bool ParseTimeOfDay(std::string_view text, std::int64_t& ms) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  int parts[3] = {0, 0, 0};
  for (int p = 0; p < 3; ++p) {
    for (std::size_t i = static_cast<std::size_t>(3 * p); i < static_cast<std::size_t>(3 * p + 2);
         ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      parts[p] = parts[p] * 10 + (text[i] - '0');
    }
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * std::int64_t{1000};
  return true;
}

}  // namespace

std::string CheckDecimalSetting(std::string_view option, const std::string& text) {
  std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  const double size = std::fabs(ParseDecimal(text));
  if (digits > 0 && i == text.size() && (size == 0.0 || (size >= 1e-9 && size <= 1e9))) return {};
  return std::string(option) + " needs a decimal number such as 2, 0.5 or -1 (0 or from 1e-9 to " +
         "1e9 in size), not '" + text + "'";
}

std::string NotForReceiver(std::string_view option) {
  return std::string(option) +
         " does not apply with --speed: the fixes follow from speed and period";
}

std::string CheckReceiverSettings(const ReceiverSettings& settings, const std::string& period,
                                  const std::optional<CalendarDate>& date, ReceiverPlan& plan) {
  std::string problem = CheckDecimalSetting("--period", period);
  if (!problem.empty()) return problem;
  ReceiverMotion& motion = plan.motion;
  if (!ParseSpeed(settings.speed, motion.speedKnots, motion.speedMetresPerSecond) ||
      !InRange(motion.speedKnots, kLeastSpeedKnots, kMostSpeedKnots)) {
    return "--speed needs a speed above 0 in knots (or followed by km/h, mph or m/s), from 0.001 "
           "to 1000000 knots, not '" +
           settings.speed + "'";
  }
  motion.periodSeconds = ParsePlainDecimal(period);
  if (!InRange(motion.periodSeconds, kLeastPeriodSeconds, kMostPeriodSeconds)) {
    return "--period needs seconds from 0.001 to 86400 with --speed, not '" + period + "'";
  }
  motion.dwellSeconds = ParsePlainDecimal(settings.dwell);
  if (!InRange(motion.dwellSeconds, 0.0, kMostDwellSeconds)) {
    return "--dwell needs seconds from 0 to 86400, not '" + settings.dwell + "'";
  }
  motion.noiseMetres = ParsePlainDecimal(settings.noise);
  if (!InRange(motion.noiseMetres, 0.0, kMostNoiseMetres)) {
    return "--noise needs metres from 0 to 100000, not '" + settings.noise + "'";
  }
  const std::string& seed = settings.seed;
  const bool seedDigits =
      !seed.empty() && seed.size() <= 19 &&
      std::all_of(seed.begin(), seed.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!seedDigits) return "--seed needs a whole number of at most 19 digits, not '" + seed + "'";
  motion.seed = std::stoull(seed);

  if (!ParseSentenceList(settings.sentences, plan.kinds, problem)) return "--sentences: " + problem;

  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  std::int64_t today = sinceEpoch / kMsPerDay;
  if (sinceEpoch % kMsPerDay < 0) --today;
  if (settings.start == "now") {
    if (date) return "--start now takes today's date: give --date or --start now, not both";
    plan.startMs = sinceEpoch - today * kMsPerDay;
  } else if (!ParseTimeOfDay(settings.start, plan.startMs)) {
    return "--start needs a time HH:MM:SS that exists, or now, not '" + settings.start + "'";
  }
  plan.date = date ? *date : DateFromDays(today);
  return {};
}

}  // namespace wayloom
