#include "job/live_rounds.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace wayloom {

bool LiveRounds::Run(bool loop) {
  if (playback_) {
    seekable_ = track_.Timeline(timeline_);
    SetPosition();
  }
  for (;;) {
    std::uint64_t roundFixes = 0;
    while (track_.Next()) {
      ++roundFixes;
      track_.Tell(*this);
      if (step_ == Step::kStopped) return true;
      if (step_ == Step::kRoundOver) break;
    }
    // A round without fixes (a route without points) would loop without end.
    if (!loop || roundFixes == 0) return false;
    track_.StartOver();
  }
}

void LiveRounds::OnPointReached(std::size_t poiIndex) {
  if (listener_) listener_->OnPointReached(poiIndex);
}

void LiveRounds::OnFix(const Fix&, const SentenceLines&) { step_ = SendCurrent(); }

LiveRounds::Step LiveRounds::SendCurrent() {
  for (;;) {
    if (playback_) {
      if (const std::optional<SeekTarget> target = playback_->TakeSeek(); target && seekable_) {
        if (!Seek(*target)) return Step::kRoundOver;
        continue;
      }
      if (playback_->Paused()) {
        if (!Hold()) return Step::kStopped;
        continue;
      }
    }
    const SentenceLines sentences = track_.Sentences();
    if (live_.Send(track_.Current(), &sentences)) break;
    if (!playback_ || Stopped()) return Step::kStopped;
  }
  sentAny_ = true;
  lastClockMs_ = track_.Current().clockMs;
  lastSent_ = track_.Current();
  if (listener_) listener_->OnFix(track_.Current(), track_.Sentences());
  if (playback_) SetPosition();
  return Stopped() ? Step::kStopped : Step::kSent;
}

bool LiveRounds::Hold() {
  const double periodMs = track_.PeriodMs();
  double clockMs = sentAny_ ? lastClockMs_ : track_.Current().clockMs - periodMs;
  bool stood = false;
  while (playback_->Paused() && !playback_->SeekPending()) {
    if (!(periodMs > 0.0)) {
      if (!live_.WaitForChange()) return false;
      continue;
    }
    Fix held = sentAny_ ? lastSent_ : track_.Current();
    held.clockMs = clockMs + periodMs;
    held.speedKnots = 0.0;
    const bool stand = playback_->SendWhilePaused() && track_.Stand(held);
    stood = stood || stand;
    const SentenceLines sentences = track_.Sentences();
    if (live_.Send(held, stand ? &sentences : nullptr)) {
      clockMs = held.clockMs;
      if (stand && listener_) listener_->OnFix(held, sentences);
    } else if (Stopped()) {
      return false;
    }
  }
  if (periodMs > 0.0 && (stood || clockMs != lastClockMs_)) {
    sentAny_ = true;
    lastClockMs_ = clockMs;
    track_.ShiftClock(clockMs + periodMs - track_.Current().clockMs);
  }
  return true;
}

bool LiveRounds::Seek(const SeekTarget& target) {
  const double lengthMs = timeline_.lengthMs;
  const double value = target.value >= 0.0 ? target.value : 0.0;  // NaN too
  double roundMs = 0.0;
  switch (target.kind) {
    case SeekTarget::Kind::kFraction:
      roundMs = std::min(value, 1.0) * lengthMs;
      break;
    case SeekTarget::Kind::kRoundMs:
      roundMs = std::min(value, lengthMs);
      break;
    case SeekTarget::Kind::kFix:
      roundMs = std::min(value * track_.PeriodMs(), lengthMs);
      break;
    case SeekTarget::Kind::kPoint:
      // A point the route does not reach is no place to go.
      if (!(value < static_cast<double>(timeline_.pointMs.size()))) return true;
      roundMs = timeline_.pointMs[static_cast<std::size_t>(value)];
      if (roundMs < 0.0) return true;
      break;
  }
  const double clockBefore = track_.Current().clockMs;
  if (!track_.SkipTo(roundMs)) return false;
  const double clockMs = sentAny_ ? lastClockMs_ + track_.PeriodMs() : clockBefore;
  track_.ShiftClock(clockMs - track_.Current().clockMs);
  lastSent_ = track_.Current();  // a pause stands at the place sought
  SetPosition();
  return true;
}

SentenceLines ClassicLive::Restamped(const Fix& fix) {
  batch_.Clear();
  batch_.Add() = fix;
  batch_.Format(date_ ? &*date_ : nullptr, *engine_.PoiPoints());
  return SentenceLines(batch_.Pair(0), 2);
}

void ClassicLive::OnFix(const Fix& fix, const SentenceLines& sentences) {
  for (;;) {
    playback_.TakeSeek();
    if (playback_.Paused()) {
      if (!Hold()) return;
      continue;
    }
    Fix moved = fix;
    moved.clockMs += offsetMs_;
    const SentenceLines out = offsetMs_ != 0.0 ? Restamped(moved) : sentences;
    if (live_.Send(moved, &out)) {
      sentAny_ = true;
      lastSent_ = moved;
      return;
    }
    if (live_.StopRequested()) return;
  }
}

bool ClassicLive::Hold() {
  while (playback_.Paused()) {
    if (!sentAny_ || !(periodMs_ > 0.0)) {
      if (!live_.WaitForChange()) return false;
      continue;
    }
    Fix held = lastSent_;
    held.clockMs += periodMs_;
    held.speedKnots = 0.0;
    const SentenceLines sentences = Restamped(held);
    if (!live_.Send(held, playback_.SendWhilePaused() ? &sentences : nullptr)) {
      if (live_.StopRequested()) return false;
      continue;
    }
    lastSent_ = held;
    offsetMs_ += periodMs_;
  }
  return true;
}

void LiveRounds::SetPosition() {
  PlaybackPosition position;
  position.seekable = seekable_;
  position.roundMs = sentAny_ ? track_.RoundMs() : 0.0;
  position.lengthMs = timeline_.lengthMs;
  playback_->SetPosition(position);
}

}  // namespace wayloom
