// A receiver's track: a receiver travelling a route (motion/receiver.h), each fix with the
// sentences it sends (sentences/fix_sentences.h).
#pragma once

#include <cstdint>
#include <vector>

#include "base/calendar.h"
#include "job/fix_source.h"
#include "motion/receiver.h"
#include "route/route.h"
#include "sentences/fix_sentences.h"

namespace wayloom {

// A receiver's settings, checked: how it moves, what it sends, and when it starts.
struct ReceiverPlan {
  ReceiverMotion motion;
  std::vector<SentenceKind> kinds;
  CalendarDate date;
  std::int64_t startMs = 0;  // since midnight of date
};

class ReceiverTrack : public FixSource {
 public:
  ReceiverTrack(const ReceiverRoute& route, const ReceiverPlan& plan);

  bool Next() override;
  const Fix& Current() const override { return fix_; }
  SentenceLines Sentences() const override {
    return SentenceLines(sentences_.Text(), sentences_.Count());
  }
  void Tell(FixListener& listener) override;
  void StartOver() override;

 private:
  std::vector<std::size_t> poiIndices_;  // of the route's points, in visiting order
  FixStream stream_;
  FixSentences sentences_;
  Fix fix_;
  std::size_t told_ = 0;  // points of the route told to a listener this round
};

}  // namespace wayloom
