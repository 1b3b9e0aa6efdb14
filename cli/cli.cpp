#include "cli.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "track_engine.h"

#ifndef WAYLOOM_VERSION
#define WAYLOOM_VERSION "1.0"
#endif

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};

extern "C" void OnStopSignal(int) { g_stopRequested.store(true); }

struct CliSettings {
  std::string source;
  std::string dest;
  std::string step = "100";
  std::string period = "1";
  std::string runs = "1";
  bool reorder = false;
  bool extra = false;
  bool yes = false;
  bool quiet = false;
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
};

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: wayloom-cli [options] SOURCE DEST\n"
      "Turns a POI file (lines of longitude,latitude,description) into an NMEA 0183 track\n"
      "of $GPGGA and $GPRMC sentences. DEST - writes the track to standard output.\n\n"
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
  if (operands.size() != 2) return "expected SOURCE and DEST";
  settings.source = operands[0];
  settings.dest = operands[1];
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
  const bool toStdout = settings.dest == "-";

  // Every run but the last only carries its course and speed over: on standard output only the last
  // track may appear, so the earlier ones go nowhere. A file is simply overwritten by each run.
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
    engine.CreateTrack();
    const TrackOutcome outcome = engine.LastTrack().outcome;
    if (outcome != TrackOutcome::kWritten) break;
    // The file that exists now is the one this command has just written.
    prompter.AnswerYesFromNowOn();
  }
  if (discard) std::fclose(discard);

  const TrackSummary& summary = engine.LastTrack();
  const char* destination = toStdout ? "standard output" : settings.dest.c_str();
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
  return prompter.MessagesShown() > 0 ? kExitError : kExitOk;
}

}  // namespace wayloom
