#include "cli/cli.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/test_support.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::WriteFile;

using test::CliRun;
const auto Invoke = test::InvokeCli;

// Runs the real program through the shell, for what only a separate process shows (the locale).
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Cli : public ::testing::Test {
 protected:
  test::TempDir dir_;
  const std::string sample_ = WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv";
  const std::string dest_ = dir_.File("track.nmea");
};

TEST_F(Cli, WritesTheTrackAndOneSummaryLine) {
  const CliRun run = Invoke({sample_, dest_});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "wayloom-cli: 31 points read, 62 sentences written to " + dest_ + "\n");
  EXPECT_EQ(test::TrackLines(ReadFile(dest_)).size(), 62u);

  const CliRun quiet = Invoke({"--quiet", "--yes", sample_, dest_});
  EXPECT_EQ(quiet.status, kExitOk);
  EXPECT_EQ(quiet.err, "");
}

TEST_F(Cli, DashWritesTheSameTrackToStandardOutput) {
  ASSERT_EQ(Invoke({"--period=0.5", sample_, dest_}).status, kExitOk);
  const CliRun run = Invoke({"--period", "0.5", sample_, "-"});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, ReadFile(dest_));
  EXPECT_NE(run.err.find("written to standard output"), std::string::npos) << run.err;
}

TEST_F(Cli, WithoutATerminalAnExistingFileIsKeptUnlessYesIsGiven) {
  WriteFile(dest_, "keep me\n");
  const CliRun kept = Invoke({sample_, dest_});
  EXPECT_EQ(kept.status, kExitError);
  EXPECT_EQ(ReadFile(dest_), "keep me\n");
  EXPECT_NE(kept.err.find("The output file already exists\noverwrite ?"), std::string::npos);
  EXPECT_NE(kept.err.find("left as it was"), std::string::npos) << kept.err;

  EXPECT_EQ(Invoke({"--yes", sample_, dest_}).status, kExitOk);
  EXPECT_NE(ReadFile(dest_), "keep me\n");
}

TEST_F(Cli, ErrorMessagesGoToStandardErrorWithStatusOne) {
  const CliRun missing = Invoke({dir_.File("missing.csv"), dest_});
  EXPECT_EQ(missing.status, kExitError);
  EXPECT_EQ(
      missing.err.rfind(
          "wayloom-cli: Error can't open the input file\n" + dir_.File("missing.csv") + "\n", 0),
      0u)
      << missing.err;

  const CliRun noFolder = Invoke({sample_, dir_.File("no/such/folder.nmea")});
  EXPECT_EQ(noFolder.status, kExitError);
  EXPECT_NE(noFolder.err.find("Error can't open output file \n"), std::string::npos);

  const CliRun full = Invoke({"--yes", sample_, "/dev/full"});
  EXPECT_EQ(full.status, kExitError);
  EXPECT_NE(full.err.find("Error writing output file \n/dev/full"), std::string::npos);
  EXPECT_EQ(full.err.find("sentences written"), std::string::npos) << "no success summary";
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {sample_},
      {sample_, dest_, "third"},
      {"--bogus", sample_, dest_},
      {"-x", sample_, dest_},
      {"--step"},
      {"--quiet=yes", sample_, dest_},
  };
  for (const auto& arguments : wrong) {
    const CliRun run = Invoke(arguments);
    EXPECT_EQ(run.status, kExitUsage) << ::testing::PrintToString(arguments);
    EXPECT_NE(run.err.find("wayloom-cli --help"), std::string::npos);
  }
}

TEST_F(Cli, HelpAndVersionGoToStandardOutput) {
  const CliRun help = Invoke({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  for (const char* option : {"--step METRES", "--period SECONDS", "--reorder", "--extra", "--yes",
                             "--quiet", "--version"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const CliRun version = Invoke({"--version"});
  EXPECT_EQ(version.status, kExitOk);
  EXPECT_EQ(version.out.rfind("wayloom-cli ", 0), 0u);
}

TEST_F(Cli, TheProgramWritesTheSameBytesInAGermanLocale) {
  const std::string cli = WAYLOOM_CLI;
  ASSERT_EQ(Shell("LC_ALL=C '" + cli + "' --quiet --period 0.5 '" + sample_ + "' '" + dest_ + "'"),
            0);
  const std::string german = dir_.File("german.nmea");
  ASSERT_EQ(Shell("LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 '" + cli + "' --quiet --period 0.5 '" +
                  sample_ + "' '" + german + "' 2>/dev/null"),
            0);
  EXPECT_EQ(ReadFile(german), ReadFile(dest_));
}

}  // namespace
}  // namespace wayloom
