// Replay of recorded NMEA logs: which lines count as sentences, the fields read from them, and
// small logs replayed whole (bursts, clocks, re-timing, rounds, and logs bad in every way a file
// can be). Real recordings are replayed by replay_gpsd_logs.sh.

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <thread>

#include "motion/replay.h"
#include "sources/nmea_log.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

std::string S(std::string_view body, char start = '$') { return Framed(body, start); }
std::string Join(const std::vector<std::string>& lines, std::string_view end = "\r\n") {
  return JoinLines(lines, end);
}

// sentence with the last digit of its checksum changed.
std::string WrongChecksum(std::string sentence) {
  sentence.back() = sentence.back() == '0' ? '1' : '0';
  return sentence;
}

const std::string kGga = "GPGGA,120000.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kRmc = "GPRMC,120000.00,A,4807.0380,N,01131.0000,E,022.4,084.4,300624,,,A";
const std::string kGgaLowerHex =
    "$GPGGA,120008.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*6f";

TEST(NmeaLog, LinesAreJudgedAndLeftAsTheyWere) {
  using V = LogLineVerdict;
  const std::pair<V, std::vector<std::string>> cases[] = {
      {V::kSentence,
       {S(kRmc), kGgaLowerHex, S("AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0", '!'),
        S("PGRME,15.0,M,45.0,M,25.0,M"), S("GPGGA")}},
      {V::kNoChecksum,
       {"$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,", "$PSRF103,00,01,00,01"}},
      // RMC always needed a checksum, and AIS too.
      {V::kBadChecksum,
       {WrongChecksum(S(kRmc)), S(kRmc).substr(0, S(kRmc).size() - 1), S(kRmc) + " ",
        "$GPBOD,,T,,M,,*", "$" + kRmc, "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0"}},
      {V::kNotNmea,
       {"# Name: a receiver", S("GPGG,1"), S("gpgga,1"), "$SkyTraq,Venus6",
        "$GPTXT,01,01,02,PRICE $5 OFF", S("GPGGA,1\x1b[H"), S("GPGGA,\xff"), S("GPGGA,\x7f"),
        S("GPGGA,12") + S("GPRMC,3"), "$"}},
      {V::kEmpty, {""}},
      {V::kTooLong, {"$GPTXT," + std::string(kMostLogLineBytes, 'A')}}};
  for (const auto& [verdict, lines] : cases) {
    for (const std::string& given : lines) {
      std::string line = given;
      EXPECT_EQ(CheckLogLine(line.data(), line.size()), verdict) << given;
      EXPECT_EQ(line, given) << "the check changed the line";
    }
  }
}

TEST(NmeaLog, TimesDatesAndPositionsAreReadFromTheirFields) {
  const struct {
    std::string_view field;
    std::int64_t units;
    int decimals;
  } times[] = {{"123456", 45296, 0},
               {"123456.5", 452965, 1},
               {"000000.000", 0, 3},
               {"235959.999999999", 86399999999999, 9}};
  LogTime time;
  for (const auto& row : times) {
    ASSERT_TRUE(ReadLogTime(row.field, time)) << row.field;
    EXPECT_EQ(time.units, row.units) << row.field;
    EXPECT_EQ(time.decimals, row.decimals) << row.field;
  }
  for (const char* bad :
       {"240000", "126000", "123460", "12345", "123456.", "12a456", "123456.1234567890", ""}) {
    EXPECT_FALSE(ReadLogTime(bad, time)) << bad;
  }

  const struct {
    std::string sentence;
    const char* date;  // YYYY-MM-DD, or null for none
  } dates[] = {{S(kRmc), "2024-06-30"},
               {S("GPRMC,1,A,1,N,1,E,1,1,010180,,"), "1980-01-01"},
               {S("GPRMC,1,A,1,N,1,E,1,1,311279,,"), "2079-12-31"},
               {S("GPRMC,1,A,1,N,1,E,1,1,290223,,"), nullptr},
               {S("GPRMC,1,V,,,,,,,,,"), nullptr},
               {S("GPZDA,120000.00,29,02,2024,00,00"), "2024-02-29"},
               {S("GPZDA,120000.00,,,,,"), nullptr},
               {S(kGga), nullptr}};
  for (const auto& row : dates) {
    CalendarDate date;
    CalendarDate expected;
    ASSERT_EQ(ReadSentenceDate(row.sentence, SentenceKindOf(row.sentence), date),
              row.date != nullptr)
        << row.sentence;
    if (row.date != nullptr && ParseIsoDate(row.date, expected)) {
      EXPECT_EQ(DaysFromDate(date), DaysFromDate(expected)) << row.sentence;
    }
  }

  const struct {
    std::string sentence;
    double latitude;
    double longitude;
  } positions[] = {{S(kRmc), 48.1173, 11.5166666667},
                   {S("GNGGA,1,3345.0000,S,07030.0000,W,2,08,1,1,M,1,M,,"), -33.75, -70.5},
                   {S("GLGLL,4807.038,N,01131.000,E,1,A,A"), 48.1173, 11.5166666667},
                   {S("GPGLL,4807.038,N,01131.000,E"), 48.1173, 11.5166666667},
                   {S("GNGNS,1,4807.038,N,01131.000,E,AN,08,1,1,1,,"), 48.1173, 11.5166666667}};
  double latitude = 0.0;
  double longitude = 0.0;
  for (const auto& row : positions) {
    ASSERT_TRUE(
        ReadSentencePosition(row.sentence, SentenceKindOf(row.sentence), latitude, longitude))
        << row.sentence;
    EXPECT_NEAR(latitude, row.latitude, 1e-9) << row.sentence;
    EXPECT_NEAR(longitude, row.longitude, 1e-9) << row.sentence;
  }
  // No fix, or a field out of its range.
  for (const std::string& sentence :
       {S("GPRMC,1,V,4807.038,N,01131.000,E,1,1,010180,,"),
        S("GPGGA,1,4807.038,N,01131.000,E,0,00,,,M,,M,,"), S("GPGLL,4807.038,N,01131.000,E,1,V,N"),
        S("GNGNS,1,4807.038,N,01131.000,E,NN,00,,,,,"),
        S("GPRMC,1,A,4860.000,N,01131.000,E,1,1,010180,,"),
        S("GPRMC,1,A,9100.000,N,01131.000,E,1,1,010180,,"),
        S("GPRMC,1,A,4807.038,X,01131.000,E,1,1,010180,,"),
        S("GPRMC,1,A,4807.038,N,18100.000,E,1,1,010180,,"),
        S("GPRMC,1,A,48o7.038,N,01131.000,E,1,1,010180,,"),
        S("GPZDA,120000.00,29,02,2024,00,00")}) {
    latitude = longitude = 0.0;
    EXPECT_FALSE(ReadSentencePosition(sentence, SentenceKindOf(sentence), latitude, longitude))
        << sentence;
    EXPECT_TRUE(latitude == 0.0 && longitude == 0.0) << sentence;
  }
}

ReplaySettings Settings(const char* start, const char* date, bool keepBad = false) {
  ReplaySettings settings;
  settings.keepBad = keepBad;
  LogTime time;
  if (*start != '\0' && ReadLogTime(start, time)) settings.startMsOfDay = time.Ms();
  CalendarDate day;
  if (*date != '\0' && ParseIsoDate(date, day)) settings.date = day;
  return settings;
}

// What a replay of a log gave, round after round.
struct Played {
  std::string text;
  std::vector<std::int64_t> clocksMs;
  std::vector<std::size_t> sentenceCounts;
  std::size_t positions = 0;
  NmeaLogCounts counts;
};

Played Play(const std::string& log, const ReplaySettings& settings, int rounds = 1) {
  TempDir dir;
  WriteFile(dir.File("log.nmea"), log);
  Replay replay(settings);
  Played played;
  EXPECT_TRUE(replay.Open(dir.File("log.nmea")));
  ReplayBurst burst;
  for (int round = 0; round < rounds && (round == 0 || replay.StartOver()); ++round) {
    while (replay.Next(burst)) {
      played.text.append(burst.text);
      played.clocksMs.push_back(burst.clockMs);
      played.sentenceCounts.push_back(burst.sentenceCount);
      played.positions += burst.hasPosition ? 1 : 0;
    }
  }
  EXPECT_FALSE(replay.Error()) << replay.Error().message();
  played.counts = replay.Counts();
  return played;
}

// What a replay gave besides its text: "CLOCKS / COUNTS / POSITIONS", the counts of sentences
// (those without a checksum among them), bad checksums, lines not NMEA and lines too long.
std::string Summary(const Played& played) {
  std::string clocks;
  for (const std::int64_t ms : played.clocksMs) clocks += std::to_string(ms) + " ";
  const NmeaLogCounts& c = played.counts;
  return clocks + "/ " + std::to_string(c.sentences) + " " + std::to_string(c.withoutChecksum) +
         " " + std::to_string(c.badChecksum) + " " + std::to_string(c.notNmea) + " " +
         std::to_string(c.tooLong) + " / " + std::to_string(played.positions);
}

TEST(Replay, SmallLogsPlayAsTheyShould) {
  const std::string gsa = S("GPGSA,A,3,04,05,,,,,,,,,,,2.5,1.3,2.1");
  const std::string noFixRmc = S("GPRMC,,V,,,,,,,,,,N");
  const std::string noFixGga = S("GPGGA,,,,,,0,00,,,M,,M,,");
  const std::string kSame = "the log as it was";
  const std::vector<std::string> steps = {
      S("GPGGA,235958,,,,,0,00,,,M,,M,,"), S("GPGGA,235959,,,,,0,00,,,M,,M,,"),
      S("GPGGA,235957,,,,,0,00,,,M,,M,,"), S("GPGGA,000001,,,,,0,00,,,M,,M,,"),
      S("GPGGA,000101,,,,,0,00,,,M,,M,,")};
  const std::vector<std::string> talkers = {S("GLGSV,1,1,01,65,1,1,1"),
                                            S("GAGSV,1,1,01,01,1,1,1"),
                                            S("BDGSV,1,1,01,01,1,1,1"),
                                            S("PUBX,00,120000.00,4807.038,N"),
                                            S("AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0", '!'),
                                            S("GPXYZ,120000.00")};
  const std::string junk = "binary \x01\x02 junk";
  // clang-format off
  const struct {
    const char* name;
    std::string log;
    ReplaySettings settings;
    int rounds;
    std::string expected;  // kSame: the log as it was
    std::string summary;   // as Summary() gives it
  } cases[] = {
      {"moved to a start and a date, a burst passes midnight",
       Join({S(kGga), S(kRmc), gsa, S("GNRMC,120001.00,A,4807.0390,N,01131.0010,E,1,2,300624,,,A"),
             S("GNZDA,120001.00,30,06,2024,00,00")}, "\n"),
       Settings("235959", "2030-12-31"), 1,
       Join({S("GPGGA,235959.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,"),
             S("GPRMC,235959.00,A,4807.0380,N,01131.0000,E,022.4,084.4,311230,,,A"), gsa,
             S("GNRMC,000000.00,A,4807.0390,N,01131.0010,E,1,2,010131,,,A"),
             S("GNZDA,000000.00,01,01,2031,00,00")}),
       "0 1000 / 5 0 0 0 0 / 2"},
      {"a start alone takes a log back over the midnight it passed",
       Join({S("GPRMC,235959,A,4807.038,N,01131.000,E,1,2,300624,,"),
             S("GPRMC,000000,A,4807.038,N,01131.000,E,1,2,010724,,")}),
       Settings("100000", ""), 1,
       Join({S("GPRMC,100000,A,4807.038,N,01131.000,E,1,2,300624,,"),
             S("GPRMC,100001,A,4807.038,N,01131.000,E,1,2,300624,,")}),
       "0 1000 / 2 0 0 0 0 / 2"},
      {"the first date comes after midnight",
       Join({S("GPGGA,235959,,,,,0,00,,,M,,M,,"), S("GPRMC,000000,V,,,,,,,010724,,")}),
       Settings("", "2030-06-15"), 1,
       Join({S("GPGGA,235959,,,,,0,00,,,M,,M,,"), S("GPRMC,000000,V,,,,,,,160630,,")}),
       "0 1000 / 2 0 0 0 0 / 0"},
      {"a date alone leaves times and undated sentences as they are",
       Join({kGgaLowerHex, S("GPRMC,120008.00,A,4807.0380,N,01131.0000,E,1,2,300624,,,A")}),
       Settings("", "2024-07-02"), 1,
       Join({kGgaLowerHex, S("GPRMC,120008.00,A,4807.0380,N,01131.0000,E,1,2,020724,,,A")}),
       "0 / 2 0 0 0 0 / 1"},
      {"an offset finer than a field's decimals gets the decimals it needs",
       Join({S("GPGGA,120000,,,,,0,00,,,M,,M,,"), S("GPGST,120000.00,1,1,1,1,1,1,1"),
             S("GPGGA,120001.5,,,,,0,00,,,M,,M,,"), "$GPZDA,120001.500,30,06,2024,00,00"}),
       Settings("120000.005", ""), 1,
       Join({S("GPGGA,120000.005,,,,,0,00,,,M,,M,,"), S("GPGST,120000.005,1,1,1,1,1,1,1"),
             S("GPGGA,120001.505,,,,,0,00,,,M,,M,,"), "$GPZDA,120001.505,30,06,2024,00,00"}),
       "0 1500 / 4 1 0 0 0 / 0"},
      {"every talker, proprietary, AIS and unknown sentences pass; every timed kind moves",
       S("GNGNS,120000.00,4807.038,N,01131.000,E,AN,08,1,1,1,,") + "\r\n" + Join(talkers) +
           Join({S("GNGLL,4807.038,N,01131.000,E,120000.00,A,A"), S("GNGBS,120000.00,1,1,1,,,,"),
                 S("GNGRS,120000.00,1,0,0"), S("GNGST,120000.00,1,1,1,1,1,1,1")}),
       Settings("083000", ""), 1,
       S("GNGNS,083000.00,4807.038,N,01131.000,E,AN,08,1,1,1,,") + "\r\n" + Join(talkers) +
           Join({S("GNGLL,4807.038,N,01131.000,E,083000.00,A,A"), S("GNGBS,083000.00,1,1,1,,,,"),
                 S("GNGRS,083000.00,1,0,0"), S("GNGST,083000.00,1,1,1,1,1,1,1")}),
       "0 / 11 0 0 0 0 / 1"},
      {"a log without times: a burst at each RMC or GGA, one period apart",
       Join({gsa, noFixRmc, noFixGga, S("GPGSV,1,1,00"), noFixRmc, noFixGga, noFixGga}),
       Settings("120000", "2030-01-01"), 1, kSame, "0 1000 2000 / 7 0 0 0 0 / 0"},
      {"a log of RMC sentences without times", Join({noFixRmc, gsa, noFixRmc, gsa}),
       Settings("", ""), 1, kSame, "0 1000 / 4 0 0 0 0 / 0"},
      {"clocks follow the times: a step, a step back, midnight, a gap", Join(steps),
       Settings("", ""), 1, kSame, "0 1000 1000 5000 65000 / 5 0 0 0 0 / 0"},
      {"a second round goes on by the log's length and one interval",
       Join({S("GPRMC,235958,A,4807.038,N,01131.000,E,1,2,300624,,"),
             S("GPRMC,000000,A,4807.038,N,01131.000,E,1,2,010724,,")}),
       Settings("", ""), 2,
       Join({S("GPRMC,235958,A,4807.038,N,01131.000,E,1,2,300624,,"),
             S("GPRMC,000000,A,4807.038,N,01131.000,E,1,2,010724,,"),
             S("GPRMC,000002,A,4807.038,N,01131.000,E,1,2,010724,,"),
             S("GPRMC,000004,A,4807.038,N,01131.000,E,1,2,010724,,")}),
       "0 2000 4000 6000 / 2 0 0 0 0 / 4"},
      {"bad lines are left out and counted",
       Join({"# recorded on a boat", S(kRmc), WrongChecksum(S(kGga)),
             "$GPGGA,120000,,,,,0,00,,,M,,M,,", "$" + kRmc, junk}),
       Settings("", ""), 1, Join({S(kRmc), "$GPGGA,120000,,,,,0,00,,,M,,M,,"}),
       "0 / 2 1 2 2 0 / 1"},
      {"with keep-bad they go out as they stand",
       Join({"# recorded on a boat", S(kRmc), "$" + kRmc, junk}),
       Settings("130000", "", true), 1,
       Join({"# recorded on a boat",
             S("GPRMC,130000.00,A,4807.0380,N,01131.0000,E,022.4,084.4,300624,,,A"), "$" + kRmc,
             junk}),
       "0 / 1 0 1 2 0 / 1"},
      {"a recording stopped in the middle of a sentence", S(kRmc) + "\n" + S(kGga).substr(0, 30),
       Settings("", ""), 1, Join({S(kRmc)}), "0 / 1 0 1 0 0 / 1"},
      {"CR LF, LF, CRs before a LF and a last line without an end all end in CR LF",
       "\xEF\xBB\xBF" + S(kGga) + "\r\n" + gsa + "\n" + gsa + "\r\r\n\n\r\n" + S(kRmc),
       Settings("", ""), 1, Join({S(kGga), gsa, gsa, S(kRmc)}), "0 / 4 0 0 0 0 / 1"},
      {"a megabyte line is skipped and counted",
       S(kGga) + "\n$" + std::string(1 << 20, 'A') + "\n" + S(kRmc) + "\n" + std::string(5000, 'B'),
       Settings("", "", true), 1, Join({S(kGga), S(kRmc)}), "0 / 2 0 0 0 2 / 1"},
      {"an empty log", "", Settings("120000", "2030-01-01"), 3, "", "/ 0 0 0 0 0 / 0"},
      {"a log of line ends", "\n\r\n\r\r\n", Settings("", ""), 1, "", "/ 0 0 0 0 0 / 0"},
      {"a log without a position", Join({S("GPZDA,120000.00,30,06,2024,00,00"), gsa}),
       Settings("", ""), 1, kSame, "0 / 2 0 0 0 0 / 0"},
  };
  // clang-format on
  for (const auto& c : cases) {
    const Played played = Play(c.log, c.settings, c.rounds);
    EXPECT_EQ(played.text, c.expected == kSame ? c.log : c.expected) << c.name;
    EXPECT_EQ(Summary(played), c.summary) << c.name;
  }
}

// A stop request ends the reading at the next block, the search for the first time too; Restart
// plays the first round again after a second one; a log that can be read only once is refused
// when it must be re-timed (it would have to be read twice).
TEST(Replay, StopsRestartsAndRefusesToRetimeAPipe) {
  TempDir dir;
  const std::string log = dir.File("log.nmea");
  WriteFile(log, Join({S("GPRMC,235958,A,4807.038,N,01131.000,E,1,2,300624,,"),
                       S("GPRMC,235959,A,4807.038,N,01131.000,E,1,2,300624,,")}));
  ReplayBurst burst;
  for (const char* start : {"", "120000"}) {
    Replay stopped(Settings(start, ""));
    stopped.SetStopRequest([] { return true; });
    EXPECT_FALSE(stopped.Open(log) && stopped.Next(burst)) << start;
    EXPECT_EQ(stopped.Error(), std::errc::interrupted) << start;
  }

  Replay replay(Settings("120000", "2030-01-01"));
  ASSERT_TRUE(replay.Open(log));
  std::string rounds[3];
  std::vector<std::int64_t> clocksMs;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(round == 0 || (round == 1 ? replay.StartOver() : replay.Restart()));
    while (replay.Next(burst)) {
      rounds[round].append(burst.text);
      if (round == 2) clocksMs.push_back(burst.clockMs);
    }
  }
  EXPECT_NE(rounds[1], rounds[0]);
  EXPECT_EQ(rounds[2], rounds[0]);
  EXPECT_EQ(clocksMs, (std::vector<std::int64_t>{0, 1000}));

#ifndef _WIN32
  const std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { WriteFile(fifo, ReadFile(log)); });
  Replay piped(Settings("120000", ""));
  EXPECT_FALSE(piped.Open(fifo));
  EXPECT_EQ(piped.Error(), std::errc::invalid_seek);
  writer.join();
#endif
}

TEST(Replay, LongRunsAndBinaryFilesStayBounded) {
  std::vector<std::string> satellites(300, S("GPGSV,1,1,00"));
  Played played = Play(Join(satellites), Settings("", ""));
  EXPECT_EQ(played.sentenceCounts, (std::vector<std::size_t>{kMostBurstLines, 44}));
  EXPECT_EQ(played.clocksMs, (std::vector<std::int64_t>{0, 1000})) << "untimed: a period apart";
  satellites[0] = S(kGga);
  played = Play(Join(satellites), Settings("", ""));
  EXPECT_EQ(played.sentenceCounts, (std::vector<std::size_t>{kMostBurstLines, 44}));
  EXPECT_EQ(played.clocksMs, (std::vector<std::int64_t>{0, 0})) << "timed: one time, at once";

  std::mt19937_64 random(7);
  std::string binary(std::size_t{1} << 20, '\0');
  for (char& byte : binary) byte = static_cast<char>(random() & 0xFF);
  played = Play(binary, Settings("120000", "2030-01-01"));
  EXPECT_EQ(played.text, "");
  EXPECT_EQ(played.counts.sentences, 0u);
  EXPECT_GT(played.counts.notNmea + played.counts.badChecksum, 1000u);
  played = Play(binary, Settings("", "", true));
  EXPECT_GT(played.text.size(), binary.size() / 2) << "the lines of binary data, as they stand";
}

}  // namespace
}  // namespace wayloom::test
