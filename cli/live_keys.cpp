#include "cli/live_keys.h"

#include <chrono>
#include <string>

#include "base/number_text.h"

namespace wayloom {
namespace {

// How often the thread looks whether the track has started to go out.
constexpr std::chrono::milliseconds kStartLook{50};

}  // namespace

LiveKeys::LiveKeys(std::FILE* in, std::FILE* err, Playback& playback)
    : in_(in), err_(err), playback_(playback), thread_(&LiveKeys::Run, this) {}

LiveKeys::~LiveKeys() {
  ending_.store(true);
  end_.Wake();
  thread_.join();
}

void LiveKeys::Run() {
  while (!playback_.Position().sending) {
    if (ending_.load()) return;
    std::this_thread::sleep_for(kStartLook);
  }
  TerminalKeys keys(in_);
  if (!keys.Active()) return;
  std::fputs("wayloom-cli: keys: space pauses and goes on, + faster, - slower, q stops\n", err_);
  std::string typed;
  while (!ending_.load() && keys.Read(end_.ReadFd(), typed)) {
    for (const char key : typed) {
      if (!Take(key, playback_, err_)) return;
    }
  }
}

bool LiveKeys::Take(char key, Playback& playback, std::FILE* err) {
  std::string said;
  switch (key) {
    case ' ':
      if (playback.Paused()) {
        playback.Resume();
        said = "going on";
      } else {
        playback.Pause();
        said = "paused";
      }
      break;
    case '+':
    case '-':
      // A speed-up that would be no number (doubled past the largest) stays as it is.
      playback.SetSpeedup(key == '+' ? playback.Speedup() * 2.0 : playback.Speedup() / 2.0);
      said = "speed-up " + FormatFixed(playback.Speedup(), 3);
      while (said.back() == '0') said.pop_back();
      if (said.back() == '.') said.pop_back();
      break;
    case 'q':
    case 'Q':
      RequestStop();
      std::fputs("wayloom-cli: stopping\n", err);
      return false;
    default:
      return true;
  }
  std::fprintf(err, "wayloom-cli: %s\n", said.c_str());
  return true;
}

}  // namespace wayloom
