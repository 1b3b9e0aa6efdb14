// The keys that steer live output from the terminal the command line was started from: space
// pauses and goes on, + and - double and halve the speed-up, q stops. They are read on a thread
// of their own once the track goes out (a question about a file has been answered by then, with
// the terminal as it was), and each says what it did on the error stream. Standard input that is
// no terminal is left alone.
#pragma once

#include <atomic>
#include <cstdio>
#include <thread>

#include "outputs/live/playback.h"
#include "platform/platform.h"

namespace wayloom {

class LiveKeys {
 public:
  LiveKeys(std::FILE* in, std::FILE* err, Playback& playback);
  // Ends the thread; the terminal is as it was.
  ~LiveKeys();
  LiveKeys(const LiveKeys&) = delete;
  LiveKeys& operator=(const LiveKeys&) = delete;

  // What a key does, said on err. False for the key that stops.
  static bool Take(char key, Playback& playback, std::FILE* err);

 private:
  void Run();

  std::FILE* in_;
  std::FILE* err_;
  Playback& playback_;
  WakePipe end_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace wayloom
