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
  for (; i < n; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      ++digits;
      seenNonZero = seenNonZero || c != '0';
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

void AppendFixed(std::string& out, double value, int decimals) {
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

std::string FormatFixed(double value, int decimals) {
  std::string text;
  AppendFixed(text, value, decimals);
  return text;
}

}  // namespace wayloom
