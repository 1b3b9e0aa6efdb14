// Waiting for sockets (and, where there are such, descriptors) to become ready: poll on POSIX,
// its Winsock twin on Windows, so that the poll loops of the live output are the same everywhere.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <vector>

namespace wayloom {

#ifdef _WIN32
using PollHandle = SOCKET;
#else
using PollHandle = int;
#endif

inline pollfd PollEntry(PollHandle handle, short events) {
  pollfd entry{};
  entry.fd = handle;
  entry.events = events;
  return entry;
}

// Waits until one of fds is ready or waitMs (at least 0) has passed; a signal may end it early.
// The number of entries ready, 0 when none (every revents then cleared).
int WaitReady(std::vector<pollfd>& fds, double waitMs);

}  // namespace wayloom
