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
