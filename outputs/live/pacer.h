// When the sentence pairs of a live track go out.
//
// A pair is due when its clock time, counted from the first pair, has passed in real time, divided
// by the speed-up: each wait follows the clock step from the pair before, so uneven steps (the two
// periods after a point of the file in an extra-point track) show. A step of zero or less (a clock
// running backwards, a loop starting over) sends at once. Times are milliseconds of whatever steady
// clock the caller reads, so the schedule is the same whether it is slept through or only computed.
#pragma once

#include <string_view>

namespace wayloom {

class Pacer {
 public:
  // speedup must be finite and above 0.
  explicit Pacer(double speedup) : speedup_(speedup) {}

  // The time at which the pair of clockMs is due, the pairs before it having been scheduled in
  // track order; nowMs is the time now. The first pair is due at once. A sender that falls a
  // little behind catches up, so that the track keeps its pace on average; one that fell far
  // behind (the process was suspended, the machine was busy) goes on from now instead of sending
  // everything it missed in one burst.
  double Schedule(double clockMs, double nowMs);

  // Goes on as if the pair of clockMs had been due at dueMs: a pair scheduled and then not sent
  // (a pause, a seek came first) is taken back, and after a change of speed-up the next pair
  // follows from now rather than from a schedule made at the old pace.
  void Rebase(double clockMs, double dueMs);
  // speedup must be finite and above 0; the pairs from now on follow it.
  void SetSpeedup(double speedup) { speedup_ = speedup; }
  double Speedup() const { return speedup_; }

  // How late a pair may be before the schedule starts again from now.
  static constexpr double kMostLateMs = 1000.0;

 private:
  double speedup_;
  bool started_ = false;
  double lastClockMs_ = 0.0;
  double lastDueMs_ = 0.0;
};

}  // namespace wayloom
