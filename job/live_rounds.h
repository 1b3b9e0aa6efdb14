// A track sent to live output fix by fix, each when it is due, round after round with the loop,
// under the playback's control (outputs/live/playback.h): a pause reports the receiver standing
// still every period (or, by the playback's option, sends nothing), a seek makes the fix sought
// the next one sent, and through both the track's clock goes on forward, so that the clients see
// their time run on. A track that can neither stand nor be sought (a replayed log) sends nothing
// while paused and lets seeks go.
#pragma once

#include <optional>

#include "base/calendar.h"
#include "base/host.h"
#include "job/fix_source.h"
#include "motion/fix_batches.h"
#include "motion/track_engine.h"
#include "outputs/live/live_outputs.h"

namespace wayloom {

class LiveRounds : private FixListener {
 public:
  // listener (may be null) hears every fix once it is sent, standing ones included, and the
  // points reached; progress (may be null) asks for stops.
  LiveRounds(FixSource& track, LiveOutputs& live, FixListener* listener, ProgressMonitor* progress)
      : track_(track),
        live_(live),
        playback_(live.PlaybackControl()),
        listener_(listener),
        progress_(progress) {}

  // True when it ended on a stop request.
  bool Run(bool loop);

 private:
  enum class Step { kSent, kRoundOver, kStopped };
  // The track tells the points reached, then the fix: it is sent then, once due, through pauses
  // and seeks.
  void OnPointReached(std::size_t poiIndex) override;
  void OnFix(const Fix& fix, const SentenceLines& sentences) override;
  Step SendCurrent();
  // Stands through a pause until it is resumed or a seek comes, the fix held back then following
  // the last one that stood. False when stopped.
  bool Hold();
  // Makes the fix sought the current one, its clock following the last one sent. False when the
  // round ends before it.
  bool Seek(const SeekTarget& target);
  void SetPosition();
  bool Stopped() const { return progress_ && progress_->StopRequested(); }

  FixSource& track_;
  LiveOutputs& live_;
  Playback* playback_;
  FixListener* listener_;
  ProgressMonitor* progress_;
  TrackTimeline timeline_;
  bool seekable_ = false;
  bool sentAny_ = false;
  double lastClockMs_ = 0.0;  // of the last fix sent (or paced through a pause)
  Fix lastSent_;              // where a pause stands
  Step step_ = Step::kSent;
};

// The classic tracks' pairs, pushed by their engine, to live output under the playback: a pause
// sends the last pair again every period, its time moved on and its speed 0, and the pairs after
// it go on from the last time sent; both made again by the classic tracks' formatter. Seeks are
// let go: the engine makes its track in one pass.
class ClassicLive : public FixListener {
 public:
  // The engine's POI list and date (none: undated RMC) are those the pairs are made with again;
  // periodMs is its period.
  ClassicLive(LiveOutputs& live, const TrackEngine& engine, const std::optional<CalendarDate>& date,
              double periodMs)
      : live_(live),
        playback_(*live.PlaybackControl()),
        engine_(engine),
        date_(date),
        periodMs_(periodMs) {}

  void OnFix(const Fix& fix, const SentenceLines& sentences) override;

 private:
  // The pair of fix made again; valid until the next call.
  SentenceLines Restamped(const Fix& fix);
  // Stands through a pause. False when stopped.
  bool Hold();

  LiveOutputs& live_;
  Playback& playback_;
  const TrackEngine& engine_;
  std::optional<CalendarDate> date_;
  double periodMs_;
  double offsetMs_ = 0.0;  // what pauses have moved the clock by
  bool sentAny_ = false;
  Fix lastSent_;
  FixBatch batch_;
};

}  // namespace wayloom
