#include "outputs/live/socket_wait.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cmath>
#include <ctime>

namespace wayloom {

int WaitReady(std::vector<pollfd>& fds, double waitMs) {
#ifdef _WIN32
  // Whole milliseconds, rounded up so that a wait is never cut short.
  const int timeout = static_cast<int>(std::ceil(waitMs));
  int ready = 0;
  if (fds.empty()) {
    Sleep(static_cast<DWORD>(timeout));
  } else {
    ready = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout);
  }
#else
  // Nanoseconds: at a high speed-up the waits are well below a millisecond.
  const double ns = std::ceil(waitMs * 1e6);
  timespec timeout{};
  timeout.tv_sec = static_cast<time_t>(ns / 1e9);
  timeout.tv_nsec = static_cast<long>(ns - static_cast<double>(timeout.tv_sec) * 1e9);
  const int ready = ppoll(fds.data(), fds.size(), &timeout, nullptr);
#endif
  if (ready > 0) return ready;
  for (pollfd& fd : fds) fd.revents = 0;
  return 0;
}

}  // namespace wayloom
