#include "outputs/live/live_feed.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cmath>
#include <utility>
#include <vector>

#include "outputs/live/socket_wait.h"

namespace wayloom {
namespace {

// The longest single wait: a stop or a client is seen sooner anyway (poll returns for them), so
// this only bounds how long a missed wake-up could go unnoticed.
constexpr double kLongestWaitMs = 500.0;
// Without a wake-up descriptor (Windows: a console handler sets the stop request on a thread of
// its own), the request is looked at this often.
constexpr double kStopLookMs = 50.0;

}  // namespace

LiveFeed::LiveFeed(double speedup, TcpServer* server, PtyLink* pty, std::size_t waitClients,
                   std::function<bool()> stopRequested, int wakeFd)
    : pacer_(speedup),
      server_(server),
      pty_(pty),
      waitClients_(waitClients),
      stopRequested_(std::move(stopRequested)),
      wakeFd_(wakeFd) {}

double LiveFeed::NowMs() {
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

bool LiveFeed::ServeUntil(double untilMs, const std::function<bool()>& done) {
  std::vector<pollfd> fds;
  for (;;) {
    if (stopRequested_ && stopRequested_()) return false;
    // Even when there is nothing to wait for, the sockets are looked at once: a track sent at
    // full speed still takes new clients and notices those that have gone.
    const bool finished = done();
    double waitMs = finished ? 0.0 : untilMs - NowMs();
    if (!(waitMs > 0.0)) waitMs = 0.0;
    const double longest = wakeFd_ >= 0 ? kLongestWaitMs : kStopLookMs;
    if (waitMs > longest) waitMs = longest;

    fds.clear();
    if (wakeFd_ >= 0) fds.push_back(PollEntry(static_cast<PollHandle>(wakeFd_), POLLIN));
    const std::size_t serverFirst = fds.size();
    if (server_) server_->AddPollFds(fds);
    const std::size_t ptyFirst = fds.size();
    if (pty_) pty_->AddPollFds(fds);

    // A signal ends the wait early: the loop then looks at the stop request.
    if (WaitReady(fds, waitMs) > 0) {
#ifndef _WIN32
      if (wakeFd_ >= 0 && (fds[0].revents & POLLIN)) {
        char bytes[64];
        while (read(wakeFd_, bytes, sizeof bytes) > 0) {
        }
      }
#endif
      if (pty_) pty_->HandlePoll(fds, ptyFirst);
    }
    // The server looks at its clients' clocks even when nothing happened.
    if (server_) server_->HandlePoll(fds, serverFirst);
    // Asked again: a client that has gone since is no longer counted.
    if (finished && done()) return true;
  }
}

void LiveFeed::OnSentencePair(double clockMs, std::string_view gga, std::string_view rmc) {
  pair_.assign(gga.data(), gga.size());
  pair_ += "\r\n";
  pair_.append(rmc.data(), rmc.size());
  pair_ += "\r\n";
  OnFix(clockMs, pair_, 2);
}

void LiveFeed::OnFix(double clockMs, std::string_view sentences, std::size_t sentenceCount) {
  if (fixesSent_ == 0 && server_ && waitClients_ > 0) {
    const double forever = HUGE_VAL;
    if (!ServeUntil(forever, [this] { return server_->ClientCount() >= waitClients_; })) return;
  }
  const double due = pacer_.Schedule(clockMs, NowMs());
  if (!ServeUntil(due, [due] { return NowMs() >= due; })) return;

  if (server_) server_->Broadcast(sentences);
  if (pty_) pty_->Send(sentences);
  if (udp_) udp_->Send(sentences);
  ++fixesSent_;
  sentencesSent_ += sentenceCount;
}

void LiveFeed::Finish() {
  const double until = NowMs() + static_cast<double>(kFinishTime.count());
  ServeUntil(until, [this, until] {
    const bool queued = (server_ && server_->HasQueuedBytes()) || (pty_ && pty_->HasQueuedBytes());
    return !queued || NowMs() >= until;
  });
  if (server_) server_->Close();
  if (pty_) pty_->Close();
}

}  // namespace wayloom
