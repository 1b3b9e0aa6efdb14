#include "dialog/track_recorder.h"

#include <algorithm>

TrackRecorder::TrackRecorder(std::function<void()> started) : started_(std::move(started)) {}

void TrackRecorder::OnPointReached(std::size_t poiIndex) { route_->OnPointReached(poiIndex); }

void TrackRecorder::OnFix(const wayloom::Fix& fix, const wayloom::SentenceLines& sentences) {
  if (sentenceRuns_.empty() && started_) started_();
  if (sentenceRuns_.empty() || sentenceRuns_.back().first != sentences.Count()) {
    sentenceRuns_.emplace_back(sentences.Count(), 0);
  }
  ++sentenceRuns_.back().second;
  route_->OnFix(fix, sentences);
}

std::unique_ptr<MapTrack> TrackRecorder::Route(const wayloom::TableRows& sourceTable,
                                               std::uint64_t rows) {
  std::uint64_t fixes = 0;
  for (const auto& [count, run] : sentenceRuns_) {
    const std::uint64_t whole = count == 0 ? run : std::min(run, rows / count);
    fixes += whole;
    if (whole < run) break;
    rows -= run * count;
  }
  route_->Finish(sourceTable, static_cast<std::size_t>(fixes));
  return std::move(route_);
}
