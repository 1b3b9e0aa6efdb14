// The command line: the engine's bytes to a file or standard output, messages and exit statuses,
// repeated runs, the locale, and a clean stop on SIGINT or SIGTERM.

#include <signal.h>
#include <sys/wait.h>

#include "tests/test_support.h"

namespace wayloom::test {

class Cli : public ::testing::Test {
 protected:
  TempDir dir_;
  const std::string sample_ = WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv";
  const std::string mixed_ = WAYLOOM_TEST_DATA "/mixed.txt";
  const std::string dest_ = dir_.File("track.nmea");
};

TEST_F(Cli, WithoutATerminalAnExistingFileIsKeptUnlessYesIsGiven) {
  WriteFile(dest_, "keep me\n");
  const CliRun kept = InvokeCli({sample_, dest_});
  EXPECT_EQ(kept.status, kExitError);
  EXPECT_EQ(ReadFile(dest_), "keep me\n");
  EXPECT_NE(kept.err.find("The output file already exists\noverwrite ?"), std::string::npos);
  EXPECT_NE(kept.err.find("left as it was"), std::string::npos) << kept.err;
  EXPECT_EQ(InvokeCli({"--yes", "--quiet", sample_, dest_}).status, kExitOk);
  EXPECT_EQ(TrackLines(ReadFile(dest_)).size(), 62u);
}

TEST_F(Cli, ErrorsGoToStandardErrorWithStatusOneAndUsageErrorsWithTwo) {
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  } cases[] = {
      {{dir_.File("missing.csv"), dest_},
       kExitError,
       "wayloom-cli: Error can't open the input file\n" + dir_.File("missing.csv") + "\n"},
      {{}, kExitUsage, "wayloom-cli --help"},
      {{sample_, dest_, "third"}, kExitUsage, "wayloom-cli --help"},
      {{"--bogus", sample_, dest_}, kExitUsage, "wayloom-cli --help"},
      {{"--quiet=yes", sample_, dest_}, kExitUsage, "wayloom-cli --help"},
      {{"--runs", "1.5", sample_, "-"}, kExitUsage, "--runs"},
      {{"--runs", "99999999", sample_, "-"}, kExitUsage, "--runs"},
      {{"--loop", sample_, dest_}, kExitUsage, "--loop is for live output"},
      {{"--serve", "0", "--speedup", "0", sample_}, kExitUsage, "--speedup needs a number above 0"},
      {{"--pty", dir_.File("l"), "--wait-clients", "1", sample_},
       kExitUsage,
       "--wait-clients is for --serve"},
      {{"--date", "2026-02-30", sample_, dest_}, kExitUsage, "--date needs a date as YYYY-MM-DD"},
      {{sample_}, kExitUsage, "expected SOURCE and DEST"},
      {{"--replay", sample_}, kExitUsage, "expected --replay LOG and DEST (or live output)"},
      {{"--replay", "", dest_}, kExitUsage, "LOG is empty"},
      {{"--replay", sample_, "--runs", "2", dest_}, kExitUsage, "--runs does not apply with --r"},
      {{"--reorder", "--replay", sample_, dest_}, kExitUsage, "--reorder does not apply with --r"},
      {{"--keep-bad", sample_, dest_}, kExitUsage, "--keep-bad is for --replay"},
      {{"--start", "now", sample_, dest_}, kExitUsage, "--start is for receiver mode or --r"}};
  for (const auto& c : cases) {
    const CliRun run = InvokeCli(c.arguments);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.arguments);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadFile(dest_), "");  // the (empty) track of a missing source is still written
  EXPECT_FALSE(std::filesystem::exists(dir_.File("l")));
  const CliRun help = InvokeCli({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  for (const char* option :
       {"--step METRES", "--period SECONDS", "--reorder", "--extra", "--yes", "--quiet", "--runs",
        "--serve", "--pty", "--date", "--version", "--replay LOG", "--keep-bad"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  EXPECT_EQ(InvokeCli({"--version"}).out.rfind("wayloom-cli ", 0), 0u);
}

TEST_F(Cli, RunsRepeatTheTrackWithCourseAndSpeedCarriedOver) {
  const std::string worked = WAYLOOM_TEST_DATA "/worked";
  // Later runs overwrite the file of the first without a question, so no --yes is needed.
  EXPECT_EQ(InvokeCli({"--extra", "--runs", "3", "--quiet", worked + ".txt", dest_}).status,
            kExitOk);
  const CliRun run = InvokeCli({"--extra", "--runs=2", "--quiet", worked + ".txt", "-"});
  EXPECT_EQ(ReadFile(dest_), run.out);
  EXPECT_EQ(run.err, "");
  // Only the last track is written; its first point carries the course and speed of the first
  // track's last stretch (B to C, due south) instead of 35.00 knots and 12.000 degrees.
  std::string once = ReadFile(worked + ".extra.nmea");
  const std::size_t rmc = once.find("$GPRMC");
  once.replace(rmc, once.find("\r\n", rmc) - rmc,
               "$GPRMC,010000.000,A,5000.0000,N,00800.0000,E,432.50,180.000,0.00,E,*6D");
  EXPECT_EQ(run.out, once);
}

// The real program, in a separate process whose locale writes decimal commas, gives the engine's
// reference bytes.
TEST_F(Cli, TheProgramWritesTheReferenceBytesInAGermanLocale) {
  ASSERT_EQ(
      std::system(("LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 '" + std::string(WAYLOOM_CLI) +
                   "' --quiet --reorder --extra --step 250 --period=2 '" + mixed_ + "' " + dest_)
                      .c_str()),
      0);
  EXPECT_EQ(ReadFile(dest_), ReadFile(WAYLOOM_TEST_DATA "/mixed.closest-extra.nmea"));
}

// Stopped by a signal while it writes millions of extra points: seconds of work still ahead.
TEST_F(Cli, ASignalStopsTheTrackWithEveryLineComplete) {
  WriteFile(dir_.File("pois.csv"), "-9.14,38.72,Lisbon\n131.89,43.12,Vladivostok\n");
  for (const int signal : {SIGINT, SIGTERM}) {
    std::filesystem::remove(dest_);
    CliProcess cli(dir_, {"--extra", "--step", "1", dir_.File("pois.csv"), dest_});
    cli.WaitUntil(
        [this] { return std::filesystem::exists(dest_) && std::filesystem::file_size(dest_) > 0; },
        "the first lines");
    EXPECT_EQ(cli.Wait(signal), kExitInterrupted) << "signal " << signal;
    EXPECT_NE(cli.Err().find("stopped"), std::string::npos) << cli.Err();
    const std::vector<std::string> lines = TrackLines(ReadFile(dest_));
    EXPECT_GT(lines.size(), 2u);
    EXPECT_EQ(lines.size() % 2, 0u) << "a sentence pair was cut";
    for (const std::string& line : lines) ASSERT_TRUE(ChecksumHolds(line)) << line;
  }
}

}  // namespace wayloom::test
