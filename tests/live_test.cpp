// Live output: the pacing schedule, the engine's hooks for it, and the real program serving TCP
// clients and a pseudo-terminal reader. Waits on the program are bounded only to keep a broken
// build from hanging the suite; nothing here depends on how fast anything runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "live/pacer.h"
#include "live/tcp_server.h"
#include "tests/test_support.h"
#include "track/nmea.h"
#include "track/track_engine.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::TrackLines;
using test::WriteFile;

// --- The schedule ------------------------------------------------------------------------------

TEST(Pacer, WaitsFollowTheClockStepsDividedByTheSpeedup) {
  Pacer pacer(4.0);
  EXPECT_EQ(pacer.Schedule(3600000, 500), 500);    // the first pair goes at once
  EXPECT_EQ(pacer.Schedule(3601000, 500), 750);    // one second of track: a quarter second
  EXPECT_EQ(pacer.Schedule(3603000, 760), 1250);   // the two periods after a point of the file
  EXPECT_EQ(pacer.Schedule(3603000, 1250), 1250);  // no step: at once
  EXPECT_EQ(pacer.Schedule(3600000, 1260), 1250);  // backwards (a loop starting over): at once
  EXPECT_EQ(pacer.Schedule(3601000, 1260), 1500);  // and on from there
}

TEST(Pacer, CatchesUpALittleLatenessButNotALongPause) {
  Pacer pacer(1.0);
  pacer.Schedule(0, 0);
  // Due at 1000 but only asked at 1300: it goes at once, and the next keeps to the schedule, so
  // the track keeps its pace.
  EXPECT_EQ(pacer.Schedule(1000, 1300), 1000);
  EXPECT_EQ(pacer.Schedule(2000, 1300), 2000);
  // Far behind (suspended for a minute): go on from now rather than send the minute in a burst.
  EXPECT_EQ(pacer.Schedule(3000, 62000), 62000);
  EXPECT_EQ(pacer.Schedule(4000, 62000), 63000);
}

TEST(ServeAddress, TakesPortHostAndPortOrBracketedIpv6) {
  std::string host;
  std::uint16_t port = 1;
  ASSERT_TRUE(ParseServeAddress("10110", host, port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 10110);
  ASSERT_TRUE(ParseServeAddress("0.0.0.0:0", host, port));
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_EQ(port, 0);
  ASSERT_TRUE(ParseServeAddress("[::1]:65535", host, port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 65535);
  for (const char* bad : {"", "65536", "-1", "x", ":10110", "localhost:", "::1:10110", "[::1]",
                          "[::1]10110", "10110 ", "123456"}) {
    EXPECT_FALSE(ParseServeAddress(bad, host, port)) << bad;
  }
}

// --- The engine's hooks ------------------------------------------------------------------------

class Recorder : public TrackListener {
 public:
  void OnSentencePair(double clockMs, std::string_view gga, std::string_view rmc) override {
    clocks.push_back(clockMs);
    bytes.append(gga).append("\r\n").append(rmc).append("\r\n");
  }
  std::vector<double> clocks;
  std::string bytes;
};

class EngineHooks : public ::testing::Test {
 protected:
  EngineHooks() {
    engine_.m_strSourceFile = WAYLOOM_TEST_DATA "/worked.txt";
    engine_.m_strDestFile = dir_.File("track.nmea");
    engine_.SetTrackListener(&recorder_);
  }
  test::TempDir dir_;
  test::ScriptedPrompter prompter_;
  test::FixedOptionStates options_;
  TrackEngine engine_{prompter_, options_};
  Recorder recorder_;
};

TEST_F(EngineHooks, TheListenerHearsTheFileByteForByteInEveryOrder) {
  for (const bool reorder : {false, true}) {
    for (const bool extra : {false, true}) {
      options_.reorder = reorder;
      options_.extraPoints = extra;
      prompter_.answers = {true};
      recorder_ = Recorder();
      engine_.CreateTrack();
      EXPECT_EQ(recorder_.bytes, ReadFile(engine_.m_strDestFile)) << reorder << extra;
      const std::vector<std::string> lines = TrackLines(recorder_.bytes);
      ASSERT_EQ(lines.size(), 2 * recorder_.clocks.size());
      for (std::size_t i = 0; i < recorder_.clocks.size(); ++i) {
        std::string time;
        AppendTimeField(recorder_.clocks[i], time);
        EXPECT_EQ(lines[2 * i].substr(7, 11), time) << i;
      }
    }
  }
}

TEST_F(EngineHooks, WithoutAFileATrackAsksNothingAndCanContinueTheClockWithADate) {
  WriteFile(engine_.m_strDestFile, "not a track");
  engine_.SetWriteTrackFile(false);
  engine_.CreateTrack();
  EXPECT_TRUE(prompter_.questions.empty());
  EXPECT_EQ(ReadFile(engine_.m_strDestFile), "not a track");
  EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kWritten);
  const std::vector<double> first = recorder_.clocks;
  const std::vector<std::string> firstLines = TrackLines(recorder_.bytes);
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(first.front(), TrackEngine::kTrackStartMs);
  EXPECT_EQ(engine_.LastTrack().nextClockMs, first.back() + 1000);

  // The same track again, dated, its clock going on from the first: the same positions and GGA
  // sentences but for their time, later times, and the date in every RMC.
  recorder_ = Recorder();
  CalendarDate date;
  ASSERT_TRUE(ParseIsoDate("2026-03-07", date));
  engine_.SetRmcDate(date);
  engine_.SetTrackStartMs(first.back() + 1000);
  engine_.CreateTrack();
  ASSERT_EQ(recorder_.clocks.size(), first.size());
  const std::vector<std::string> lines = TrackLines(recorder_.bytes);
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(recorder_.clocks[i], first[i] + static_cast<double>(first.size()) * 1000.0) << i;
    EXPECT_EQ(lines[2 * i].substr(18, lines[2 * i].size() - 21),
              firstLines[2 * i].substr(18, firstLines[2 * i].size() - 21))
        << i;
    EXPECT_NE(lines[2 * i + 1].find(",070326,,*"), std::string::npos) << lines[2 * i + 1];
  }
}

// --- The real program --------------------------------------------------------------------------

using test::Connect;
using test::Read;

// The time field of a sentence, in whole seconds of the day.
int Seconds(const std::string& sentence) {
  return std::stoi(sentence.substr(7, 2)) * 3600 + std::stoi(sentence.substr(9, 2)) * 60 +
         std::stoi(sentence.substr(11, 2));
}

TEST(LiveCli, AClientThatHangsIsDroppedWhileAnotherGetsTheWholeTrack) {
  test::TempDir dir;
  const std::string source = dir.File("pois.csv");
  const std::string dest = dir.File("track.nmea");
  // About 18000 pairs, some 2.5 MB: far more than a client that does not read can hold.
  WriteFile(source, "-9.14,38.72,Lisbon\n21.01,52.23,Warsaw\n");
  test::CliProcess cli(dir, {"--serve", "0", "--wait-clients", "2", "--speedup", "5000", "--extra",
                             "--step", "150", source, dest});
  const int port = cli.Port();
  const int hanging = Connect(port);
  const int reader = Connect(port);
  const std::string firstTwo = Read(hanging, 2);
  const std::string all = Read(reader, 0);
  EXPECT_EQ(cli.Wait(), 0) << cli.Err();

  const std::string track = ReadFile(dest);
  EXPECT_GT(track.size(), 2000000u);
  EXPECT_TRUE(all == track) << "the reader got " << all.size() << " of " << track.size()
                            << " bytes";
  EXPECT_EQ(track.compare(0, firstTwo.size(), firstTwo), 0);
  EXPECT_NE(cli.Err().find("2 client(s) served, 1 dropped for reading too slowly"),
            std::string::npos)
      << cli.Err();
  close(hanging);
  close(reader);
}

TEST(LiveCli, ALateClientJoinsAtAPairAndALoopKeepsTheClockGoingUntilCtrlC) {
  test::TempDir dir;
  test::CliProcess cli(dir, {"--serve", "127.0.0.1:0", "--wait-clients", "1", "--loop", "--speedup",
                             "200", WAYLOOM_TEST_DATA "/three_points.csv"});
  const int port = cli.Port();
  const int first = Connect(port);
  Read(first, 10);
  const int late = Connect(port);
  // Three rounds of three points, from wherever it joined.
  const std::vector<std::string> lines = TrackLines(Read(late, 18));
  EXPECT_EQ(cli.Wait(SIGINT), kExitInterrupted);
  ASSERT_EQ(lines.size(), 18u);
  const std::vector<std::string> reference =
      TrackLines(ReadFile(WAYLOOM_TEST_DATA "/three_points.nmea"));
  std::size_t point = 3;
  for (std::size_t k = 0; k < 3; ++k) {
    if (lines[0].substr(18, 30) == reference[2 * k].substr(18, 30)) point = k;
  }
  ASSERT_LT(point, 3u) << lines[0];
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    EXPECT_EQ(lines[i].substr(0, 7), "$GPGGA,") << i;
    EXPECT_EQ(lines[i + 1].substr(0, 7), "$GPRMC,") << i;
    // The same positions as the track file, round after round, one second apart throughout.
    EXPECT_EQ(lines[i].substr(18, 30), reference[2 * point].substr(18, 30)) << i;
    if (i > 0) {
      EXPECT_EQ(Seconds(lines[i]), Seconds(lines[i - 2]) + 1) << lines[i];
    }
    point = (point + 1) % 3;
  }
  EXPECT_NE(cli.Err().find("stopped: "), std::string::npos) << cli.Err();
  // Both clients see the stream end (Read returns at its end; the program has ended).
  Read(first, 0);
  Read(late, 0);
  close(first);
  close(late);
}

TEST(LiveCli, APseudoTerminalFeedsItsReaderAndNeverTakesAnothersFile) {
  test::TempDir dir;
  const std::string source = WAYLOOM_TEST_DATA "/three_points.csv";
  const std::string link = dir.File("gps0");

  WriteFile(link, "someone's file");
  test::CliProcess refused(dir, {"--pty", link, source});
  EXPECT_EQ(refused.Wait(), 1);
  EXPECT_NE(refused.Err().find("already exists"), std::string::npos) << refused.Err();
  EXPECT_EQ(ReadFile(link), "someone's file");
  std::filesystem::remove(link);

  // A link an earlier run left behind, to a device that is gone, is taken over.
  std::filesystem::create_symlink("/dev/pts/999999", link);
  test::CliProcess cli(dir, {"--pty", link, "--serve", "0", "--wait-clients", "1", "--loop",
                             "--speedup", "1000", source});
  const int port = cli.Port();
  const std::string device = std::filesystem::read_symlink(link).string();
  ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  const int reader = open(link.c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(reader, 0);
  const int stalled = open(link.c_str(), O_RDONLY | O_NOCTTY);  // opens and never reads
  const int client = Connect(port);
  const std::vector<std::string> viaPty = TrackLines(Read(reader, 8));
  close(reader);
  // Thousands of pairs later the stream still flows, with nobody reading the device.
  const std::vector<std::string> viaTcp = TrackLines(Read(client, 6000));
  EXPECT_EQ(cli.Wait(SIGTERM), kExitInterrupted);
  close(stalled);
  close(client);

  ASSERT_EQ(viaPty.size(), 8u);
  for (std::size_t i = 2; i < viaPty.size(); i += 2) {
    EXPECT_EQ(Seconds(viaPty[i]), Seconds(viaPty[i - 2]) + 1) << viaPty[i];
  }
  ASSERT_EQ(viaTcp.size(), 6000u);
  EXPECT_EQ(Seconds(viaTcp[5998]), (Seconds(viaTcp[0]) + 2999) % 86400);
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link outlived the program";
  EXPECT_NE(cli.Err().find("pairs left out for the pseudo-terminal reader"), std::string::npos)
      << cli.Err();
}

TEST(LiveCli, LiveOptionsAreCheckedBeforeAnythingRuns) {
  test::TempDir dir;
  const std::string source = WAYLOOM_TEST_DATA "/three_points.csv";
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {
      {{"--loop", source, dir.File("t")}, "--loop is for live output"},
      {{"--speedup", "2", source, dir.File("t")}, "--speedup is for live output"},
      {{"--serve", "0", "--speedup", "0", source}, "--speedup needs a number above 0"},
      {{"--serve", "0", "--speedup", "fast", source}, "--speedup needs a number above 0"},
      {{"--serve", "host:port", source}, "--serve needs [HOST:]PORT"},
      {{"--pty", dir.File("l"), "--wait-clients", "1", source}, "--wait-clients is for --serve"},
      {{"--date", "2026-02-30", source, dir.File("t")}, "--date needs a date as YYYY-MM-DD"},
      {{source}, "expected SOURCE and DEST"},
  };
  for (const auto& c : cases) {
    test::CliProcess cli(dir, c.arguments);
    EXPECT_EQ(cli.Wait(), 2) << c.message;
    EXPECT_NE(cli.Err().find(c.message), std::string::npos) << cli.Err();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("t")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("l")));
}

}  // namespace
}  // namespace wayloom
