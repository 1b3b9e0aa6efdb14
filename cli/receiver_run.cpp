#include "cli/receiver_run.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>

#include "cli/cli.h"
#include "cli/platform.h"
#include "live/live_feed.h"
#include "live/pty_link.h"
#include "live/tcp_server.h"
#include "live/udp_sender.h"
#include "track/number_text.h"
#include "track/poi_file.h"
#include "track/receiver.h"
#include "track/route.h"
#include "track/track_file.h"

namespace wayloom {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

// Limits that keep every clock and distance far inside a double's and a 64-bit count's range.
constexpr double kLeastPeriodSeconds = 0.001;  // the time field's resolution
constexpr double kMostPeriodSeconds = 86400.0;
constexpr double kLeastSpeedKnots = 0.001;
constexpr double kMostSpeedKnots = 1e6;
constexpr double kMostDwellSeconds = 86400.0;
constexpr double kMostNoiseMetres = 100000.0;

// A plain decimal number: digits with an optional point and fraction, an optional exponent, and
// nothing else. Not a number (NaN) for any other text.
double ParseNumber(std::string_view text) {
  std::size_t i = 0;
  std::size_t digits = 0;
  const auto skipDigits = [&] {
    std::size_t count = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++count;
    return count;
  };
  digits += skipDigits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += skipDigits();
  }
  if (digits == 0) return std::nan("");
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (skipDigits() == 0) return std::nan("");
  }
  return i == text.size() ? ParseDecimal(text) : std::nan("");
}

bool InRange(double value, double least, double most) { return value >= least && value <= most; }

// A speed in knots, or followed by km/h, mph or m/s (a space between is allowed).
bool ParseSpeed(std::string_view text, double& knots, double& metresPerSecond) {
  struct Unit {
    std::string_view name;
    double metresPerSecond;
  };
  static constexpr Unit kUnits[] = {{"km/h", 1000.0 / 3600.0},
                                    {"mph", 1609.344 / 3600.0},
                                    {"m/s", 1.0},
                                    {"kn", 1852.0 / 3600.0},
                                    {"", 1852.0 / 3600.0}};
  for (const Unit& unit : kUnits) {
    if (text.size() < unit.name.size() ||
        text.substr(text.size() - unit.name.size()) != unit.name) {
      continue;
    }
    std::string_view number = text.substr(0, text.size() - unit.name.size());
    if (!unit.name.empty() && !number.empty() && number.back() == ' ') number.remove_suffix(1);
    const double value = ParseNumber(number);
    if (!(value > 0.0) || !std::isfinite(value)) return false;
    // Knots as given print exactly as given; other units are converted.
    const bool inKnots = unit.metresPerSecond == 1852.0 / 3600.0;
    metresPerSecond = value * unit.metresPerSecond;
    knots = inKnots ? value : metresPerSecond * 3600.0 / 1852.0;
    return true;
  }
  return false;
}

// HH:MM:SS, a time of day that exists, as milliseconds since midnight.
bool ParseTimeOfDay(std::string_view text, std::int64_t& ms) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  int parts[3] = {0, 0, 0};
  for (int p = 0; p < 3; ++p) {
    for (std::size_t i = static_cast<std::size_t>(3 * p); i < static_cast<std::size_t>(3 * p + 2);
         ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      parts[p] = parts[p] * 10 + (text[i] - '0');
    }
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  ms = ((parts[0] * 60 + parts[1]) * 60 + parts[2]) * std::int64_t{1000};
  return true;
}

// The checked receiver settings.
struct ReceiverPlan {
  ReceiverMotion motion;
  std::vector<SentenceKind> kinds;
  CalendarDate date;
  std::int64_t startMs = 0;  // since midnight of date
  std::string udpHost;
  std::uint16_t udpPort = 0;
};

bool Given(const ReceiverRequest& request, std::string_view name) {
  return std::find(request.given.begin(), request.given.end(), name) != request.given.end();
}

// An error text, empty when the settings are good.
std::string CheckReceiver(const ReceiverArgs& args, const ReceiverRequest& request,
                          ReceiverPlan& plan) {
  for (const char* option : {"--extra", "--step", "--runs"}) {
    if (Given(request, option)) {
      return std::string(option) +
             " does not apply with --speed: the fixes follow from speed and period";
    }
  }
  ReceiverMotion& motion = plan.motion;
  if (!ParseSpeed(args.speed, motion.speedKnots, motion.speedMetresPerSecond) ||
      !InRange(motion.speedKnots, kLeastSpeedKnots, kMostSpeedKnots)) {
    return "--speed needs a speed above 0 in knots (or followed by km/h, mph or m/s), from 0.001 "
           "to 1000000 knots, not '" +
           args.speed + "'";
  }
  motion.periodSeconds = ParseNumber(request.period);
  if (!InRange(motion.periodSeconds, kLeastPeriodSeconds, kMostPeriodSeconds)) {
    return "--period needs seconds from 0.001 to 86400 with --speed, not '" + request.period + "'";
  }
  motion.dwellSeconds = ParseNumber(args.dwell);
  if (!InRange(motion.dwellSeconds, 0.0, kMostDwellSeconds)) {
    return "--dwell needs seconds from 0 to 86400, not '" + args.dwell + "'";
  }
  motion.noiseMetres = ParseNumber(args.noise);
  if (!InRange(motion.noiseMetres, 0.0, kMostNoiseMetres)) {
    return "--noise needs metres from 0 to 100000, not '" + args.noise + "'";
  }
  const bool seedDigits =
      !args.seed.empty() && args.seed.size() <= 19 &&
      std::all_of(args.seed.begin(), args.seed.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!seedDigits)
    return "--seed needs a whole number of at most 19 digits, not '" + args.seed + "'";
  motion.seed = std::stoull(args.seed);

  std::string problem;
  if (!ParseSentenceList(args.sentences, plan.kinds, problem)) return "--sentences: " + problem;

  const auto sinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  std::int64_t today = sinceEpoch / kMsPerDay;
  if (sinceEpoch % kMsPerDay < 0) --today;
  if (args.start == "now") {
    if (request.date) return "--start now takes today's date: give --date or --start now, not both";
    plan.startMs = sinceEpoch - today * kMsPerDay;
  } else if (!ParseTimeOfDay(args.start, plan.startMs)) {
    return "--start needs a time HH:MM:SS that exists, or now, not '" + args.start + "'";
  }
  plan.date = request.date ? *request.date : DateFromDays(today);

  if (Given(request, "--udp") &&
      (!ParseServeAddress(args.udp, plan.udpHost, plan.udpPort) || plan.udpPort == 0)) {
    return "--udp needs HOST:PORT with a port from 1 to 65535, not '" + args.udp + "'";
  }
  return {};
}

class ReceiverCommand {
 public:
  ReceiverCommand(const ReceiverRequest& request, const ReceiverPlan& plan, std::FILE* out,
                  std::FILE* err)
      : request_(request),
        plan_(plan),
        out_(out),
        err_(err),
        live_(request.serve || !request.pty.empty() || !plan.udpHost.empty()) {}

  int Run() {
    std::vector<GeoPoint> route;
    if (!ReadRoute(route)) return stoppedReading_ ? kExitInterrupted : kExitError;
    if (DestIsTheSource()) return kExitError;
    if (!OpenLiveOutputs()) return kExitError;
    if (!request_.pty.empty() && !request_.dest.empty() && request_.dest != "-") {
      std::error_code linkError;
      std::error_code destError;
      const auto device = std::filesystem::canonical(request_.pty, linkError);
      const auto dest = std::filesystem::canonical(request_.dest, destError);
      if (!linkError && !destError && dest == device) {
        pty_->Close();
        Fail("DEST is the --pty LINK: the track would go into the pseudo-terminal");
        return kExitUsage;
      }
    }
    if (!OpenDest()) return kExitError;
    LiveFeed feed(request_.speedup, server_.get(), pty_.get(), request_.waitClients,
                  request_.stopRequested, request_.wakeFd);
    feed.SetUdpSender(udp_.get());

    FixSentences sentences(plan_.kinds, plan_.date);
    bool stopped = false;
    bool failed = false;
    // DEST is written in full first, as fast as it goes; the live outputs then get the same fixes
    // at their own pace (the stream is deterministic, noise included).
    if (!request_.dest.empty()) {
      FixStream fileFixes(route, plan_.motion, plan_.startMs);
      Fix fix;
      while (!stopped && !failed && fileFixes.Next(fix)) {
        sentences.Build(fix);
        for (std::size_t i = 0; i < sentences.Count() && !failed; ++i) {
          failed = !file_.WriteLine(sentences.Sentence(i));
        }
        if (failed) break;
        fixesWritten_ += 1;
        sentencesWritten_ += sentences.Count();
        stopped = request_.stopRequested && request_.stopRequested();
      }
      failed = !file_.Close() || failed;
    }
    FixStream fixes(std::move(route), plan_.motion, plan_.startMs);
    while (live_ && !stopped && !failed) {
      std::uint64_t roundFixes = 0;
      Fix fix;
      while (!stopped && fixes.Next(fix)) {
        const std::string_view text = sentences.Build(fix);
        ++roundFixes;
        feed.OnFix(static_cast<double>(fix.clockMs), text, sentences.Count());
        stopped = request_.stopRequested && request_.stopRequested();
      }
      // A round without fixes (a route without points) would loop without end.
      if (!live_ || !request_.loop || stopped || failed || roundFixes == 0) break;
      fixes.StartOver();
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
  bool ReadRoute(std::vector<GeoPoint>& route) {
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
    route = VisitingOrder(list, request_.reorder);
    const std::string problem = RouteProblem(route);
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
  const ReceiverPlan& plan_;
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
  ReceiverPlan plan;
  const std::string problem = CheckReceiver(args, request, plan);
  if (!problem.empty()) {
    std::fprintf(err, "wayloom-cli: %s\nTry 'wayloom-cli --help'.\n", problem.c_str());
    return kExitUsage;
  }
  return ReceiverCommand(request, plan, out, err).Run();
}

}  // namespace wayloom
