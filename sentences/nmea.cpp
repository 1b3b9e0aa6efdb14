#include "sentences/nmea.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/number_text.h"
#include "base/short_copy.h"
#include "base/units.h"
#include "sentences/fields.h"

namespace wayloom {
namespace {

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

// The clock rounded to a whole millisecond (a clock that is not finite counts as midnight of day
// 0), as its day and its time of day. Days beyond the reach of a 64-bit count of milliseconds
// (hundreds of thousands of years) are counted in a double.
struct ClockDay {
  double day = 0.0;
  std::uint64_t msOfDay = 0;
};

ClockDay SplitClock(double clockMs) {
  if (!std::isfinite(clockMs)) return {};
  const double ms = RoundHalfEven(clockMs);
  if (std::fabs(ms) < kTwoPow52) {  // a whole number that an integer holds exactly
    const DayAndTime split = SplitDays(static_cast<std::int64_t>(ms));
    return {static_cast<double>(split.day), static_cast<std::uint64_t>(split.msOfDay)};
  }
  const auto msPerDay = static_cast<double>(kMsPerDay);
  double timeOfDay = std::fmod(ms, msPerDay);
  if (timeOfDay < 0) timeOfDay += msPerDay;
  return {(ms - timeOfDay) / msPerDay, static_cast<std::uint64_t>(timeOfDay)};
}

// Minutes (above 0, below 60) in ten-thousandths, rounded the way "%.4f" prints them; 600000 when
// they print as 60.0000, a whole degree.
std::uint64_t MinuteUnits(double minutes) {
  std::uint64_t units = 0;
  if (RoundScaled(minutes, 4, units)) return units;
  char text[kFixedTextCapacity];  // next to a rounding half: the exact printer decides
  const std::size_t length = WriteFixed(text, minutes, 4);  // d.dddd or dd.dddd
  units = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] != '.') units = units * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  return units;
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

// A coordinate field printed from a plain text's digits, without converting the text: false,
// writing nothing, when the text is not plain, its minutes are an exact tie, or its degrees need
// more than three digits.
bool WritePlainCoordinate(char*& out, std::string_view text, int degreeWidth, char positiveLetter,
                          char negativeLetter) {
  PlainCoordinate plain;
  std::uint64_t minuteUnits = 0;
  if (!ReadPlainCoordinate(text, plain) || !PlainMinutes(plain, minuteUnits)) return false;
  std::uint64_t degrees = plain.degrees;
  if (minuteUnits >= 600000) {  // the minutes round up to a whole degree
    ++degrees;
    minuteUnits = 0;
  }
  if (degrees >= 1000) return false;
  out = WriteCoordinateField<4>(out, degrees, minuteUnits, degreeWidth,
                                plain.negative ? negativeLetter : positiveLetter);
  return true;
}

// Degrees padded with zeros to degreeWidth digits, minutes as mm.mmmm, a comma, and the hemisphere
// letter with its comma; returns the end.
char* WriteCoordinate(char* out, std::string_view text, int degreeWidth, char positiveLetter,
                      char negativeLetter) {
  if (WritePlainCoordinate(out, text, degreeWidth, positiveLetter, negativeLetter)) return out;
  const double value = ParseDecimal(text);
  double whole = 0.0;
  const double fraction = SplitWhole(value, whole);
  double degrees = std::fabs(whole);

  // The minutes are rounded first, so that the width and the carry follow the printed value.
  std::uint64_t minuteUnits = fraction != 0.0 ? MinuteUnits(std::fabs(fraction) * 60.0) : 0;
  if (minuteUnits >= 600000) {
    degrees += 1.0;  // the minutes round up to a whole degree
    minuteUnits = 0;
  }
  const char hemisphere = value < 0 ? negativeLetter : positiveLetter;
  if (degrees < 1e9) {  // a whole number: its digits are its text
    return WriteCoordinateField<4>(out, static_cast<std::uint64_t>(degrees), minuteUnits,
                                   degreeWidth, hemisphere);
  }
  char degreeText[kFixedTextCapacity];
  const std::size_t degreeLength = WriteFixed(degreeText, degrees, 0);
  out = WriteText(out, std::string_view(degreeText, degreeLength));
  return WriteMinutesAndHemisphere<4>(out, minuteUnits, hemisphere);
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
  return WriteText(WriteDdmmyy(out, DateFromDays(days)), ",,");
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
                  [clockMs](char* at) { return WriteTimeField(at, SplitClock(clockMs).msOfDay); });
}

}  // namespace

char* FormatGgaTime(double clockMs, char* out) {
  return TimeField(clockMs, WriteText(out, "$GPGGA,"));
}

char* FormatRmcTime(double clockMs, char* out) {
  return TimeField(clockMs, WriteText(out, "$GPRMC,"));
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
    const double offset = SplitClock(clockMs).day;
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
