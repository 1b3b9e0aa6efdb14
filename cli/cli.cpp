#include "cli.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calendar.h"
#include "live_feed.h"
#include "number_text.h"
#include "pty_link.h"
#include "tcp_server.h"
#include "track_engine.h"

#ifndef WAYLOOM_VERSION
#define WAYLOOM_VERSION "1.0"
#endif

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};
// The write end of a pipe a live feed waits on, or -1: a stop must end its wait at once.
std::atomic<int> g_wakeFd{-1};

extern "C" void OnStopSignal(int) {
  g_stopRequested.store(true);
  const int fd = g_wakeFd.load();
  if (fd >= 0) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    errno = savedErrno;
  }
}

// The pipe a live feed's waits watch for a stop, for as long as the feed runs.
class WakePipe {
 public:
  WakePipe() {
    if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    g_wakeFd.store(fds_[1]);
  }
  ~WakePipe() {
    g_wakeFd.store(-1);
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  int ReadFd() const { return fds_[0]; }

 private:
  int fds_[2];
};

struct CliSettings {
  std::string source;
  std::string dest;
  std::string step = "100";
  std::string period = "1";
  std::string runs = "1";
  std::string serve;
  std::string pty;
  std::string speedup = "1";
  std::string waitClients = "0";
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

// Every option once: its name, the name of its value (none for a switch), what it does, and where its
// value goes. Parsing and --help both read this table.
struct OptionEntry {
  const char* name;
  const char* valueName;
  const char* help;
  std::string CliSettings::*text;
  bool CliSettings::*flag;
};

const OptionEntry kOptions[] = {
    {"--step", "METRES", "distance between extra points in metres (default 100)", &CliSettings::step,
     nullptr},
    {"--period", "SECONDS", "time between points in seconds (default 1)", &CliSettings::period,
     nullptr},
    {"--reorder", nullptr, "visit the points in closest order", nullptr, &CliSettings::reorder},
    {"--extra", nullptr, "create extra points about one step apart", nullptr, &CliSettings::extra},
    {"--runs", "K",
     "make the track K times in a row; course and speed carry over (default 1)",
     &CliSettings::runs, nullptr},
    {"--yes", nullptr, "overwrite an existing DEST without asking", nullptr, &CliSettings::yes},
    {"--quiet", nullptr, "no summary line", nullptr, &CliSettings::quiet},
    {"--date", "YYYY-MM-DD",
     "RMC sentences carry a date: that of clock 0 (the track starts at 01:00)",
     &CliSettings::date, nullptr},
    {"--serve", "[HOST:]PORT",
     "send the track live to TCP clients (HOST 127.0.0.1 if absent; PORT 0: any)",
     &CliSettings::serve, nullptr},
    {"--pty", "LINK", "send the track live through a pseudo-terminal, its device linked at LINK",
     &CliSettings::pty, nullptr},
    {"--speedup", "X", "live: run the track's clock X times faster (default 1)",
     &CliSettings::speedup, nullptr},
    {"--loop", nullptr, "live: start over after the last point, the clock going on",
     nullptr, &CliSettings::loop},
    {"--wait-clients", "N", "live: start the track once N clients have connected (default 0)",
     &CliSettings::waitClients, nullptr},
};

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: wayloom-cli [options] SOURCE DEST\n"
      "       wayloom-cli [options] --serve [HOST:]PORT | --pty LINK SOURCE [DEST]\n"
      "Turns a POI file (lines of longitude,latitude,description) into an NMEA 0183 track\n"
      "of $GPGGA and $GPRMC sentences. DEST - writes the track to standard output.\n"
      "Live output sends each point when its time on the track's clock has come.\n\n"
      "Options:\n",
      stream);
  for (const OptionEntry& option : kOptions) {
    std::string left = option.name;
    if (option.valueName) left += std::string(" ") + option.valueName;
    std::fprintf(stream, "  %-20s %s\n", left.c_str(), option.help);
  }
  std::fputs("  --help               show this help\n"
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

  void AnswerYesFromNowOn() { answerYes_ = true; }

  bool AskYesNo(const std::string& question) override {
    if (answerYes_) return true;
    if (!isatty(fileno(in_))) {
      std::fprintf(err_, "wayloom-cli: %s\nwayloom-cli: no terminal to answer on: No (--yes answers Yes)\n",
                   question.c_str());
      return false;
    }
    std::fprintf(err_, "%s [y/N] ", question.c_str());
    std::fflush(err_);
    char answer[64] = "";
    if (!std::fgets(answer, sizeof answer, in_)) return false;
    return answer[0] == 'y' || answer[0] == 'Y';
  }

  int MessagesShown() const { return messagesShown_; }

 private:
  std::FILE* in_;
  std::FILE* err_;
  bool answerYes_;
  int messagesShown_ = 0;
};

class FixedOptions : public OptionStates {
 public:
  FixedOptions(bool reorder, bool extra) : reorder_(reorder), extra_(extra) {}
  bool ReorderTicked() const override { return reorder_; }
  bool ExtraPointsTicked() const override { return extra_; }

 private:
  bool reorder_;
  bool extra_;
};

class SignalStop : public ProgressMonitor {
 public:
  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return g_stopRequested.load(std::memory_order_relaxed); }
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
  const bool live = settings.Given("--serve") || settings.Given("--pty");
  if (live && operands.size() == 1) {
    settings.source = operands[0];
    return {};
  }
  if (operands.size() != 2) return live ? "expected SOURCE and an optional DEST" : "expected SOURCE and DEST";
  settings.source = operands[0];
  settings.dest = operands[1];
  return {};
}

// A speed-up: a decimal number (digits, an optional point and fraction, an optional exponent),
// finite and above 0. Zero when the text is no such number.
double ParseSpeedup(const std::string& text) {
  std::size_t i = 0;
  std::size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++exponentDigits;
    if (exponentDigits == 0) return 0.0;
  }
  if (i != text.size()) return 0.0;
  const double value = ParseDecimal(text);
  return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

// The live settings, checked: an error text, empty when they are good.
struct LiveSettings {
  bool wanted = false;
  std::string host;
  std::uint16_t port = 0;
  double speedup = 1.0;
  unsigned long waitClients = 0;
  std::optional<CalendarDate> date;
};

std::string CheckSettings(const CliSettings& settings, LiveSettings& live) {
  if (settings.Given("--date")) {
    CalendarDate date;
    if (!ParseIsoDate(settings.date, date)) {
      return "--date needs a date as YYYY-MM-DD, not '" + settings.date + "'";
    }
    live.date = date;
  }
  const bool serve = settings.Given("--serve");
  live.wanted = serve || settings.Given("--pty");
  if (serve && !ParseServeAddress(settings.serve, live.host, live.port)) {
    return "--serve needs [HOST:]PORT (an IPv6 host in brackets), not '" + settings.serve + "'";
  }
  if (settings.Given("--pty") && settings.pty.empty()) return "--pty needs a LINK path";
  for (const char* option : {"--speedup", "--loop", "--wait-clients"}) {
    if (settings.Given(option) && !live.wanted) {
      return std::string(option) + " is for live output: give --serve or --pty with it";
    }
  }
  live.speedup = ParseSpeedup(settings.speedup);
  if (live.speedup == 0.0) {
    return "--speedup needs a number above 0, not '" + settings.speedup + "'";
  }
  if (settings.Given("--wait-clients")) {
    if (!serve) return "--wait-clients is for --serve";
    const std::string& text = settings.waitClients;
    const bool digits = !text.empty() && text.size() <= 3 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    live.waitClients = digits ? std::stoul(text) : TcpServer::kMaxClients + 1;
    if (live.waitClients > TcpServer::kMaxClients) {
      return "--wait-clients needs a whole number from 0 to " +
             std::to_string(TcpServer::kMaxClients) + ", not '" + text + "'";
    }
  }
  return {};
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int RunCli(int argc, const char* const argv[], std::FILE* in, std::FILE* out, std::FILE* err) {
  CliSettings settings;
  bool wantsHelp = false;
  bool wantsVersion = false;
  const std::string error = ParseArguments(argc, argv, settings, wantsHelp, wantsVersion);
  if (!error.empty()) {
    std::fprintf(err, "wayloom-cli: %s\n", error.c_str());
    std::fputs("Try 'wayloom-cli --help'.\n", err);
    return kExitUsage;
  }
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
    std::fprintf(err, "wayloom-cli: --runs needs a whole number from 1 to 1000000, not '%s'\n",
                 settings.runs.c_str());
    std::fputs("Try 'wayloom-cli --help'.\n", err);
    return kExitUsage;
  }
  LiveSettings live;
  const std::string settingsError = CheckSettings(settings, live);
  if (!settingsError.empty()) {
    std::fprintf(err, "wayloom-cli: %s\n", settingsError.c_str());
    std::fputs("Try 'wayloom-cli --help'.\n", err);
    return kExitUsage;
  }

  // Live outputs come first, so that a port or link that cannot be had stops us before any file is
  // written. Their addresses go to standard error at once: a script started with port 0 reads the
  // port from there.
  std::unique_ptr<TcpServer> server;
  std::unique_ptr<PtyLink> pty;
  std::unique_ptr<WakePipe> wake;
  if (settings.Given("--serve")) {
    server = std::make_unique<TcpServer>();
    std::string problem;
    if (!server->Listen(live.host, live.port, problem)) {
      std::fprintf(err, "wayloom-cli: %s\n", problem.c_str());
      return kExitError;
    }
    std::fprintf(err, "wayloom-cli: serving NMEA on %s\n", server->BoundAddress().c_str());
  }
  if (settings.Given("--pty")) {
    pty = std::make_unique<PtyLink>();
    std::string problem;
    if (!pty->Open(settings.pty, problem)) {
      std::fprintf(err, "wayloom-cli: %s\n", problem.c_str());
      return kExitError;
    }
    std::fprintf(err, "wayloom-cli: NMEA on %s, linked at %s\n", pty->DevicePath().c_str(),
                 settings.pty.c_str());
  }
  std::fflush(err);
  if (live.wanted) wake = std::make_unique<WakePipe>();
  LiveFeed feed(live.speedup, server.get(), pty.get(), live.waitClients,
                [] { return g_stopRequested.load(std::memory_order_relaxed); },
                wake ? wake->ReadFd() : -1);

  TerminalPrompter prompter(in, err, settings.yes);
  FixedOptions options(settings.reorder, settings.extra);
  SignalStop stop;
  TrackEngine engine(prompter, options);
  engine.m_strSourceFile = settings.source;
  engine.m_strDestFile = settings.dest;
  engine.m_strStepDistance = settings.step;
  engine.m_strTimePeriod = settings.period;
  engine.SetKeepOutputTable(false);
  engine.SetProgressMonitor(&stop);
  engine.SetRmcDate(live.date);
  const bool toStdout = settings.dest == "-";
  const bool toFile = !settings.dest.empty();
  engine.SetWriteTrackFile(toFile);

  // Every run but the last only carries its course and speed over: on standard output only the last
  // track may appear, so the earlier ones go nowhere. A file is simply overwritten by each run. Only
  // the last run goes out live.
  std::FILE* discard = nullptr;
  if (toStdout && runs > 1) {
    discard = std::fopen("/dev/null", "wb");
    if (!discard) {
      std::fputs("wayloom-cli: cannot open /dev/null for the runs before the last\n", err);
      return kExitError;
    }
  }
  for (unsigned long run = 1; run <= runs; ++run) {
    if (toStdout) engine.SetOutputStream(run == runs ? out : discard);
    if (live.wanted && run == runs) engine.SetTrackListener(&feed);
    engine.CreateTrack();
    const TrackOutcome outcome = engine.LastTrack().outcome;
    if (outcome != TrackOutcome::kWritten) break;
    // The file that exists now is the one this command has just written.
    prompter.AnswerYesFromNowOn();
  }
  if (discard) std::fclose(discard);
  // The track as DEST holds it: a loop goes on live only.
  const TrackSummary summary = engine.LastTrack();

  TrackOutcome liveOutcome = summary.outcome;
  if (live.wanted && settings.loop) {
    engine.SetWriteTrackFile(false);
    engine.SetOutputStream(nullptr);
    // A round that writes nothing (the POI file has lost its points) would loop without end.
    while (liveOutcome == TrackOutcome::kWritten && engine.LastTrack().sentencesWritten > 0) {
      engine.SetTrackStartMs(engine.LastTrack().nextClockMs);
      engine.CreateTrack();
      liveOutcome = engine.LastTrack().outcome;
    }
  }
  if (live.wanted) {
    if (liveOutcome == TrackOutcome::kWritten) {
      feed.Finish();
    } else {
      if (server) server->Close();
      if (pty) pty->Close();
    }
  }

  const char* destination = toStdout ? "standard output" : settings.dest.c_str();
  const bool stopped = liveOutcome == TrackOutcome::kStopped;
  if (live.wanted && (stopped || !settings.quiet)) {
    std::string clients;
    if (server) {
      const ServerCounts& counts = server->Counts();
      clients = ", " + std::to_string(counts.accepted) + " client(s) served, " +
                std::to_string(counts.droppedSlow) + " dropped for reading too slowly";
      if (counts.refused > 0) clients += ", " + std::to_string(counts.refused) + " turned away";
    }
    if (pty && pty->PairsDropped() > 0) {
      clients += ", " + std::to_string(pty->PairsDropped()) +
                 " pairs left out for the pseudo-terminal reader";
    }
    std::fprintf(err, "wayloom-cli: %s%llu sentences sent live%s\n", stopped ? "stopped: " : "",
                 static_cast<unsigned long long>(feed.SentencesSent()), clients.c_str());
  }
  if (toFile) {
    switch (summary.outcome) {
      case TrackOutcome::kDeclined:
        std::fprintf(err, "wayloom-cli: %s exists and was left as it was\n", destination);
        return kExitError;
      case TrackOutcome::kStopped:
        std::fprintf(err,
                     "wayloom-cli: stopped: %llu sentences written to %s, every line complete\n",
                     static_cast<unsigned long long>(summary.sentencesWritten), destination);
        return kExitInterrupted;
      default:
        break;
    }
    if (!settings.quiet && summary.outcome == TrackOutcome::kWritten) {
      std::fprintf(err, "wayloom-cli: %llu points read, %llu sentences written to %s\n",
                   static_cast<unsigned long long>(summary.pointsRead),
                   static_cast<unsigned long long>(summary.sentencesWritten), destination);
    }
  }
  if (stopped) return kExitInterrupted;
  return prompter.MessagesShown() > 0 ? kExitError : kExitOk;
}

}  // namespace wayloom
