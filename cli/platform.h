// What the command line does differently on each platform: the standard streams, telling a
// terminal or console from a file or pipe, Ctrl-C, and the null device. platform_posix.cpp and
// platform_windows.cpp implement it; the rest of the command line is the same everywhere.
#pragma once

#include <cstdio>

namespace wayloom::platform {

// Readies the standard streams: standard output takes the track byte for byte (no CR added before
// a LF), and messages reach a console as UTF-8, the encoding of file names inside the program.
void PrepareStandardStreams();

// Makes Ctrl-C (and SIGTERM or Ctrl-Break) ask a running track to stop after its current pair.
void InstallStopHandlers();
bool StopRequested();
// A descriptor that becomes readable when a stop is requested, so that a live wait ends at once;
// -1 where there is none.
int StopWakeFd();

// Whether a person at a terminal or console can answer what is asked on stream: false for files,
// pipes and the null device.
bool IsInteractive(std::FILE* stream);

// The device that takes whatever is written to it and keeps none of it.
const char* NullDevice();

}  // namespace wayloom::platform
