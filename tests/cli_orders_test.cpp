// The command line's track kinds, repeated runs, and a clean stop on SIGINT or SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "tests/test_support.h"

extern char** environ;

namespace wayloom {
namespace {

using test::ChecksumHolds;
using test::ReadFile;
using test::TrackLines;
using test::WriteFile;

using test::CliRun;
const auto Invoke = test::InvokeCli;

const std::string kWorked = WAYLOOM_TEST_DATA "/worked";

TEST(CliOrders, ReorderAndExtraGiveTheReferenceTracksAloneAndTogether) {
  const struct {
    std::vector<std::string> options;
    const char* kind;
  } kinds[] = {{{}, "plain"},
               {{"--reorder"}, "closest"},
               {{"--extra"}, "extra"},
               {{"--extra", "--reorder"}, "closest-extra"}};
  for (const auto& kind : kinds) {
    std::vector<std::string> arguments = kind.options;
    arguments.insert(arguments.end(), {"--quiet", kWorked + ".txt", "-"});
    const CliRun run = Invoke(arguments);
    EXPECT_EQ(run.status, kExitOk) << kind.kind << ": " << run.err;
    EXPECT_EQ(run.out, ReadFile(kWorked + "." + kind.kind + ".nmea")) << kind.kind;
  }
}

TEST(CliOrders, RunsRepeatTheTrackWithCourseAndSpeedCarriedOver) {
  test::TempDir dir;
  const std::string dest = dir.File("track.nmea");
  // Later runs overwrite the file of the first without a question, so no --yes is needed.
  EXPECT_EQ(Invoke({"--extra", "--runs", "3", "--quiet", kWorked + ".txt", dest}).status, kExitOk);
  const CliRun run = Invoke({"--extra", "--runs=2", "--quiet", kWorked + ".txt", "-"});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(ReadFile(dest), run.out);
  // Only the last track is written; its first point carries the course and speed of the first
  // track's last stretch (B to C, due south) instead of 35.00 knots and 12.000 degrees.
  std::string once = ReadFile(kWorked + ".extra.nmea");
  const std::size_t firstRmc = once.find("$GPRMC");
  once.replace(firstRmc, once.find("\r\n", firstRmc) - firstRmc,
               "$GPRMC,010000.000,A,5000.0000,N,00800.0000,E,432.50,180.000,0.00,E,*6D");
  EXPECT_EQ(run.out, once);

  for (const char* runs : {"0", "", "two", "1.5", "-1", "99999999"}) {
    EXPECT_EQ(Invoke({"--runs", runs, kWorked + ".txt", "-"}).status, kExitUsage) << runs;
  }
}

// The real program, stopped by a signal while it writes millions of extra points.
TEST(CliOrders, ASignalStopsTheTrackWithEveryLineComplete) {
  for (const int signal : {SIGINT, SIGTERM}) {
    test::TempDir dir;
    const std::string source = dir.File("pois.csv");
    const std::string dest = dir.File("track.nmea");
    const std::string err = dir.File("err.txt");
    // Millions of extra points: seconds of work, so the signal comes long before the end.
    WriteFile(source, "-9.14,38.72,Lisbon\n131.89,43.12,Vladivostok\n");

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> arguments = {WAYLOOM_CLI, "--extra", "--step", "1", source, dest};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, WAYLOOM_CLI, &files, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&files);

    // Signal once the first lines have reached the file, with seconds of work still ahead.
    const auto underWay = [&dest] {
      std::error_code error;
      const auto size = std::filesystem::file_size(dest, error);
      return !error && size > 0;
    };
    for (int polls = 0; polls < 60000 && !underWay(); ++polls) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    kill(child, signal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    ASSERT_TRUE(WIFEXITED(status)) << "signal " << signal;
    EXPECT_EQ(WEXITSTATUS(status), kExitInterrupted) << "signal " << signal;
    EXPECT_NE(ReadFile(err).find("stopped"), std::string::npos) << ReadFile(err);
    const std::vector<std::string> lines = TrackLines(ReadFile(dest));
    EXPECT_GT(lines.size(), 2u);
    EXPECT_EQ(lines.size() % 2, 0u) << "a sentence pair was cut";
    for (const std::string& line : lines) {
      if (!ChecksumHolds(line)) {
        ADD_FAILURE() << "torn or wrong line: " << line;
        break;
      }
    }
  }
}

}  // namespace
}  // namespace wayloom
