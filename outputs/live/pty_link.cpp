#include "outputs/live/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wayloom {
namespace {

std::string ReadLink(const std::string& path) {
  char target[4096];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  return length > 0 && static_cast<std::size_t>(length) < sizeof target
             ? std::string(target, static_cast<std::size_t>(length))
             : std::string();
}

// A link left behind by an earlier run that was killed: it points to a pseudo-terminal device
// that no longer exists. Anything else at path belongs to someone.
bool IsStaleDeviceLink(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
  const std::string target = ReadLink(path);
  return target.rfind("/dev/pts/", 0) == 0 && access(target.c_str(), F_OK) != 0 && errno == ENOENT;
}

// Opens the device side, runs action on it and closes it again.
template <typename Action>
bool WithDevice(const std::string& devicePath, Action action) {
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool done = action(fd);
  close(fd);
  return done;
}

}  // namespace

bool PtyLink::Open(const std::string& linkPath, std::string& error) {
  Close();
  const auto fail = [&](const std::string& what) {
    const int code = errno;
    error = what + ": " + std::strerror(code);
    Close();
    return false;
  };
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return fail("cannot open a pseudo-terminal");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0)
    return fail("cannot set up a pseudo-terminal");
  const char* name = ptsname(master_);
  if (!name) return fail("cannot name the pseudo-terminal");
  devicePath_ = name;

  // Raw mode, set once: the device keeps its settings while the master side is open. Opening and
  // closing the device here also leaves the master side reporting that no reader has it open.
  const bool raw = WithDevice(devicePath_, [](int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
  });
  if (!raw) return fail("cannot put " + devicePath_ + " in raw mode");

  if (symlink(devicePath_.c_str(), linkPath.c_str()) != 0) {
    if (errno != EEXIST || !IsStaleDeviceLink(linkPath)) {
      if (errno == EEXIST) {
        error = linkPath + " already exists and was left as it was";
        Close();
        return false;
      }
      return fail("cannot link " + linkPath + " to " + devicePath_);
    }
    // Replaced only if nobody has put something else there meanwhile.
    if (unlink(linkPath.c_str()) != 0 || symlink(devicePath_.c_str(), linkPath.c_str()) != 0) {
      return fail("cannot link " + linkPath + " to " + devicePath_);
    }
  }
  linkPath_ = linkPath;
  return true;
}

bool PtyLink::ReaderPresent() {
  if (master_ < 0) return false;
  pollfd master{master_, POLLOUT, 0};
  poll(&master, 1, 0);
  const bool present = (master.revents & POLLHUP) == 0;
  if (!present && reader_) ReaderGone();
  reader_ = present;
  return present;
}

bool PtyLink::ReaderHasUnreadBytes() const {
  if (master_ < 0 || !reader_) return false;
  // What the master wrote waits in the device's input queue until the reader takes it; only the
  // device side can tell how much is there. The bytes reach that queue a moment after the write:
  // a poll of the device first waits for them to get there.
  int unread = 0;
  WithDevice(devicePath_, [&unread](int fd) {
    pollfd device{fd, POLLIN, 0};
    poll(&device, 1, 0);
    return ioctl(fd, FIONREAD, &unread) == 0;
  });
  return unread > 0;
}

void PtyLink::ReaderGone() {
  reader_ = false;
  queue_.clear();
  sent_ = 0;
  // What the last reader left unread would reach the next one first: throw it away.
  WithDevice(devicePath_, [](int fd) { return tcflush(fd, TCIFLUSH) == 0; });
}

void PtyLink::AddPollFds(std::vector<pollfd>& fds) const {
  // Without a reader the master side reports a hang-up all the time: it is left out then, and
  // ReaderPresent looks for a new reader before every pair.
  if (master_ < 0 || !reader_) return;
  fds.push_back(
      pollfd{master_, static_cast<short>(POLLIN | (HasUnwrittenBytes() ? POLLOUT : 0)), 0});
}

void PtyLink::HandlePoll(const std::vector<pollfd>& fds, std::size_t first) {
  if (master_ < 0 || !reader_ || first >= fds.size()) return;
  const short events = fds[first].revents;
  if (events & POLLHUP) {
    ReaderGone();
    return;
  }
  if (events & POLLIN) {  // what the reader writes to the device (a probe, a setting): not for us
    char buffer[4096];
    for (int reads = 0; reads < 16 && read(master_, buffer, sizeof buffer) > 0; ++reads) {
    }
  }
  if (events & POLLOUT) Flush();
}

void PtyLink::Send(std::string_view bytes) {
  if (!ReaderPresent()) return;
  if (HasUnwrittenBytes()) {
    ++fixesDropped_;  // still busy with the fix before: the reader is behind
    return;
  }
  queue_.assign(bytes.data(), bytes.size());
  sent_ = 0;
  Flush();
  if (sent_ == 0 && HasUnwrittenBytes()) {
    // Nothing of it went: leave it out whole.
    queue_.clear();
    ++fixesDropped_;
  }
}

void PtyLink::Flush() {
  while (sent_ < queue_.size()) {
    const ssize_t n = write(master_, queue_.data() + sent_, queue_.size() - sent_);
    if (n > 0) {
      sent_ += static_cast<std::size_t>(n);
    } else {
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
      ReaderGone();  // the device was closed under us
      return;
    }
  }
  queue_.clear();
  sent_ = 0;
}

void PtyLink::Close() {
  // Only our own link is removed: if someone replaced it meanwhile, theirs stays.
  if (!linkPath_.empty() && ReadLink(linkPath_) == devicePath_) unlink(linkPath_.c_str());
  linkPath_.clear();
  if (master_ >= 0) close(master_);
  master_ = -1;
  reader_ = false;
  queue_.clear();
  sent_ = 0;
}

}  // namespace wayloom
