#include "cli/cli.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cli/live_keys.h"
#include "job/settings.h"
#include "job/track_job.h"
#include "platform/platform.h"

#ifndef WAYLOOM_VERSION
#define WAYLOOM_VERSION "1.0"
#endif

namespace wayloom {
namespace {

// What the command line was given: the settings' texts, the two files and the switches.
struct CliArgs {
  SettingTexts texts;
  std::string source;
  std::string dest;  // empty: none (live output only); "-": standard output
  bool reorder = false;
  bool yes = false;
  bool quiet = false;
  bool silentPause = false;  // paused from the terminal, live output sends nothing
  bool help = false;
  bool version = false;
  std::vector<std::string> given;  // the options given, by name

  bool Given(std::string_view name) const {
    return std::find(given.begin(), given.end(), name) != given.end();
  }
};

// Where an option makes sense: anywhere, with live output, with a TCP server, with the emulator's
// console, in receiver mode, in receiver mode at a set speed (not with --timed), in the classic
// tracks only, with a replay, with a route (the classic tracks or receiver mode: not with a
// replay), with a route travelled in an order of its own (not with --timed either), or with a
// clock of its own (receiver mode or a replay).
enum class Needs {
  kNothing,
  kLive,
  kServe,
  kEmulator,
  kReceiver,
  kSpeed,
  kClassic,
  kReplay,
  kRoute,
  kOrder,
  kClock
};

// Every option once: its name, the name of its value (none for a switch), what it does, the
// setting it gives, where it makes sense, and where its value goes. Parsing, the checks and
// --help all read this table.
struct OptionEntry {
  const char* name;
  const char* valueName;
  const char* help;
  std::optional<Setting> setting;
  Needs needs;
  std::string SettingTexts::*text = nullptr;
  std::optional<std::string> SettingTexts::*optionalText = nullptr;
  bool SettingTexts::*textsFlag = nullptr;
  bool CliArgs::*flag = nullptr;
  std::vector<std::string> SettingTexts::*repeatedText = nullptr;  // each time it is given
};

using S = SettingTexts;
const OptionEntry kOptions[] = {
    {"--step", "METRES", "distance between extra points in metres (default 100)", Setting::kStep,
     Needs::kClassic, &S::step},
    {"--period", "SECONDS",
     "time between points in seconds (default 1); replay: between bursts without a time",
     Setting::kPeriod, Needs::kNothing, &S::period},
    {"--reorder", nullptr, "visit the points in closest order", std::nullopt, Needs::kOrder,
     nullptr, nullptr, nullptr, &CliArgs::reorder},
    {"--extra", nullptr, "create extra points about one step apart", Setting::kExtraPoints,
     Needs::kClassic, nullptr, nullptr, &S::extraPoints},
    {"--runs", "K", "make the track K times in a row; course and speed carry over (default 1)",
     Setting::kRuns, Needs::kClassic, &S::runs},
    {"--yes", nullptr, "overwrite an existing DEST without asking", std::nullopt, Needs::kNothing,
     nullptr, nullptr, nullptr, &CliArgs::yes},
    {"--quiet", nullptr, "no summary line", std::nullopt, Needs::kNothing, nullptr, nullptr,
     nullptr, &CliArgs::quiet},
    {"--date", "YYYY-MM-DD",
     "RMC sentences carry a date: that of clock 0 (the track starts at 01:00); replay and "
     "--timed: the first date becomes it",
     Setting::kDate, Needs::kNothing, nullptr, &S::date},
    {"--serve", "[HOST:]PORT",
     "send the track live to TCP clients (HOST 127.0.0.1 if absent; PORT 0: any)", Setting::kServe,
     Needs::kNothing, nullptr, &S::serve},
    {"--pty", "LINK", "send the track live through a pseudo-terminal, its device linked at LINK",
     Setting::kPty, Needs::kNothing, nullptr, &S::pty},
    {"--udp", "HOST:PORT", "send the track live as UDP datagrams, one a fix", Setting::kUdp,
     Needs::kNothing, nullptr, &S::udp},
    {"--serial", "DEVICE[:BAUD]",
     "send the track live to a serial port, 8N1, 4800 baud unless given; repeatable",
     Setting::kSerial, Needs::kNothing, nullptr, nullptr, nullptr, nullptr, &S::serial},
    {"--android-emulator", "[HOST:]PORT",
     "send each fix's GGA and RMC to an Android emulator's console (first: 5554)",
     Setting::kEmulator, Needs::kNothing, nullptr, &S::emulator},
    {"--android-token", "FILE",
     "the emulator console's token file (default ~/.emulator_console_auth_token)",
     Setting::kEmulatorToken, Needs::kEmulator, nullptr, &S::emulatorToken},
    {"--speedup", "X", "live: run the track's clock X times faster (default 1)", Setting::kSpeedup,
     Needs::kLive, &S::speedup},
    {"--loop", nullptr, "live: start over after the last point, the clock going on", std::nullopt,
     Needs::kLive, nullptr, nullptr, &S::loop},
    {"--silent-pause", nullptr,
     "live: send nothing while paused (default: the receiver stands still)", std::nullopt,
     Needs::kLive, nullptr, nullptr, nullptr, &CliArgs::silentPause},
    {"--wait-clients", "N", "live: start the track once N clients have connected (default 0)",
     Setting::kWaitClients, Needs::kServe, &S::waitClients},
    {"--client-timeout", "SECONDS",
     "live: drop a TCP client that takes nothing for SECONDS while data waits (default 30)",
     Setting::kClientTimeout, Needs::kServe, &S::clientTimeout},
    {"--csv", nullptr, "read SOURCE as a CSV file whose first line names its columns",
     Setting::kCsv, Needs::kRoute, nullptr, nullptr, &S::csv},
    {"--path", "NAME|N",
     "read this path of SOURCE, by its name or its number from 1 (default: the first track, "
     "else the first route or line, else the points)",
     Setting::kPath, Needs::kRoute, nullptr, &S::path},
    {"--speed", "KNOTS", "receiver mode: ground speed in knots (or km/h, mph, m/s after it)",
     Setting::kSpeed, Needs::kRoute, nullptr, &S::speed},
    {"--timed", nullptr,
     "receiver mode in the route's recorded times (every point has one), from the first point's "
     "date and time; --start and --date shift the whole track",
     Setting::kTimed, Needs::kRoute, nullptr, nullptr, &S::timed},
    {"--dwell", "SECONDS", "receiver: stand still at every point this long (default 0)",
     Setting::kDwell, Needs::kSpeed, &S::dwell},
    {"--start", "HH:MM:SS",
     "receiver: time of the first fix, or now (default 01:00:00; --timed: the recorded one); "
     "replay: where the log's first time goes, or now (today's date unless --date is given)",
     Setting::kStart, Needs::kClock, nullptr, &S::start},
    {"--sentences", "LIST",
     "receiver: each fix's sentences (default RMC,GGA,GSA,GSV,VTG; also GLL, ZDA, GNS)",
     Setting::kSentences, Needs::kReceiver, &S::sentences},
    {"--noise", "METRES", "receiver: smooth position error of this standard deviation (default 0)",
     Setting::kNoise, Needs::kReceiver, &S::noise},
    {"--seed", "N", "receiver: seed of the position error (default 1)", Setting::kSeed,
     Needs::kReceiver, &S::seed},
    {"--systems", "LIST",
     "receiver: satellite systems, of gps, glonass, galileo, beidou (default gps)",
     Setting::kSystems, Needs::kReceiver, &S::systems},
    {"--mask", "DEGREES", "receiver: elevation mask: satellites lower are not seen (default 5)",
     Setting::kMask, Needs::kReceiver, &S::mask},
    {"--almanac", "FILE", "receiver: GPS satellites where a YUMA or SEM almanac puts them",
     Setting::kAlmanac, Needs::kReceiver, nullptr, &S::almanac},
    {"--nmea", "VERSION", "receiver: NMEA 0183 version of the sentences, 2.3 or 4.1 (default 2.3)",
     Setting::kNmea, Needs::kReceiver, &S::nmea},
    {"--outage", "START+SECONDS",
     "receiver: no fix for SECONDS from START seconds after the first fix (repeatable)",
     Setting::kOutage, Needs::kReceiver, nullptr, nullptr, nullptr, nullptr, &S::outages},
    {"--replay", "LOG",
     "replay a recorded NMEA log (LOG instead of SOURCE) at its own pace; --start and --date "
     "re-time it",
     Setting::kReplay, Needs::kNothing, nullptr, &S::replay},
    {"--keep-bad", nullptr,
     "replay: send lines that are no NMEA or fail their checksum as they stand, too", std::nullopt,
     Needs::kReplay, nullptr, nullptr, &S::keepBad},
    {"--gpx", "FILE", "also write the track as a timed GPX 1.1 track (classic tracks: with --date)",
     Setting::kGpx, Needs::kNothing, nullptr, &S::gpx},
    {"--kml", "FILE", "also write the track as a timed KML gx:Track (classic tracks: with --date)",
     Setting::kKml, Needs::kNothing, nullptr, &S::kml},
};

// Whether the texts ask for live output, of any kind.
bool LiveGiven(const SettingTexts& texts) {
  return texts.serve || texts.pty || texts.udp || !texts.serial.empty() || texts.emulator;
}

// A setting as the command line names it: by its option.
std::string OptionName(Setting setting) {
  for (const OptionEntry& option : kOptions) {
    if (option.setting == setting) return option.name;
  }
  return "?";
}

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "Usage: wayloom-cli [options] SOURCE DEST\n"
      "  or:  wayloom-cli [options] --serve [HOST:]PORT | --pty LINK | --udp HOST:PORT |\n"
      "         --serial DEVICE[:BAUD] | --android-emulator [HOST:]PORT SOURCE [DEST]\n"
      "  or:  wayloom-cli [options] --gpx FILE | --kml FILE SOURCE [DEST]\n"
      "  or:  wayloom-cli --speed KNOTS | --timed [options] SOURCE [DEST]   (receiver mode)\n"
      "  or:  wayloom-cli --replay LOG [options] [DEST]   (replay a recorded NMEA log)\n"
      "Turns a POI file (lines of longitude,latitude,description) into an NMEA 0183 track\n"
      "of $GPGGA and $GPRMC sentences. DEST - writes the track to standard output.\n"
      "Live output sends each point when its time on the track's clock has come. Started\n"
      "from a terminal, it takes keys: space pauses and goes on, + and - double and halve\n"
      "the speed-up, q stops.\n\n"
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
    ShowNote(text);
    ++messagesShown_;
  }

  void ShowFailure(const std::string& text, std::error_code reason) override {
    ShowMessage(reason ? text + "\n" + ReasonText(reason) : text);
  }

  void ShowNote(const std::string& text) override {
    std::fprintf(err_, "wayloom-cli: %s\n", text.c_str());
    std::fflush(err_);
  }

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

// Takes option's value (from "--name=value" or the next argument) into args. An error text, empty
// when it is good.
std::string TakeOption(const OptionEntry& option, const std::string& argument, std::size_t equals,
                       int& i, int argc, const char* const argv[], CliArgs& args) {
  const std::string name = argument.substr(0, equals);
  args.given.push_back(name);
  if (!option.valueName) {
    if (equals != std::string::npos) return name + " takes no value";
    if (option.flag) args.*(option.flag) = true;
    if (option.textsFlag) args.texts.*(option.textsFlag) = true;
    return {};
  }
  std::string value;
  if (equals != std::string::npos) {
    value = argument.substr(equals + 1);
  } else if (i + 1 < argc) {
    value = argv[++i];
  } else {
    return name + " needs a value (" + option.valueName + ")";
  }
  if (option.text) args.texts.*(option.text) = value;
  if (option.optionalText) args.texts.*(option.optionalText) = value;
  if (option.repeatedText) (args.texts.*(option.repeatedText)).push_back(value);
  return {};
}

// SOURCE and DEST from the operands (or, with --replay, DEST alone). An error text, empty when
// they are good.
std::string TakeOperands(const std::vector<std::string>& operands, CliArgs& args) {
  // DEST may be left out when the track goes somewhere else.
  const bool live = LiveGiven(args.texts) || args.texts.gpx || args.texts.kml;
  if (args.texts.replay) {
    if (args.texts.replay->empty()) return "LOG is empty: give a recorded NMEA log";
    args.source = *args.texts.replay;
    if (operands.size() == 1 && operands[0].empty()) {
      return "DEST is empty: give a file, or - for standard output";
    }
    if (operands.size() == 1 || (live && operands.empty())) {
      if (operands.size() == 1) args.dest = operands[0];
      return {};
    }
    return live ? "expected --replay LOG and an optional DEST"
                : "expected --replay LOG and DEST (or live output)";
  }
  if (!operands.empty() && operands[0].empty()) return "SOURCE is empty: give a POI file";
  if (operands.size() == 2 && operands[1].empty()) {
    return "DEST is empty: give a file, or - for standard output";
  }
  if (operands.size() == 2 || (live && operands.size() == 1)) {
    args.source = operands[0];
    if (operands.size() == 2) args.dest = operands[1];
    return {};
  }
  return live ? "expected SOURCE and an optional DEST" : "expected SOURCE and DEST";
}

// Fills args from the arguments. An error text, empty when the arguments are good.
std::string ParseArguments(int argc, const char* const argv[], CliArgs& args) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument == "-" || argument.rfind("--", 0) != 0) {
      if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
        return "unknown option " + argument;
      }
      operands.push_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "--version") {
      (argument == "--help" ? args.help : args.version) = true;
    } else {
      const std::size_t equals = argument.find('=');
      const std::string name = argument.substr(0, equals);
      const auto* option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                        [&name](const OptionEntry& o) { return name == o.name; });
      if (option == std::end(kOptions)) return "unknown option " + name;
      const std::string error = TakeOption(*option, argument, equals, i, argc, argv, args);
      if (!error.empty()) return error;
    }
  }
  if (args.help || args.version) return {};
  return TakeOperands(operands, args);
}

// Why option, given, makes no sense with the other options; empty when it fits.
std::string ContextProblem(const OptionEntry& option, const CliArgs& args) {
  const bool receiver = args.texts.speed.has_value() || args.texts.timed;
  const bool replay = args.texts.replay.has_value();
  const bool live = LiveGiven(args.texts);
  const std::string name = option.name;
  switch (option.needs) {
    case Needs::kLive:
      if (!live) {
        return name +
               " is for live output: give --serve, --pty, --udp, --serial or --android-emulator"
               " with it";
      }
      break;
    case Needs::kServe:
      if (!args.texts.serve) return name + " is for --serve";
      break;
    case Needs::kEmulator:
      if (!args.texts.emulator) return name + " is for --android-emulator";
      break;
    case Needs::kReceiver:
    case Needs::kSpeed:
      if (replay) return NotForReplay(name, OptionName);
      if (!receiver) {
        return name + " is for receiver mode: give --speed" +
               (option.needs == Needs::kReceiver ? " or --timed" : "") + " with it";
      }
      break;
    case Needs::kClassic:
      if (receiver) return NotForReceiver(*option.setting, OptionName);
      if (replay) return NotForReplay(name, OptionName);
      break;
    case Needs::kRoute:
    case Needs::kOrder:
      if (replay) return NotForReplay(name, OptionName);
      break;
    case Needs::kReplay:
      if (!replay) return name + " is for --replay";
      break;
    case Needs::kClock:
      if (!receiver && !replay) {
        return name +
               " is for receiver mode or --replay: give --speed, --timed or --replay with it";
      }
      break;
    case Needs::kNothing:
      break;
  }
  return {};
}

// Why option, given with --timed, does not apply there: the recorded times give the motion and
// the order. Empty when it fits.
std::string TimedProblem(const OptionEntry& option, const CliArgs& args) {
  const bool ownMotion = option.needs == Needs::kSpeed || option.needs == Needs::kOrder ||
                         option.needs == Needs::kClassic;
  return args.texts.timed && ownMotion ? NotForTimed(option.name, OptionName) : std::string();
}

// Options given where they make no sense. An error text, empty when every option fits.
std::string CheckContext(const CliArgs& args) {
  for (const OptionEntry& option : kOptions) {
    if (!args.Given(option.name)) continue;
    if (std::string problem = TimedProblem(option, args); !problem.empty()) return problem;
    if (std::string problem = ContextProblem(option, args); !problem.empty()) return problem;
  }
  return {};
}

int UsageError(std::FILE* err, const std::string& message) {
  std::fprintf(err, "wayloom-cli: %s\n", message.c_str());
  std::fputs("Try 'wayloom-cli --help'.\n", err);
  return kExitUsage;
}

// What the timed track files hold, after a whole track or a stop (as "stopped: ..."); even with
// --quiet when fixes were left out of them.
void SayTimedFiles(const CliArgs& args, const JobSummary& summary, std::FILE* err) {
  const bool stopped = summary.outcome == JobOutcome::kStopped;
  if (summary.timedFiles.empty() || (args.quiet && !stopped && summary.timedFixesLeftOut == 0)) {
    return;
  }
  std::fprintf(err, "wayloom-cli: %s%s\n", stopped ? "stopped: " : "",
               TimedFilesLine(summary).c_str());
}

// Says how the job went, and returns the exit status.
int Report(const CliArgs& args, const JobSummary& summary, const TerminalPrompter& prompter,
           std::FILE* err) {
  const bool stopped = summary.outcome == JobOutcome::kStopped || StopRequested();
  const std::string dest = args.dest == "-" ? "standard output" : args.dest;
  if (summary.live && (stopped || !args.quiet)) {
    std::fprintf(err, "wayloom-cli: %s%s\n", stopped ? "stopped: " : "",
                 summary.liveReport.c_str());
  }
  switch (summary.outcome) {
    case JobOutcome::kDeviceRefused:
      return kExitUsage;  // the message has been shown
    case JobOutcome::kDestIsPtyLink:
      return UsageError(err, "DEST is the --pty LINK: the track would go into the pseudo-terminal");
    case JobOutcome::kStoppedReading:
      std::fprintf(err, "wayloom-cli: stopped while reading %s%s\n", args.source.c_str(),
                   args.dest.empty() ? "" : "; DEST was not touched");
      return kExitInterrupted;
    case JobOutcome::kDeclined:
      std::fprintf(err, "wayloom-cli: %s%s exists and was left as it was\n",
                   stopped ? "stopped: " : "",
                   summary.kept.empty() ? dest.c_str() : summary.kept.c_str());
      return stopped ? kExitInterrupted : kExitError;
    case JobOutcome::kStopped:
      if (!args.dest.empty()) {
        std::fprintf(err,
                     "wayloom-cli: stopped: %llu sentences written to %s, every line complete\n",
                     static_cast<unsigned long long>(summary.sentencesWritten), dest.c_str());
      }
      SayTimedFiles(args, summary, err);
      return kExitInterrupted;
    case JobOutcome::kDone:
      break;
    default:
      return kExitError;  // the message has been shown
  }
  if (NoTrack(summary)) {
    // Not an error (an empty track is a valid result), but rarely what was meant.
    std::fprintf(err, "wayloom-cli: %s\n", NoTrackLine(summary, args.source).c_str());
  }
  if (!args.dest.empty() && !args.quiet) {
    std::fprintf(err, "wayloom-cli: %s\n", WrittenLine(summary, dest).c_str());
  } else if (summary.replay && !NoTrack(summary) && !args.quiet && !LeftOutText(summary).empty()) {
    std::fprintf(err, "wayloom-cli: %s: %s\n", args.source.c_str(), LeftOutText(summary).c_str());
  }
  SayTimedFiles(args, summary, err);
  return prompter.MessagesShown() > 0 ? kExitError : kExitOk;
}

// Runs the checked command: the job, with the terminal as its prompter and the stop signals.
int RunJob(const CliArgs& args, JobSettings& settings, std::FILE* in, std::FILE* out,
           std::FILE* err) {
  if (args.dest == "-" && !out) {
    TerminalPrompter(in, err, false)
        .ShowFailure("Error can't open output file \nstandard output",
                     std::make_error_code(std::errc::bad_file_descriptor));
    return kExitError;
  }
  settings.source = args.source;
  settings.dest = args.dest;
  settings.standardOutput = out;
  // No map to show a replay's positions on: reading them would only cost time.
  if (settings.replay) settings.replay->readPositions = false;
  TerminalPrompter prompter(in, err, args.yes);
  FixedOptions options(args.reorder, args.texts.extraPoints);
  SignalStop stop;
  StopWake wake;
  TrackJob job(prompter, options);
  job.Engine().SetKeepTables(false);  // no window to show them in
  std::optional<LiveKeys> keys;
  if (settings.live.Wanted() && IsTerminal(in)) {
    settings.live.playback = std::make_shared<Playback>(settings.live.speedup, !args.silentPause);
    settings.live.playback->SetWake([&wake] { wake.Wake(); });
    keys.emplace(in, err, *settings.live.playback);
  }
  const JobSummary summary = job.Run(settings, nullptr, &stop, wake.Fd());
  keys.reset();
  if (settings.live.playback) settings.live.playback->SetWake(nullptr);
  return Report(args, summary, prompter, err);
}

}  // namespace

int RunCli(int argc, const char* const argv[], std::FILE* in, std::FILE* out, std::FILE* err) {
  CliArgs args;
  const std::string error = ParseArguments(argc, argv, args);
  if (!error.empty()) return UsageError(err, error);
  if ((args.help || args.version) && !out) return kExitError;  // standard output is closed
  if (args.help) {
    PrintUsage(out);
    return kExitOk;
  }
  if (args.version) {
    std::fputs("wayloom-cli " WAYLOOM_VERSION "\n", out);
    return kExitOk;
  }
  JobSettings settings;
  std::string problem = CheckContext(args);
  if (problem.empty()) problem = CheckSettings(args.texts, OptionName, settings);
  if (!problem.empty()) return UsageError(err, problem);
  return RunJob(args, settings, in, out, err);
}

}  // namespace wayloom
