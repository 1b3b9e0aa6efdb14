// What the window hears of a track while it is written: the route for the map, and the moment
// the destination starts to take the new track. No Qt here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "base/fix.h"
#include "dialog/map_track.h"

class TrackRecorder : public wayloom::FixListener {
 public:
  // started is called at the first fix: from then on the destination holds the new track, and
  // whatever the window showed of the file before no longer stands.
  explicit TrackRecorder(std::function<void()> started);

  void OnPointReached(std::size_t poiIndex) override;
  void OnFix(const wayloom::Fix& fix, const wayloom::SentenceLines& sentences) override;

  // The route for the map, with the points of sourceTable, made of the fixes whose sentences lie
  // whole within the first rows sentences (a track file cut short holds no more).
  std::unique_ptr<MapTrack> Route(const wayloom::TableRows& sourceTable, std::uint64_t rows);

 private:
  std::function<void()> started_;
  std::unique_ptr<MapTrack> route_ = std::make_unique<MapTrack>();
  // The sentences of each fix, as runs of fixes with the same count.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> sentenceRuns_;  // count, fixes
};
