#include "nmea.h"

#include <cmath>
#include <cstdint>

#include "number_text.h"

namespace wayloom {
namespace {

constexpr double kMsPerDay = 86400000.0;

// The data fields of the two sentences that stand between the time and the checksum.
// GGA: fix quality 1, 7 satellites, HDOP 1.25, altitude 121 m, geoid separation 47 m, no DGPS.
constexpr std::string_view kGgaTail = "1,07,1.25,00121,M,047,M,,";
// RMC, after speed and course: a fixed 0.00 where a dated RMC has its date, and the variation letter.
constexpr std::string_view kRmcTail = "0.00,E,";

void AppendDigits(std::string& out, std::int64_t value, int width) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = count; pad < width; ++pad) out.push_back('0');
  while (count > 0) out.push_back(digits[--count]);
}

// Degrees padded with zeros to degreeWidth digits, minutes as mm.mmmm, a comma, and the hemisphere
// letter with its comma.
void FormatCoordinate(std::string_view text, int degreeWidth, char positiveLetter,
                      char negativeLetter, std::string& out) {
  const double value = ParseDecimal(text);
  double whole = 0.0;
  const double fraction = std::modf(value, &whole);
  double degrees = std::fabs(whole);

  // The minutes are printed first, so that the width and the carry follow the printed value.
  std::string minutes;
  if (fraction != 0.0) AppendFixed(minutes, std::fabs(fraction) * 60.0, 4);
  if (fraction == 0.0 || minutes == "60.0000") {
    if (fraction != 0.0) degrees += 1.0;  // the minutes round up to a whole degree
    minutes = "00.0000";
  } else if (minutes.size() == 6) {
    minutes.insert(0, 1, '0');  // d.dddd -> 0d.dddd
  }

  const std::size_t degreesStart = out.size();
  AppendFixed(out, degrees, 0);
  const std::size_t printedWidth = out.size() - degreesStart;
  if (printedWidth < static_cast<std::size_t>(degreeWidth)) {
    out.insert(degreesStart, static_cast<std::size_t>(degreeWidth) - printedWidth, '0');
  }
  out += minutes;
  out.push_back(',');
  out.push_back(value < 0 ? negativeLetter : positiveLetter);
  out.push_back(',');
}

}  // namespace

void AppendTimeField(double clockMs, std::string& out) {
  double ms = std::isfinite(clockMs) ? std::nearbyint(clockMs) : 0.0;
  ms = std::fmod(ms, kMsPerDay);
  if (ms < 0) ms += kMsPerDay;
  const auto total = static_cast<std::int64_t>(ms);
  AppendDigits(out, total / 3600000, 2);
  AppendDigits(out, total / 60000 % 60, 2);
  AppendDigits(out, total / 1000 % 60, 2);
  out.push_back('.');
  AppendDigits(out, total % 1000, 3);
  out.push_back(',');
}

void FormatGgaTime(double clockMs, std::string& out) {
  out += "$GPGGA,";
  AppendTimeField(clockMs, out);
}

void FormatRmcTime(double clockMs, std::string& out) {
  out += "$GPRMC,";
  AppendTimeField(clockMs, out);
}

void FormatLatitude(std::string_view latitudeText, std::string& out) {
  FormatCoordinate(latitudeText, 2, 'N', 'S', out);
}

void FormatLongitude(std::string_view longitudeText, std::string& out) {
  FormatCoordinate(longitudeText, 3, 'E', 'W', out);
}

void CloseSentence(std::string& out, std::size_t sentenceStart) {
  unsigned checksum = 0;
  for (std::size_t i = sentenceStart + 1; i < out.size(); ++i) {
    checksum ^= static_cast<unsigned char>(out[i]);
  }
  static const char kHex[] = "0123456789ABCDEF";
  out.push_back('*');
  out.push_back(kHex[(checksum >> 4) & 0xF]);
  out.push_back(kHex[checksum & 0xF]);
}

void SentencePair::Build(double clockMs, std::string_view latitudeText,
                         std::string_view longitudeText, double speedKnots,
                         double courseDegrees) {
  time_.clear();
  AppendTimeField(clockMs, time_);
  position_.clear();
  FormatLatitude(latitudeText, position_);
  FormatLongitude(longitudeText, position_);

  gga_.assign("$GPGGA,");
  gga_ += time_;
  gga_ += position_;
  gga_ += kGgaTail;
  CloseSentence(gga_, 0);

  rmc_.assign("$GPRMC,");
  rmc_ += time_;
  rmc_ += "A,";
  rmc_ += position_;
  AppendFixed(rmc_, speedKnots, 2);
  rmc_.push_back(',');
  AppendFixed(rmc_, courseDegrees, 3);
  rmc_.push_back(',');
  rmc_ += kRmcTail;
  CloseSentence(rmc_, 0);
}

void AppendGga(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               std::string& out) {
  SentencePair pair;
  pair.Build(clockMs, latitudeText, longitudeText, 0.0, 0.0);
  out += pair.Gga();
}

void AppendRmc(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               double speedKnots, double courseDegrees, std::string& out) {
  SentencePair pair;
  pair.Build(clockMs, latitudeText, longitudeText, speedKnots, courseDegrees);
  out += pair.Rmc();
}

}  // namespace wayloom
