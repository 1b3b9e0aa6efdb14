#include "number_text.h"

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

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Integers of up to 15 decimal digits and powers of ten up to 1e22 are exact doubles.
constexpr std::int64_t kExactDigits = 15;
constexpr std::int64_t kMaxExactPower = 22;
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

double ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsCSpace(text[i])) ++i;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  // Scan the mantissa. The decimal magnitude of its first non-zero digit is kept so that a result
  // out of range can be told apart as overflow (infinity) or underflow (zero).
  const std::size_t numberStart = i;
  std::size_t digits = 0;
  bool seenPoint = false;
  bool seenNonZero = false;
  std::int64_t integerDigits = 0;    // significant digits before the point
  std::int64_t zerosAfterPoint = 0;  // zeros between the point and the first non-zero digit
  std::uint64_t mantissa = 0;        // the significant digits, while there are few enough
  std::int64_t significantDigits = 0;
  std::int64_t fractionDigits = 0;
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      ++digits;
      seenNonZero = seenNonZero || c != '0';
      if (seenNonZero && ++significantDigits <= kExactDigits) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
      }
      if (seenPoint) ++fractionDigits;
      if (!seenPoint && seenNonZero) ++integerDigits;
      if (seenPoint && !seenNonZero) ++zerosAfterPoint;
    } else if (c == '.' && !seenPoint) {
      seenPoint = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0.0;
  const std::int64_t magnitude = integerDigits > 0 ? integerDigits : -zerosAfterPoint;

  // An exponent counts only when at least one digit follows the 'e' and its sign.
  std::size_t numberEnd = i;
  std::int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool exponentNegative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) {
      exponentNegative = text[j] == '-';
      ++j;
    }
    if (j < n && IsDigit(text[j])) {
      for (; j < n && IsDigit(text[j]); ++j) {
        if (exponent < 1000000000) exponent = exponent * 10 + (text[j] - '0');
      }
      if (exponentNegative) exponent = -exponent;
      numberEnd = j;
    }
  }
  if (!seenNonZero) return negative ? -0.0 : 0.0;

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
  const char* first = text.data() + numberStart;
  const char* last = text.data() + numberEnd;
  const auto result = std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    const bool overflow = magnitude + exponent > 0;
    value = overflow ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;  // cannot happen after the scan above; keep atof's answer for "no number"
  }
  return negative ? -value : value;
}

namespace {

// Prints value with the exact decimal expansion (the library's shortest-digit printer in fixed mode).
void AppendFixedExact(std::string& out, double value, int decimals) {
  // The longest fixed text of a finite double is about 310 integer digits plus the decimals.
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec == std::errc()) {
    out.append(buffer, result.ptr);
    return;
  }
  // Only reachable with an unusually large precision: fall back to a heap buffer.
  std::string big(static_cast<std::size_t>(decimals) + 400, '\0');
  const auto again =
      std::to_chars(big.data(), big.data() + big.size(), value, std::chars_format::fixed, decimals);
  out.append(big.data(), again.ptr);
}

// Values whose scaled magnitude stays below 2^31 have an ulp of at most 2^-21 after scaling, so
// unless the scaled value lies within this distance of a half, rounding it gives the same
// integer as rounding the exact binary value would.
constexpr double kFastScaledLimit = 2147483648.0;
constexpr double kTieGuard = 1e-6;

}  // namespace

void AppendFixed(std::string& out, double value, int decimals) {
  if (decimals >= 0 && decimals <= 9 && std::isfinite(value)) {
    const double scaled = std::fabs(value) * kPowersOfTen[decimals];
    if (scaled < kFastScaledLimit) {
      const double whole = std::floor(scaled);
      if (std::fabs(scaled - whole - 0.5) > kTieGuard) {
        auto units = static_cast<std::uint64_t>(std::nearbyint(scaled));
        char digits[24];
        int count = 0;
        for (int d = 0; d < decimals; ++d) {
          digits[count++] = static_cast<char>('0' + units % 10);
          units /= 10;
        }
        if (decimals > 0) digits[count++] = '.';
        do {
          digits[count++] = static_cast<char>('0' + units % 10);
          units /= 10;
        } while (units > 0);
        if (std::signbit(value)) out.push_back('-');
        while (count > 0) out.push_back(digits[--count]);
        return;
      }
    }
  }
  AppendFixedExact(out, value, decimals);
}

std::string FormatFixed(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  return text;
}

}  // namespace wayloom
