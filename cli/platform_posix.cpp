#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "cli/platform.h"

namespace wayloom::platform {
namespace {

std::atomic<bool> g_stopRequested{false};
// The pipe whose read end a live wait watches; its write end gets a byte from the handler.
int g_wakeFds[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  g_stopRequested.store(true);
  if (g_wakeFds[1] >= 0) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_wakeFds[1], &byte, 1);
    errno = savedErrno;
  }
}

}  // namespace

void PrepareStandardStreams() {}

void InstallStopHandlers() {
  if (g_wakeFds[0] < 0 && pipe2(g_wakeFds, O_NONBLOCK | O_CLOEXEC) != 0) {
    g_wakeFds[0] = g_wakeFds[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stopRequested.load(std::memory_order_relaxed); }

int StopWakeFd() { return g_wakeFds[0]; }

bool IsInteractive(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

const char* NullDevice() { return "/dev/null"; }

}  // namespace wayloom::platform
