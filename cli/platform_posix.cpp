#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "cli/cli.h"
#include "cli/platform.h"

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};
// The write end of the pipe a live wait watches, or -1.
std::atomic<int> g_wakeFd{-1};

extern "C" void OnStopSignal(int) {
  g_stopRequested.store(true);
  const int fd = g_wakeFd.load();
  if (fd >= 0) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    errno = savedErrno;
  }
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stopRequested.load(std::memory_order_relaxed); }

StopWake::StopWake() {
  if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  g_wakeFd.store(fds_[1]);
}

StopWake::~StopWake() {
  g_wakeFd.store(-1);
  for (const int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void PrepareStandardStreams() {}

const char* NullDevice() { return "/dev/null"; }

}  // namespace wayloom
