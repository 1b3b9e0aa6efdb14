#include "live/pacer.h"

#include <cmath>

#include "track/number_text.h"

namespace wayloom {

double Pacer::Schedule(double clockMs, double nowMs) {
  double due = nowMs;
  if (started_) {
    const double step = clockMs - lastClockMs_;
    // Written so that a step that is not a number (a clock that is not) counts as no step.
    const double wait = step > 0.0 ? step / speedup_ : 0.0;
    due = lastDueMs_ + wait;
    if (due < nowMs - kMostLateMs) due = nowMs;
  }
  started_ = true;
  lastClockMs_ = clockMs;
  lastDueMs_ = due;
  return due;
}

double ParseSpeedup(std::string_view text) {
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++exponentDigits;
    if (exponentDigits == 0) return 0.0;
  }
  if (i != text.size()) return 0.0;
  const double value = ParseDecimal(text);
  return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

}  // namespace wayloom
