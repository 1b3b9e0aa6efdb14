#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/platform.h"

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};
// The pipe a live wait watches, or null.
std::atomic<const WakePipe*> g_stopWake{nullptr};

extern "C" void OnStopSignal(int) {
  g_stopRequested.store(true);
  if (const WakePipe* pipe = g_stopWake.load()) pipe->Wake();
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

}  // namespace wayloom
