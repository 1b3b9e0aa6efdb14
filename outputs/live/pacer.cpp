#include "outputs/live/pacer.h"

#include <cmath>

#include "base/number_text.h"

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

void Pacer::Rebase(double clockMs, double dueMs) {
  started_ = true;
  lastClockMs_ = clockMs;
  lastDueMs_ = dueMs;
}

}  // namespace wayloom
