// A replayed NMEA log as the job takes it (motion/replay.h): a fix per burst, due at the burst's
// clock, with the burst's lines as its sentences and its position, when it reports one, for a map
// and a live status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>

#include "job/fix_source.h"
#include "motion/replay.h"

namespace wayloom {

class ReplayTrack : public FixSource {
 public:
  explicit ReplayTrack(const ReplaySettings& settings) : replay_(settings) {}

  // Opens the log and reads its first burst, so that a log that cannot be read at all (a folder,
  // a device that fails) is found out before anything is written. False, with Error() set, when
  // it cannot; stopRequested (may be empty) is asked before every block read.
  bool Open(const std::string& path, std::function<bool()> stopRequested);
  // The log again from its start, as the first round played it.
  bool Restart();

  bool Next() override;
  const Fix& Current() const override { return fix_; }
  SentenceLines Sentences() const override {
    return SentenceLines(burst_.text, burst_.sentenceCount);
  }
  // A log has no POI list: only the fix is told.
  void Tell(FixListener& listener) override { listener.OnFix(fix_, Sentences()); }
  // The next round, its clock and its times going on; a log that cannot be read again ends the
  // replay there (Error() tells).
  void StartOver() override;

  // Whether Open opened the file (false when it could not, true when only reading failed).
  bool IsOpen() const { return replay_.IsOpen(); }
  const NmeaLogCounts& Counts() const { return replay_.Counts(); }
  std::error_code Error() const { return replay_.Error(); }
  const ReplayReference& Reference() const { return replay_.Reference(); }
  std::int64_t OffsetMs() const { return replay_.OffsetMs(); }
  // Bursts played that report a position (when the settings read positions).
  std::uint64_t Positions() const { return positions_; }

 private:
  Replay replay_;
  ReplayBurst burst_;
  Fix fix_;
  bool primed_ = false;  // burst_ holds the first burst, read by Open and not yet played
  std::uint64_t positions_ = 0;
};

}  // namespace wayloom
