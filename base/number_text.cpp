#include "base/number_text.h"

#include "base/short_copy.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace wayloom {
namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

// Integers of up to 15 decimal digits and powers of ten up to 1e22 are exact doubles.
constexpr std::int64_t kExactDigits = 15;
constexpr std::int64_t kMaxExactPower = 22;
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads digits from p, adding the first kExactDigits significant ones to mantissa.
const char* ScanDigits(const char* p, const char* end, std::uint64_t& mantissa,
                       std::int64_t& significantDigits) {
  for (; p < end && IsDigit(*p); ++p) {
    if (++significantDigits <= kExactDigits) {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    }
  }
  return p;
}

const char* SkipZeros(const char* p, const char* end) {
  while (p < end && *p == '0') ++p;
  return p;
}

}  // namespace

double ParseDecimal(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end && IsCSpace(*p)) ++p;

  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }

  // The mantissa: digits, a point, digits. Leading zeros are not significant. The decimal
  // magnitude of the first significant digit is kept so that a result out of range can be told
  // apart as overflow (infinity) or underflow (zero).
  const char* const numberStart = p;
  std::uint64_t mantissa = 0;
  std::int64_t significantDigits = 0;
  p = SkipZeros(p, end);
  const char* const integerStart = p;
  p = ScanDigits(p, end, mantissa, significantDigits);
  const std::int64_t integerDigits = p - integerStart;
  bool anyDigit = p > numberStart;
  std::int64_t fractionDigits = 0;
  std::int64_t zerosAfterPoint = 0;
  if (p < end && *p == '.') {
    const char* const fractionStart = ++p;
    if (significantDigits == 0) {
      p = SkipZeros(p, end);
      zerosAfterPoint = p - fractionStart;
    }
    p = ScanDigits(p, end, mantissa, significantDigits);
    fractionDigits = p - fractionStart;
    anyDigit = anyDigit || fractionDigits > 0;
  }
  if (!anyDigit) return 0.0;

  // An exponent counts only when at least one digit follows the 'e' and its sign.
  const char* numberEnd = p;
  std::int64_t exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool exponentNegative = false;
    if (q < end && (*q == '+' || *q == '-')) {
      exponentNegative = *q == '-';
      ++q;
    }
    if (q < end && IsDigit(*q)) {
      for (; q < end && IsDigit(*q); ++q) {
        if (exponent < 1000000000) exponent = exponent * 10 + (*q - '0');
      }
      if (exponentNegative) exponent = -exponent;
      numberEnd = q;
    }
  }
  if (significantDigits == 0) return negative ? -0.0 : 0.0;

  // Few digits and a small exponent: the mantissa and the power of ten are both exact doubles, so
  // one multiplication or division rounds correctly, as the full conversion would.
  const std::int64_t decimalExponent = exponent - fractionDigits;
  if (significantDigits <= kExactDigits && decimalExponent >= -kMaxExactPower &&
      decimalExponent <= kMaxExactPower) {
    const double exact = static_cast<double>(mantissa);
    const double value = decimalExponent < 0 ? exact / kPowersOfTen[-decimalExponent]
                                             : exact * kPowersOfTen[decimalExponent];
    return negative ? -value : value;
  }

  double value = 0.0;
  const auto result = std::from_chars(numberStart, numberEnd, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const std::int64_t magnitude = integerDigits > 0 ? integerDigits : -zerosAfterPoint;
    value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;  // cannot happen after the scan above; keep atof's answer for "no number"
  }
  return negative ? -value : value;
}

namespace {

// Values whose scaled magnitude stays below 2^31 have an ulp of at most 2^-21 after scaling, so
// unless the scaled value lies within this distance of a half, rounding it gives the same
// integer as rounding the exact binary value would.
constexpr double kFastScaledLimit = 2147483648.0;
constexpr double kTieGuard = 1e-6;

}  // namespace

bool RoundScaled(double value, int decimals, std::uint64_t& units) {
  if (decimals < 0 || decimals > 9 || !(std::fabs(value) < kFastScaledLimit)) return false;
  const double scaled = std::fabs(value) * kPowersOfTen[decimals];
  if (!(scaled < kFastScaledLimit)) return false;
  units = static_cast<std::uint64_t>(scaled);  // truncation: the floor of a positive value
  const double fraction = scaled - static_cast<double>(units);
  if (std::fabs(fraction - 0.5) <= kTieGuard) return false;
  if (fraction > 0.5) ++units;
  return true;
}

namespace {

// The fast path of WriteFixed; false when the value needs the exact printer.
bool WriteFixedFast(char* buffer, double value, int decimals, std::size_t& length) {
  std::uint64_t units = 0;
  if (!RoundScaled(value, decimals, units)) return false;

  char digits[24];
  char* first = digits + sizeof digits;
  for (int d = 0; d < decimals; ++d) {
    *--first = static_cast<char>('0' + units % 10);
    units /= 10;
  }
  if (decimals > 0) *--first = '.';
  do {
    *--first = static_cast<char>('0' + units % 10);
    units /= 10;
  } while (units > 0);
  if (std::signbit(value)) *--first = '-';
  length = static_cast<std::size_t>(digits + sizeof digits - first);
  CopyShort(buffer, first, length);
  return true;
}

}  // namespace

std::size_t WriteFixed(char* buffer, double value, int decimals) {
  std::size_t length = 0;
  if (WriteFixedFast(buffer, value, decimals, length)) return length;
  // The exact printer: the library's to_chars prints the binary value's exact decimal expansion.
  const auto result =
      std::to_chars(buffer, buffer + kFixedTextCapacity, value, std::chars_format::fixed, decimals);
  return static_cast<std::size_t>(result.ptr - buffer);
}

void AppendFixed(std::string& out, double value, int decimals) {
  if (decimals >= 0 && decimals <= kMaxFixedDecimals) {
    char buffer[kFixedTextCapacity];
    out.append(buffer, WriteFixed(buffer, value, decimals));
    return;
  }
  std::string big(static_cast<std::size_t>(decimals) + kFixedTextCapacity, '\0');
  const auto result =
      std::to_chars(big.data(), big.data() + big.size(), value, std::chars_format::fixed, decimals);
  out.append(big.data(), result.ptr);
}

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

std::string FormatFixed(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  return text;
}

double ParsePlainDecimal(std::string_view text) {
  std::size_t i = 0;
  std::size_t digits = 0;
  const auto skipDigits = [&] {
    std::size_t count = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++count;
    return count;
  };
  digits += skipDigits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += skipDigits();
  }
  if (digits == 0) return std::nan("");
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (skipDigits() == 0) return std::nan("");
  }
  return i == text.size() ? ParseDecimal(text) : std::nan("");
}

}  // namespace wayloom
