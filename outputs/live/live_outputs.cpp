#include "outputs/live/live_outputs.h"

#include <algorithm>
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
// Neither a client settling in nor a serial line carrying its last bytes is marked by an event on
// a descriptor: waits for them look again this often.
constexpr double kQuietLookMs = 20.0;

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Count(std::uint64_t count) { return std::to_string(count); }

// "serial port DEVICE at BAUD baud: S fixes sent, K skipped (the line was busy)".
std::string SerialText(const SerialCounts& port) {
  std::string text = "serial port " + port.device + " at " + std::to_string(port.baud) +
                     " baud: " + Count(port.fixesSent) + " fixes sent";
  if (port.fixesSkipped > 0)
    text += ", " + Count(port.fixesSkipped) + " skipped (the line was busy)";
  if (!port.failure.empty()) text += ", stopped: " + port.failure;
  return text;
}

// "emulator console ADDRESS: C commands sent, R refused (KO: why), K fixes skipped".
std::string ConsoleText(const ConsoleCounts& console) {
  std::string text =
      "emulator console " + console.address + ": " + Count(console.commandsSent) + " commands sent";
  if (console.commandsRefused > 0) {
    text += ", " + Count(console.commandsRefused) + " refused (" + console.firstRefusal + ")";
  }
  if (console.fixesSkipped > 0) {
    text += ", " + Count(console.fixesSkipped) + " fixes skipped (no answers came)";
  }
  if (!console.failure.empty()) text += ", stopped: " + console.failure;
  return text;
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
  deviceRefused_ = false;
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
  if (!OpenDevices(error)) {
    deviceRefused_ = true;
    Close();
    return false;
  }
  return true;
}

bool LiveOutputs::OpenDevices(std::string& error) {
  for (const SerialAddress& address : settings_.serialPorts) {
    auto port = std::make_unique<SerialPort>();
    if (!port->Open(address.device, address.baud, error)) return false;
    endpoints_.push_back(address.device);
    addresses_.push_back("NMEA on serial port " + address.device + " at " +
                         std::to_string(address.baud) + " baud");
    serial_.push_back(std::move(port));
  }
  if (settings_.emulator) {
    console_ = std::make_unique<EmulatorConsole>();
    if (!console_->Open(settings_.emulatorHost, settings_.emulatorPort, settings_.emulatorTokenPath,
                        error)) {
      return false;
    }
    endpoints_.push_back(console_->Address());
    addresses_.push_back("sending fixes to the emulator console at " + endpoints_.back());
  }
  return true;
}

std::vector<std::string> LiveOutputs::PaceWarnings(std::size_t fixBytes) const {
  std::vector<std::string> warnings;
  if (!(settings_.periodSeconds > 0.0)) return warnings;
  for (const auto& port : serial_) {
    std::string warning = SerialPaceWarning(
        port->Device(), fixBytes, settings_.periodSeconds / settings_.speedup, port->Baud());
    if (!warning.empty()) warnings.push_back(std::move(warning));
  }
  return warnings;
}

void LiveOutputs::ServeOnce(double waitMs) {
  std::vector<pollfd> fds;
  if (wakeFd_ >= 0) fds.push_back(PollEntry(static_cast<PollHandle>(wakeFd_), POLLIN));
  const std::size_t serverFirst = fds.size();
  if (server_) server_->AddPollFds(fds);
  const std::size_t ptyFirst = fds.size();
  if (pty_) pty_->AddPollFds(fds);
  std::vector<std::size_t> serialFirst;
  for (const auto& port : serial_) {
    serialFirst.push_back(fds.size());
    port->AddPollFds(fds);
  }
  const std::size_t consoleFirst = fds.size();
  if (console_) console_->AddPollFds(fds);
  // A signal ends the wait early: the caller then looks at the stop request.
  if (WaitReady(fds, waitMs) > 0) {
    if (wakeFd_ >= 0 && (fds[0].revents & POLLIN)) DrainWake(wakeFd_);
    if (pty_) pty_->HandlePoll(fds, ptyFirst);
  }
  // The server looks at its clients' clocks, and a serial port runs its finished writes (on
  // Windows it has no descriptor to wait on), even when nothing happened.
  if (server_) server_->HandlePoll(fds, serverFirst);
  for (std::size_t i = 0; i < serial_.size(); ++i) serial_[i]->HandlePoll(fds, serialFirst[i]);
  if (console_) console_->HandlePoll(fds, consoleFirst);
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

bool LiveOutputs::EnoughClients() const {
  return !server_ || server_->SettledClientCount() >= settings_.waitClients;
}

bool LiveOutputs::WaitForClients() {
  while (!EnoughClients()) {
    const double until = NowMs() + kQuietLookMs;
    if (!ServeUntil(until, [this, until] { return EnoughClients() || NowMs() >= until; })) {
      return false;
    }
  }
  return true;
}

void LiveOutputs::OnFix(const Fix& fix, const SentenceLines& sentences) {
  Playback* const playback = settings_.playback.get();
  while (!Send(fix, &sentences)) {
    if (!playback || StopRequested()) return;
    playback->TakeSeek();
    if (playback->Paused() && !WaitForChange()) return;
  }
}

void LiveOutputs::FollowSpeedup() {
  const double speedup = settings_.playback->Speedup();
  if (speedup == pacer_.Speedup()) return;
  pacer_.SetSpeedup(speedup);
  // The fix after the last one paced is due a step at the new pace from now: no burst of fixes
  // that the old pace had made late, no wait that it had made long.
  if (paced_) pacer_.Rebase(pacedClockMs_, NowMs());
}

bool LiveOutputs::Send(const Fix& fix, const SentenceLines* sentences) {
  Playback* const playback = settings_.playback.get();
  if (playback) playback->MarkSending();
  const bool first = fixesSent_ == 0;
  for (;;) {
    if (first && !WaitForClients()) return false;
    const std::uint64_t changes = playback ? playback->Changes() : 0;
    if (playback) FollowSpeedup();
    const Pacer before = pacer_;
    const double due = pacer_.Schedule(fix.clockMs, NowMs());
    const auto changed = [playback, changes] { return playback && playback->Changes() != changes; };
    if (!ServeUntil(due, [due, &changed] { return NowMs() >= due || changed(); })) return false;
    if (changed()) {
      pacer_ = before;  // not sent: the next fix is paced from the one before
      return false;
    }
    // A client counted for the first fix that has gone since is waited for again, so that the
    // clients that stay get the track from its start.
    if (!first || EnoughClients()) break;
  }
  paced_ = true;
  pacedClockMs_ = fix.clockMs;
  if (!sentences) return true;
  const std::string_view text = sentences->Text();
  if (first && note_) {
    for (const std::string& warning : PaceWarnings(text.size())) note_(warning);
  }
  if (server_) server_->Broadcast(text);
  if (pty_) pty_->Send(text);
  if (udp_) udp_->Send(text);
  for (const auto& port : serial_) port->Send(text);
  if (console_) console_->Send(text);
  ++fixesSent_;
  sentencesSent_ += sentences->Count();
  return true;
}

bool LiveOutputs::WaitForChange() {
  Playback* const playback = settings_.playback.get();
  if (!playback) return !StopRequested();
  const std::uint64_t changes = playback->Changes();
  for (;;) {
    const double until = NowMs() + kLongestWaitMs;
    const auto changed = [playback, changes] { return playback->Changes() != changes; };
    if (!ServeUntil(until, [until, &changed] { return changed() || NowMs() >= until; })) {
      return false;
    }
    if (changed()) return true;
  }
}

bool LiveOutputs::HasQueuedBytes() const {
  return (server_ && server_->HasQueuedBytes()) || (pty_ && pty_->HasQueuedBytes()) ||
         std::any_of(serial_.begin(), serial_.end(),
                     [](const auto& port) { return port->HasQueuedBytes(); }) ||
         (console_ && console_->HasQueuedBytes());
}

void LiveOutputs::Finish() {
  for (const auto& port : serial_) port->FinishTrack();
  const double end = NowMs() + static_cast<double>(kFinishTime.count());
  for (bool going = true; going && HasQueuedBytes() && NowMs() < end;) {
    const double until = std::fmin(end, NowMs() + kQuietLookMs);
    going = ServeUntil(until, [this, until] { return !HasQueuedBytes() || NowMs() >= until; });
  }
  Close();
}

void LiveOutputs::Close() {
  if (server_) server_->Close();
  if (pty_) pty_->Close();
  for (const auto& port : serial_) port->Close();
  if (console_) console_->Close();
}

LiveCounts LiveOutputs::Counts() const {
  LiveCounts counts;
  counts.fixesSent = fixesSent_;
  counts.sentencesSent = sentencesSent_;
  if (server_) {
    counts.clients = server_->ClientCount();
    counts.clientAddresses = server_->ClientAddresses();
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
  for (const auto& port : serial_) {
    counts.serial.push_back(SerialCounts{port->Device(), port->Baud(), port->FixesSent(),
                                         port->FixesSkipped(), port->Failure()});
  }
  if (console_) {
    counts.console = ConsoleCounts{console_->Address(),         console_->CommandsSent(),
                                   console_->CommandsRefused(), console_->FirstRefusal(),
                                   console_->FixesSkipped(),    console_->Failure()};
  }
  counts.statuses = Statuses(counts);
  return counts;
}

std::vector<std::string> LiveOutputs::Statuses(const LiveCounts& counts) const {
  std::vector<std::string> statuses;
  if (server_) {
    statuses.push_back("TCP " + server_->BoundAddress() + ": " + std::to_string(counts.clients) +
                       " client(s) now, " + Count(counts.tcp.served) + " served");
  }
  if (pty_) {
    statuses.push_back("pseudo-terminal " + settings_.ptyLink + ": " +
                       (counts.ptyReaderOpen ? "a reader has it open" : "no reader"));
  }
  if (udp_) {
    statuses.push_back("UDP to " + udp_->Destination() + ": " + Count(counts.datagramsSent) +
                       " datagrams sent");
  }
  for (const SerialCounts& port : counts.serial) statuses.push_back(SerialText(port));
  if (counts.console) statuses.push_back(ConsoleText(*counts.console));
  return statuses;
}

std::string LiveOutputs::Report() const {
  const LiveCounts counts = Counts();
  std::string report = Count(counts.sentencesSent) + " sentences sent live";
  if (server_) {
    report += ", " + Count(counts.tcp.served) + " client(s) served, " +
              Count(counts.tcp.droppedSlow) + " dropped for reading too slowly";
    if (counts.tcp.refused > 0) report += ", " + Count(counts.tcp.refused) + " turned away";
  }
  if (counts.fixesLeftOutForPty > 0) {
    report +=
        ", " + Count(counts.fixesLeftOutForPty) + " fixes left out for the pseudo-terminal reader";
  }
  if (udp_) {
    report += ", " + Count(counts.datagramsSent) + " datagrams sent";
    if (counts.datagramsLost > 0) {
      report += " (" + Count(counts.datagramsLost) + " not taken by the system)";
    }
  }
  for (const SerialCounts& port : counts.serial) report += "; " + SerialText(port);
  if (counts.console) report += "; " + ConsoleText(*counts.console);
  return report;
}

}  // namespace wayloom
