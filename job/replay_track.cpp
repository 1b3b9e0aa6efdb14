#include "job/replay_track.h"

#include <utility>

namespace wayloom {

bool ReplayTrack::Open(const std::string& path, std::function<bool()> stopRequested) {
  replay_.SetStopRequest(std::move(stopRequested));
  positions_ = 0;
  if (!replay_.Open(path)) return false;
  primed_ = replay_.Next(burst_);
  return !replay_.Error();
}

bool ReplayTrack::Restart() {
  primed_ = false;
  return replay_.Restart();
}

bool ReplayTrack::Next() {
  if (primed_) {
    primed_ = false;
  } else if (!replay_.Next(burst_)) {
    return false;
  }
  fix_.clockMs = static_cast<double>(burst_.clockMs);
  fix_.hasPosition = burst_.hasPosition;
  if (burst_.hasPosition) {
    fix_.latitude = burst_.latitude;
    fix_.longitude = burst_.longitude;
    ++positions_;
  }
  return true;
}

void ReplayTrack::StartOver() {
  primed_ = false;
  replay_.StartOver();
}

}  // namespace wayloom
