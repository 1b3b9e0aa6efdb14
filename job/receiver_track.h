// A receiver's track, shared by the front ends: the fixes along a route with their sentences, told
// to whoever listens (the window's table, map and status), and the whole track written to a file.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "job/receiver_settings.h"
#include "motion/receiver.h"
#include "outputs/live/live_feed.h"
#include "outputs/track_file.h"
#include "route/route.h"
#include "sentences/fix_sentences.h"

namespace wayloom {

// One fix as a listener hears it.
struct ReceiverFix {
  const Fix& fix;                 // where, when, how fast and which way
  std::size_t poiIndex;           // the point of the POI list reached last, by its list index
  std::uint64_t fixCount;         // fixes so far, this one included, every round counted
  const FixSentences& sentences;  // the fix's sentences
};

class ReceiverListener {
 public:
  virtual ~ReceiverListener() = default;
  // A point of the POI list, by its list index, reached since the fix before: told in the order
  // of the route, before the first fix at or after the moment it was reached.
  virtual void OnPointReached(std::size_t /*poiIndex*/) {}
  virtual void OnFix(const ReceiverFix& fix) = 0;
};

// The fixes of a receiver travelling a route, one at a time, each with its sentences.
class ReceiverFixes {
 public:
  ReceiverFixes(const ReceiverRoute& route, const ReceiverPlan& plan);

  // Makes the next fix of this round and its sentences; false when the round is over.
  bool Next();
  const Fix& Current() const { return fix_; }
  const FixSentences& Sentences() const { return sentences_; }
  // Tells listener of the points reached since the fix before, then of the current fix.
  void Tell(ReceiverListener& listener);
  // Begins another round at the first point; the clock and the date go on.
  void StartOver();

 private:
  std::vector<std::size_t> poiIndices_;
  FixStream stream_;
  FixSentences sentences_;
  Fix fix_;
  std::size_t told_ = 0;  // points of the route told to a listener this round
  std::uint64_t fixCount_ = 0;
};

struct ReceiverFileSummary {
  std::uint64_t fixes = 0;
  std::uint64_t sentences = 0;
  bool stopped = false;  // on request, after a whole fix
  bool failed = false;   // a write or the close failed: file.Error() says why
};

// Sends a receiver's fixes to feed, each when it is due, and tells listener (may be null) of each
// once it is sent. With loop the route starts over after its last point, the clock going on.
// stopRequested (may be empty) is asked after every fix. True when it ended on a stop request.
bool SendReceiverRounds(ReceiverFixes& fixes, LiveFeed& feed, bool loop,
                        const std::function<bool()>& stopRequested, ReceiverListener* listener);

// Writes one round of fixes to file, a line per sentence, and closes it. listener (may be null)
// hears each fix once its lines are written; stopRequested (may be empty) is asked after each fix.
ReceiverFileSummary WriteReceiverFile(ReceiverFixes& fixes, TrackFile& file,
                                      ReceiverListener* listener,
                                      const std::function<bool()>& stopRequested);

}  // namespace wayloom
