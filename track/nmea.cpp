#include "track/nmea.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "track/number_text.h"
#include "track/short_copy.h"

namespace wayloom {
namespace {

constexpr double kMsPerDay = 86400000.0;

// 2^52: from here on every double is a whole number.
constexpr double kTwoPow52 = 4503599627370496.0;

// The nearest whole number, halves to even, as printf and nearbyint round. Adding and removing 2^52
// makes the hardware round away the fraction in the default rounding mode.
double RoundHalfEven(double value) {
  if (!(std::fabs(value) < kTwoPow52)) return value;
  return value >= 0 ? (value + kTwoPow52) - kTwoPow52 : (value - kTwoPow52) + kTwoPow52;
}

// Whole part (towards zero) and fraction, both with the sign of value, as modf splits them.
double SplitWhole(double value, double& whole) {
  if (!(std::fabs(value) < kTwoPow52)) return std::modf(value, &whole);
  whole = static_cast<double>(static_cast<std::int64_t>(value));
  if (whole == 0.0) whole = std::copysign(0.0, value);
  return value - whole;
}

// The RMC fields after speed and course, when undated: a fixed 0.00 in the date field and the
// letter E in the magnetic variation field.
constexpr std::string_view kRmcTail = "0.00,E,";
// Days far enough from any date to matter (about 2.7 million years) are held there, so that the
// calendar arithmetic stays in range whatever the clock.
constexpr double kMostDays = 1e9;

// Writes value with at least width digits, zero padded; returns the end.
char* WriteDigits(char* out, std::int64_t value, int width) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  for (int pad = count; pad < width; ++pad) *out++ = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

char* WriteText(char* out, std::string_view text) {
  return CopyShort(out, text.data(), text.size());
}

// How many days the clock lies after day 0 (negative: before), as the time field counts it: of the
// clock rounded to a whole millisecond, the part that the time of day leaves.
double DayOffset(double clockMs) {
  if (!std::isfinite(clockMs)) return 0.0;
  const double ms = RoundHalfEven(clockMs);
  if (ms >= 0.0 && ms < kMsPerDay) return 0.0;
  double timeOfDay = std::fmod(ms, kMsPerDay);
  if (timeOfDay < 0) timeOfDay += kMsPerDay;
  return (ms - timeOfDay) / kMsPerDay;
}

// hhmmss.sss and a comma; returns the end.
char* WriteTimeField(char* out, double clockMs) {
  double ms = std::isfinite(clockMs) ? RoundHalfEven(clockMs) : 0.0;
  if (!(ms >= 0.0 && ms < kMsPerDay)) {
    ms = std::fmod(ms, kMsPerDay);
    if (ms < 0) ms += kMsPerDay;
  }
  const auto total = static_cast<std::int64_t>(ms);
  out = WriteDigits(out, total / 3600000, 2);
  out = WriteDigits(out, total / 60000 % 60, 2);
  out = WriteDigits(out, total / 1000 % 60, 2);
  *out++ = '.';
  out = WriteDigits(out, total % 1000, 3);
  *out++ = ',';
  return out;
}

// Minutes (below 60) with four decimals, as "%.4f" prints them; returns the length (6 or 7).
std::size_t WriteMinutes(char* out, double minutes) {
  char text[kFixedTextCapacity];  // what WriteFixed asks for; minutes use a few characters of it
  const std::size_t length = WriteFixed(text, minutes, 4);
  CopyShort(out, text, length);
  return length;
}

// Degrees padded with zeros to degreeWidth digits, minutes as mm.mmmm, a comma, and the hemisphere
// letter with its comma; returns the end.
char* WriteCoordinate(char* out, std::string_view text, int degreeWidth, char positiveLetter,
                      char negativeLetter) {
  const double value = ParseDecimal(text);
  double whole = 0.0;
  const double fraction = SplitWhole(value, whole);
  double degrees = std::fabs(whole);

  // The minutes are printed first, so that the width and the carry follow the printed value.
  char minutes[16] = "00.0000";
  if (fraction != 0.0) {
    const std::size_t length = WriteMinutes(minutes + 1, std::fabs(fraction) * 60.0);
    if (length == 6) {
      minutes[0] = '0';  // d.dddd -> 0d.dddd
    } else if (std::string_view(minutes + 1, length) == "60.0000") {
      degrees += 1.0;  // the minutes round up to a whole degree
      std::char_traits<char>::copy(minutes, "00.0000", 7);
    } else {
      std::char_traits<char>::move(minutes, minutes + 1, 7);
    }
  }

  if (degrees < 1e9) {  // a whole number: its digits are its text
    out = WriteDigits(out, static_cast<std::int64_t>(degrees), degreeWidth);
  } else {
    char degreeText[kFixedTextCapacity];
    const std::size_t degreeLength = WriteFixed(degreeText, degrees, 0);
    out = WriteText(out, std::string_view(degreeText, degreeLength));
  }
  out = WriteText(out, std::string_view(minutes, 7));
  *out++ = ',';
  *out++ = value < 0 ? negativeLetter : positiveLetter;
  *out++ = ',';
  return out;
}

char* WriteLatitude(char* out, std::string_view text) {
  return WriteCoordinate(out, text, 2, 'N', 'S');
}

char* WriteLongitude(char* out, std::string_view text) {
  return WriteCoordinate(out, text, 3, 'E', 'W');
}

// The XOR of the bytes of text: a sentence's checksum is that of everything between '$' and '*'.
constexpr unsigned XorOf(std::string_view text) {
  unsigned sum = 0;
  for (char c : text) sum ^= static_cast<unsigned char>(c);
  return sum;
}

// Closes a sentence: '*' and the checksum as two upper-case hex digits; returns the end.
char* WriteChecksumDigits(char* out, unsigned checksum) {
  static const char kHex[] = "0123456789ABCDEF";
  *out++ = '*';
  *out++ = kHex[(checksum >> 4) & 0xF];
  *out++ = kHex[checksum & 0xF];
  return out;
}

}  // namespace

void AppendTimeField(double clockMs, std::string& out) {
  char field[16];
  out.append(field, WriteTimeField(field, clockMs));
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
  char field[SentencePair::kCoordinateFieldCapacity];
  out.append(field, WriteLatitude(field, latitudeText));
}

void FormatLongitude(std::string_view longitudeText, std::string& out) {
  char field[SentencePair::kCoordinateFieldCapacity];
  out.append(field, WriteLongitude(field, longitudeText));
}

void CloseSentence(std::string& out, std::size_t sentenceStart) {
  const unsigned checksum = XorOf(std::string_view(out).substr(sentenceStart + 1));
  const std::size_t end = out.size();
  out.resize(end + 3);
  WriteChecksumDigits(out.data() + end, checksum);
}

std::string_view SentencePair::MotionFields(double speedKnots, double courseDegrees) {
  // Course and speed change once a stretch at most: print them again only when they do (the
  // comparison is of the bits, so that -0 and 0 keep their own texts).
  if (motionLength_ == 0 || std::memcmp(&speedKnots, &motionSpeed_, sizeof speedKnots) != 0 ||
      std::memcmp(&courseDegrees, &motionCourse_, sizeof courseDegrees) != 0) {
    char* out = motion_;
    out += WriteFixed(out, speedKnots, 2);
    *out++ = ',';
    out += WriteFixed(out, courseDegrees, 3);
    *out++ = ',';
    motionLength_ = static_cast<std::size_t>(out - motion_);
    motionXor_ = XorOf(std::string_view(motion_, motionLength_));
    motionSpeed_ = speedKnots;
    motionCourse_ = courseDegrees;
  }
  return std::string_view(motion_, motionLength_);
}

void SentencePair::SetDate(const CalendarDate& date) {
  dated_ = true;
  dayZero_ = DaysFromDate(date);
  dateFieldsValid_ = false;
}

std::string_view SentencePair::DateFields(double clockMs) {
  // The date changes once a day of track at most: write it again only when it does.
  const double day = DayOffset(clockMs);
  if (!dateFieldsValid_ || day != dateFieldsDay_) {
    const double held = day < -kMostDays ? -kMostDays : (day > kMostDays ? kMostDays : day);
    const CalendarDate date = DateFromDays(dayZero_ + static_cast<std::int64_t>(held));
    const std::int64_t yearOfCentury = (date.year % 100 + 100) % 100;
    char* out = WriteDigits(dateFields_, date.day, 2);
    out = WriteDigits(out, date.month, 2);
    out = WriteDigits(out, yearOfCentury, 2);
    out = WriteText(out, ",,");
    dateFieldsLength_ = static_cast<std::size_t>(out - dateFields_);
    dateFieldsXor_ = XorOf(std::string_view(dateFields_, dateFieldsLength_));
    dateFieldsDay_ = day;
    dateFieldsValid_ = true;
  }
  return std::string_view(dateFields_, dateFieldsLength_);
}

void SentencePair::Build(double clockMs, std::string_view latitudeText,
                         std::string_view longitudeText, double speedKnots, double courseDegrees) {
  // Both sentences are written one after the other into text_, which is large enough for any
  // values: the position fields are bounded, and so are speed and course printed with decimals.
  // The checksum is an XOR, so the shared fields are summed once for both sentences.
  char time[16];
  const std::string_view timeField(time,
                                   static_cast<std::size_t>(WriteTimeField(time, clockMs) - time));
  char position[2 * kCoordinateFieldCapacity];
  char* positionEnd = WriteLatitude(position, latitudeText);
  positionEnd = WriteLongitude(positionEnd, longitudeText);
  const std::string_view positionFields(position, static_cast<std::size_t>(positionEnd - position));
  const unsigned shared = XorOf(timeField) ^ XorOf(positionFields);
  const std::string_view motion = MotionFields(speedKnots, courseDegrees);

  static constexpr unsigned kGgaFixed = XorOf("GPGGA,") ^ XorOf(kGgaFixFields);
  char* out = WriteText(text_, "$GPGGA,");
  out = WriteText(out, timeField);
  out = WriteText(out, positionFields);
  out = WriteText(out, kGgaFixFields);
  out = WriteChecksumDigits(out, kGgaFixed ^ shared);
  ggaLength_ = static_cast<std::size_t>(out - text_);

  static constexpr unsigned kRmcFixed = XorOf("GPRMC,") ^ XorOf("A,");
  static constexpr unsigned kUndatedTail = XorOf(kRmcTail);
  std::string_view tail = kRmcTail;
  unsigned tailXor = kUndatedTail;
  if (dated_) {
    tail = DateFields(clockMs);
    tailXor = dateFieldsXor_;
  }
  char* const rmc = out;
  out = WriteText(rmc, "$GPRMC,");
  out = WriteText(out, timeField);
  out = WriteText(out, "A,");
  out = WriteText(out, positionFields);
  out = WriteText(out, motion);
  out = WriteText(out, tail);
  out = WriteChecksumDigits(out, kRmcFixed ^ shared ^ motionXor_ ^ tailXor);
  rmcLength_ = static_cast<std::size_t>(out - rmc);
}

}  // namespace wayloom
