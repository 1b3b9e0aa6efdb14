// A live feed that runs on its own thread, for a front end that must stay responsive while it
// sends (the window): Start opens the outputs and starts the thread, Status tells how it goes, and
// Stop (or the destructor) ends it at once, clients disconnected and the pseudo-terminal link
// removed. The thread owns an engine of its own that writes the track to the feed only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/calendar.h"
#include "job/receiver_settings.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/tcp_server.h"
#include "outputs/live/udp_sender.h"

namespace wayloom {

struct LiveRequest {
  // The track, as for "Create NMEA Track".
  std::string source;
  std::string stepDistance = "100";
  std::string timePeriod = "1";
  bool reorder = false;
  bool extraPoints = false;
  std::optional<CalendarDate> date;
  // Where it goes: a TCP server on host:port, UDP datagrams to host:port, or a pseudo-terminal
  // linked at ptyLink.
  enum class Target { kTcp, kUdp, kPty } target = Target::kTcp;
  std::string host = "127.0.0.1";
  std::uint16_t port = 0;
  std::string ptyLink;
  double speedup = 1.0;
  bool loop = false;
  // Receiver mode: a receiver travelling the points of the file as planned (period, step and
  // extra points then mean nothing).
  std::optional<ReceiverPlan> receiver;
};

struct LiveStatus {
  bool running = false;
  std::string address;  // HOST:PORT bound or sent to, or the pseudo-terminal's device
  std::size_t clients = 0;
  std::uint64_t sentencesSent = 0;
  std::string description;  // of the last point of the file sent (reached, in receiver mode)
  bool hasFix = false;      // latitude and longitude hold the last fix sent
  double latitude = 0.0;
  double longitude = 0.0;
  bool stopped = false;               // ended by Stop rather than by the track's end
  std::vector<std::string> messages;  // the engine's messages (a source it could not read)
};

class LiveSession {
 public:
  LiveSession() = default;
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;
  ~LiveSession() { Stop(); }

  // Opens the output and starts sending. False, with error set and nothing started, when the
  // output cannot be opened or a session is running.
  bool Start(const LiveRequest& request, std::string& error);
  // Ends the session and waits for its thread; clients are disconnected, the link removed.
  void Stop();
  // How it goes; the messages are handed over once.
  LiveStatus TakeStatus();
  bool Running();

 private:
  class Listener;
  void Run(LiveRequest request);

  std::unique_ptr<TcpServer> server_;
  std::unique_ptr<PtyLink> pty_;
  std::unique_ptr<UdpSender> udp_;
  int wake_[2] = {-1, -1};  // a pipe whose read end the feed's waits watch
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  LiveStatus status_;
};

}  // namespace wayloom
