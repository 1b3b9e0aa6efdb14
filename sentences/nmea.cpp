#include "sentences/nmea.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/number_text.h"
#include "base/short_copy.h"

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

// The last text a formatter wrote on this thread and the bytes of the input it wrote it for. An
// input or a text too long for it is not kept.
struct Memo {
  static constexpr std::size_t kInputCapacity = 16;
  static constexpr std::size_t kTextCapacity = 48;
  static constexpr std::size_t kNothing = ~std::size_t{0};

  char input[kInputCapacity] = {};
  std::size_t inputLength = kNothing;
  char text[kTextCapacity] = {};
  std::size_t textLength = 0;
};

// Copies the text kept for input, or writes it with write(out) and keeps it; returns the end.
template <typename Write>
char* Memoized(Memo& memo, const char* input, std::size_t inputLength, char* out, Write write) {
  if (inputLength == memo.inputLength && EqualShort(input, memo.input, inputLength)) {
    return CopyShort(out, memo.text, memo.textLength);
  }
  char* const end = write(out);
  const auto textLength = static_cast<std::size_t>(end - out);
  if (inputLength <= Memo::kInputCapacity && textLength <= Memo::kTextCapacity) {
    CopyShort(memo.input, input, inputLength);
    memo.inputLength = inputLength;
    CopyShort(memo.text, out, textLength);
    memo.textLength = textLength;
  } else {
    memo.inputLength = Memo::kNothing;
  }
  return end;
}

thread_local Memo tTimeField;
thread_local Memo tLatitudeField;
thread_local Memo tLongitudeField;
thread_local Memo tMotionFields;
thread_local Memo tDateFields;

char* WriteText(char* out, std::string_view text) {
  return CopyShort(out, text.data(), text.size());
}

// "00" to "99": two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* WriteTwoDigits(char* out, std::uint64_t value) {
  std::memcpy(out, kDigitPairs + 2 * value, 2);
  return out + 2;
}

// The time of day of a whole-millisecond clock: from 0 up to (not including) one day.
double TimeOfDayMs(double ms) {
  if (ms >= 0.0 && ms < kMsPerDay) return ms;
  if (std::fabs(ms) < kTwoPow52) {  // a whole number that an integer holds exactly
    std::int64_t timeOfDay = static_cast<std::int64_t>(ms) % static_cast<std::int64_t>(kMsPerDay);
    if (timeOfDay < 0) timeOfDay += static_cast<std::int64_t>(kMsPerDay);
    return static_cast<double>(timeOfDay);
  }
  double timeOfDay = std::fmod(ms, kMsPerDay);
  if (timeOfDay < 0) timeOfDay += kMsPerDay;
  return timeOfDay;
}

// How many days the clock lies after day 0 (negative: before), as the time field counts it: of the
// clock rounded to a whole millisecond, the part that the time of day leaves.
double DayOffset(double clockMs) {
  if (!std::isfinite(clockMs)) return 0.0;
  const double ms = RoundHalfEven(clockMs);
  return (ms - TimeOfDayMs(ms)) / kMsPerDay;
}

// hhmmss.sss and a comma; returns the end.
char* WriteTimeField(char* out, double clockMs) {
  const double ms = TimeOfDayMs(std::isfinite(clockMs) ? RoundHalfEven(clockMs) : 0.0);
  const auto total = static_cast<std::uint64_t>(ms);
  out = WriteTwoDigits(out, total / 3600000);
  out = WriteTwoDigits(out, total / 60000 % 60);
  out = WriteTwoDigits(out, total / 1000 % 60);
  *out++ = '.';
  *out++ = static_cast<char>('0' + total % 1000 / 100);
  out = WriteTwoDigits(out, total % 100);
  *out++ = ',';
  return out;
}

// Minutes (above 0, below 60) as mm.mmmm, the way "%.4f" prints them with a leading zero below
// 10, in the seven characters at out; true when they print as 60.0000, a whole degree.
bool WriteMinutes(char* out, double minutes) {
  std::uint64_t units = 0;
  if (RoundScaled(minutes, 4, units)) {
    if (units >= 600000) return true;
    out = WriteTwoDigits(out, units / 10000);
    *out++ = '.';
    out = WriteTwoDigits(out, units / 100 % 100);
    WriteTwoDigits(out, units % 100);
    return false;
  }
  char text[kFixedTextCapacity];  // next to a rounding half: the exact printer decides
  const std::size_t length = WriteFixed(text, minutes, 4);
  if (std::string_view(text, length) == "60.0000") return true;
  if (length == 6) *out++ = '0';  // d.dddd -> 0d.dddd
  CopyShort(out, text, length);
  return false;
}

// A coordinate text as POI files and extra points have it: a sign or none, at most three digits
// before the point (leading zeros aside) and at most ten after it.
struct PlainCoordinate {
  bool negative = false;       // a minus sign and a digit that is not 0
  std::uint64_t degrees = 0;   // the digits before the point
  std::uint64_t fraction = 0;  // the digits after it
  int decimals = 0;            // how many there are
};

bool ReadPlainCoordinate(std::string_view text, PlainCoordinate& coordinate) {
  std::size_t i = 0;
  const bool minus = !text.empty() && text[0] == '-';
  if (!text.empty() && (minus || text[0] == '+')) ++i;
  bool anyDigit = false;
  while (i < text.size() && text[i] == '0') {
    ++i;
    anyDigit = true;
  }
  int integerDigits = 0;
  for (; i < text.size() && static_cast<unsigned char>(text[i] - '0') <= 9; ++i, ++integerDigits) {
    if (integerDigits == 3) return false;
    coordinate.degrees = coordinate.degrees * 10 + static_cast<std::uint64_t>(text[i] - '0');
    anyDigit = true;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && static_cast<unsigned char>(text[i] - '0') <= 9; ++i) {
      if (coordinate.decimals == 10) return false;
      coordinate.fraction = coordinate.fraction * 10 + static_cast<std::uint64_t>(text[i] - '0');
      ++coordinate.decimals;
      anyDigit = true;
    }
  }
  coordinate.negative = minus && (coordinate.degrees != 0 || coordinate.fraction != 0);
  return anyDigit && i == text.size();
}

// The minutes of a plain coordinate in ten-thousandths, rounded to the nearest; false on an exact
// tie. The double the text converts to lies within 6e-14 of its decimal value (below 1000, one
// rounding), so the minutes computed from it lie within 4e-12 of the exact ones, which are a
// multiple of 6e-10 minutes (at most ten decimals): away from a tie, both round alike. A tie is
// left to the conversion, as the double's own error decides it.
bool PlainMinutes(const PlainCoordinate& coordinate, std::uint64_t& units) {
  static constexpr std::uint64_t kPowers[] = {
      1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000};
  // The exact minutes in ten-thousandths are fraction * 60 * 10^4 / 10^decimals, which is
  // fraction * 6 * 10^(5 - decimals).
  const std::uint64_t sixfold = coordinate.fraction * 6;
  if (coordinate.decimals <= 5) {
    units = sixfold * kPowers[5 - coordinate.decimals];
    return true;
  }
  const std::uint64_t divisor = kPowers[coordinate.decimals - 5];
  const std::uint64_t remainder = sixfold % divisor;
  units = sixfold / divisor;
  if (2 * remainder == divisor) return false;
  if (2 * remainder > divisor) ++units;
  return true;
}

// Degrees padded with zeros to degreeWidth digits, minutes as mm.mmmm, a comma, and the hemisphere
// letter with its comma; returns the end.
char* WriteCoordinate(char* out, std::string_view text, int degreeWidth, char positiveLetter,
                      char negativeLetter) {
  // Plain texts are printed from their digits, without converting them.
  PlainCoordinate plain;
  std::uint64_t minuteUnits = 0;
  if (ReadPlainCoordinate(text, plain) && PlainMinutes(plain, minuteUnits)) {
    std::uint64_t degrees = plain.degrees;
    if (minuteUnits >= 600000) {  // the minutes round up to a whole degree
      ++degrees;
      minuteUnits = 0;
    }
    if (degrees < 1000) {
      if (degreeWidth == 3 || degrees >= 100) *out++ = static_cast<char>('0' + degrees / 100);
      out = WriteTwoDigits(out, degrees % 100);
      out = WriteTwoDigits(out, minuteUnits / 10000);
      *out++ = '.';
      out = WriteTwoDigits(out, minuteUnits / 100 % 100);
      out = WriteTwoDigits(out, minuteUnits % 100);
      *out++ = ',';
      *out++ = plain.negative ? negativeLetter : positiveLetter;
      *out++ = ',';
      return out;
    }
  }

  const double value = ParseDecimal(text);
  double whole = 0.0;
  const double fraction = SplitWhole(value, whole);
  double degrees = std::fabs(whole);

  // The minutes are printed first, so that the width and the carry follow the printed value.
  char minutes[8] = "00.0000";
  if (fraction != 0.0 && WriteMinutes(minutes, std::fabs(fraction) * 60.0)) {
    degrees += 1.0;  // the minutes round up to a whole degree
    std::char_traits<char>::copy(minutes, "00.0000", 7);
  }

  if (degrees < 1000) {  // two or three digits: every coordinate on the Earth
    const auto units = static_cast<std::uint64_t>(degrees);
    if (degreeWidth == 3 || units >= 100) *out++ = static_cast<char>('0' + units / 100);
    out = WriteTwoDigits(out, units % 100);
  } else if (degrees < 1e9) {  // a whole number: its digits are its text
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

// The XOR of size bytes from text, eight at a time.
unsigned XorOf(const char* text, std::size_t size) {
  std::uint64_t words = 0;
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    words ^= word;
  }
  for (; i < size; ++i) words ^= static_cast<unsigned char>(text[i]);
  words ^= words >> 32;
  words ^= words >> 16;
  words ^= words >> 8;
  return static_cast<unsigned>(words & 0xFF);
}

// The speed and course fields of the RMC sentence, each with its comma.
char* WriteMotionFields(char* out, double speedKnots, double courseDegrees) {
  out += WriteFixed(out, speedKnots, 2);
  *out++ = ',';
  out += WriteFixed(out, courseDegrees, 3);
  *out++ = ',';
  return out;
}

// The date field (ddmmyy) and the two empty variation fields of the given day.
char* WriteDateFields(char* out, std::int64_t days) {
  const CalendarDate date = DateFromDays(days);
  const std::int64_t yearOfCentury = (date.year % 100 + 100) % 100;
  out = WriteDigits(out, date.day, 2);
  out = WriteDigits(out, date.month, 2);
  out = WriteDigits(out, yearOfCentury, 2);
  return WriteText(out, ",,");
}

// The bytes of a number, as a memo compares inputs: -0 and 0 have texts of their own.
template <typename Number>
struct Bytes {
  explicit Bytes(const Number& number) { std::memcpy(bytes, &number, sizeof number); }
  char bytes[sizeof(Number)];
};

char* TimeField(double clockMs, char* out) {
  const Bytes<double> input(clockMs);
  return Memoized(tTimeField, input.bytes, sizeof input.bytes, out,
                  [clockMs](char* at) { return WriteTimeField(at, clockMs); });
}

}  // namespace

void AppendTimeField(double clockMs, std::string& out) {
  char field[32];
  out.append(field, TimeField(clockMs, field));
}

char* FormatGgaTime(double clockMs, char* out) {
  return TimeField(clockMs, WriteText(out, "$GPGGA,"));
}

char* FormatRmcTime(double clockMs, char* out) {
  return TimeField(clockMs, WriteText(out, "$GPRMC,"));
}

void FormatGgaTime(double clockMs, std::string& out) {
  char field[32];
  out.append(field, FormatGgaTime(clockMs, field));
}

void FormatRmcTime(double clockMs, std::string& out) {
  char field[32];
  out.append(field, FormatRmcTime(clockMs, field));
}

char* FormatLatitude(std::string_view latitudeText, char* out) {
  return Memoized(
      tLatitudeField, latitudeText.data(), latitudeText.size(), out,
      [latitudeText](char* at) { return WriteCoordinate(at, latitudeText, 2, 'N', 'S'); });
}

char* FormatLongitude(std::string_view longitudeText, char* out) {
  return Memoized(
      tLongitudeField, longitudeText.data(), longitudeText.size(), out,
      [longitudeText](char* at) { return WriteCoordinate(at, longitudeText, 3, 'E', 'W'); });
}

void FormatLatitude(std::string_view latitudeText, std::string& out) {
  char field[kCoordinateFieldCapacity];
  out.append(field, FormatLatitude(latitudeText, field));
}

void FormatLongitude(std::string_view longitudeText, std::string& out) {
  char field[kCoordinateFieldCapacity];
  out.append(field, FormatLongitude(longitudeText, field));
}

char* CloseSentence(char* sentenceStart, char* end) {
  static const char kHex[] = "0123456789ABCDEF";
  const unsigned checksum =
      XorOf(sentenceStart + 1, static_cast<std::size_t>(end - sentenceStart) - 1);
  *end++ = '*';
  *end++ = kHex[(checksum >> 4) & 0xF];
  *end++ = kHex[checksum & 0xF];
  return end;
}

void CloseSentence(std::string& out, std::size_t sentenceStart) {
  const std::size_t end = out.size();
  out.resize(end + 3);
  CloseSentence(out.data() + sentenceStart, out.data() + end);
}

char* BuildGga(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               char* out) {
  char* const start = out;
  out = FormatGgaTime(clockMs, out);
  out = FormatLatitude(latitudeText, out);
  out = FormatLongitude(longitudeText, out);
  out = WriteText(out, kGgaFixFields);
  return CloseSentence(start, out);
}

char* BuildRmc(double clockMs, std::string_view latitudeText, std::string_view longitudeText,
               double speedKnots, double courseDegrees, const CalendarDate* date, char* out) {
  char* const start = out;
  out = FormatRmcTime(clockMs, out);
  out = WriteText(out, "A,");
  out = FormatLatitude(latitudeText, out);
  out = FormatLongitude(longitudeText, out);
  const Bytes<double[2]> motion({speedKnots, courseDegrees});
  out = Memoized(tMotionFields, motion.bytes, sizeof motion.bytes, out,
                 [=](char* at) { return WriteMotionFields(at, speedKnots, courseDegrees); });
  if (date) {
    // The day the clock falls on, as the time field counts it.
    const double offset = DayOffset(clockMs);
    const double held =
        offset < -kMostDays ? -kMostDays : (offset > kMostDays ? kMostDays : offset);
    const std::int64_t day = DaysFromDate(*date) + static_cast<std::int64_t>(held);
    const Bytes<std::int64_t> input(day);
    out = Memoized(tDateFields, input.bytes, sizeof input.bytes, out,
                   [day](char* at) { return WriteDateFields(at, day); });
  } else {
    out = WriteText(out, kRmcTail);
  }
  return CloseSentence(start, out);
}

}  // namespace wayloom
