#include "outputs/live/playback.h"

#include <cmath>
#include <utility>

namespace wayloom {

void Playback::SetWake(std::function<void()> wake) {
  const std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

void Playback::Changed(std::unique_lock<std::mutex>& lock) {
  ++changes_;
  const std::function<void()> wake = wake_;
  lock.unlock();
  if (wake) wake();
}

void Playback::Pause() {
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = true;
  Changed(lock);
}

void Playback::Resume() {
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = false;
  Changed(lock);
}

bool Playback::Paused() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return paused_;
}

bool Playback::SendWhilePaused() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sendWhilePaused_;
}

bool Playback::SetSpeedup(double factor) {
  if (!std::isfinite(factor) || !(factor > 0.0)) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  speedup_ = factor;
  Changed(lock);
  return true;
}

double Playback::Speedup() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return speedup_;
}

void Playback::Seek(SeekTarget target) {
  std::unique_lock<std::mutex> lock(mutex_);
  seek_ = target;
  Changed(lock);
}

bool Playback::SeekPending() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return seek_.has_value();
}

std::optional<SeekTarget> Playback::TakeSeek() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(seek_, std::nullopt);
}

std::uint64_t Playback::Changes() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return changes_;
}

void Playback::SetPosition(const PlaybackPosition& position) {
  const std::lock_guard<std::mutex> lock(mutex_);
  position_ = position;
  position_.sending = true;
}

void Playback::MarkSending() {
  const std::lock_guard<std::mutex> lock(mutex_);
  position_.sending = true;
}

PlaybackPosition Playback::Position() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return position_;
}

}  // namespace wayloom
