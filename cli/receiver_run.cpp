#include "cli/receiver_run.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "base/number_text.h"
#include "cli/cli.h"
#include "job/receiver_track.h"
#include "outputs/live/live_feed.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/tcp_server.h"
#include "outputs/live/udp_sender.h"
#include "outputs/track_file.h"
#include "platform/platform.h"
#include "sources/poi_file.h"

namespace wayloom {
namespace {

// The checked receiver settings, and where the datagrams go.
struct CliReceiverPlan : ReceiverPlan {
  std::string udpHost;
  std::uint16_t udpPort = 0;
};

bool Given(const ReceiverRequest& request, std::string_view name) {
  return std::find(request.given.begin(), request.given.end(), name) != request.given.end();
}

// An error text, empty when the settings are good.
std::string CheckReceiver(const ReceiverArgs& args, const ReceiverRequest& request,
                          CliReceiverPlan& plan) {
  for (const char* option : {"--extra", "--step", "--runs"}) {
    if (Given(request, option)) return NotForReceiver(option);
  }
  const std::string problem = CheckReceiverSettings(args, request.period, request.date, plan);
  if (!problem.empty()) return problem;
  if (Given(request, "--udp") &&
      (!ParseServeAddress(args.udp, plan.udpHost, plan.udpPort) || plan.udpPort == 0)) {
    return "--udp needs HOST:PORT with a port from 1 to 65535, not '" + args.udp + "'";
  }
  return {};
}

class ReceiverCommand {
 public:
  ReceiverCommand(const ReceiverRequest& request, const CliReceiverPlan& plan, std::FILE* out,
                  std::FILE* err)
      : request_(request),
        plan_(plan),
        out_(out),
        err_(err),
        live_(request.serve || !request.pty.empty() || !plan.udpHost.empty()) {}

  int Run() {
    ReceiverRoute route;
    if (!ReadRoute(route)) return stoppedReading_ ? kExitInterrupted : kExitError;
    if (DestIsTheSource()) return kExitError;
    if (!OpenLiveOutputs()) return kExitError;
    if (!request_.pty.empty() && !request_.dest.empty() && request_.dest != "-" &&
        SameCanonicalPath(request_.dest, request_.pty)) {
      pty_->Close();
      Fail("DEST is the --pty LINK: the track would go into the pseudo-terminal");
      return kExitUsage;
    }
    if (!OpenDest()) return kExitError;
    LiveFeed feed(request_.speedup, server_.get(), pty_.get(), request_.waitClients,
                  request_.stopRequested, request_.wakeFd);
    feed.SetUdpSender(udp_.get());

    bool stopped = false;
    bool failed = false;
    // DEST is written in full first, as fast as it goes; the live outputs then get the same fixes
    // at their own pace (the stream is deterministic, noise included).
    if (!request_.dest.empty()) {
      ReceiverFixes fileFixes(route, plan_);
      const ReceiverFileSummary written =
          WriteReceiverFile(fileFixes, file_, nullptr, request_.stopRequested);
      fixesWritten_ = written.fixes;
      sentencesWritten_ = written.sentences;
      stopped = written.stopped;
      failed = written.failed;
    }
    if (live_ && !stopped && !failed) {
      ReceiverFixes fixes(route, plan_);
      stopped = SendReceiverRounds(fixes, feed, request_.loop, request_.stopRequested, nullptr);
    }
    if (live_) {
      if (stopped) {
        if (server_) server_->Close();
        if (pty_) pty_->Close();
      } else {
        feed.Finish();
      }
      if (stopped || !request_.quiet) ReportLive(feed, stopped);
    }
    return Report(stopped, failed);
  }

 private:
  bool ReadRoute(ReceiverRoute& route) {
    PoiList list;
    PoiReadDetails details;
    details.stopRequested = request_.stopRequested;
    const auto withReason = [&](const std::string& text) {
      return Fail(details.error ? text + "\n" + ReasonText(details.error) : text);
    };
    switch (ReadPoiFile(request_.source, list, details)) {
      case PoiReadStatus::kOk:
        break;
      case PoiReadStatus::kCannotOpen:
        return withReason("Error can't open the input file\n" + request_.source);
      case PoiReadStatus::kReadError:
        return withReason("Error reading the input file\n" + request_.source);
      case PoiReadStatus::kOutOfMemory:
      case PoiReadStatus::kNoMemoryForList:
        return Fail("out of memory reading the input file " + request_.source);
      case PoiReadStatus::kStopped:
        stoppedReading_ = true;
        return Fail("stopped while reading " + request_.source +
                    (request_.dest.empty() ? "" : "; DEST was not touched"));
    }
    pointsRead_ = list.empty() ? 0 : list.size() - 1;
    if (pointsRead_ < 2) {
      std::fprintf(err_, "wayloom-cli: no track: %llu points read from %s%s\n",
                   static_cast<unsigned long long>(pointsRead_), request_.source.c_str(),
                   details.utf16ByteOrderMark
                       ? ", which starts with a UTF-16 byte-order mark: save it as UTF-8"
                       : "");
    }
    route = MakeReceiverRoute(list, request_.reorder);
    const std::string problem = RouteProblem(route.points);
    return problem.empty() || Fail(problem + "\n" + request_.source);
  }

  // A DEST that is the SOURCE itself (by another name or a link) would be emptied before it is
  // read again: refused before anything is opened.
  bool DestIsTheSource() {
    if (request_.dest.empty() || request_.dest == "-") return false;
    if (!SameFile(request_.source, request_.dest)) return false;
    Fail("Error the output file is the input file\n" + request_.dest);
    return true;
  }

  bool Fail(const std::string& message) {
    std::fprintf(err_, "wayloom-cli: %s\n", message.c_str());
    return false;
  }

  // The addresses go to standard error at once: a script started with port 0 reads it there.
  bool OpenLiveOutputs() {
    std::string problem;
    if (request_.serve) {
      server_ = std::make_unique<TcpServer>();
      server_->SetStallLimit(std::chrono::milliseconds(
          static_cast<std::int64_t>(std::ceil(request_.clientTimeoutSeconds * 1000.0))));
      if (!server_->Listen(request_.serveHost, request_.servePort, problem)) return Fail(problem);
      std::fprintf(err_, "wayloom-cli: serving NMEA on %s\n", server_->BoundAddress().c_str());
    }
    if (!request_.pty.empty()) {
      pty_ = std::make_unique<PtyLink>();
      if (!pty_->Open(request_.pty, problem)) return Fail(problem);
      std::fprintf(err_, "wayloom-cli: NMEA on %s, linked at %s\n", pty_->DevicePath().c_str(),
                   request_.pty.c_str());
    }
    if (!plan_.udpHost.empty()) {
      udp_ = std::make_unique<UdpSender>();
      if (!udp_->Open(plan_.udpHost, plan_.udpPort, problem)) return Fail(problem);
      std::fprintf(err_, "wayloom-cli: sending NMEA datagrams to %s\n",
                   udp_->Destination().c_str());
    }
    std::fflush(err_);
    return true;
  }

  bool OpenDest() {
    if (request_.dest.empty()) return true;
    if (request_.dest == "-") {
      file_.Attach(out_);
      return true;
    }
    if (DestinationExists(request_.dest) &&
        !(request_.prompter &&
          request_.prompter->AskYesNo("The output file already exists\noverwrite ?"))) {
      return Fail(request_.dest + " exists and was left as it was");
    }
    if (file_.Open(request_.dest)) return true;
    const std::error_code reason = file_.Error();
    return Fail("Error can't open output file \n" + request_.dest +
                (reason ? "\n" + ReasonText(reason) : std::string()));
  }

  void ReportLive(const LiveFeed& feed, bool stopped) {
    std::string outputs;
    if (server_) {
      const ServerCounts& counts = server_->Counts();
      outputs += ", " + std::to_string(counts.served) + " client(s) served, " +
                 std::to_string(counts.droppedSlow) + " dropped for reading too slowly";
    }
    if (pty_ && pty_->PairsDropped() > 0) {
      outputs += ", " + std::to_string(pty_->PairsDropped()) +
                 " fixes left out for the pseudo-terminal reader";
    }
    if (udp_) {
      outputs += ", " + std::to_string(udp_->DatagramsSent()) + " datagrams sent";
      if (udp_->DatagramsLost() > 0) {
        outputs += " (" + std::to_string(udp_->DatagramsLost()) + " not taken by the system)";
      }
    }
    std::fprintf(err_, "wayloom-cli: %s%llu sentences sent live%s\n", stopped ? "stopped: " : "",
                 static_cast<unsigned long long>(feed.SentencesSent()), outputs.c_str());
  }

  int Report(bool stopped, bool failed) {
    const char* destination = request_.dest == "-" ? "standard output" : request_.dest.c_str();
    if (failed) {
      const std::error_code reason = file_.Error();
      Fail("Error writing output file \n" + request_.dest +
           (reason ? "\n" + ReasonText(reason) : std::string()));
      return kExitError;
    }
    if (!request_.dest.empty() && (stopped || !request_.quiet)) {
      std::fprintf(err_,
                   "wayloom-cli: %s%llu points read, %llu fixes, %llu sentences written to %s%s\n",
                   stopped ? "stopped: " : "", static_cast<unsigned long long>(pointsRead_),
                   static_cast<unsigned long long>(fixesWritten_),
                   static_cast<unsigned long long>(sentencesWritten_), destination,
                   stopped ? ", every line complete" : "");
    }
    return stopped ? kExitInterrupted : kExitOk;
  }

  const ReceiverRequest& request_;
  const CliReceiverPlan& plan_;
  std::FILE* const out_;
  std::FILE* const err_;
  const bool live_;
  TrackFile file_;
  std::unique_ptr<TcpServer> server_;
  std::unique_ptr<PtyLink> pty_;
  std::unique_ptr<UdpSender> udp_;
  bool stoppedReading_ = false;
  std::uint64_t pointsRead_ = 0;
  std::uint64_t fixesWritten_ = 0;
  std::uint64_t sentencesWritten_ = 0;
};

}  // namespace

int RunReceiver(const ReceiverArgs& args, const ReceiverRequest& request, std::FILE* out,
                std::FILE* err) {
  CliReceiverPlan plan;
  const std::string problem = CheckReceiver(args, request, plan);
  if (!problem.empty()) {
    std::fprintf(err, "wayloom-cli: %s\nTry 'wayloom-cli --help'.\n", problem.c_str());
    return kExitUsage;
  }
  return ReceiverCommand(request, plan, out, err).Run();
}

}  // namespace wayloom
