// A track the job takes fix by fix (a receiver's; later a replayed log's): each fix with its
// sentences, in rounds that can start over with the clock going on.
#pragma once

#include <vector>

#include "base/fix.h"

namespace wayloom {

// When things happen in a round of a track, from its first fix.
struct TrackTimeline {
  double lengthMs = 0.0;  // to its last fix
  // By index of the POI list: when the point is first reached; below 0 for one the route skips.
  std::vector<double> pointMs;
};

class FixSource {
 public:
  virtual ~FixSource() = default;
  // Makes the next fix of this round and its sentences; false when the round is over.
  virtual bool Next() = 0;
  virtual const Fix& Current() const = 0;
  virtual SentenceLines Sentences() const = 0;
  // Tells listener of the points of the POI list reached since the fix before, then of the
  // current fix.
  virtual void Tell(FixListener& listener) = 0;
  // Begins another round at the start; the clock and the date go on.
  virtual void StartOver() = 0;

  // Playback while the track goes out live (job/live_rounds.h). A track that cannot do one of
  // these says false, and a pause then sends nothing, a seek is let go.
  // The time between fixes: a pause reports the receiver standing still this often.
  virtual double PeriodMs() const { return 0.0; }
  // Makes the sentences of held, a fix of this track standing still (its clock moved on, speed
  // 0): Sentences() until the next of these calls or Next.
  virtual bool Stand(const Fix& /*held*/) { return false; }
  // Moves the clock of the current fix and of every fix after it by deltaMs, and makes the
  // current fix's sentences again: after a pause or a seek the clients' clock goes on forward.
  virtual bool ShiftClock(double /*deltaMs*/) { return false; }
  virtual bool Timeline(TrackTimeline& /*timeline*/) const { return false; }
  // The current fix's time since its round's first fix.
  virtual double RoundMs() const { return 0.0; }
  // Makes the first fix of the round at or after roundMs the current one, starting the round
  // over first when it is already past it. False when the round ends before.
  virtual bool SkipTo(double /*roundMs*/) { return false; }
};

}  // namespace wayloom
