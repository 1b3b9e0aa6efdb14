#include "cli/cli.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/number_text.h"
#include "cli/receiver_run.h"
#include "motion/track_engine.h"
#include "outputs/live/live_feed.h"
#include "outputs/live/pacer.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/tcp_server.h"
#include "platform/platform.h"

#ifndef WAYLOOM_VERSION
#define WAYLOOM_VERSION "1.0"
#endif

namespace wayloom {
namespace {

struct CliSettings : ReceiverArgs {
  std::string source;
  std::string dest;
  std::string step = "100";
  std::string period = "1";
  std::string runs = "1";
  std::string serve;
  std::string pty;
  std::string speedup = "1";
  std::string waitClients = "0";
  std::string clientTimeout = "30";
  std::string date;
  std::vector<std::string> given;  // the options given, by name
  bool reorder = false;
  bool loop = false;
  bool extra = false;
  bool yes = false;
  bool quiet = false;

  bool Given(const std::string& name) const {
    return std::find(given.begin(), given.end(), name) != given.end();
  }
};

// Every option once: its name, the name of its value (none for a switch), what it does, and where
// its value goes. Parsing and --help both read this table.
struct OptionEntry {
  const char* name;
  const char* valueName;
  const char* help;
  std::string CliSettings::*text;
  bool CliSettings::*flag;
};

const OptionEntry kOptions[] = {
    {"--step", "METRES", "distance between extra points in metres (default 100)",
     &CliSettings::step, nullptr},
    {"--period", "SECONDS", "time between points in seconds (default 1)", &CliSettings::period,
     nullptr},
    {"--reorder", nullptr, "visit the points in closest order", nullptr, &CliSettings::reorder},
    {"--extra", nullptr, "create extra points about one step apart", nullptr, &CliSettings::extra},
    {"--runs", "K", "make the track K times in a row; course and speed carry over (default 1)",
     &CliSettings::runs, nullptr},
    {"--yes", nullptr, "overwrite an existing DEST without asking", nullptr, &CliSettings::yes},
    {"--quiet", nullptr, "no summary line", nullptr, &CliSettings::quiet},
    {"--date", "YYYY-MM-DD",
     "RMC sentences carry a date: that of clock 0 (the track starts at 01:00)", &CliSettings::date,
     nullptr},
    {"--serve", "[HOST:]PORT",
     "send the track live to TCP clients (HOST 127.0.0.1 if absent; PORT 0: any)",
     &CliSettings::serve, nullptr},
    {"--pty", "LINK", "send the track live through a pseudo-terminal, its device linked at LINK",
     &CliSettings::pty, nullptr},
    {"--speedup", "X", "live: run the track's clock X times faster (default 1)",
     &CliSettings::speedup, nullptr},
    {"--loop", nullptr, "live: start over after the last point, the clock going on", nullptr,
     &CliSettings::loop},
    {"--wait-clients", "N", "live: start the track once N clients have connected (default 0)",
     &CliSettings::waitClients, nullptr},
    {"--speed", "KNOTS", "receiver mode: ground speed in knots (or km/h, mph, m/s after it)",
     &CliSettings::speed, nullptr},
    {"--dwell", "SECONDS", "receiver: stand still at every point this long (default 0)",
     &CliSettings::dwell, nullptr},
    {"--start", "HH:MM:SS", "receiver: time of the first fix, or now (default 01:00:00)",
     &CliSettings::start, nullptr},
    {"--sentences", "LIST",
     "receiver: each fix's sentences (default RMC,GGA,GSA,GSV,VTG; also GLL, ZDA)",
     &CliSettings::sentences, nullptr},
    {"--noise", "METRES", "receiver: smooth position error of this standard deviation (default 0)",
     &CliSettings::noise, nullptr},
    {"--seed", "N", "receiver: seed of the position error (default 1)", &CliSettings::seed,
     nullptr},
    {"--udp", "HOST:PORT", "receiver, live: send every fix as one UDP datagram", &CliSettings::udp,
     nullptr},
    {"--client-timeout", "SECONDS",
     "live: drop a TCP client that takes nothing for SECONDS while data waits (default 30)",
     &CliSettings::clientTimeout, nullptr},
};

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: wayloom-cli [options] SOURCE DEST\n"
      "  or:  wayloom-cli [options] --serve [HOST:]PORT | --pty LINK SOURCE [DEST]\n"
      "  or:  wayloom-cli --speed KNOTS [options] SOURCE [DEST]   (receiver mode)\n"
      "Turns a POI file (lines of longitude,latitude,description) into an NMEA 0183 track\n"
      "of $GPGGA and $GPRMC sentences. DEST - writes the track to standard output.\n"
      "Live output sends each point when its time on the track's clock has come.\n\n"
      "Options:\n",
      stream);
  for (const OptionEntry& option : kOptions) {
    std::string left = option.name;
    if (option.valueName) left += std::string(" ") + option.valueName;
    // A long name gets a line of its own.
    if (left.size() > 20) left += "\n" + std::string(22, ' ');
    std::fprintf(stream, "  %-20s %s\n", left.c_str(), option.help);
  }
  std::fputs(
      "  --help               show this help\n"
      "  --version            show the version\n",
      stream);
}

class TerminalPrompter : public Prompter {
 public:
  TerminalPrompter(std::FILE* in, std::FILE* err, bool answerYes)
      : in_(in), err_(err), answerYes_(answerYes) {}

  void ShowMessage(const std::string& text) override {
    std::fprintf(err_, "wayloom-cli: %s\n", text.c_str());
    ++messagesShown_;
  }

  void ShowFailure(const std::string& text, std::error_code reason) override {
    ShowMessage(reason ? text + "\n" + ReasonText(reason) : text);
  }

  void AnswerYesFromNowOn() { answerYes_ = true; }

  bool AskYesNo(const std::string& question) override {
    if (answerYes_) return true;
    if (!IsTerminal(in_)) {
      std::fprintf(
          err_, "wayloom-cli: %s\nwayloom-cli: no terminal to answer on: No (--yes answers Yes)\n",
          question.c_str());
      return false;
    }
    if (StopRequested()) return false;
    std::fprintf(err_, "%s [y/N] ", question.c_str());
    std::fflush(err_);
    // A stop signal interrupts the wait for the answer; the caller sees the stop request.
    char answer[64] = "";
    if (StopRequested() || !std::fgets(answer, sizeof answer, in_)) {
      std::fputc('\n', err_);
      return false;
    }
    return answer[0] == 'y' || answer[0] == 'Y';
  }

  int MessagesShown() const { return messagesShown_; }

 private:
  std::FILE* in_;
  std::FILE* err_;
  bool answerYes_;
  int messagesShown_ = 0;
};

class SignalStop : public ProgressMonitor {
 public:
  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return wayloom::StopRequested(); }
};

// A count of runs: decimal digits only, at least 1. Zero when the text is no such count.
unsigned long ParseRunCount(const std::string& text) {
  constexpr unsigned long kMostRuns = 1000000;
  if (text.empty() || text.size() > 7) return 0;
  unsigned long count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + static_cast<unsigned long>(c - '0');
  }
  return count <= kMostRuns ? count : 0;
}

// Fills settings from the arguments. Returns an error text, empty when the arguments are good.
std::string ParseArguments(int argc, const char* const argv[], CliSettings& settings,
                           bool& wantsHelp, bool& wantsVersion) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument == "-" || argument.rfind("--", 0) != 0) {
      if (!optionsEnded && argument.size() > 1 && argument[0] == '-' && argument != "-") {
        return "unknown option " + argument;
      }
      operands.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "--help") {
      wantsHelp = true;
      continue;
    }
    if (argument == "--version") {
      wantsVersion = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const OptionEntry* found = nullptr;
    for (const OptionEntry& option : kOptions) {
      if (name == option.name) found = &option;
    }
    if (!found) return "unknown option " + name;
    settings.given.push_back(name);
    if (found->flag) {
      if (equals != std::string::npos) return name + " takes no value";
      settings.*(found->flag) = true;
    } else if (equals != std::string::npos) {
      settings.*(found->text) = argument.substr(equals + 1);
    } else if (i + 1 < argc) {
      settings.*(found->text) = argv[++i];
    } else {
      return name + " needs a value (" + found->valueName + ")";
    }
  }
  if (wantsHelp || wantsVersion) return {};
  const bool live = settings.Given("--serve") || settings.Given("--pty") || settings.Given("--udp");
  if (!operands.empty() && operands[0].empty()) return "SOURCE is empty: give a POI file";
  if (operands.size() == 2 && operands[1].empty()) {
    return "DEST is empty: give a file, or - for standard output";
  }
  if (live && operands.size() == 1) {
    settings.source = operands[0];
    return {};
  }
  if (operands.size() != 2)
    return live ? "expected SOURCE and an optional DEST" : "expected SOURCE and DEST";
  settings.source = operands[0];
  settings.dest = operands[1];
  return {};
}

// The live settings, checked: an error text, empty when they are good.
struct LiveSettings {
  bool wanted = false;
  std::string host;
  std::uint16_t port = 0;
  double speedup = 1.0;
  unsigned long waitClients = 0;
  double clientTimeoutSeconds = 30.0;
  std::optional<CalendarDate> date;
};

std::string CheckSettings(const CliSettings& settings, LiveSettings& live) {
  for (const auto& [option, text] :
       {std::pair{"--step", &settings.step}, std::pair{"--period", &settings.period}}) {
    const std::string error = CheckDecimalSetting(option, *text);
    if (!error.empty()) return error;
  }
  if (settings.Given("--date")) {
    CalendarDate date;
    if (!ParseIsoDate(settings.date, date)) {
      return "--date needs a date as YYYY-MM-DD, not '" + settings.date + "'";
    }
    live.date = date;
  }
  const bool serve = settings.Given("--serve");
  live.wanted = serve || settings.Given("--pty") || settings.Given("--udp");
  if (serve && !ParseServeAddress(settings.serve, live.host, live.port)) {
    return "--serve needs [HOST:]PORT (an IPv6 host in brackets), not '" + settings.serve + "'";
  }
  if (settings.Given("--pty") && settings.pty.empty()) return "--pty needs a LINK path";
  for (const char* option : {"--speedup", "--loop", "--wait-clients", "--client-timeout"}) {
    if (settings.Given(option) && !live.wanted) {
      return std::string(option) + " is for live output: give --serve or --pty with it";
    }
  }
  live.speedup = ParseSpeedup(settings.speedup);
  if (live.speedup == 0.0) {
    return "--speedup needs a number above 0, not '" + settings.speedup + "'";
  }
  if (settings.Given("--client-timeout")) {
    if (!serve) return "--client-timeout is for --serve";
    live.clientTimeoutSeconds = ParseSpeedup(settings.clientTimeout);
    if (live.clientTimeoutSeconds == 0.0 || live.clientTimeoutSeconds > 1e6) {
      return "--client-timeout needs a number of seconds above 0, not '" + settings.clientTimeout +
             "'";
    }
  }
  if (settings.Given("--wait-clients")) {
    if (!serve) return "--wait-clients is for --serve";
    const std::string& text = settings.waitClients;
    const bool digits =
        !text.empty() && text.size() <= 3 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    live.waitClients = digits ? std::stoul(text) : TcpServer::kMaxClients + 1;
    if (live.waitClients > TcpServer::kMaxClients) {
      return "--wait-clients needs a whole number from 0 to " +
             std::to_string(TcpServer::kMaxClients) + ", not '" + text + "'";
    }
  }
  return {};
}

int UsageError(std::FILE* err, const std::string& message) {
  std::fprintf(err, "wayloom-cli: %s\n", message.c_str());
  std::fputs("Try 'wayloom-cli --help'.\n", err);
  return kExitUsage;
}

// One command, checked: opens the live outputs, writes the tracks, streams them, and reports.
class Command {
 public:
  Command(const CliSettings& settings, const LiveSettings& live, unsigned long runs, std::FILE* in,
          std::FILE* out, std::FILE* err)
      : settings_(settings),
        live_(live),
        runs_(runs),
        out_(out),
        err_(err),
        prompter_(in, err, settings.yes),
        options_(settings.reorder, settings.extra),
        engine_(prompter_, options_),
        toStdout_(settings.dest == "-"),
        toFile_(!settings.dest.empty()) {}

  int Run() {
    if (toStdout_ && !out_) {
      prompter_.ShowFailure("Error can't open output file \nstandard output",
                            std::make_error_code(std::errc::bad_file_descriptor));
      return kExitError;
    }
    // Live outputs come first, so that a port or link that cannot be had stops us before any
    // file is written.
    if (!OpenLiveOutputs()) return kExitError;
    if (DestIsTheLink()) {
      if (pty_) pty_->Close();
      return UsageError(err_,
                        "DEST is the --pty LINK: the track would go into the pseudo-terminal");
    }
    LiveFeed feed(live_.speedup, server_.get(), pty_.get(), live_.waitClients, &StopRequested,
                  wake_ ? wake_->Fd() : -1);
    ConfigureEngine();
    // On standard output only the last of several runs may appear: the earlier ones go nowhere.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> discard(nullptr, &std::fclose);
    if (toStdout_ && runs_ > 1) {
      discard.reset(std::fopen(NullDevice(), "wb"));
      if (!discard) {
        std::fprintf(err_, "wayloom-cli: cannot open %s for the runs before the last\n",
                     NullDevice());
        return kExitError;
      }
    }
    const TrackSummary summary = WriteTracks(feed, discard.get());
    const TrackOutcome liveOutcome =
        live_.wanted ? StreamOn(feed, summary.outcome) : summary.outcome;
    const bool stopped = liveOutcome == TrackOutcome::kStopped;
    if (live_.wanted && (stopped || !settings_.quiet)) ReportLive(feed, stopped);
    const int status = ReportTrack(summary);
    if (status != kExitOk) return status;
    if (stopped) return kExitInterrupted;
    return prompter_.MessagesShown() > 0 ? kExitError : kExitOk;
  }

 private:
  // Opens --serve and --pty. Their addresses go to standard error at once: a script started with
  // port 0 reads the port from there.
  bool OpenLiveOutputs() {
    std::string problem;
    if (settings_.Given("--serve")) {
      server_ = std::make_unique<TcpServer>();
      server_->SetStallLimit(std::chrono::milliseconds(
          static_cast<std::int64_t>(std::ceil(live_.clientTimeoutSeconds * 1000.0))));
      if (!server_->Listen(live_.host, live_.port, problem)) {
        std::fprintf(err_, "wayloom-cli: %s\n", problem.c_str());
        return false;
      }
      std::fprintf(err_, "wayloom-cli: serving NMEA on %s\n", server_->BoundAddress().c_str());
    }
    if (settings_.Given("--pty")) {
      pty_ = std::make_unique<PtyLink>();
      if (!pty_->Open(settings_.pty, problem)) {
        std::fprintf(err_, "wayloom-cli: %s\n", problem.c_str());
        return false;
      }
      std::fprintf(err_, "wayloom-cli: NMEA on %s, linked at %s\n", pty_->DevicePath().c_str(),
                   settings_.pty.c_str());
    }
    std::fflush(err_);
    if (live_.wanted) wake_ = std::make_unique<StopWake>();
    return true;
  }

  // Whether DEST, under whatever name, is the pseudo-terminal's link (or its device): both lead
  // to the same device now that the link exists.
  bool DestIsTheLink() const {
    if (!pty_ || !toFile_ || toStdout_) return false;
    return SameCanonicalPath(settings_.dest, settings_.pty);
  }

  void ConfigureEngine() {
    engine_.m_strSourceFile = settings_.source;
    // With DEST -, the name only appears in messages.
    engine_.m_strDestFile = toStdout_ ? "standard output" : settings_.dest;
    engine_.m_strStepDistance = settings_.step;
    engine_.m_strTimePeriod = settings_.period;
    engine_.SetKeepTables(false);  // no window to show them in
    engine_.SetProgressMonitor(&stop_);
    engine_.SetRmcDate(live_.date);
    engine_.SetWriteTrackFile(toFile_);
    engine_.SetSourceMustBeRead(true);
  }

  // The --runs tracks. Every run but the last only carries its course and speed over; on standard
  // output the earlier ones go to discard. A file is simply overwritten by each run. Without DEST,
  // the last run goes out live. Returns the track DEST holds.
  TrackSummary WriteTracks(LiveFeed& feed, std::FILE* discard) {
    for (unsigned long run = 1; run <= runs_; ++run) {
      if (toStdout_) engine_.SetOutputStream(run == runs_ ? out_ : discard);
      if (run == runs_) {
        lastCourse_ = engine_.Course();
        lastSpeed_ = engine_.Speed();
        if (live_.wanted && !toFile_) engine_.SetTrackListener(&feed);
      }
      engine_.CreateTrack();
      if (engine_.LastTrack().outcome != TrackOutcome::kWritten) break;
      // The file that exists now is the one this command has just written.
      prompter_.AnswerYesFromNowOn();
    }
    return engine_.LastTrack();
  }

  // DEST is written in full before anything goes out live: then the last track goes out once more,
  // from the same POI list, course and speed. With --loop, further rounds go out live only, the
  // clock going on; then the clients get what is queued. Returns how the live stream ended.
  TrackOutcome StreamOn(LiveFeed& feed, TrackOutcome outcome) {
    engine_.SetWriteTrackFile(false);
    engine_.SetOutputStream(nullptr);
    engine_.SetTrackListener(&feed);
    if (toFile_ && outcome == TrackOutcome::kWritten) {
      engine_.SetCourseAndSpeed(lastCourse_, lastSpeed_);
      engine_.RepeatTrack();
      outcome = engine_.LastTrack().outcome;
    }
    if (settings_.loop) {
      // A round that writes nothing (the POI file has lost its points) would loop without end.
      while (outcome == TrackOutcome::kWritten && engine_.LastTrack().sentencesWritten > 0) {
        engine_.SetTrackStartMs(engine_.LastTrack().nextClockMs);
        engine_.CreateTrack();
        outcome = engine_.LastTrack().outcome;
      }
    }
    if (outcome == TrackOutcome::kWritten) {
      feed.Finish();
    } else {
      if (server_) server_->Close();
      if (pty_) pty_->Close();
    }
    return outcome == TrackOutcome::kStoppedReading ? TrackOutcome::kStopped : outcome;
  }

  void ReportLive(const LiveFeed& feed, bool stopped) {
    std::string clients;
    if (server_) {
      const ServerCounts& counts = server_->Counts();
      clients = ", " + std::to_string(counts.served) + " client(s) served, " +
                std::to_string(counts.droppedSlow) + " dropped for reading too slowly";
      if (counts.refused > 0) clients += ", " + std::to_string(counts.refused) + " turned away";
    }
    if (pty_ && pty_->PairsDropped() > 0) {
      clients += ", " + std::to_string(pty_->PairsDropped()) +
                 " pairs left out for the pseudo-terminal reader";
    }
    std::fprintf(err_, "wayloom-cli: %s%llu sentences sent live%s\n", stopped ? "stopped: " : "",
                 static_cast<unsigned long long>(feed.SentencesSent()), clients.c_str());
  }

  // The summary of the track DEST holds; an exit status other than kExitOk ends the command.
  int ReportTrack(const TrackSummary& summary) {
    const char* destination = toStdout_ ? "standard output" : settings_.dest.c_str();
    switch (summary.outcome) {
      case TrackOutcome::kSourceUnread:  // its message has been shown
        return kExitError;
      case TrackOutcome::kStoppedReading:
        std::fprintf(err_, "wayloom-cli: stopped while reading %s%s\n", settings_.source.c_str(),
                     toFile_ ? "; DEST was not touched" : "");
        return kExitInterrupted;
      case TrackOutcome::kDeclined:
        std::fprintf(err_, "wayloom-cli: %s%s exists and was left as it was\n",
                     StopRequested() ? "stopped: " : "", destination);
        return StopRequested() ? kExitInterrupted : kExitError;
      case TrackOutcome::kStopped:
        if (!toFile_) return kExitOk;  // the live report has said it
        std::fprintf(err_,
                     "wayloom-cli: stopped: %llu sentences written to %s, every line complete\n",
                     static_cast<unsigned long long>(summary.sentencesWritten), destination);
        return kExitInterrupted;
      case TrackOutcome::kWritten:
        break;
      default:
        return kExitOk;
    }
    if (summary.pointsRead < 2) {
      // Not an error (an empty track is a valid result), but rarely what was meant.
      std::fprintf(err_, "wayloom-cli: no track: %llu points read from %s%s\n",
                   static_cast<unsigned long long>(summary.pointsRead), settings_.source.c_str(),
                   engine_.SourceHasUtf16Mark()
                       ? ", which starts with a UTF-16 byte-order mark: save it as UTF-8"
                       : "");
    }
    if (toFile_ && !settings_.quiet) {
      std::fprintf(err_, "wayloom-cli: %llu points read, %llu sentences written to %s\n",
                   static_cast<unsigned long long>(summary.pointsRead),
                   static_cast<unsigned long long>(summary.sentencesWritten), destination);
    }
    return kExitOk;
  }

  const CliSettings& settings_;
  const LiveSettings& live_;
  const unsigned long runs_;
  std::FILE* const out_;
  std::FILE* const err_;
  TerminalPrompter prompter_;
  FixedOptions options_;
  SignalStop stop_;
  TrackEngine engine_;
  const bool toStdout_;
  const bool toFile_;
  double lastCourse_ = 0.0;
  double lastSpeed_ = 0.0;
  std::unique_ptr<TcpServer> server_;
  std::unique_ptr<PtyLink> pty_;
  std::unique_ptr<StopWake> wake_;
};

// Receiver mode: what this file has read goes to RunReceiver, with the terminal and the stop
// signal.
int RunReceiverMode(const CliSettings& settings, const LiveSettings& live, std::FILE* in,
                    std::FILE* out, std::FILE* err) {
  TerminalPrompter prompter(in, err, settings.yes);
  StopWake wake;
  ReceiverRequest request;
  request.source = settings.source;
  request.dest = settings.dest;
  request.period = settings.period;
  request.given = settings.given;
  request.reorder = settings.reorder;
  request.loop = settings.loop;
  request.quiet = settings.quiet;
  request.date = live.date;
  request.serve = settings.Given("--serve");
  request.serveHost = live.host;
  request.servePort = live.port;
  request.pty = settings.Given("--pty") ? settings.pty : std::string();
  request.speedup = live.speedup;
  request.waitClients = live.waitClients;
  request.clientTimeoutSeconds = live.clientTimeoutSeconds;
  request.prompter = &prompter;
  request.stopRequested = [] { return StopRequested(); };
  request.wakeFd = wake.Fd();
  return RunReceiver(settings, request, out, err);
}

}  // namespace

bool SameCanonicalPath(const std::string& first, const std::string& second) {
  std::error_code firstError;
  std::error_code secondError;
  const std::filesystem::path one = std::filesystem::canonical(first, firstError);
  const std::filesystem::path other = std::filesystem::canonical(second, secondError);
  return !firstError && !secondError && one == other;
}

int RunCli(int argc, const char* const argv[], std::FILE* in, std::FILE* out, std::FILE* err) {
  CliSettings settings;
  bool wantsHelp = false;
  bool wantsVersion = false;
  const std::string error = ParseArguments(argc, argv, settings, wantsHelp, wantsVersion);
  if (!error.empty()) return UsageError(err, error);
  if ((wantsHelp || wantsVersion) && !out) return kExitError;  // standard output is closed
  if (wantsHelp) {
    PrintUsage(out);
    return kExitOk;
  }
  if (wantsVersion) {
    std::fputs("wayloom-cli " WAYLOOM_VERSION "\n", out);
    return kExitOk;
  }
  const unsigned long runs = ParseRunCount(settings.runs);
  if (runs == 0) {
    return UsageError(err,
                      "--runs needs a whole number from 1 to 1000000, not '" + settings.runs + "'");
  }
  LiveSettings live;
  const std::string settingsError = CheckSettings(settings, live);
  if (!settingsError.empty()) return UsageError(err, settingsError);
  if (settings.Given("--speed")) return RunReceiverMode(settings, live, in, out, err);
  for (const char* option : kReceiverOnlyOptions) {
    if (settings.Given(option)) {
      return UsageError(err, std::string(option) + " is for receiver mode: give --speed with it");
    }
  }
  return Command(settings, live, runs, in, out, err).Run();
}

}  // namespace wayloom
