#include "tests/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace wayloom::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "wayloom-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

std::string Drain(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;)
    text.append(buffer, n);
  std::fclose(stream);
  return text;
}

}  // namespace

CliRun InvokeCli(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "wayloom-cli");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  CliRun run;
  run.status = RunCli(static_cast<int>(argv.size()), argv.data(), in, out, err);
  std::fclose(in);
  run.out = Drain(out);
  run.err = Drain(err);
  return run;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool ChecksumHolds(std::string_view sentence) {
  static const char kHex[] = "0123456789ABCDEF";
  const std::size_t star = sentence.rfind('*');
  if (sentence.empty() || sentence[0] != '$' || star + 3 != sentence.size()) return false;
  unsigned sum = 0;
  for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(sentence[i]);
  return sentence[star + 1] == kHex[sum >> 4] && sentence[star + 2] == kHex[sum & 0xF];
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0, end = 0; end != std::string_view::npos;
       start = end + separator.size()) {
    end = text.find(separator, start);
    pieces.emplace_back(text.substr(start, end - start));
  }
  return pieces;
}

std::vector<std::string> TrackLines(const std::string& bytes) {
  std::vector<std::string> lines = Split(bytes, "\r\n");
  EXPECT_EQ(lines.back(), "") << "the track ends in a line without CR LF";
  lines.pop_back();
  for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos) << line;
  return lines;
}

bool WaitUntil(const std::function<bool()>& done, const std::string& what) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) {
      ADD_FAILURE() << "gave up waiting for " << what;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

BackgroundCli::BackgroundCli(const TempDir& dir, std::vector<std::string> arguments) {
  static int count = 0;
  errPath_ = dir.File("err-" + std::to_string(++count) + ".txt");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  arguments.insert(arguments.begin(), WAYLOOM_CLI);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, WAYLOOM_CLI, &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&files);
}

BackgroundCli::~BackgroundCli() {
  if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
}

bool BackgroundCli::Exited() {
  if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
  return pid_ <= 0;
}

int BackgroundCli::Port() {
  const std::string mark = "serving NMEA on 127.0.0.1:";
  std::string err;
  const auto said = [&] {
    err = Err();
    return err.find('\n', err.find(mark)) != std::string::npos || Exited();
  };
  if (!WaitUntil(said, "the port") || err.find(mark) == std::string::npos) return -1;
  return std::stoi(err.substr(err.find(mark) + mark.size()));
}

int BackgroundCli::Wait(int signal) {
  if (signal != 0 && pid_ > 0) kill(pid_, signal);
  if (!WaitUntil([this] { return Exited(); }, "wayloom-cli to end: " + Err())) return -1;
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

}  // namespace wayloom::test
