#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "platform/platform.h"

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};
// The pipe a live wait watches, or null.
std::atomic<const WakePipe*> g_stopWake{nullptr};

// The terminal TerminalKeys has taken keys from (or -1), and its settings before.
std::atomic<int> g_keysFd{-1};
termios g_terminalBefore{};
termios g_terminalKeys{};
constexpr int kFatalSignals[] = {SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// Safe in a signal handler.
void RestoreTerminal() {
  const int fd = g_keysFd.load();
  if (fd >= 0) tcsetattr(fd, TCSANOW, &g_terminalBefore);
}

extern "C" void OnStopSignal(int) {
  g_stopRequested.store(true);
  if (const WakePipe* pipe = g_stopWake.load()) pipe->Wake();
  RestoreTerminal();
}

// A signal that ends the program, or stops it (Ctrl-Z): the terminal as it was first, then what
// the signal does by default; a program that goes on takes keys again.
extern "C" void OnEndingSignal(int number) {
  const int savedErrno = errno;
  RestoreTerminal();
  signal(number, SIG_DFL);
  raise(number);
  const int fd = g_keysFd.load();
  if (number == SIGTSTP && fd >= 0) {
    tcsetattr(fd, TCSANOW, &g_terminalKeys);
    signal(SIGTSTP, OnEndingSignal);
  }
  errno = savedErrno;
}

}  // namespace

void InstallStopSignals() {
  // No SA_RESTART: a stop interrupts a blocking open (a pipe without a writer) or read (the
  // overwrite question), which then look at the stop request.
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
  // Beyond a file-size limit a write then fails and is reported, instead of the process dying
  // with half a line at the end of its file.
  action.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &action, nullptr);
}

bool StopRequested() { return g_stopRequested.load(std::memory_order_relaxed); }

void RequestStop() { OnStopSignal(0); }

TerminalKeys::TerminalKeys(std::FILE* stream) {
  const int fd = fileno(stream);
  if (isatty(fd) != 1 || tcgetattr(fd, &g_terminalBefore) != 0) return;
  g_terminalKeys = g_terminalBefore;
  g_terminalKeys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  g_terminalKeys.c_cc[VMIN] = 1;
  g_terminalKeys.c_cc[VTIME] = 0;
  g_keysFd.store(fd);
  for (const int number : kFatalSignals) signal(number, OnEndingSignal);
  signal(SIGTSTP, OnEndingSignal);
  if (tcsetattr(fd, TCSANOW, &g_terminalKeys) != 0) return;
  fd_ = fd;
}

TerminalKeys::~TerminalKeys() {
  if (g_keysFd.load() < 0) return;
  RestoreTerminal();
  g_keysFd.store(-1);
  for (const int number : kFatalSignals) signal(number, SIG_DFL);
  signal(SIGTSTP, SIG_DFL);
}

bool TerminalKeys::Read(int wakeFd, std::string& keys) {
  keys.clear();
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  if (fd_ < 0 || poll(fds, wakeFd >= 0 ? 2 : 1, -1) <= 0) return fd_ >= 0 && errno == EINTR;
  if (fds[1].revents != 0) return false;
  char bytes[64];
  const ssize_t count = read(fd_, bytes, sizeof bytes);
  if (count <= 0) return false;
  keys.assign(bytes, static_cast<std::size_t>(count));
  return true;
}

WakePipe::WakePipe() {
  if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
}

WakePipe::~WakePipe() {
  for (const int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

void WakePipe::Wake() const {
  if (fds_[1] < 0) return;
  const int savedErrno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(fds_[1], &byte, 1);
  errno = savedErrno;
}

void DrainWake(int readFd) {
  char bytes[64];
  while (readFd >= 0 && read(readFd, bytes, sizeof bytes) > 0) {
  }
}

StopWake::StopWake() { g_stopWake.store(&pipe_); }

StopWake::~StopWake() { g_stopWake.store(nullptr); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void KeepLargeBlocksMapped() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // the library's first value, now fixed
#endif
}

bool GuardStandardStreams() {
  bool outputClosed = false;
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor: this one.
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) close(null);
    if (fd == 1) outputClosed = true;
  }
  return outputClosed;
}

const char* NullDevice() { return "/dev/null"; }

std::vector<std::string> SerialPortNames(const std::string& devRoot) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  std::vector<std::string> stable;
  for (const auto& entry : fs::directory_iterator(devRoot + "/serial/by-id", error)) {
    stable.push_back(entry.path().string());
  }
  std::sort(stable.begin(), stable.end());
  names.insert(names.end(), stable.begin(), stable.end());
  for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    // By number, so that ttyS10 comes after ttyS9.
    std::vector<std::pair<unsigned long, std::string>> group;
    for (const auto& entry : fs::directory_iterator(devRoot, error)) {
      const std::string name = entry.path().filename().string();
      const std::string number = name.substr(std::min(name.size(), prefix.size()));
      if (name.rfind(prefix, 0) != 0 || number.empty() || number.size() > 6 ||
          !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        continue;
      }
      group.emplace_back(std::stoul(number), entry.path().string());
    }
    std::sort(group.begin(), group.end());
    for (const auto& port : group) names.push_back(port.second);
  }
  return names;
}

}  // namespace wayloom
