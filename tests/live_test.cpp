// Live output: the pacing schedule, and the real program serving TCP clients and a pseudo-terminal
// reader. Waits on the program are bounded only to keep a broken build from hanging the suite;
// nothing here depends on how fast anything runs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <memory>

#include "job/live_session.h"
#include "job/settings.h"
#include "outputs/live/pacer.h"
#include "outputs/live/tcp_server.h"
#include "tests/test_support.h"

namespace wayloom::test {

// The first pair goes at once; then a second of track is a quarter second at a speedup of 4, the
// two periods after a point of the file half a second, no step or a step back (a loop starting
// over) nothing. A pair asked for late goes at once and the schedule is kept, but one far behind
// (a suspended process) goes on from now rather than send a burst.
TEST(Pacer, WaitsFollowTheClockByTheSpeedupAndCatchUpOnlyALittleLateness) {
  const double steps[][4] = {{4, 3600000, 500, 500},
                             {4, 3601000, 500, 750},
                             {4, 3603000, 760, 1250},
                             {4, 3603000, 1250, 1250},
                             {4, 3600000, 1260, 1250},
                             {4, 3601000, 1260, 1500},
                             {1, 0, 0, 0},
                             {1, 1000, 1300, 1000},
                             {1, 2000, 1300, 2000},
                             {1, 3000, 62000, 62000},
                             {1, 4000, 62000, 63000}};
  Pacer fast(4.0), plain(1.0);
  for (const auto& s : steps) {
    EXPECT_EQ((s[0] == 4 ? fast : plain).Schedule(s[1], s[2]), s[3]) << s[1] << " " << s[2];
  }
}

TEST(ServeAddress, TakesPortHostAndPortOrBracketedIpv6) {
  std::string host;
  std::uint16_t port = 1;
  for (const auto& [text, address] : {std::pair{"10110", "127.0.0.1:10110"},
                                      {"0.0.0.0:0", "0.0.0.0:0"},
                                      {"[::1]:65535", "::1:65535"}}) {
    ASSERT_TRUE(ParseServeAddress(text, host, port)) << text;
    EXPECT_EQ(host + ":" + std::to_string(port), address);
  }
  for (const char* bad : {"", "65536", "-1", "x", ":10110", "localhost:", "::1:10110", "[::1]",
                          "[::1]10110", "10110 ", "123456"}) {
    EXPECT_FALSE(ParseServeAddress(bad, host, port)) << bad;
  }
}

int Seconds(const std::string& sentence) {
  return std::stoi(sentence.substr(7, 2)) * 3600 + std::stoi(sentence.substr(9, 2)) * 60 +
         std::stoi(sentence.substr(11, 2));
}

TEST(LiveCli, AClientThatHangsIsDroppedWhileAnotherGetsTheWholeTrack) {
  TempDir dir;
  const std::string source = dir.File("pois.csv");
  const std::string dest = dir.File("track.nmea");
  // About 18000 pairs, some 2.5 MB: far more than a client that does not read can hold.
  WriteFile(source, "-9.14,38.72,Lisbon\n21.01,52.23,Warsaw\n");
  CliProcess cli(dir, {"--serve", "0", "--wait-clients", "2", "--speedup", "5000", "--extra",
                       "--step", "150", source, dest});
  const int port = cli.Port();
  const int hanging = Connect(port);
  const int reader = Connect(port);
  const std::string firstTwo = Read(hanging, 2);
  const std::string all = Read(reader, 0);
  EXPECT_EQ(cli.Wait(), 0) << cli.Err();
  const std::string track = ReadFile(dest);
  EXPECT_GT(track.size(), 2000000u);
  EXPECT_TRUE(all == track) << "the reader got " << all.size() << " of " << track.size();
  EXPECT_EQ(track.compare(0, firstTwo.size(), firstTwo), 0);
  EXPECT_NE(cli.Err().find("2 client(s) served, 1 dropped for reading too slowly"),
            std::string::npos)
      << cli.Err();
  close(hanging);
  close(reader);
}

TEST(LiveCli, APseudoTerminalFeedsItsReaderAndNeverTakesAnothersFile) {
  TempDir dir;
  const std::string source = WAYLOOM_TEST_DATA "/three_points.csv";
  const std::string link = dir.File("gps0");
  WriteFile(link, "someone's file");
  CliProcess refused(dir, {"--pty", link, source});
  EXPECT_EQ(refused.Wait(), 1);
  EXPECT_NE(refused.Err().find("already exists"), std::string::npos) << refused.Err();
  EXPECT_EQ(ReadFile(link), "someone's file");
  std::filesystem::remove(link);

  // A link an earlier run left behind, to a device that is gone, is taken over.
  std::filesystem::create_symlink("/dev/pts/999999", link);
  CliProcess cli(dir, {"--pty", link, "--serve", "0", "--wait-clients", "1", "--loop", "--speedup",
                       "1000", source});
  const int port = cli.Port();
  cli.WaitUntil([&] { return cli.Err().find("linked at") != std::string::npos; }, "the link");
  ASSERT_EQ(std::filesystem::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
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
  // Both readers were there before the first fix: both have it, at the track's start.
  EXPECT_EQ(viaPty[0], viaTcp[0]);
  EXPECT_EQ(viaTcp[0].substr(7, 6), "010000");
  for (std::size_t i = 2; i < viaPty.size(); i += 2)
    EXPECT_EQ(Seconds(viaPty[i]), Seconds(viaPty[i - 2]) + 1) << viaPty[i];
  ASSERT_EQ(viaTcp.size(), 6000u);
  EXPECT_EQ(Seconds(viaTcp[5998]), (Seconds(viaTcp[0]) + 2999) % 86400);
  EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link outlived the program";
  EXPECT_NE(cli.Err().find("fixes left out for the pseudo-terminal reader"), std::string::npos)
      << cli.Err();
}

// Keys typed on the terminal that is standard input steer the track, a receiver's and a classic
// one: space pauses it (the receiver stands) and goes on, + doubles the speed-up, q stops as
// Ctrl-C would; the times sent keep rising, and the terminal is left as it was.
TEST(LiveCli, KeysOnTheTerminalPauseSpeedUpAndStopAndLeaveItAsItWas) {
  TempDir dir;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const std::string terminal = ptsname(master);
  termios before{};
  ASSERT_EQ(tcgetattr(master, &before), 0);
  WriteFile(dir.File("north.csv"), "1.0,1.0,A\n1.0,2.0,B\n");
  for (const bool receiver : {true, false}) {
    std::vector<std::string> arguments = {"--serve",   "0",   "--wait-clients",     "1", "--loop",
                                          "--speedup", "100", dir.File("north.csv")};
    if (receiver) arguments.insert(arguments.begin(), {"--speed", "60"});
    CliProcess cli(dir, arguments, terminal);
    const int client = Connect(cli.Port());
    std::vector<std::string> rmc;
    // Reads sentences until an RMC sentence's speed is (or is not) 0.
    const auto readUntilSpeed = [&](bool zero) {
      for (int i = 0; i < 5000 && !HasFailure(); ++i) {
        const std::string line = Read(client, 1);
        if (line.rfind("$GPRMC", 0) == 0) rmc.push_back(line);
        if (!rmc.empty() && (Split(rmc.back())[7] == "0.00") == zero) return;
      }
      ADD_FAILURE() << "no RMC with speed " << (zero ? "" : "not ") << "0";
    };
    cli.WaitUntil([&] { return cli.Err().find("keys:") != std::string::npos; }, "the keys");
    readUntilSpeed(false);
    for (const auto& [key, said] : {std::pair{" ", "paused"}, {"+", "speed-up 200"}}) {
      ASSERT_EQ(write(master, key, 1), 1);
      cli.WaitUntil([&] { return cli.Err().find(said) != std::string::npos; }, said);
    }
    readUntilSpeed(true);
    ASSERT_EQ(write(master, " ", 1), 1);
    readUntilSpeed(false);
    ASSERT_EQ(write(master, "q", 1), 1);
    EXPECT_EQ(cli.Wait(), kExitInterrupted) << cli.Err();
    close(client);
    for (std::size_t i = 1; i < rmc.size(); ++i) EXPECT_GT(Seconds(rmc[i]), Seconds(rmc[i - 1]));
  }
  termios after{};
  ASSERT_EQ(tcgetattr(master, &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), before.c_lflag & (ICANON | ECHO));
  close(master);
}

// A receiver going north from 1,1 to 2,1 at 60 knots, round after round, a fix a second at a
// speedup of 100: paused it stands (speed 0, the same place) while its time goes on; resumed, a
// faster speedup and a seek to the last point (the round's end, then the next round) all keep
// every step of the clock one second. Only the order and fields of the sentences are judged.
TEST(LivePlayback, PausedStandsAndResumedSpedUpOrSoughtTheClockStepsOnBySeconds) {
  TempDir dir;
  SettingTexts texts;
  texts.speed = "60";
  texts.sentences = "RMC";
  texts.serve = "0";
  texts.waitClients = "1";
  texts.speedup = "100";
  texts.loop = true;
  JobSettings settings;
  ASSERT_EQ(CheckSettings(
                texts, [](Setting) { return std::string("?"); }, settings),
            "");
  settings.source = dir.File("north.csv");
  WriteFile(settings.source, "1.0,1.0,A\n1.0,2.0,B\n");
  auto playback = std::make_shared<Playback>(100.0);
  settings.live.playback = playback;
  LiveSession session;
  std::string error;
  ASSERT_TRUE(session.Start(settings, false, false, error)) << error;
  const std::string endpoint = session.TakeStatus().endpoints.at(0);
  const int client = Connect(std::stoi(endpoint.substr(endpoint.rfind(':') + 1)));
  std::vector<std::vector<std::string>> rmc;
  // Reads fixes until until(this one, the one before) holds.
  const auto readUntil = [&](const std::function<bool(const std::vector<std::string>&,
                                                      const std::vector<std::string>&)>& until) {
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
      rmc.push_back(Split(Read(client, 1)));
      if (rmc.size() > 1 && until(rmc.back(), rmc[rmc.size() - 2])) return;
    }
    ADD_FAILURE() << "never came";
  };
  const auto standing = [](const auto& fix, const auto& before) {
    return fix[7] == "0.00" && fix[3] == before[3];
  };
  int stood = 0;
  readUntil([](const auto&, const auto&) { return true; });
  playback->Pause();
  readUntil([&](const auto& fix, const auto& before) {
    stood = standing(fix, before) ? stood + 1 : 0;
    return stood == 3;
  });
  const std::size_t paused = rmc.size();
  playback->Resume();
  readUntil([&](const auto& fix, const auto&) { return fix[7] != "0.00"; });
  EXPECT_GT(rmc.back()[3], rmc[paused - 1][3]) << "the fix held back goes on from where it stood";
  playback->SetSpeedup(400.0);
  readUntil([&](const auto&, const auto&) { return rmc.size() > paused + 8; });
  const std::size_t sought = rmc.size();
  playback->Seek({SeekTarget::Kind::kPoint, 1.0});
  readUntil([](const auto& fix, const auto&) { return fix[3].rfind("0200.", 0) == 0; });
  EXPECT_LT(rmc[rmc.size() - 2][3], "0101.") << "the seek jumped from the track's start";
  readUntil([](const auto& fix, const auto&) { return fix[3] == "0100.00000"; });
  session.Stop();
  close(client);
  for (std::size_t i = 1; i < rmc.size(); ++i) {
    ASSERT_EQ(Seconds(rmc[i][0] + "," + rmc[i][1]) - 1,
              Seconds(rmc[i - 1][0] + "," + rmc[i - 1][1]))
        << i << ": " << rmc[i][1];
    // Northwards until the seek: standing where it was, never back.
    ASSERT_TRUE(i >= sought || rmc[i][3] >= rmc[i - 1][3]) << i << ": " << rmc[i][1];
  }
}

}  // namespace wayloom::test
