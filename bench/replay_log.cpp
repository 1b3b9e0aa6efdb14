// Replays an NMEA log to a file at once, re-timed as asked: what the command line will do with
// --replay LOG DEST until it has that option. Used by the replay tests and the benchmark.
// Usage: wayloom_replay_log [--start HH:MM:SS] [--date YYYY-MM-DD] [--keep-bad] [--rounds N]
//                           [--positions] LOG OUT|-
// The counts of the log go to standard error as one line; with --positions, how many bursts have
// a position too.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/calendar.h"
#include "motion/replay.h"

namespace {

using wayloom::ReplaySettings;

// HH:MM:SS as milliseconds since midnight; false for anything else.
bool ParseStart(std::string_view text, std::int64_t& ms) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  std::string digits;
  digits.append(text.substr(0, 2)).append(text.substr(3, 2)).append(text.substr(6, 2));
  wayloom::LogTime time;
  if (!wayloom::ReadLogTime(digits, time)) return false;
  ms = time.Ms();
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != stdout) std::fclose(file);
  }
};

int Usage() {
  std::fputs(
      "usage: wayloom_replay_log [--start HH:MM:SS] [--date YYYY-MM-DD] [--keep-bad] "
      "[--rounds N] [--positions] LOG OUT|-\n",
      stderr);
  return 2;
}

struct Options {
  ReplaySettings settings;
  long rounds = 1;
  const char* log = nullptr;
  const char* out = nullptr;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  options.settings.readPositions = false;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
    const std::string_view option = argv[i];
    std::int64_t start = 0;
    wayloom::CalendarDate date;
    if (option == "--keep-bad") {
      options.settings.keepBad = true;
    } else if (option == "--positions") {
      options.settings.readPositions = true;
    } else if (option == "--start" && ParseStart(argv[i + 1], start)) {
      options.settings.startMsOfDay = start;
      ++i;
    } else if (option == "--date" && wayloom::ParseIsoDate(argv[i + 1], date)) {
      options.settings.date = date;
      ++i;
    } else if (option == "--rounds" &&
               (options.rounds = std::strtol(argv[i + 1], nullptr, 10)) > 0) {
      ++i;
    } else {
      return false;
    }
  }
  if (argc - i != 2) return false;
  options.log = argv[i];
  options.out = argv[i + 1];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();
  wayloom::Replay replay(options.settings);
  if (!replay.Open(options.log)) {
    std::fprintf(stderr, "%s: %s\n", options.log, replay.Error().message().c_str());
    return 1;
  }
  const bool toStdout = std::strcmp(options.out, "-") == 0;
  std::unique_ptr<std::FILE, FileCloser> out(toStdout ? stdout : std::fopen(options.out, "wb"));
  if (!out) {
    std::fprintf(stderr, "%s: cannot write\n", options.out);
    return 1;
  }
  // Bursts are gathered into blocks of about a mebibyte, each written at once.
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  std::string block;
  const auto flush = [&block, &out] {
    const bool written = std::fwrite(block.data(), 1, block.size(), out.get()) == block.size();
    block.clear();
    return written;
  };
  bool failed = false;
  unsigned long long bursts = 0;
  unsigned long long withPosition = 0;
  wayloom::ReplayBurst burst;
  for (long round = 0; round < options.rounds && (round == 0 || replay.StartOver()); ++round) {
    while (replay.Next(burst)) {
      ++bursts;
      if (burst.hasPosition) ++withPosition;
      block.append(burst.text);
      if (block.size() >= (1u << 20)) failed = !flush() || failed;
    }
  }
  failed = !flush() || failed;
  if (replay.Error()) {
    std::fprintf(stderr, "%s: %s\n", options.log, replay.Error().message().c_str());
    return 1;
  }
  if (failed) {
    std::fprintf(stderr, "%s: cannot write\n", options.out);
    return 1;
  }
  const wayloom::NmeaLogCounts& counts = replay.Counts();
  if (options.settings.readPositions) {
    std::fprintf(stderr, "%llu with a position, ", withPosition);
  }
  std::fprintf(stderr,
               "%llu bursts, %llu sentences (%llu without a checksum), "
               "%llu bad checksums, %llu not NMEA, %llu too long, offset %lld ms\n",
               bursts, static_cast<unsigned long long>(counts.sentences),
               static_cast<unsigned long long>(counts.withoutChecksum),
               static_cast<unsigned long long>(counts.badChecksum),
               static_cast<unsigned long long>(counts.notNmea),
               static_cast<unsigned long long>(counts.tooLong),
               static_cast<long long>(replay.OffsetMs()));
  return 0;
}
