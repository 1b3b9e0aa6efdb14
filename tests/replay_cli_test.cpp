// Small hand-made logs replayed by the command line: the same bytes to a file, to standard output
// and to a TCP client, with the summary and notes that say what happened to the log; and a loop
// whose rounds move time on. Real recordings are replayed by replay_gpsd_logs.sh.
#include <signal.h>
#include <unistd.h>

#include "tests/test_support.h"

namespace wayloom::test {
namespace {

std::string S(std::string_view body) { return Framed(body); }

const std::string kRmc = "GPRMC,120000.00,A,4807.0380,N,01131.0000,E,022.4,084.4,300624,,,A";
const std::string kGga = "GPGGA,120000.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,";
const std::string kAis = "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26";

TEST(CliReplay, HandMadeLogsGoThroughEveryOutputAlike) {
  TempDir dir;
  std::mt19937_64 random(11);
  std::string binary(std::size_t{1} << 16, '\0');
  for (char& byte : binary) byte = static_cast<char>(random() & 0xFF);
  const std::string megabyteLine = "$GPTXT," + std::string(1 << 20, 'A');
  // clang-format off
  const struct {
    const char* name;
    std::string log;
    std::vector<std::string> options;
    std::string expected;
    std::vector<std::string> messages;  // each in standard error, the file's run
  } cases[] = {
      {"re-timed into the next year, every talker and AIS passing",
       JoinLines({S(kRmc), S(kGga), S("PGRME,15.0,M,45.0,M,25.0,M"), kAis,
              S("GNRMC,120001.00,A,4807.0390,N,01131.0010,E,1,2,300624,,,A"), S("GLGSV,1,1,01,65,1,1,1"),
              S("GPZDA,120002.00,30,06,2024,00,00")}, "\n"),
       {"--start", "23:59:59", "--date", "2030-12-31"},
       JoinLines({S("GPRMC,235959.00,A,4807.0380,N,01131.0000,E,022.4,084.4,311230,,,A"),
              S("GPGGA,235959.00,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,"),
              S("PGRME,15.0,M,45.0,M,25.0,M"), kAis,
              S("GNRMC,000000.00,A,4807.0390,N,01131.0010,E,1,2,010131,,,A"), S("GLGSV,1,1,01,65,1,1,1"),
              S("GPZDA,000001.00,01,01,2031,00,00")}),
       {"times moved by 205243199000 ms: the first, 12:00:00.000 on 2024-06-30, becomes "
        "23:59:59.000 on 2030-12-31", "3 bursts, 7 sentences written to "}},
      {"as recorded: bad lines left out and counted, a last line without its end",
       "# a boat\n" + S(kGga) + "\n" + S(kRmc).substr(0, 40) + "*00\n\x01\x02\n" + S(kRmc),
       {},
       JoinLines({S(kGga), S(kRmc)}),
       {"1 burst, 2 sentences written to ", "3 lines left out: 2 not NMEA, 1 with a bad checksum"}},
      {"--keep-bad sends them as they stand",
       "# a boat\r\n" + S(kGga) + "\r\n" + S(kRmc).substr(0, 40) + "*00\r\n",
       {"--keep-bad"},
       JoinLines({"# a boat", S(kGga), S(kRmc).substr(0, 40) + "*00"}),
       {"2 lines sent as they stand: 1 not NMEA, 1 with a bad checksum"}},
      {"a log without times stays as it is, paced by --period",
       JoinLines({S("GPRMC,,V,,,,,,,,,,N"), S("GPGSA,A,1,,,,,,,,,,,,,,,"), S("GPRMC,,V,,,,,,,,,,N")}),
       {"--period", "0.5", "--start", "now"},
       JoinLines({S("GPRMC,,V,,,,,,,,,,N"), S("GPGSA,A,1,,,,,,,,,,,,,,,"), S("GPRMC,,V,,,,,,,,,,N")}),
       {"has no time of day: nothing in it is re-timed", "2 bursts, 3 sentences written"}},
      {"a date alone, and a log without one",
       JoinLines({S(kGga), S("GPGGA,120001.00,,,,,0,00,,,M,,M,,")}),
       {"--date", "2030-01-01"},
       JoinLines({S(kGga), S("GPGGA,120001.00,,,,,0,00,,,M,,M,,")}),
       {"has no date (RMC or ZDA), so no date moves"}},
      {"an empty log", "", {"--start", "12:00:00"}, "", {"no replay: ", " holds no NMEA sentence"}},
      {"a binary file", binary, {}, "", {"no replay: ", "lines left out: "}},
      {"a megabyte line", S(kGga) + "\n" + megabyteLine + "\n" + S(kRmc) + "\n", {},
       JoinLines({S(kGga), S(kRmc)}), {"1 burst, 2 sentences written to ", "1 line left out: 1 too long"}},
  };
  // clang-format on
  for (const auto& c : cases) {
    const std::string log = dir.File("log.nmea"), dest = dir.File("out.nmea");
    WriteFile(log, c.log);
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.end(), {"--yes", "--replay", log});
    std::vector<std::string> toFile = arguments;
    toFile.push_back(dest);
    const CliRun file = InvokeCli(toFile);
    EXPECT_EQ(file.status, kExitOk) << c.name << file.err;
    EXPECT_EQ(ReadFile(dest), c.expected) << c.name;
    for (const std::string& message : c.messages) {
      EXPECT_NE(file.err.find(message), std::string::npos) << c.name << ": " << file.err;
    }
    EXPECT_EQ(file.err.find("no track"), std::string::npos) << c.name << ": " << file.err;
    std::vector<std::string> toStdout = arguments;
    toStdout.push_back("-");
    EXPECT_EQ(InvokeCli(toStdout).out, c.expected) << c.name;
    if (c.expected.empty()) continue;  // nothing to wait for a client with
    arguments.insert(arguments.end(), {"--serve", "0", "--wait-clients", "1", "--speedup", "100"});
    CliProcess served(dir, arguments);
    const int client = Connect(served.Port());
    EXPECT_EQ(Read(client, 0), c.expected) << c.name;
    close(client);
    EXPECT_EQ(served.Wait(), kExitOk) << c.name << served.Err();
  }
}

// The file holds the log once; live, it starts with the same bytes, and each further round moves
// its times on by the log's length and one interval, across midnight and into the next day.
TEST(CliReplay, ALoopMovesTimeOnRoundAfterRound) {
  TempDir dir;
  const std::string log = dir.File("log.nmea"), dest = dir.File("out.nmea");
  const auto rmc = [](const char* time, const char* date) {
    return S(std::string("GPRMC,") + time + ",A,4807.038,N,01131.000,E,1,2," + date + ",,");
  };
  WriteFile(log, JoinLines({rmc("235956", "300624"), rmc("235958", "300624")}));
  CliProcess cli(dir, {"--replay", log, "--date", "2030-12-31", "--serve", "0", "--wait-clients",
                       "1", "--loop", "--speedup", "100", dest});
  const int client = Connect(cli.Port());
  const std::string received = Read(client, 6);
  EXPECT_EQ(cli.Wait(SIGTERM), kExitInterrupted) << cli.Err();
  close(client);
  const std::string once = JoinLines({rmc("235956", "311230"), rmc("235958", "311230")});
  EXPECT_EQ(ReadFile(dest), once);
  EXPECT_EQ(received, once + JoinLines({rmc("000000", "010131"), rmc("000002", "010131"),
                                        rmc("000004", "010131"), rmc("000006", "010131")}));
}

}  // namespace
}  // namespace wayloom::test
