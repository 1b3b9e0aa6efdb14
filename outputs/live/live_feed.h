// The live feed: hears the engine's sentence pairs (or a receiver's fixes), holds each until it is
// due, and hands it to the TCP clients, the pseudo-terminal reader and the UDP destination, serving
// them while it waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/host.h"
#include "outputs/live/pacer.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/tcp_server.h"
#include "outputs/live/udp_sender.h"

namespace wayloom {

class LiveFeed : public TrackListener {
 public:
  // server and pty may be null. stopRequested is asked while waiting; wakeFd (or -1) becomes
  // readable when a stop is requested, so that a wait ends at once instead of when it runs out.
  // The first pair waits until waitClients clients are connected to the server.
  LiveFeed(double speedup, TcpServer* server, PtyLink* pty, std::size_t waitClients,
           std::function<bool()> stopRequested, int wakeFd);

  void OnSentencePair(double clockMs, std::string_view gga, std::string_view rmc) override;
  // The sentences of one fix, each ending in CR LF, sent together (one datagram over UDP).
  void OnFix(double clockMs, std::string_view sentences, std::size_t sentenceCount);

  // Also sends every fix to udp (null: none).
  void SetUdpSender(UdpSender* udp) { udp_ = udp; }

  // After the last pair: sends what is still queued (for a few seconds at most, or until a stop is
  // requested) and closes every connection, so that clients see the stream end.
  void Finish();

  std::uint64_t SentencesSent() const { return sentencesSent_; }

  // How long Finish waits for slow clients.
  static constexpr std::chrono::milliseconds kFinishTime{3000};

 private:
  using Clock = std::chrono::steady_clock;
  static double NowMs();
  // Serves clients and the reader until done() is true (before a wait and still after it), or a
  // stop is requested; waits of at most until untilMs (a time of NowMs) at a time. False when
  // stopped.
  bool ServeUntil(double untilMs, const std::function<bool()>& done);

  Pacer pacer_;
  TcpServer* server_;
  PtyLink* pty_;
  std::size_t waitClients_;
  std::function<bool()> stopRequested_;
  int wakeFd_;
  UdpSender* udp_ = nullptr;
  std::string pair_;  // the pair with its line ends, as it goes out
  std::uint64_t fixesSent_ = 0;
  std::uint64_t sentencesSent_ = 0;
};

}  // namespace wayloom
