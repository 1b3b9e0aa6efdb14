// Replays an NMEA log to a file at once, re-timed as asked: what the command line will do with
// --replay LOG DEST until it has that option. Used by the replay tests and the benchmark.
// Usage: wayloom_replay_log [--start HH:MM:SS] [--date YYYY-MM-DD] [--keep-bad] [--rounds N]
//                           LOG OUT|-
// The counts of the log go to standard error as one line.
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
      "[--rounds N] LOG OUT|-\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ReplaySettings settings;
  long rounds = 1;
  int i = 1;
  for (; i + 1 < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
    const std::string_view option = argv[i];
    std::int64_t start = 0;
    wayloom::CalendarDate date;
    if (option == "--keep-bad") {
      settings.keepBad = true;
    } else if (option == "--start" && ParseStart(argv[i + 1], start)) {
      settings.startMsOfDay = start;
      ++i;
    } else if (option == "--date" && wayloom::ParseIsoDate(argv[i + 1], date)) {
      settings.date = date;
      ++i;
    } else if (option == "--rounds" && (rounds = std::strtol(argv[i + 1], nullptr, 10)) > 0) {
      ++i;
    } else {
      return Usage();
    }
  }
  if (argc - i != 2) return Usage();
  wayloom::Replay replay(settings);
  if (!replay.Open(argv[i])) {
    std::fprintf(stderr, "%s: %s\n", argv[i], replay.Error().message().c_str());
    return 1;
  }
  const bool toStdout = std::strcmp(argv[i + 1], "-") == 0;
  std::unique_ptr<std::FILE, FileCloser> out(toStdout ? stdout : std::fopen(argv[i + 1], "wb"));
  if (!out) {
    std::fprintf(stderr, "%s: cannot write\n", argv[i + 1]);
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out.get(), buffer, _IOFBF, sizeof buffer);
  unsigned long long bursts = 0;
  unsigned long long positions = 0;
  wayloom::ReplayBurst burst;
  for (long round = 0; round < rounds && (round == 0 || replay.StartOver()); ++round) {
    while (replay.Next(burst)) {
      ++bursts;
      if (burst.hasPosition) ++positions;
      std::fwrite(burst.text.data(), 1, burst.text.size(), out.get());
    }
  }
  if (replay.Error()) {
    std::fprintf(stderr, "%s: %s\n", argv[i], replay.Error().message().c_str());
    return 1;
  }
  if (std::fflush(out.get()) != 0) {
    std::fprintf(stderr, "%s: cannot write\n", argv[i + 1]);
    return 1;
  }
  const wayloom::NmeaLogCounts& counts = replay.Counts();
  std::fprintf(stderr,
               "%llu bursts, %llu with a position, %llu sentences (%llu without a checksum), "
               "%llu bad checksums, %llu not NMEA, %llu too long, offset %lld ms\n",
               bursts, positions, static_cast<unsigned long long>(counts.sentences),
               static_cast<unsigned long long>(counts.withoutChecksum),
               static_cast<unsigned long long>(counts.badChecksum),
               static_cast<unsigned long long>(counts.notNmea),
               static_cast<unsigned long long>(counts.tooLong),
               static_cast<long long>(replay.OffsetMs()));
  return 0;
}
