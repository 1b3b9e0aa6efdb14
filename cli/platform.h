// What the command line needs from the operating system, gathered in one place: the signals that
// ask a running command to stop, a descriptor that live waits watch for them, the state of the
// standard streams, and the words for the system's error numbers.
#pragma once

#include <cstdio>
#include <string>
#include <system_error>

namespace wayloom {

// Whether SIGINT, SIGTERM or SIGHUP has come since InstallStopSignals (declared in cli/cli.h).
bool StopRequested();

// While it lives, a descriptor that becomes readable when a stop is requested, so that a wait on
// sockets ends at once; -1 when none could be made.
class StopWake {
 public:
  StopWake();
  ~StopWake();
  StopWake(const StopWake&) = delete;
  StopWake& operator=(const StopWake&) = delete;
  int Fd() const { return fds_[0]; }

 private:
  int fds_[2];
};

bool IsTerminal(std::FILE* stream);

// Puts the null device on each of the three standard descriptors that is closed, so that no file
// or socket opened later takes its place (and the track or a message lands in the wrong file).
// True when standard output was one of them: it is then no place to write a track to.
bool GuardStandardStreams();

// The system's reason in a few English words, whatever the locale ("no such file or folder").
std::string ReasonText(std::error_code reason);

}  // namespace wayloom
