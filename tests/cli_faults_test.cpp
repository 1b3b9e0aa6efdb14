// The command line against a hostile user: a DEST that is the SOURCE or the --pty LINK, a SOURCE
// that cannot be read or carries a byte-order mark, numbers that are not numbers, closed and full
// standard output, a file-size limit, and stop signals at awkward moments. Every case says what it
// gets in (arguments) and what must come out: exit status, message, and the files left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::WriteFile;

const std::string kThreePoints = WAYLOOM_TEST_DATA "/three_points.csv";
const std::string kThreePointsTrack = ReadFile(WAYLOOM_TEST_DATA "/three_points.nmea");
const std::string kKept = "keep me\n";

// What a file must hold afterwards: these bytes, nothing at all (absent), or whole lines that
// begin these bytes (a track cut short).
struct OnDisk {
  OnDisk(std::string at) : path(std::move(at)) {}  // a file that must not exist
  OnDisk(std::string at, std::string holding, bool cut = false)
      : path(std::move(at)), bytes(std::move(holding)), cutShort(cut) {}
  std::string path;
  std::optional<std::string> bytes;
  bool cutShort = false;
};

void ExpectOnDisk(const OnDisk& expected, const std::string& context) {
  if (!expected.bytes) {
    EXPECT_FALSE(std::filesystem::exists(expected.path)) << context;
    return;
  }
  const std::string bytes = ReadFile(expected.path);
  if (!expected.cutShort) {
    EXPECT_EQ(bytes, *expected.bytes) << context;
    return;
  }
  EXPECT_FALSE(bytes.empty()) << context;
  EXPECT_LT(bytes.size(), expected.bytes->size()) << context;
  EXPECT_EQ(expected.bytes->compare(0, bytes.size(), bytes), 0) << context;
  test::TrackLines(bytes);  // every line whole
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(CliFaults, BadInputGetsAClearMessageAndLosesNothing) {
  test::TempDir dir;
  const std::string pois = dir.File("pois.csv");
  const std::string kept = dir.File("kept.nmea");
  const std::string fresh = dir.File("fresh.nmea");
  const std::string full = dir.File("full.nmea");
  const std::string missing = dir.File("missing.csv");
  const std::string noFolder = dir.File("no/such.nmea");
  const std::string bom = dir.File("bom.csv");
  const std::string utf16 = dir.File("utf16.csv");
  WriteFile(pois, ReadFile(kThreePoints));
  std::filesystem::create_hard_link(pois, dir.File("hard.csv"));
  std::filesystem::create_symlink(pois, dir.File("soft.csv"));
  WriteFile(bom, "\xEF\xBB\xBF" + ReadFile(kThreePoints).substr(31));  // no heading: a point first
  static const char kUtf16[] =
      "\xFF\xFE-\0"
      "3\0,\0"
      "5\0"
      "5\0\n\0";
  WriteFile(utf16, std::string(kUtf16, sizeof kUtf16 - 1));
  ASSERT_EQ(test::InvokeCli({"--extra", "--step", "500", pois, full}).status, kExitOk);
  const std::string fullTrack = ReadFile(full);

  const struct {
    std::vector<std::string> arguments;
    const char* shell;  // run in this process, or through the shell as this command (%s: ours)
    int status;
    std::string message;
    OnDisk onDisk;
  } cases[] = {
      {{"--yes", "--runs", "2", pois, pois},
       nullptr,
       kExitError,
       "Error the output file is the input file\n" + pois,
       {pois, ReadFile(kThreePoints)}},
      {{"--yes", dir.File("soft.csv"), dir.File("hard.csv")},
       nullptr,
       kExitError,
       "the output file is the input file",
       {pois, ReadFile(kThreePoints)}},
      {{"--yes", missing, kept},
       nullptr,
       kExitError,
       "Error can't open the input file\n" + missing + "\nno such file or folder\n",
       {kept, kKept}},
      {{"--yes", dir.Path(), kept},
       nullptr,
       kExitError,
       "Error reading the input file\n" + dir.Path() + "\nis a folder\n",
       {kept, kKept}},
      {{pois, noFolder},
       nullptr,
       kExitError,
       "Error can't open output file \n" + noFolder + "\nno such file or folder\n",
       {noFolder}},
      {{"--pty", dir.File("gps"), "--yes", pois, dir.Path() + "/./gps"},
       nullptr,
       kExitUsage,
       "DEST is the --pty LINK",
       {dir.File("gps")}},
      {{pois, ""}, nullptr, kExitUsage, "DEST is empty", {kept, kKept}},
      {{"", kept}, nullptr, kExitUsage, "SOURCE is empty", {kept, kKept}},
      {{"--period", "0,5", pois, fresh},
       nullptr,
       kExitUsage,
       "--period needs a decimal number such as 2, 0.5 or -1",
       {fresh}},
      {{"--step", "1O0", pois, fresh}, nullptr, kExitUsage, "--step needs a decimal", {fresh}},
      {{"--period", "1e-320", pois, fresh}, nullptr, kExitUsage, "not '1e-320'", {fresh}},
      {{"--period", "1" + std::string(308, '0'), pois, fresh},
       nullptr,
       kExitUsage,
       "--period needs a decimal",
       {fresh}},
      {{bom, fresh}, nullptr, kExitOk, "3 points read, 6 sentences", {fresh, kThreePointsTrack}},
      {{"--yes", utf16, kept},
       nullptr,
       kExitOk,
       "no track: 0 points read from " + utf16 + ", which starts with a UTF-16 byte-order mark",
       {kept, ""}},
      {{"--runs", "3", pois, "-"},
       "%s >&-",
       kExitError,
       "Error can't open output file \nstandard output\nnot open\n",
       {"-"}},
      {{pois, "-"},
       "%s >/dev/full",
       kExitError,
       "Error writing output file \nstandard output\nno space left on the device\n",
       {"-"}},
      {{"--yes", "--extra", "--step", "500", pois, full},
       "ulimit -f 16; %s",
       kExitError,
       "Error writing output file \n" + full + "\nfile too large\n",
       {full, fullTrack, true}},
  };
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
    ExpectOnDisk(c.onDisk, context);
  }
}

TEST(CliFaults, AStopSignalEndsTheCommandWith130AndLeavesWholeFiles) {
  test::TempDir dir;
  const std::string kept = dir.File("kept.nmea");
  const std::string dest = dir.File("dest.nmea");
  const std::string fifo = dir.File("fifo");
  const std::string link = dir.File("gps");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A terminal for the overwrite question, on which nobody answers.
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
  const std::string terminalPath = ptsname(terminal);

  enum class Moment { kReading, kOpening, kAsking, kStreaming };
  const struct {
    std::vector<std::string> arguments;
    std::string input;
    Moment moment;
    int signal;
    std::string message;
    OnDisk onDisk;
  } cases[] = {
      {{"--yes", "/dev/zero", kept},
       "/dev/null",
       Moment::kReading,
       SIGTERM,
       "stopped while reading /dev/zero; DEST was not touched",
       {kept, kKept}},
      {{fifo, dest},
       "/dev/null",
       Moment::kOpening,
       SIGINT,
       "stopped while reading " + fifo,
       {dest}},
      {{kThreePoints, kept},
       terminalPath,
       Moment::kAsking,
       SIGINT,
       "stopped: " + kept + " exists and was left as it was",
       {kept, kKept}},
      {{"--pty", link, "--serve", "0", "--wait-clients", "1", "--loop", kThreePoints, dest},
       "/dev/null",
       Moment::kStreaming,
       SIGHUP,
       "stopped: ",
       {dest, kThreePointsTrack}},
  };
  for (const auto& c : cases) {
    WriteFile(kept, kKept);
    std::filesystem::remove(dest);
    test::CliProcess cli(dir, c.arguments, c.input);
    const int signal = c.signal;
    switch (c.moment) {
      case Moment::kReading:
        cli.WaitUntil([&] { return cli.Catches(signal); }, "caught the signal");
        break;
      case Moment::kOpening:
        cli.WaitUntil([&] { return cli.Catches(signal) && cli.Sleeping(); }, "blocked");
        break;
      case Moment::kAsking:
        cli.WaitUntil(
            [&] { return cli.Err().find("[y/N]") != std::string::npos && cli.Sleeping(); },
            "asked");
        break;
      case Moment::kStreaming: {
        const int client = test::Connect(cli.Port());
        test::Read(client, 2);
        close(client);
        break;
      }
    }
    const std::string context = c.arguments[1];
    EXPECT_EQ(cli.Wait(signal), kExitInterrupted) << context << cli.Err();
    EXPECT_NE(cli.Err().find(c.message), std::string::npos) << context << cli.Err();
    ExpectOnDisk(c.onDisk, context);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << context;
  }
  close(terminal);
}

}  // namespace
}  // namespace wayloom
