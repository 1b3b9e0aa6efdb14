// Playback of a live track, shared by the thread that sends it and the front end that steers it:
// pause and resume, the speed-up, a seek, and where the receiver is. Every call is safe from any
// thread; a change calls the wake function (set by whoever owns the sender's wait) so that a wait
// for the next fix ends at once and the change takes effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace wayloom {

// Where a seek goes in the track's round.
struct SeekTarget {
  enum class Kind { kFraction, kRoundMs, kFix, kPoint };
  Kind kind = Kind::kFraction;
  // A fraction of the round's time (0 to 1), milliseconds since the round's first fix, the index
  // of a fix of the round, or the index of a point of the POI list.
  double value = 0.0;
};

// Where the receiver is, as the sender last said it.
struct PlaybackPosition {
  bool sending = false;   // the first fix is under way: the track is going out
  bool seekable = false;  // the track can be sought (a receiver's track)
  double roundMs = 0.0;   // the last fix sent, since its round's first fix
  double lengthMs = 0.0;  // of a round, from its first fix to its last
};

class Playback {
 public:
  // sendWhilePaused: while paused the receiver reports standing still; false: it sends nothing.
  explicit Playback(double speedup = 1.0, bool sendWhilePaused = true)
      : speedup_(speedup), sendWhilePaused_(sendWhilePaused) {}

  void SetWake(std::function<void()> wake);

  void Pause();
  void Resume();
  bool Paused() const;
  bool SendWhilePaused() const;
  // False, and nothing changed, unless factor is finite and above 0.
  bool SetSpeedup(double factor);
  double Speedup() const;
  // The last seek asked for replaces any earlier one not yet taken.
  void Seek(SeekTarget target);
  bool SeekPending() const;
  std::optional<SeekTarget> TakeSeek();
  // Counts every change above: a sender's wait ends when it has moved.
  std::uint64_t Changes() const;

  void SetPosition(const PlaybackPosition& position);
  void MarkSending();
  PlaybackPosition Position() const;

 private:
  // Counts a change and wakes the sender, the lock released.
  void Changed(std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::function<void()> wake_;
  double speedup_;
  bool sendWhilePaused_;
  bool paused_ = false;
  std::optional<SeekTarget> seek_;
  std::uint64_t changes_ = 0;
  PlaybackPosition position_;
};

}  // namespace wayloom
