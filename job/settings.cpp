#include "job/settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "base/number_text.h"
#include "base/units.h"
#include "outputs/live/tcp_server.h"

namespace wayloom {
namespace {

// Limits that keep every clock and distance far inside a double's and a 64-bit count's range.
constexpr double kLeastPeriodSeconds = 0.001;  // the time field's resolution
constexpr double kMostPeriodSeconds = 86400.0;
constexpr double kLeastSpeedKnots = 0.001;
constexpr double kMostSpeedKnots = 1e6;
constexpr double kMostDwellSeconds = 86400.0;
constexpr double kMostNoiseMetres = 100000.0;
constexpr unsigned long kMostRuns = 1000000;
constexpr double kMostClientTimeoutSeconds = 1e6;

bool InRange(double value, double least, double most) { return value >= least && value <= most; }

bool AllDigits(const std::string& text, std::size_t mostDigits) {
  return !text.empty() && text.size() <= mostDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// " needs WHAT, not 'TEXT'": the usual end of a message.
std::string Needs(const std::string& what, const std::string& text) {
  return " needs " + what + ", not '" + text + "'";
}

// A number written out in decimals (an optional sign, digits, an optional point and fraction; no
// exponent, no comma), 0 or of a size from 1e-9 to 1e9: the step and the period of the classic
// tracks.
bool IsPlainSetting(const std::string& text) {
  std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  const double size = std::fabs(ParseDecimal(text));
  return digits > 0 && i == text.size() && (size == 0.0 || (size >= 1e-9 && size <= 1e9));
}

// A number above 0 (digits, a point, an exponent; no sign), as the speed-up and the client
// time-out take it; 0 when the text is no such number.
double PositiveNumber(const std::string& text) {
  const double value = ParsePlainDecimal(text);
  return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

// A speed in knots, or followed by km/h, mph or m/s (a space between is allowed).
bool ParseSpeed(std::string_view text, double& knots, double& metresPerSecond) {
  struct Unit {
    std::string_view name;
    double metresPerSecond;
  };
  constexpr double kKnot = kMetresPerNauticalMile / 3600.0;
  static constexpr Unit kUnits[] = {{"km/h", 1000.0 / 3600.0},
                                    {"mph", 1609.344 / 3600.0},
                                    {"m/s", 1.0},
                                    {"kn", kKnot},
                                    {"", kKnot}};
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
    metresPerSecond = value * unit.metresPerSecond;
    knots = unit.metresPerSecond == kKnot ? value : metresPerSecond / kKnot;
    return true;
  }
  return false;
}

// HH:MM:SS, a time of day that exists, as milliseconds since midnight.
bool ParseTimeOfDay(std::string_view text, std::int64_t& ms) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  int parts[3] = {0, 0, 0};
  for (std::size_t p = 0; p < 3; ++p) {
    for (std::size_t i = 3 * p; i < 3 * p + 2; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      parts[p] = parts[p] * 10 + (text[i] - '0');
    }
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * std::int64_t{1000};
  return true;
}

// The checks, each of one setting (or one pair that cannot go together), in the order they run.
class Checker {
 public:
  Checker(const SettingTexts& texts, const SettingNames& names, JobSettings& settings)
      : texts_(texts), name_(names), settings_(settings) {}

  std::string Classic() {
    for (const auto& [setting, text] :
         {std::pair{Setting::kStep, &texts_.step}, std::pair{Setting::kPeriod, &texts_.period}}) {
      if (!IsPlainSetting(Decimal(*text))) {
        return name_(setting) + Needs(std::string("a decimal number such as 2, 0.5") +
                                          (texts_.decimalComma ? " (or 0,5)" : "") +
                                          " or -1 (0 or from 1e-9 to 1e9 in size)",
                                      *text);
      }
    }
    settings_.step = Decimal(texts_.step);
    settings_.period = Decimal(texts_.period);
    if (texts_.date) {
      CalendarDate date;
      if (!ParseIsoDate(*texts_.date, date))
        return name_(Setting::kDate) + Needs("a date as YYYY-MM-DD", *texts_.date);
      settings_.date = date;
    }
    settings_.runs = AllDigits(texts_.runs, 7) ? std::stoul(texts_.runs) : 0;
    if (settings_.runs == 0 || settings_.runs > kMostRuns) {
      return name_(Setting::kRuns) + Needs("a whole number from 1 to 1000000", texts_.runs);
    }
    return {};
  }

  std::string Live() {
    LiveSettings& live = settings_.live;
    if (texts_.serve) {
      live.serve = ParseServeAddress(*texts_.serve, live.serveHost, live.servePort);
      if (!live.serve) {
        return name_(Setting::kServe) +
               Needs("[HOST:]PORT (an IPv6 host in brackets)", *texts_.serve);
      }
    }
    if (texts_.pty) {
      if (texts_.pty->empty()) return name_(Setting::kPty) + " needs a path for the link";
      live.ptyLink = *texts_.pty;
    }
    if (texts_.udp) {
      live.udp = ParseServeAddress(*texts_.udp, live.udpHost, live.udpPort) && live.udpPort != 0;
      if (!live.udp) {
        return name_(Setting::kUdp) + Needs("HOST:PORT with a port from 1 to 65535", *texts_.udp);
      }
    }
    live.speedup = PositiveNumber(Decimal(texts_.speedup));
    if (live.speedup == 0.0)
      return name_(Setting::kSpeedup) + Needs("a number above 0", texts_.speedup);
    live.clientTimeoutSeconds = PositiveNumber(texts_.clientTimeout);
    if (live.clientTimeoutSeconds == 0.0 || live.clientTimeoutSeconds > kMostClientTimeoutSeconds) {
      return name_(Setting::kClientTimeout) +
             Needs("a number of seconds above 0", texts_.clientTimeout);
    }
    live.waitClients = AllDigits(texts_.waitClients, 3) ? std::stoul(texts_.waitClients)
                                                        : TcpServer::kMaxClients + 1;
    if (live.waitClients > TcpServer::kMaxClients) {
      return name_(Setting::kWaitClients) +
             Needs("a whole number from 0 to " + std::to_string(TcpServer::kMaxClients),
                   texts_.waitClients);
    }
    live.loop = texts_.loop;
    return {};
  }

  std::string Receiver() {
    if (texts_.extraPoints) return NotForReceiver(Setting::kExtraPoints);
    ReceiverPlan& plan = settings_.receiver.emplace();
    ReceiverMotion& motion = plan.motion;
    if (!ParseSpeed(Decimal(*texts_.speed), motion.speedKnots, motion.speedMetresPerSecond) ||
        !InRange(motion.speedKnots, kLeastSpeedKnots, kMostSpeedKnots)) {
      return name_(Setting::kSpeed) +
             Needs(
                 "a speed above 0 in knots (or followed by km/h, mph or m/s), from 0.001 to "
                 "1000000 knots",
                 *texts_.speed);
    }
    motion.periodSeconds = ParsePlainDecimal(Decimal(texts_.period));
    if (!InRange(motion.periodSeconds, kLeastPeriodSeconds, kMostPeriodSeconds)) {
      return name_(Setting::kPeriod) +
             Needs("seconds from 0.001 to 86400 with " + name_(Setting::kSpeed), texts_.period);
    }
    motion.dwellSeconds = ParsePlainDecimal(Decimal(texts_.dwell));
    if (!InRange(motion.dwellSeconds, 0.0, kMostDwellSeconds)) {
      return name_(Setting::kDwell) + Needs("seconds from 0 to 86400", texts_.dwell);
    }
    motion.noiseMetres = ParsePlainDecimal(Decimal(texts_.noise));
    if (!InRange(motion.noiseMetres, 0.0, kMostNoiseMetres)) {
      return name_(Setting::kNoise) + Needs("metres from 0 to 100000", texts_.noise);
    }
    if (!AllDigits(texts_.seed, 19)) {
      return name_(Setting::kSeed) + Needs("a whole number of at most 19 digits", texts_.seed);
    }
    motion.seed = std::stoull(texts_.seed);
    std::string problem;
    if (!ParseSentenceList(texts_.sentences, plan.kinds, problem)) {
      return name_(Setting::kSentences) + ": " + problem;
    }
    return Start(plan);
  }

  std::string NotForReceiver(Setting setting) {
    return name_(setting) + " does not apply with " + name_(Setting::kSpeed) +
           ": the fixes follow from speed and period";
  }

 private:
  // A decimal setting's text as the checks read it: with a decimal comma, one comma and no point
  // is the point.
  std::string Decimal(std::string text) const {
    if (texts_.decimalComma && text.find('.') == std::string::npos &&
        std::count(text.begin(), text.end(), ',') == 1) {
      text[text.find(',')] = '.';
    }
    return text;
  }

  // The first fix's time and the date: a time of day, or now with today's date.
  std::string Start(ReceiverPlan& plan) {
    const std::int64_t sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count();
    const DayAndTime now = SplitDays(sinceEpoch);
    if (texts_.start == "now") {
      if (settings_.date) {
        return name_(Setting::kStart) + " now takes today's date: give " + name_(Setting::kDate) +
               " or " + name_(Setting::kStart) + " now, not both";
      }
      plan.startMs = now.msOfDay;
    } else if (!ParseTimeOfDay(texts_.start, plan.startMs)) {
      return name_(Setting::kStart) + Needs("a time HH:MM:SS that exists, or now", texts_.start);
    }
    plan.date = settings_.date ? *settings_.date : DateFromDays(now.day);
    return {};
  }

  const SettingTexts& texts_;
  const SettingNames& name_;
  JobSettings& settings_;
};

}  // namespace

std::string CheckSettings(const SettingTexts& texts, const SettingNames& names,
                          JobSettings& settings) {
  Checker checker(texts, names, settings);
  std::string problem = checker.Classic();
  if (problem.empty()) problem = checker.Live();
  if (problem.empty() && texts.speed) problem = checker.Receiver();
  return problem;
}

std::string NotForReceiver(Setting setting, const SettingNames& names) {
  SettingTexts texts;
  JobSettings settings;
  return Checker(texts, names, settings).NotForReceiver(setting);
}

}  // namespace wayloom
