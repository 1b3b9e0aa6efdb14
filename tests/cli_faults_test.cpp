// The command line against a hostile user: a DEST that is the SOURCE or the --pty LINK, a SOURCE
// that cannot be read or carries a byte-order mark, a replayed log that is a folder, a pipe or
// endless, numbers that are not numbers, closed and full standard output, a file-size limit, and
// stop signals at awkward moments. Every case says what it
// gets in (arguments) and what must come out: exit status, message, and the files left behind.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "outputs/live/serial_port.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string kThreePoints = WAYLOOM_TEST_DATA "/three_points.csv";
const std::string kThreePointsTrack = ReadFile(WAYLOOM_TEST_DATA "/three_points.nmea");
#define WAYLOOM_RECORDED WAYLOOM_TEST_DATA "/three_points.nmea"  // a log to replay
const std::string kWorked = WAYLOOM_TEST_DATA "/worked.txt";
const std::string kKept = "keep me\n";

// The receiver's track of the worked points at a speed (knots), as the command line prints it.
std::string ReceiverTrack(const std::string& knots) {
  return test::InvokeCli({"--quiet", "--speed", knots, "--date", "2026-03-07", kWorked, "-"}).out;
}

// What a file must hold afterwards: these bytes, or (none) nothing: it must not exist.
struct OnDisk {
  std::string path;
  std::optional<std::string> bytes;
};

void ExpectOnDisk(const OnDisk& expected, const std::string& context) {
  if (expected.bytes) {
    EXPECT_EQ(ReadFile(expected.path), *expected.bytes) << context;
  } else {
    EXPECT_FALSE(std::filesystem::exists(expected.path)) << context;
  }
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(CliFaults, BadInputGetsAClearMessageAndLosesNothing) {
  test::TempDir dir;
  const std::string pois = dir.File("pois.csv"), kept = dir.File("kept.nmea");
  const std::string fresh = dir.File("fresh.nmea"), full = dir.File("full.nmea");
  const std::string missing = dir.File("missing.csv"), noFolder = dir.File("no/such.nmea");
  const std::string bom = dir.File("bom.csv"), utf16 = dir.File("utf16.csv");
  const std::string gps = dir.File("gps"), pointsFile = ReadFile(kThreePoints);
  WriteFile(pois, pointsFile);
  std::filesystem::create_hard_link(pois, dir.File("hard.csv"));
  std::filesystem::create_symlink(pois, dir.File("soft.csv"));
  WriteFile(bom, "\xEF\xBB\xBF" + pointsFile.substr(31));  // no heading: a point comes first
  WriteFile(utf16, std::string("\xFF\xFE"
                               "1\0,\0"
                               "2\0\n\0",
                               10));
  ASSERT_EQ(test::InvokeCli({"--extra", "--step", "500", pois, full}).status, kExitOk);
  // Under a file-size limit of 8192 bytes the track is cut back to its last whole line in them.
  const std::string cutTrack = ReadFile(full).substr(0, ReadFile(full).rfind('\n', 8191) + 1);
  const std::string slowReceiver = ReceiverTrack("3");
  const std::string cutReceiver = slowReceiver.substr(0, slowReceiver.rfind('\n', 8191) + 1);
  // A serial port another program has open, and one for the rows that follow.
  test::SerialLine busyLine;
  SerialPort holder;
  std::string holderError;
  ASSERT_TRUE(holder.Open(busyLine.device, 4800, holderError)) << holderError;
  const std::string usb9 = dir.File("ttyUSB9"), gpx = dir.File("t.gpx");
  const std::string none = dir.File("none.nmea"), offEarth = dir.File("off.csv");
  const std::string offEarthText =
      "-3.19,55.95,Edinburgh\n-3.2,95.1,Beyond the pole\n-3.21,55.9,X\n";
  WriteFile(offEarth, offEarthText);
  // Columns only a header tells apart, and the POI file of the same points; a file of two paths.
  const std::string columns = dir.File("columns.txt"), gpxPaths = dir.File("paths.gpx");
  WriteFile(columns, "lon,x,lat\n-3.19,1,55.95\n-3.2,1,55.9\n");
  WriteFile(dir.File("same.csv"), "-3.19,55.95\n-3.2,55.9\n");
  const std::string columnsTrack = test::InvokeCli({dir.File("same.csv"), "-"}).out;
  WriteFile(gpxPaths, "<gpx><wpt lat=\"1\" lon=\"2\"/><trk><name>T</name></trk></gpx>\n");
  // A receiver takes a route file's speeds and elevations.
  const std::string details = dir.File("details.csv");
  WriteFile(details, "lat,lon,ele,speed\n0.5,0.5,-3.25,100\n0.5,0.5001,7,\n");

  // Timed routes that cannot be played in their own time.
  const std::string untimed = dir.File("untimed.csv"), back = dir.File("back.csv"),
                    old = dir.File("old.csv");
  WriteFile(untimed, "lat,lon,time\n1,2,2026-01-01T00:00:00Z\n1,3,\n");
  WriteFile(back,
            "lat,lon,time\n1,2,2026-01-01T00:00:05Z\n1,3,2026-01-01T00:00:07Z\n"
            "1,4,2026-01-01T00:00:06.5Z\n");
  WriteFile(old, "lat,lon,time\n1,2,1980-01-05T23:59:59Z\n");
  // clang-format off
  const struct {
    std::vector<std::string> arguments;
    const char* shell;  // run in this process, or through the shell as this command (%s: ours)
    int status;
    std::string message;
    OnDisk onDisk;
  } cases[] = {
      {{"--yes", "--runs", "2", pois, pois}, nullptr, kExitError,
       "Error the output file is the input file\n" + pois, {pois, pointsFile}},
      {{"--yes", dir.File("soft.csv"), dir.File("hard.csv")}, nullptr, kExitError,
       "the output file is the input file", {pois, pointsFile}},
      {{"--yes", missing, kept}, nullptr, kExitError,
       "Error can't open the input file\n" + missing + "\nno such file or folder\n", {kept, kKept}},
      {{"--yes", dir.Path(), kept}, nullptr, kExitError,
       "Error reading the input file\n" + dir.Path() + "\nis a folder\n", {kept, kKept}},
      {{pois, noFolder}, nullptr, kExitError,
       "Error can't open output file \n" + noFolder + "\nno such file or folder\n", {noFolder, {}}},
      {{"--pty", gps, "--yes", pois, dir.Path() + "/./gps"}, nullptr, kExitUsage,
       "DEST is the --pty LINK", {gps, {}}},
      {{"--speed", "30", "--yes", pois, pois}, nullptr, kExitError,
       "Error the output file is the input file\n" + pois, {pois, pointsFile}},
      {{"--speed", "30", "--yes", missing, kept}, nullptr, kExitError,
       "Error can't open the input file\n" + missing + "\nno such file or folder\n", {kept, kKept}},
      {{"--speed", "30", "--pty", gps, "--yes", pois, gps}, nullptr, kExitUsage,
       "DEST is the --pty LINK", {gps, {}}},
      {{"--speed", "30", "--yes", utf16, kept}, nullptr, kExitOk, "no track: 0 points", {kept, ""}},
      {{pois, ""}, nullptr, kExitUsage, "DEST is empty", {kept, kKept}},
      {{"", kept}, nullptr, kExitUsage, "SOURCE is empty", {kept, kKept}},
      {{"--period", "0,5", pois, fresh}, nullptr, kExitUsage,
       "--period needs a decimal number such as 2, 0.5 or -1", {fresh, {}}},
      {{"--step", "1O0", pois, fresh}, nullptr, kExitUsage, "--step needs a decimal", {fresh, {}}},
      {{"--period", "1e-320", pois, fresh}, nullptr, kExitUsage, "not '1e-320'", {fresh, {}}},
      {{"--period", "1" + std::string(308, '0'), pois, fresh}, nullptr, kExitUsage,
       "--period needs a decimal", {fresh, {}}},
      {{bom, fresh}, nullptr, kExitOk, "3 points read, 6 sentences", {fresh, kThreePointsTrack}},
      {{"--yes", "--csv", "/dev/stdin", fresh}, "printf 'lat;lon;name\\n48.1173;11.5166667;Munich\\n"
       "51.5;-0.125;London\\n-33.8568;151.2153;Sydney Opera House\\n' | %s", kExitOk,
       "3 points read, 6 sentences", {fresh, kThreePointsTrack}},
      {{"--yes", utf16, kept}, nullptr, kExitOk, "no track: 0 points read from " + utf16 +
       ", which starts with a UTF-16 byte-order mark", {kept, ""}},
      {{"--runs", "3", pois, "-"}, "%s >&-", kExitError,
       "Error can't open output file \nstandard output\nnot open\n", {"-", {}}},
      {{pois, "-"}, "%s >/dev/full", kExitError,
       "Error writing output file \nstandard output\nno space left on the device\n", {"-", {}}},
      {{"--yes", "--extra", "--step", "500", pois, full}, "prlimit --fsize=8192 %s", kExitError,
       "Error writing output file \n" + full + "\nfile too large\n", {full, cutTrack}},
      {{"--speed", "30", kWorked, "-"}, "%s >/dev/full", kExitError,
       "Error writing output file \nstandard output\nno space left on the device\n", {"-", {}}},
      {{"--yes", "--speed", "3", "--date", "2026-03-07", kWorked, full},
       "prlimit --fsize=8192 %s", kExitError, "Error writing output file \n" + full +
       "\nfile too large\n", {full, cutReceiver}},
      {{"--yes", "--replay", missing, kept}, nullptr, kExitError,
       "Error can't open the input file\n" + missing + "\nno such file or folder\n", {kept, kKept}},
      {{"--yes", "--replay", dir.Path(), kept}, nullptr, kExitError,
       "Error reading the input file\n" + dir.Path() + "\nis a folder\n", {kept, kKept}},
      {{"--yes", "--replay", dir.File("soft.csv"), dir.File("hard.csv")}, nullptr, kExitError,
       "the output file is the input file", {pois, pointsFile}},
      {{"--replay", WAYLOOM_RECORDED, "-"}, "%s >/dev/full", kExitError,
       "Error writing output file \nstandard output\nno space left on the device\n", {"-", {}}},
      {{"--replay", "/dev/stdin", "--start", "12:00:00", kept}, "cat " WAYLOOM_RECORDED " | %s",
       kExitError, "Error the log can be read only once (it is a pipe)", {kept, kKept}},
      {{"--yes", "--replay", "/dev/stdin", "--udp", "127.0.0.1:9", full}, "cat " WAYLOOM_RECORDED
       " | %s", kExitError, "Error the log can be read only once", {full, kThreePointsTrack}},
      // Live outputs that are refused before anything is written or sent.
      {{"--serial", usb9, pois, none}, nullptr, kExitUsage,
       "serial port " + usb9 + ": no such device", {none, {}}},
      {{"--serial", kept + ":9600", pois, none}, nullptr, kExitUsage,
       kept + " is not a serial port", {kept, kKept}},
      {{"--serial", dir.Path(), pois, none}, nullptr, kExitUsage,
       dir.Path() + " is not a serial port", {none, {}}},
      {{"--serial", busyLine.device, "--speed", "30", pois, none}, nullptr, kExitUsage,
       "serial port " + busyLine.device + " is busy: another program has it open", {none, {}}},
      {{"--serial", busyLine.device + ":1234", pois, none}, nullptr, kExitUsage,
       "--serial: the baud rate 1234 is not one of 4800, 9600", {none, {}}},
      {{"--android-emulator", "1", "--android-token", missing, pois, none}, nullptr, kExitUsage,
       "cannot read the emulator console's token file " + missing + ": no such file or folder",
       {none, {}}},
      {{"--android-token", missing, pois, none}, nullptr, kExitUsage,
       "--android-token is for --android-emulator", {none, {}}},
      // Timed track files are destinations like DEST, checked before anything is written.
      {{"--speed", "30", "--yes", "--kml", dir.File("soft.csv"), pois, none}, nullptr,
       kExitError, "Error the output file is the input file\n" + dir.File("soft.csv"),
       {pois, pointsFile}},
      {{"--date", "2026-03-07", "--gpx", dir.Path() + "/./none.nmea", pois, none}, nullptr,
       kExitError, "Error the output file is another output of the track", {none, {}}},
      {{"--speed", "30", "--kml", dir.File("no/such.kml"), pois, none}, nullptr, kExitError,
       "cannot create " + dir.File("no/such.kml") + "\nno such file or folder", {none, {}}},
      {{"--gpx", gpx, pois, none}, nullptr, kExitUsage,
       "--gpx needs --date with the classic tracks", {gpx, {}}},
      {{"--yes", "--speed", "3", "--gpx", full, kWorked}, "prlimit --fsize=8192 %s", kExitError,
       "cannot write " + full + "\nfile too large\n", {none, {}}},
      {{"--date", "2026-03-07", "--kml", gpx, offEarth, none}, nullptr, kExitOk,
       "2 fixes written to " + gpx + ", 1 left out (a position off the Earth", {offEarth, offEarthText}},
      // What is read of the source: a kind asked for, a path by name or number.
      {{"--csv", "--path", "1", columns, dir.File("c.nmea")}, nullptr, kExitOk, "2 points read",
       {dir.File("c.nmea"), columnsTrack}},
      {{"--yes", "--speed", "30", "--path", "Skye", gpxPaths, kept}, nullptr, kExitError,
       gpxPaths + ": no path \"Skye\": the file's paths are 1 \"\" (points, 1 point), 2 \"T\" "
       "(track, 0 points)\n", {kept, kKept}},
      {{"--speed", "30", "--date", "2026-03-07", "--sentences", "GGA", details,
        dir.File("d.nmea")}, nullptr, kExitOk, "2 points read, 2 fixes", {dir.File("d.nmea"),
       "$GPGGA,010000.000,0030.00000,N,00030.00000,E,1,08,1.12,-3.3,M,047,M,,*67\r\n"
       "$GPGGA,010001.000,0030.00000,N,00030.00600,E,1,08,1.12,7.0,M,047,M,,*4A\r\n"}},
      {{"--timed", "--yes", untimed, kept}, nullptr, kExitError,
       untimed + ":3: point 2 has no time", {kept, kKept}},
      {{"--timed", "--yes", back, kept}, nullptr, kExitError, back + ":4: time "
       "2026-01-01T00:00:06.500Z of point 3 is before the point before, 2026-01-01T00:00:07Z",
       {kept, kKept}},
      {{"--timed", "--yes", old, kept}, nullptr, kExitError,
       old + ": the track starts on 1980-01-05", {kept, kKept}},
      {{"--timed", "--reorder", old, kept}, nullptr, kExitUsage,
       "--reorder does not apply with --timed", {kept, kKept}},
  };
  // clang-format on
  for (const auto& c : cases) {
    WriteFile(kept, kKept);
    const std::string context = ::testing::PrintToString(c.arguments);
    test::CliRun run;
    if (c.shell) {
      std::string command = Quoted(WAYLOOM_CLI);
      for (const std::string& argument : c.arguments) command += " " + Quoted(argument);
      std::string line = c.shell;
      line.replace(line.find("%s"), 2, command + " 2>" + Quoted(dir.File("err.txt")));
      const int status = std::system(line.c_str());
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      run.err = ReadFile(dir.File("err.txt"));
    } else {
      run = test::InvokeCli(c.arguments);
    }
    EXPECT_EQ(run.status, c.status) << context << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << context << run.err;
    EXPECT_EQ(run.err.find("overwrite"), std::string::npos) << context << run.err;
    EXPECT_TRUE(c.status == kExitOk || run.err.find("sentences written") == std::string::npos);
    ExpectOnDisk(c.onDisk, context);
  }
}

TEST(CliFaults, AStopSignalEndsTheCommandWith130AndLeavesWholeFiles) {
  test::TempDir dir;
  const std::string kept = dir.File("kept.nmea"), dest = dir.File("dest.nmea");
  const std::string fifo = dir.File("fifo"), link = dir.File("gps");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A terminal for the overwrite question, on which nobody answers.
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);

  enum class Moment { kReading, kOpening, kAsking, kStreaming };
  // clang-format off
  const struct {
    std::vector<std::string> arguments;
    std::string input;
    Moment moment;
    int signal;
    std::string message;
    OnDisk onDisk;
  } cases[] = {
      {{"--yes", "/dev/zero", kept}, "/dev/null", Moment::kReading, SIGTERM,
       "stopped while reading /dev/zero; DEST was not touched", {kept, kKept}},
      {{fifo, dest}, "/dev/null", Moment::kOpening, SIGINT, "stopped while reading " + fifo,
       {dest, {}}},
      {{kThreePoints, kept}, ptsname(terminal), Moment::kAsking, SIGINT,
       "stopped: " + kept + " exists and was left as it was", {kept, kKept}},
      {{"--pty", link, "--serve", "0", "--wait-clients", "1", "--loop", kThreePoints, dest},
       "/dev/null", Moment::kStreaming, SIGHUP, "stopped: ", {dest, kThreePointsTrack}},
      {{"--speed", "30", kWorked, kept}, ptsname(terminal), Moment::kAsking, SIGINT,
       "stopped: " + kept + " exists and was left as it was", {kept, kKept}},
      {{"--speed", "30", "--kml", kept, kWorked, dest}, ptsname(terminal), Moment::kAsking, SIGINT,
       "stopped: " + kept + " exists and was left as it was", {kept, kKept}},
      {{"--speed", "30", "--date", "2026-03-07", "--serve", "0", "--wait-clients", "1", "--loop",
        kWorked, dest}, "/dev/null", Moment::kStreaming, SIGTERM, "stopped: ",
       {dest, ReceiverTrack("30")}},
      {{"--yes", "--replay", "/dev/zero", kept}, "/dev/null", Moment::kReading, SIGTERM,
       "stopped while reading /dev/zero; DEST was not touched", {kept, kKept}},
      {{"--replay", WAYLOOM_RECORDED, "--serve", "0", "--wait-clients", "1", "--loop", dest},
       "/dev/null", Moment::kStreaming, SIGHUP, "stopped: ", {dest, kThreePointsTrack}},
  };
  // clang-format on
  for (const auto& c : cases) {
    WriteFile(kept, kKept);
    std::filesystem::remove(dest);
    test::CliProcess cli(dir, c.arguments, c.input);
    const auto asked = [&] { return cli.Err().find("[y/N]") != std::string::npos; };
    if (c.moment == Moment::kStreaming) {
      const int client = test::Connect(cli.Port());
      test::Read(client, 2);
      close(client);
    } else {
      cli.WaitUntil(
          [&] {
            return cli.Catches(c.signal) && (c.moment == Moment::kReading || cli.Sleeping()) &&
                   (c.moment != Moment::kAsking || asked());
          },
          "ready for the signal");
    }
    const std::string context = c.arguments[1];
    EXPECT_EQ(cli.Wait(c.signal), kExitInterrupted) << context << cli.Err();
    EXPECT_NE(cli.Err().find(c.message), std::string::npos) << context << cli.Err();
    ExpectOnDisk(c.onDisk, context);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << context;
  }
  close(terminal);
}

}  // namespace
}  // namespace wayloom
