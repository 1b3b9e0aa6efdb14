#include "outputs/live/live_outputs.h"

#include <cmath>
#include <utility>

#include "outputs/live/socket_wait.h"
#include "platform/platform.h"

namespace wayloom {
namespace {

// The longest single wait: a stop or a client is seen sooner anyway (poll returns for them), so
// this only bounds how long a missed wake-up could go unnoticed.
constexpr double kLongestWaitMs = 500.0;
// Without a wake-up descriptor (Windows: a console handler sets the stop request on a thread of
// its own), the request is looked at this often.
constexpr double kStopLookMs = 50.0;

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LiveOutputs::LiveOutputs(const LiveSettings& settings, std::function<bool()> stopRequested,
                         int wakeFd)
    : settings_(settings),
      pacer_(settings.speedup),
      stopRequested_(std::move(stopRequested)),
      wakeFd_(wakeFd) {}

LiveOutputs::~LiveOutputs() { Close(); }

bool LiveOutputs::Open(std::string& error) {
  if (settings_.serve) {
    server_ = std::make_unique<TcpServer>();
    server_->SetStallLimit(std::chrono::milliseconds(
        static_cast<std::int64_t>(std::ceil(settings_.clientTimeoutSeconds * 1000.0))));
    if (!server_->Listen(settings_.serveHost, settings_.servePort, error)) {
      Close();
      return false;
    }
    endpoints_.push_back(server_->BoundAddress());
    addresses_.push_back("serving NMEA on " + endpoints_.back());
  }
  if (!settings_.ptyLink.empty()) {
    pty_ = std::make_unique<PtyLink>();
    if (!pty_->Open(settings_.ptyLink, error)) {
      Close();
      return false;
    }
    endpoints_.push_back(pty_->DevicePath());
    addresses_.push_back("NMEA on " + endpoints_.back() + ", linked at " + settings_.ptyLink);
  }
  if (settings_.udp) {
    udp_ = std::make_unique<UdpSender>();
    if (!udp_->Open(settings_.udpHost, settings_.udpPort, error)) {
      Close();
      return false;
    }
    endpoints_.push_back(udp_->Destination());
    addresses_.push_back("sending NMEA datagrams to " + endpoints_.back());
  }
  return true;
}

void LiveOutputs::ServeOnce(double waitMs) {
  std::vector<pollfd> fds;
  if (wakeFd_ >= 0) fds.push_back(PollEntry(static_cast<PollHandle>(wakeFd_), POLLIN));
  const std::size_t serverFirst = fds.size();
  if (server_) server_->AddPollFds(fds);
  const std::size_t ptyFirst = fds.size();
  if (pty_) pty_->AddPollFds(fds);
  // A signal ends the wait early: the caller then looks at the stop request.
  if (WaitReady(fds, waitMs) > 0) {
    if (wakeFd_ >= 0 && (fds[0].revents & POLLIN)) DrainWake(wakeFd_);
    if (pty_) pty_->HandlePoll(fds, ptyFirst);
  }
  // The server looks at its clients' clocks even when nothing happened.
  if (server_) server_->HandlePoll(fds, serverFirst);
}

bool LiveOutputs::ServeUntil(double untilMs, const std::function<bool()>& done) {
  const double longest = wakeFd_ >= 0 ? kLongestWaitMs : kStopLookMs;
  for (;;) {
    if (stopRequested_ && stopRequested_()) return false;
    // Even when there is nothing to wait for, the sockets are looked at once: a track sent at
    // full speed still takes new clients and notices those that have gone.
    const bool finished = done();
    const double waitMs = finished ? 0.0 : std::fmax(0.0, std::fmin(untilMs - NowMs(), longest));
    ServeOnce(waitMs);
    // Asked again: a client that has gone since is no longer counted.
    if (finished && done()) return true;
  }
}

void LiveOutputs::OnFix(const Fix& fix, const SentenceLines& sentences) {
  if (fixesSent_ == 0 && server_ && settings_.waitClients > 0) {
    const double forever = HUGE_VAL;
    if (!ServeUntil(forever, [this] { return server_->ClientCount() >= settings_.waitClients; })) {
      return;
    }
  }
  const double due = pacer_.Schedule(fix.clockMs, NowMs());
  if (!ServeUntil(due, [due] { return NowMs() >= due; })) return;

  if (server_) server_->Broadcast(sentences.Text());
  if (pty_) pty_->Send(sentences.Text());
  if (udp_) udp_->Send(sentences.Text());
  ++fixesSent_;
  sentencesSent_ += sentences.Count();
}

void LiveOutputs::Finish() {
  const double until = NowMs() + static_cast<double>(kFinishTime.count());
  ServeUntil(until, [this, until] {
    const bool queued = (server_ && server_->HasQueuedBytes()) || (pty_ && pty_->HasQueuedBytes());
    return !queued || NowMs() >= until;
  });
  Close();
}

void LiveOutputs::Close() {
  if (server_) server_->Close();
  if (pty_) pty_->Close();
}

LiveCounts LiveOutputs::Counts() const {
  LiveCounts counts;
  counts.fixesSent = fixesSent_;
  counts.sentencesSent = sentencesSent_;
  if (server_) {
    counts.clients = server_->ClientCount();
    counts.tcp = server_->Counts();
  }
  if (pty_) {
    counts.fixesLeftOutForPty = pty_->FixesDropped();
    counts.ptyReaderOpen = pty_->ReaderOpen();
  }
  if (udp_) {
    counts.datagramsSent = udp_->DatagramsSent();
    counts.datagramsLost = udp_->DatagramsLost();
  }
  return counts;
}

std::string LiveOutputs::Report() const {
  const LiveCounts counts = Counts();
  std::string report = std::to_string(counts.sentencesSent) + " sentences sent live";
  if (server_) {
    report += ", " + std::to_string(counts.tcp.served) + " client(s) served, " +
              std::to_string(counts.tcp.droppedSlow) + " dropped for reading too slowly";
    if (counts.tcp.refused > 0)
      report += ", " + std::to_string(counts.tcp.refused) + " turned away";
  }
  if (counts.fixesLeftOutForPty > 0) {
    report += ", " + std::to_string(counts.fixesLeftOutForPty) +
              " fixes left out for the pseudo-terminal reader";
  }
  if (udp_) {
    report += ", " + std::to_string(counts.datagramsSent) + " datagrams sent";
    if (counts.datagramsLost > 0) {
      report += " (" + std::to_string(counts.datagramsLost) + " not taken by the system)";
    }
  }
  return report;
}

}  // namespace wayloom
