#include "motion/almanac.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include "base/number_text.h"
#include "base/units.h"

namespace wayloom {
namespace {

constexpr double kSecondsPerWeek = 604800.0;
constexpr double kWeeksPerRollover = 1024.0;
// An orbit whose perigee is lower than this would graze the atmosphere; higher than the apogee
// limit is no navigation orbit either. Both keep the Kepler solution well away from trouble.
constexpr double kLowestPerigeeMetres = 6600e3;
constexpr double kHighestOrbitMetres = 100000e3;
// SEM gives the inclination as an offset from 0.30 semicircles (54 degrees).
constexpr double kSemReferenceInclinationSemicircles = 0.30;

// The values of one satellite's record, in the order both forms give them (SEM leaves out the
// clock terms' names but not their place).
enum class Field {
  kPrn,
  kHealth,
  kEccentricity,
  kTimeOfApplicability,
  kInclination,
  kRightAscensionRate,
  kSqrtSemiMajorAxis,
  kRightAscensionAtWeek,
  kArgumentOfPerigee,
  kMeanAnomaly,
  kClockBias,
  kClockDrift,
  kWeek,
  kUnusedWhole,  // SEM's SVN, URA and configuration: checked, not kept
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// A decimal number as almanacs print them: an optional sign, digits with an optional point, an
// optional exponent ("-0.7886042771E-008"). Nothing else, not even a blank.
bool ReadNumber(std::string_view text, double& value) {
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  const double magnitude = ParsePlainDecimal(text);
  if (!std::isfinite(magnitude)) return false;
  value = negative ? -magnitude : magnitude;
  return true;
}

// Digits only, at most nine of them.
bool ReadWhole(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// The whole-number fields: PRN, health, week and the ones SEM adds.
std::string SetWholeField(AlmanacRecord& record, Field field, std::string_view token) {
  int unused = 0;
  int& value = field == Field::kPrn      ? record.prn
               : field == Field::kHealth ? record.health
               : field == Field::kWeek   ? record.week
                                         : unused;
  if (!ReadWhole(token, value)) return Quoted(token) + " is not a whole number";
  if (field == Field::kPrn && (record.prn < 1 || record.prn > 32)) {
    return "PRN " + Quoted(token) + " is not a GPS PRN (1 to 32)";
  }
  return {};
}

// Where a number field is kept; nowhere for the clock terms.
double* NumberPlace(AlmanacRecord& record, Field field) {
  switch (field) {
    case Field::kEccentricity:
      return &record.eccentricity;
    case Field::kTimeOfApplicability:
      return &record.timeOfApplicabilitySeconds;
    case Field::kInclination:
      return &record.inclinationRadians;
    case Field::kSqrtSemiMajorAxis:
      return &record.sqrtSemiMajorAxis;
    case Field::kRightAscensionRate:
      return &record.rightAscensionRateRadiansPerSecond;
    case Field::kRightAscensionAtWeek:
      return &record.rightAscensionAtWeekRadians;
    case Field::kArgumentOfPerigee:
      return &record.argumentOfPerigeeRadians;
    case Field::kMeanAnomaly:
      return &record.meanAnomalyRadians;
    default:
      return nullptr;  // the clock terms: read, not needed for positions
  }
}

// The problem with a value just read into record, or none.
std::string RangeProblem(const AlmanacRecord& record, Field field, std::string_view token) {
  const double metres = record.sqrtSemiMajorAxis * record.sqrtSemiMajorAxis;
  switch (field) {
    case Field::kEccentricity:
      if (record.eccentricity >= 0.0 && record.eccentricity < 1.0) return {};
      return "eccentricity " + Quoted(token) + " is not that of an orbit (0 to below 1)";
    case Field::kTimeOfApplicability:
      if (record.timeOfApplicabilitySeconds >= 0.0 &&
          record.timeOfApplicabilitySeconds < kSecondsPerWeek) {
        return {};
      }
      return "time of applicability " + Quoted(token) + " is not within a week (0 to 604799 s)";
    case Field::kInclination:
      if (record.inclinationRadians >= 0.0 && record.inclinationRadians <= kPi) return {};
      return "inclination " + Quoted(token) + " is not from 0 to 180 degrees";
    case Field::kSqrtSemiMajorAxis:
      if (record.sqrtSemiMajorAxis > 0.0 && metres <= kHighestOrbitMetres &&
          metres * (1.0 - record.eccentricity) >= kLowestPerigeeMetres) {
        return {};
      }
      return "SQRT(A) " + Quoted(token) + " gives no orbit clear of the Earth";
    default:
      return {};
  }
}

// Reads token as field into record, in the units of the YUMA form: scale turns the file's unit
// into that one (pi for SEM's semicircles), offset is added before (SEM's inclination offset).
// The problem, without the line, when the token does not read or the value is out of range.
std::string SetField(AlmanacRecord& record, Field field, std::string_view token, double scale = 1.0,
                     double offset = 0.0) {
  if (field == Field::kPrn || field == Field::kHealth || field == Field::kWeek ||
      field == Field::kUnusedWhole) {
    return SetWholeField(record, field, token);
  }
  double value = 0.0;
  if (!ReadNumber(token, value)) return Quoted(token) + " is not a number";
  if (double* place = NumberPlace(record, field)) *place = (value + offset) * scale;
  return RangeProblem(record, field, token);
}

// The text's lines one by one, counted from 1; blank lines are passed over.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  bool NextFilled(std::string_view& line) {
    while (from_ < text_.size()) {
      const std::size_t end = std::min(text_.find('\n', from_), text_.size());
      line = Trim(text_.substr(from_, end - from_));
      from_ = end + 1;
      ++number_;
      if (!line.empty()) return true;
    }
    return false;
  }
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t from_ = 0;
  int number_ = 0;
};

std::string AtLine(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

// The record's PRN must not be one read before.
std::string Duplicate(const std::vector<AlmanacRecord>& records, const AlmanacRecord& record) {
  const auto same = [&record](const AlmanacRecord& other) { return other.prn == record.prn; };
  if (std::any_of(records.begin(), records.end(), same)) {
    return "PRN " + std::to_string(record.prn) + " is given twice";
  }
  return {};
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether a YUMA label begins with the expected name, in any case ("SQRT(A)  (m 1/2)").
bool LabelStarts(std::string_view label, std::string_view expected) {
  if (label.size() < expected.size()) return false;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (Lower(label[i]) != Lower(expected[i])) return false;
  }
  return true;
}

// YUMA: a line of stars, then thirteen "Name: value" lines in a fixed order, per satellite.
bool ParseYuma(LineReader& lines, std::vector<AlmanacRecord>& records, std::string& problem) {
  static constexpr std::pair<std::string_view, Field> kLines[] = {
      {"ID", Field::kPrn},
      {"Health", Field::kHealth},
      {"Eccentricity", Field::kEccentricity},
      {"Time of Applicability", Field::kTimeOfApplicability},
      {"Orbital Inclination", Field::kInclination},
      {"Rate of Right Ascen", Field::kRightAscensionRate},
      {"SQRT(A)", Field::kSqrtSemiMajorAxis},
      {"Right Ascen at Week", Field::kRightAscensionAtWeek},
      {"Argument of Perigee", Field::kArgumentOfPerigee},
      {"Mean Anom", Field::kMeanAnomaly},
      {"Af0", Field::kClockBias},
      {"Af1", Field::kClockDrift},
      {"week", Field::kWeek},
  };
  std::string_view line;
  while (lines.NextFilled(line)) {
    if (line.front() != '*') {
      problem = AtLine(lines.Number(), "a line of stars that starts a satellite was expected");
      return false;
    }
    AlmanacRecord record;
    for (const auto& [name, field] : kLines) {
      if (!lines.NextFilled(line)) {
        problem =
            AtLine(lines.Number(), "the file ends where '" + std::string(name) + ":' was expected");
        return false;
      }
      const std::size_t colon = line.find(':');
      if (colon == std::string_view::npos || !LabelStarts(line.substr(0, colon), name)) {
        problem = AtLine(lines.Number(), "'" + std::string(name) + ":' was expected");
        return false;
      }
      problem = SetField(record, field, Trim(line.substr(colon + 1)));
      if (problem.empty() && field == Field::kPrn) problem = Duplicate(records, record);
      if (!problem.empty()) {
        problem = AtLine(lines.Number(), problem);
        return false;
      }
    }
    records.push_back(record);
  }
  return true;
}

// The blank-separated tokens of the next line that is not blank, which must be `count`.
bool SemTokens(LineReader& lines, std::size_t count, std::vector<std::string_view>& tokens,
               std::string& problem) {
  std::string_view line;
  if (!lines.NextFilled(line)) {
    problem =
        AtLine(lines.Number(), "the file ends before the satellites the first line announces");
    return false;
  }
  tokens.clear();
  for (std::size_t from = 0; from < line.size();) {
    const std::size_t end = std::min(line.find_first_of(" \t", from), line.size());
    if (end > from) tokens.push_back(line.substr(from, end - from));
    from = end + 1;
  }
  if (tokens.size() != count) {
    problem = AtLine(lines.Number(), std::to_string(count) + (count == 1 ? " value" : " values") +
                                         " expected, " + std::to_string(tokens.size()) + " found");
    return false;
  }
  return true;
}

// One SEM record: PRN, SVN, URA, then eccentricity, inclination offset, rate of right ascension
// and SQRT(A); right ascension, argument of perigee and mean anomaly; the two clock terms;
// health; configuration. Angles in semicircles.
bool ParseSemRecord(LineReader& lines, AlmanacRecord& record,
                    const std::vector<AlmanacRecord>& records, std::string& problem) {
  struct Value {
    Field field;
    std::size_t line;  // of the record, counted from 0
    double scale;
    double offset;
  };
  static constexpr Value kValues[] = {
      {Field::kPrn, 0, 1, 0},
      {Field::kUnusedWhole, 1, 1, 0},
      {Field::kUnusedWhole, 2, 1, 0},
      {Field::kEccentricity, 3, 1, 0},
      {Field::kInclination, 3, kPi, kSemReferenceInclinationSemicircles},
      {Field::kRightAscensionRate, 3, kPi, 0},
      {Field::kSqrtSemiMajorAxis, 3, 1, 0},
      {Field::kRightAscensionAtWeek, 4, kPi, 0},
      {Field::kArgumentOfPerigee, 4, kPi, 0},
      {Field::kMeanAnomaly, 4, kPi, 0},
      {Field::kClockBias, 5, 1, 0},
      {Field::kClockDrift, 5, 1, 0},
      {Field::kHealth, 6, 1, 0},
      {Field::kUnusedWhole, 7, 1, 0},
  };
  static constexpr std::size_t kTokensPerLine[] = {1, 1, 1, 4, 3, 2, 1, 1};
  std::vector<std::string_view> tokens;
  const Value* value = std::begin(kValues);
  for (std::size_t line = 0; line < std::size(kTokensPerLine); ++line) {
    if (!SemTokens(lines, kTokensPerLine[line], tokens, problem)) return false;
    for (std::size_t token = 0; value != std::end(kValues) && value->line == line;
         ++value, ++token) {
      problem = SetField(record, value->field, tokens[token], value->scale, value->offset);
      if (problem.empty() && value->field == Field::kPrn) problem = Duplicate(records, record);
      if (!problem.empty()) {
        problem = AtLine(lines.Number(), problem);
        return false;
      }
    }
  }
  return true;
}

// SEM: the number of records and a title; the week and the time of applicability of them all;
// then the records.
bool ParseSem(LineReader& lines, std::vector<AlmanacRecord>& records, std::string& problem) {
  std::string_view line;
  lines.NextFilled(line);
  int count = 0;
  const std::string_view first = line.substr(0, line.find_first_of(" \t"));
  if (!ReadWhole(first, count) || count < 1 || count > 32) {
    problem = AtLine(lines.Number(),
                     "the number of satellites (1 to 32) was expected, not " + Quoted(first));
    return false;
  }
  std::vector<std::string_view> tokens;
  AlmanacRecord shared;
  if (!SemTokens(lines, 2, tokens, problem)) return false;
  problem = SetField(shared, Field::kWeek, tokens[0]);
  if (problem.empty()) problem = SetField(shared, Field::kTimeOfApplicability, tokens[1]);
  if (!problem.empty()) {
    problem = AtLine(lines.Number(), problem);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    AlmanacRecord record = shared;
    if (!ParseSemRecord(lines, record, records, problem)) return false;
    records.push_back(record);
  }
  if (lines.NextFilled(line)) {
    problem = AtLine(lines.Number(), "more than the " + std::to_string(count) +
                                         " satellites the first line announces");
    return false;
  }
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ParseAlmanac(std::string_view text, std::vector<AlmanacRecord>& records,
                  std::string& problem) {
  records.clear();
  problem.clear();
  LineReader probe(text);
  std::string_view first;
  if (!probe.NextFilled(first)) {
    problem = "the almanac is empty";
    return false;
  }
  LineReader lines(text);
  bool read = false;
  if (first.front() == '*') {
    read = ParseYuma(lines, records, problem);
  } else if (first.front() >= '0' && first.front() <= '9') {
    read = ParseSem(lines, records, problem);
  } else {
    problem = AtLine(probe.Number(),
                     "not a GPS almanac: YUMA begins with a line of stars, SEM with a number");
  }
  if (!read) records.clear();
  return read;
}

bool ReadAlmanacFile(const std::string& path, std::vector<AlmanacRecord>& records,
                     std::string& problem, std::error_code& reason) {
  reason.clear();
  records.clear();
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    reason = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
    problem = "cannot open the almanac " + Quoted(path);
    return false;
  }
  std::string text(kLargestAlmanacBytes + 1, '\0');
  const std::size_t length = std::fread(text.data(), 1, text.size(), file.get());
  if (std::ferror(file.get())) {
    reason = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    problem = "cannot read the almanac " + Quoted(path);
    return false;
  }
  if (length > kLargestAlmanacBytes) {
    problem = "the almanac " + Quoted(path) + " is larger than 1 MiB: not an almanac";
    return false;
  }
  text.resize(length);
  if (!ParseAlmanac(text, records, problem)) {
    problem = "almanac " + Quoted(path) + ", " + problem;
    return false;
  }
  return true;
}

std::vector<SatelliteOrbit> OrbitsFromAlmanac(const std::vector<AlmanacRecord>& records,
                                              double nearGpsSeconds) {
  std::vector<SatelliteOrbit> orbits;
  for (const AlmanacRecord& record : records) {
    double week = record.week;
    if (week < kWeeksPerRollover) {
      // The whole week whose count modulo 1024 is the given one, nearest the track's start.
      const double rollovers = std::round((nearGpsSeconds / kSecondsPerWeek - week -
                                           record.timeOfApplicabilitySeconds / kSecondsPerWeek) /
                                          kWeeksPerRollover);
      week += kWeeksPerRollover * std::max(rollovers, 0.0);
    }
    SatelliteOrbit satellite;
    satellite.system = GnssSystem::kGps;
    satellite.id = record.prn;
    satellite.healthy = record.health == 0;
    OrbitElements& orbit = satellite.elements;
    const double a = record.sqrtSemiMajorAxis * record.sqrtSemiMajorAxis;
    orbit.epochGpsSeconds = week * kSecondsPerWeek + record.timeOfApplicabilitySeconds;
    orbit.semiMajorAxisMetres = a;
    orbit.eccentricity = record.eccentricity;
    orbit.inclinationRadians = record.inclinationRadians;
    // The node's longitude at the start of the week, turned by the Earth up to the epoch.
    orbit.nodeLongitudeRadians = record.rightAscensionAtWeekRadians -
                                 kEarthRotationRadiansPerSecond * record.timeOfApplicabilitySeconds;
    orbit.nodeDriftRadiansPerSecond =
        record.rightAscensionRateRadiansPerSecond - kEarthRotationRadiansPerSecond;
    orbit.argumentOfPerigeeRadians = record.argumentOfPerigeeRadians;
    orbit.meanAnomalyRadians = record.meanAnomalyRadians;
    orbit.meanMotionRadiansPerSecond = std::sqrt(kEarthGravityM3PerS2 / (a * a * a));
    orbits.push_back(satellite);
  }
  std::sort(orbits.begin(), orbits.end(),
            [](const SatelliteOrbit& a, const SatelliteOrbit& b) { return a.id < b.id; });
  return orbits;
}

}  // namespace wayloom
