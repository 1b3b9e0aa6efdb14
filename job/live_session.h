// A job with live output that runs on a thread of its own, for a front end that must stay
// responsive while it sends (the window): Start opens the outputs and starts the thread, Status
// tells how it goes, and Stop (or the destructor) ends it at once, clients disconnected and the
// pseudo-terminal link removed. The thread has a job of its own, which sends the track live only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job/sent_sentences.h"
#include "job/track_job.h"
#include "platform/platform.h"

namespace wayloom {

struct LiveStatus {
  bool running = false;
  LiveSettings settings;               // the outputs started
  std::vector<std::string> endpoints;  // where the outputs are (LiveOutputs::Endpoints)
  LiveCounts counts;        // as they stand, also while the track waits; the last ones once ended
  std::string description;  // of the last point of the source reached
  bool hasFix = false;      // latitude and longitude hold the last fix sent
  double latitude = 0.0;
  double longitude = 0.0;
  // The last fix sent: its time on the track's clock, speed, course, and the satellites its
  // sentences say it used (empty when they do not say).
  double clockMs = 0.0;
  double speedKnots = 0.0;
  double courseDegrees = 0.0;
  std::string satellites;
  bool stopped = false;               // ended by Stop rather than by the track's end
  std::vector<std::string> messages;  // the job's messages (a source it could not read)
  std::vector<std::string> notes;     // the job's notes (a serial port too slow), kept to the end
};

class LiveSession {
 public:
  LiveSession() = default;
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;
  ~LiveSession() { Stop(); }

  // Opens the live outputs of settings and starts sending the track (settings.dest is not
  // written); reorder and extraPoints are the option boxes. False, with error set and nothing
  // started, when an output cannot be opened or a session is running.
  bool Start(const JobSettings& settings, bool reorder, bool extraPoints, std::string& error);
  // Ends the session and waits for its thread; clients are disconnected, the link removed.
  void Stop();
  // How it goes; the messages are handed over once.
  LiveStatus TakeStatus();
  bool Running();
  // The sentences sent after the first `seen` of the session that are still kept (the last
  // kSentencesKept), oldest first; sent is set to how many it has sent in all.
  std::vector<std::string> SentencesSince(std::uint64_t seen, std::uint64_t& sent);
  static constexpr std::size_t kSentencesKept = 500;

 private:
  class Listener;
  // Asked by the outputs between their waits: takes their counts and tells whether to stop.
  bool Serving();
  void Run(JobSettings settings, bool reorder, bool extraPoints,
           std::unique_ptr<LiveOutputs> outputs);

  std::unique_ptr<WakePipe> wake_;
  std::shared_ptr<Playback> playback_;    // the settings', woken through wake_ while running
  const LiveOutputs* serving_ = nullptr;  // while the session's thread runs them
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  LiveStatus status_;
  SentenceRing sentences_{kSentencesKept};
};

}  // namespace wayloom
