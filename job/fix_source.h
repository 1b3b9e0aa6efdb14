// A track the job takes fix by fix (a receiver's; later a replayed log's): each fix with its
// sentences, in rounds that can start over with the clock going on.
#pragma once

#include "base/fix.h"

namespace wayloom {

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
};

}  // namespace wayloom
