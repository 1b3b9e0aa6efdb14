#include "job/settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

#include "base/number_text.h"
#include "base/units.h"
#include "outputs/live/emulator_console.h"
#include "outputs/live/serial_port.h"
#include "outputs/live/tcp_server.h"
#include "sentences/fields.h"

namespace wayloom {
namespace {

// Limits that keep every clock and distance far inside a double's and a 64-bit count's range.
constexpr double kLeastPeriodSeconds = 0.001;  // the time field's resolution
constexpr double kMostPeriodSeconds = 86400.0;
// The speeds and dwells a receiver takes (kLeastSpeedKnots and the like) are route/route.h's: a
// route file's speeds and dwells are held to them too.
constexpr double kMostNoiseMetres = 100000.0;
constexpr unsigned long kMostRuns = 1000000;
constexpr double kMostClientTimeoutSeconds = 1e6;
constexpr double kMostOutageSeconds = 1e9;

// The dates --date takes: those dated sentences carry (sentences/fields.h).
constexpr const char* kDateRange = "a date as YYYY-MM-DD from 1980-01-06 to 2079-12-31";

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

// Whether a date lies in the range dated sentences carry.
bool SentenceCanCarry(const CalendarDate& date) {
  const std::int64_t day = DaysFromDate(date);
  return day >= DaysFromDate(kFirstSentenceDate) && day <= DaysFromDate(kLastSentenceDate);
}

// START+SECONDS: an outage from START seconds after the first fix (0 or more), SECONDS long
// (above 0).
bool ParseOutage(std::string_view text, Outage& outage) {
  const std::size_t plus = text.find('+');
  if (plus == std::string_view::npos) return false;
  outage.startSeconds = ParsePlainDecimal(text.substr(0, plus));
  outage.seconds = ParsePlainDecimal(text.substr(plus + 1));
  return InRange(outage.startSeconds, 0.0, kMostOutageSeconds) &&
         InRange(outage.seconds, 0.0, kMostOutageSeconds) && outage.seconds > 0.0;
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
      if (!ParseIsoDate(*texts_.date, date) || !SentenceCanCarry(date))
        return name_(Setting::kDate) + Needs(kDateRange, *texts_.date);
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
    return Devices();
  }

  // The serial ports and the emulator's console: their texts only; the job opens them.
  std::string Devices() {
    LiveSettings& live = settings_.live;
    std::string problem;
    for (const std::string& text : texts_.serial) {
      SerialAddress& address = live.serialPorts.emplace_back();
      if (!ParseSerialAddress(text, address, problem))
        return name_(Setting::kSerial) + ": " + problem;
    }
    if (texts_.emulator) {
      live.emulator =
          ParseConsoleAddress(*texts_.emulator, live.emulatorHost, live.emulatorPort, problem);
      if (!live.emulator) return name_(Setting::kEmulator) + ": " + problem;
      live.emulatorTokenPath = texts_.emulatorToken.value_or(DefaultConsoleTokenPath());
    }
    if (texts_.emulatorToken && texts_.emulatorToken->empty()) {
      return name_(Setting::kEmulatorToken) + " needs the path of the token file";
    }
    return {};
  }

  // The timed track files: a time needs a date, which the classic tracks have only when given.
  std::string TimedFiles() {
    for (const auto& [setting, text, path] :
         {std::tuple{Setting::kGpx, &texts_.gpx, &settings_.gpx},
          std::tuple{Setting::kKml, &texts_.kml, &settings_.kml}}) {
      if (!*text) continue;
      if ((*text)->empty()) return name_(setting) + " needs a file name";
      if (texts_.replay) return NotForReplay(name_(setting));
      if (!settings_.receiver && !settings_.date) {
        return name_(setting) + " needs " + name_(Setting::kDate) +
               " with the classic tracks: their fixes have no date without it";
      }
      *path = **text;
    }
    return {};
  }

  // What is read of the source: not a recorded log's, which is read as it stands.
  std::string Source() {
    if (texts_.replay && texts_.csv) return NotForReplay(name_(Setting::kCsv));
    if (!texts_.path) return {};
    if (texts_.replay) return NotForReplay(name_(Setting::kPath));
    if (texts_.path->empty()) {
      return name_(Setting::kPath) + " needs the name of one of the file's paths or its number";
    }
    settings_.sourcePath = *texts_.path;
    return {};
  }

  // The time between fixes, for the warning about serial ports too slow for them.
  void Period() {
    const double classic = std::fabs(ParseDecimal(settings_.period));
    settings_.live.periodSeconds = settings_.receiver ? settings_.receiver->motion.periodSeconds
                                   : classic == 0.0   ? 1.0
                                                      : classic;
  }

  std::string Receiver() {
    if (texts_.extraPoints) return NotForReceiver(Setting::kExtraPoints);
    ReceiverPlan& plan = settings_.receiver.emplace();
    ReceiverMotion& motion = plan.motion;
    plan.timed = texts_.timed;
    if (plan.timed && texts_.speed) return NotForTimed(name_(Setting::kSpeed));
    if (!plan.timed &&
        (!ParseSpeed(Decimal(*texts_.speed), motion.speedKnots, motion.speedMetresPerSecond) ||
         !InRange(motion.speedKnots, kLeastSpeedKnots, kMostSpeedKnots))) {
      return name_(Setting::kSpeed) +
             Needs(
                 "a speed above 0 in knots (or followed by km/h, mph or m/s), from 0.01 to "
                 "1000000 knots",
                 *texts_.speed);
    }
    motion.periodSeconds = ParsePlainDecimal(Decimal(texts_.period));
    if (!InRange(motion.periodSeconds, kLeastPeriodSeconds, kMostPeriodSeconds)) {
      return name_(Setting::kPeriod) +
             Needs("seconds from 0.001 to 86400 with " +
                       name_(plan.timed ? Setting::kTimed : Setting::kSpeed),
                   texts_.period);
    }
    motion.dwellSeconds = ParsePlainDecimal(Decimal(texts_.dwell));
    if (!InRange(motion.dwellSeconds, 0.0, kMostDwellSeconds)) {
      return name_(Setting::kDwell) + Needs("seconds from 0 to 86400", texts_.dwell);
    }
    if (plan.timed && motion.dwellSeconds != 0.0) return NotForTimed(name_(Setting::kDwell));
    motion.noiseMetres = ParsePlainDecimal(Decimal(texts_.noise));
    if (!InRange(motion.noiseMetres, 0.0, kMostNoiseMetres)) {
      return name_(Setting::kNoise) + Needs("metres from 0 to 100000", texts_.noise);
    }
    if (!AllDigits(texts_.seed, 19)) {
      return name_(Setting::kSeed) + Needs("a whole number of at most 19 digits", texts_.seed);
    }
    motion.seed = std::stoull(texts_.seed);
    std::string problem;
    if (!ParseSentenceList(texts_.sentences, plan.sentences.kinds, problem)) {
      return name_(Setting::kSentences) + ": " + problem;
    }
    problem = Sky(plan);
    return problem.empty() ? Start(plan) : problem;
  }

  std::string Replay() {
    if (texts_.speed) return NotForReplay(name_(Setting::kSpeed));
    if (texts_.timed) return NotForReplay(name_(Setting::kTimed));
    if (texts_.extraPoints) return NotForReplay(name_(Setting::kExtraPoints));
    ReplaySettings& replay = settings_.replay.emplace();
    replay.keepBad = texts_.keepBad;
    const double periodSeconds = ParsePlainDecimal(texts_.period);
    if (!InRange(periodSeconds, kLeastPeriodSeconds, kMostPeriodSeconds)) {
      return name_(Setting::kPeriod) +
             Needs("seconds from 0.001 to 86400 with " + name_(Setting::kReplay), texts_.period);
    }
    replay.untimedPeriodMs = std::max<std::int64_t>(1, std::llround(periodSeconds * 1000.0));
    replay.date = settings_.date;
    if (!texts_.start) return {};
    if (*texts_.start == "now") {
      const DayAndTime now = Now();
      replay.startMsOfDay = now.msOfDay;
      if (!replay.date) replay.date = DateFromDays(now.day);
      return {};
    }
    std::int64_t startMs = 0;
    if (!ParseTimeOfDay(*texts_.start, startMs)) {
      return name_(Setting::kStart) + Needs("a time HH:MM:SS that exists, or now", *texts_.start);
    }
    replay.startMsOfDay = startMs;
    return {};
  }

  std::string NotForReplay(const std::string& settingName) {
    return settingName + " does not apply with " + name_(Setting::kReplay) +
           ": the log's own sentences are sent as recorded";
  }

  std::string NotForTimed(const std::string& settingName) {
    return settingName + " does not apply with " + name_(Setting::kTimed) +
           ": the recorded times give the motion";
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
  static DayAndTime Now() {
    return SplitDays(std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count());
  }

  std::string Start(ReceiverPlan& plan) {
    const DayAndTime now = Now();
    const std::string start = texts_.start.value_or("01:00:00");
    if (start == "now") {
      if (settings_.date) {
        return name_(Setting::kStart) + " now takes today's date: give " + name_(Setting::kDate) +
               " or " + name_(Setting::kStart) + " now, not both";
      }
      plan.startMs = now.msOfDay;
    } else if (!ParseTimeOfDay(start, plan.startMs)) {
      return name_(Setting::kStart) + Needs("a time HH:MM:SS that exists, or now", start);
    }
    plan.date = settings_.date ? *settings_.date : DateFromDays(now.day);
    if (!SentenceCanCarry(plan.date)) {
      return name_(Setting::kStart) + " now gives a date beyond " + kDateRange;
    }
    // A timed track keeps its recorded date and time where none is given; now gives both.
    plan.startGiven = texts_.start.has_value();
    plan.dateGiven = settings_.date || start == "now";
    return {};
  }

  // The satellites and what the sentences say of them, and the outages.
  std::string Sky(ReceiverPlan& plan) {
    SkySettings& sky = plan.sky;
    sky.elevationMaskDegrees = ParsePlainDecimal(texts_.mask);
    if (!(sky.elevationMaskDegrees >= 0.0 && sky.elevationMaskDegrees < 90.0)) {
      return name_(Setting::kMask) + Needs("degrees from 0 to below 90", texts_.mask);
    }
    std::string problem;
    if (!ParseSystemList(texts_.systems, sky.systems, problem)) {
      return name_(Setting::kSystems) + ": " + problem;
    }
    plan.sentences.systems = sky.systems;
    if (texts_.almanac) {
      if (texts_.almanac->empty()) return name_(Setting::kAlmanac) + " needs a file";
      if (std::find(sky.systems.begin(), sky.systems.end(), GnssSystem::kGps) ==
          sky.systems.end()) {
        return name_(Setting::kAlmanac) + " places GPS satellites: give gps in " +
               name_(Setting::kSystems);
      }
      plan.almanacPath = *texts_.almanac;
    }
    if (!ParseNmeaVersion(texts_.nmea, plan.sentences.version)) {
      return name_(Setting::kNmea) + Needs("2.3 or 4.1", texts_.nmea);
    }
    for (const std::string& text : texts_.outages) {
      Outage& outage = plan.outages.emplace_back();
      if (!ParseOutage(text, outage)) {
        return name_(Setting::kOutage) +
               Needs("START+SECONDS, seconds from the first fix and a length above 0 (60+30)",
                     text);
      }
    }
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
  if (problem.empty() && texts.replay) problem = checker.Replay();
  if (problem.empty() && (texts.speed || texts.timed)) problem = checker.Receiver();
  if (problem.empty()) problem = checker.TimedFiles();
  if (problem.empty()) problem = checker.Source();
  settings.sourceAsCsv = texts.csv;
  if (problem.empty()) checker.Period();
  return problem;
}

std::string NotForReceiver(Setting setting, const SettingNames& names) {
  SettingTexts texts;
  JobSettings settings;
  return Checker(texts, names, settings).NotForReceiver(setting);
}

std::string NotForTimed(const std::string& settingName, const SettingNames& names) {
  SettingTexts texts;
  JobSettings settings;
  return Checker(texts, names, settings).NotForTimed(settingName);
}

std::string NotForReplay(const std::string& settingName, const SettingNames& names) {
  SettingTexts texts;
  JobSettings settings;
  return Checker(texts, names, settings).NotForReplay(settingName);
}

}  // namespace wayloom
