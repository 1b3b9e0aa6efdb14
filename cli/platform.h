// What the command line needs from the operating system, in one place: the stop request and a
// descriptor that live waits watch for it, the standard streams, and the null device.
// platform_posix.cpp and platform_windows.cpp implement it; the rest of the command line is the
// same everywhere.
#pragma once

#include <cstdio>

namespace wayloom {

// Whether a stop was asked for since InstallStopSignals (cli/cli.h): Ctrl-C or SIGTERM, and on
// Windows Ctrl-Break or a closing console.
bool StopRequested();

// While it lives, a descriptor that becomes readable when a stop is requested, so that a wait on
// sockets ends at once; -1 where there is none.
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

// Whether a person at a terminal or console can answer what is asked on stream: false for files,
// pipes and the null device.
bool IsTerminal(std::FILE* stream);

// Readies the standard streams: standard output takes the track byte for byte (no CR added before
// a LF), and messages reach a console as UTF-8, the encoding of file names inside the program.
void PrepareStandardStreams();

// The device that takes whatever is written to it and keeps none of it.
const char* NullDevice();

}  // namespace wayloom
