// The test helpers that start wayloom-cli as a process and talk to it over TCP: POSIX only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/test_support.h"

extern char** environ;

namespace wayloom::test {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(120);

CliProcess::CliProcess(const TempDir& dir, std::vector<std::string> arguments,
                       const std::string& stdinPath) {
  static int count = 0;
  errPath_ = dir.File("err-" + std::to_string(++count) + ".txt");
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, stdinPath.c_str(), O_RDONLY | O_NOCTTY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  arguments.insert(arguments.begin(), WAYLOOM_CLI);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, WAYLOOM_CLI, &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&files);
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::string CliProcess::Err() const { return ReadFile(errPath_); }

bool CliProcess::WaitUntil(const std::function<bool()>& condition, const char* what) {
  for (const auto end = Clock::now() + kPatience; Clock::now() < end && !Exited();) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ADD_FAILURE() << "never " << what << ": " << Err();
  return false;
}

int CliProcess::Port() {
  const std::string mark = "serving NMEA on 127.0.0.1:";
  std::size_t at = std::string::npos;
  const auto said = [&] {
    const std::string err = Err();
    at = err.find(mark);
    return at != std::string::npos && err.find('\n', at) != std::string::npos;
  };
  return WaitUntil(said, "served") ? std::stoi(Err().substr(at + mark.size())) : -1;
}

bool CliProcess::Catches(int signal) const {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid_) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1) != 0;
    }
  }
  return false;
}

void CliProcess::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

bool CliProcess::Sleeping() const {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid_) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && stat.compare(close, 3, ") S") == 0;
}

int CliProcess::Wait(int signal) {
  if (signal != 0 && pid_ > 0) kill(pid_, signal);
  for (const auto end = Clock::now() + kPatience; Clock::now() < end && !Exited();) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!Exited()) {
    ADD_FAILURE() << "wayloom-cli did not end: " << Err();
    return -1;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

bool CliProcess::Exited() {
  if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = -1;
  return pid_ <= 0;
}

SerialLine::SerialLine() : master(posix_openpt(O_RDWR | O_NOCTTY)) {
  grantpt(master);
  unlockpt(master);
  device = ptsname(master);
}

SerialLine::~SerialLine() { close(master); }

ConsoleStandIn::ConsoleStandIn(std::string greeting, std::vector<std::string> replies)
    : listener_(socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
  listen(listener_, 1);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this, greeting, replies] { Serve(greeting, replies); });
}

ConsoleStandIn::~ConsoleStandIn() {
  Lines();
  close(listener_);
}

std::vector<std::string> ConsoleStandIn::Lines() {
  shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  return lines_;
}

void ConsoleStandIn::Serve(const std::string& greeting, const std::vector<std::string>& replies) {
  const int client = accept(listener_, nullptr, nullptr);
  if (client < 0) return;
  std::string reply = greeting;
  std::string line;
  while (send(client, reply.data(), reply.size(), MSG_NOSIGNAL) >= 0 &&
         greeting.find("OK\r\n") != std::string::npos) {
    char c = 0;
    while (recv(client, &c, 1, 0) == 1 && c != '\n') line += c;
    if (c != '\n') break;  // the client has gone
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    line.clear();
    reply = (lines_.size() <= replies.size() ? replies[lines_.size() - 1] : "OK") + "\r\n";
    if (reply == "close\r\n") break;
  }
  if (!line.empty()) lines_.push_back("(cut) " + line);
  close(client);
}

int Connect(int port, int receiveBytes) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (receiveBytes > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to port " << port;
  }
  return fd;
}

std::string Read(int fd, std::size_t lines) {
  std::string bytes;
  std::size_t ends = 0;
  char buffer[65536];
  const auto end = Clock::now() + kPatience;
  while (Clock::now() < end && (lines == 0 || ends < lines)) {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    // A byte at a time once close to the count, so that nothing past the last line is taken.
    const std::size_t want = lines == 0 || lines - ends > 64 ? sizeof buffer : 1;
    const ssize_t n = read(fd, buffer, want);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) ends += buffer[i] == '\n';
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  if (lines > 0 && ends < lines) ADD_FAILURE() << "got " << ends << " of " << lines << " lines";
  return bytes;
}

}  // namespace wayloom::test
