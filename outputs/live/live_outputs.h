// Live output: every fix of a track sent when its time on the track's clock has come, to TCP
// clients, as UDP datagrams and through a pseudo-terminal. One object opens the outputs asked for,
// says where they are, paces the fixes and sends them, reports what went out, and closes the
// outputs again: every kind of track and both front ends use it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/fix.h"
#include "outputs/live/pacer.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/tcp_server.h"
#include "outputs/live/udp_sender.h"

namespace wayloom {

// What live output is asked for, checked.
struct LiveSettings {
  bool serve = false;  // TCP clients at serveHost:servePort (port 0: any free one)
  std::string serveHost = "127.0.0.1";
  std::uint16_t servePort = 0;
  std::size_t waitClients = 0;         // the first fix waits until this many clients are in
  double clientTimeoutSeconds = 30.0;  // a TCP client that takes nothing this long is dropped
  bool udp = false;                    // one datagram a fix to udpHost:udpPort
  std::string udpHost;
  std::uint16_t udpPort = 0;
  std::string ptyLink;  // a pseudo-terminal linked here; empty for none
  double speedup = 1.0;
  bool loop = false;  // the track starts over after its last fix, the clock going on

  bool Wanted() const { return serve || udp || !ptyLink.empty(); }
};

// How live output is going, for a front end to show.
struct LiveCounts {
  std::uint64_t fixesSent = 0;
  std::uint64_t sentencesSent = 0;
  std::size_t clients = 0;  // TCP clients connected now
  ServerCounts tcp;
  std::uint64_t fixesLeftOutForPty = 0;
  bool ptyReaderOpen = false;  // as last seen
  std::uint64_t datagramsSent = 0;
  std::uint64_t datagramsLost = 0;
};

class LiveOutputs : public FixListener {
 public:
  // stopRequested is asked while waiting; wakeFd (or -1) becomes readable when a stop is requested,
  // so that a wait ends at once instead of when it runs out.
  LiveOutputs(const LiveSettings& settings, std::function<bool()> stopRequested, int wakeFd);
  ~LiveOutputs() override;
  LiveOutputs(const LiveOutputs&) = delete;
  LiveOutputs& operator=(const LiveOutputs&) = delete;

  // Opens every output asked for. False, with error set and every output closed again, when one
  // cannot be opened.
  bool Open(std::string& error);
  // Where the open outputs are, a line each ("serving NMEA on 127.0.0.1:10110", "NMEA on
  // /dev/pts/3, linked at LINK", "sending NMEA datagrams to HOST:PORT"): to be said at once, as a
  // script started with port 0 reads its port there.
  const std::vector<std::string>& Addresses() const { return addresses_; }
  // The same places alone: HOST:PORT, or the pseudo-terminal's device.
  const std::vector<std::string>& Endpoints() const { return endpoints_; }

  // Waits until the fix is due (the first one also until enough clients are in), serving the
  // outputs meanwhile, then sends its sentences: to every TCP client, through the pseudo-terminal,
  // and as one datagram.
  void OnFix(const Fix& fix, const SentenceLines& sentences) override;

  // After the last fix: sends what is still queued (for a few seconds at most, or until a stop is
  // requested) and closes every output, so that clients see the stream end.
  void Finish();
  // Closes every output at once (after a stop): clients disconnected, the link removed.
  void Close();

  LiveCounts Counts() const;
  // What went out, as a summary line says it: "N sentences sent live, K client(s) served, ...".
  std::string Report() const;

  // How long Finish waits for slow clients.
  static constexpr std::chrono::milliseconds kFinishTime{3000};

 private:
  // Serves clients and the reader until done() is true (before a wait and still after it), or a
  // stop is requested; waits of at most until untilMs (a time of NowMs) at a time. False when
  // stopped.
  bool ServeUntil(double untilMs, const std::function<bool()>& done);
  // One wait on every output's sockets (and the wake-up), of at most waitMs, and what it found
  // handled.
  void ServeOnce(double waitMs);

  LiveSettings settings_;
  Pacer pacer_;
  std::function<bool()> stopRequested_;
  int wakeFd_;
  std::unique_ptr<TcpServer> server_;
  std::unique_ptr<PtyLink> pty_;
  std::unique_ptr<UdpSender> udp_;
  std::vector<std::string> addresses_;
  std::vector<std::string> endpoints_;
  std::uint64_t fixesSent_ = 0;
  std::uint64_t sentencesSent_ = 0;
};

}  // namespace wayloom
