// A receiver's track: a receiver travelling a route (motion/receiver.h) under the sky of its
// satellite systems (motion/sky.h), each fix with the sentences it sends
// (sentences/fix_sentences.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "job/fix_source.h"
#include "motion/almanac.h"
#include "motion/receiver.h"
#include "motion/sky.h"
#include "route/route.h"
#include "sentences/fix_sentences.h"

namespace wayloom {

// A time without a fix: from startSeconds after the first fix of the track, for seconds.
struct Outage {
  double startSeconds = 0.0;
  double seconds = 0.0;
};

// A receiver's settings, checked: how it moves, what it sends, under which sky, and when it starts.
struct ReceiverPlan {
  ReceiverMotion motion;
  SentenceSettings sentences;  // their systems are the sky's
  SkySettings sky;
  std::string almanacPath;  // a GPS almanac (YUMA or SEM) to read; empty for the nominal orbits
  std::vector<Outage> outages;
  CalendarDate date;
  std::int64_t startMs = 0;  // since midnight of date
  // Timed: the route's recorded times are played, and the track starts at the first point's
  // recorded date and time, or shifted as a whole to the date and the start given (one given: the
  // other stays as recorded). The job sets date and startMs once the route is read.
  bool timed = false;
  bool dateGiven = false;
  bool startGiven = false;
};

class ReceiverTrack : public FixSource {
 public:
  // almanac: the records of the plan's almanac file, read (empty without one).
  ReceiverTrack(const ReceiverRoute& route, const ReceiverPlan& plan,
                const std::vector<AlmanacRecord>& almanac = {});

  bool Next() override;
  const Fix& Current() const override { return fix_; }
  SentenceLines Sentences() const override {
    return SentenceLines(sentences_.Text(), sentences_.Count());
  }
  void Tell(FixListener& listener) override;
  void StartOver() override;

  double PeriodMs() const override { return motion_.periodSeconds * 1000.0; }
  bool Stand(const Fix& held) override;
  bool ShiftClock(double deltaMs) override;
  // A run of the route alone (no sky, no sentences) to time it.
  bool Timeline(TrackTimeline& timeline) const override;
  double RoundMs() const override { return streamClockMs_ - roundFirstMs_; }
  bool SkipTo(double roundMs) override;

  // Whether the track ended because its clock passed the end of kLastSentenceDate.
  bool ReachedLastDate() const { return reachedLastDate_; }

 private:
  // Whether the receiver has no signal at clockMs, in one of the outages.
  bool InOutage(std::int64_t clockMs) const;
  // sky as a receiver without signals sees it: the satellites where they stand, none heard or used.
  const SkyView& Silenced(const SkyView& sky);
  // The stream's fix on the track's clock (moved by a pause or a seek), with its sentences. False
  // when the clock has passed the last date.
  bool Make();
  void BuildSentences(const Fix& fix);

  std::vector<std::size_t> poiIndices_;  // of the route's points, in visiting order
  ReceiverRoute route_;                  // for a timeline
  ReceiverMotion motion_;
  FixStream stream_;
  Sky sky_;
  FixSentences sentences_;
  std::int64_t startMs_;
  std::int64_t endClockMs_;  // the first clock after kLastSentenceDate
  CalendarDate date_;
  std::vector<Outage> outages_;
  Fix fix_;
  SkyView silenced_;
  std::size_t told_ = 0;  // points of the route told to a listener this round
  bool reachedLastDate_ = false;
  double clockOffsetMs_ = 0.0;  // what pauses and seeks have moved the clock by
  double streamClockMs_ = 0.0;  // the current fix's clock as the stream made it
  double roundFirstMs_ = 0.0;   // the stream's clock at the round's first fix
  bool newRound_ = true;        // no fix of this round made yet
};

}  // namespace wayloom
