// What the command line needs from the operating system, gathered in one place: the signals that
// ask a running command to stop, a descriptor that live waits watch for them, the state of the
// standard streams, the null device, the serial ports there are, and the words for the system's
// error numbers.
// platform_posix.cpp and platform_windows.cpp implement it; the rest of the command line is the
// same everywhere.
#pragma once

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

namespace wayloom {

// Makes SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and a closing console on Windows) ask a
// running command to stop: while the POI file is read, at the overwrite question, after the
// current sentence pair, or in a live wait.
void InstallStopSignals();

// Whether a stop was asked for since InstallStopSignals: SIGINT, SIGTERM or SIGHUP, and on Windows
// Ctrl-C, Ctrl-Break or a closing console.
bool StopRequested();
// Asks the running command to stop as a stop signal does (a key typed for it).
void RequestStop();

// A pipe whose read end a wait on sockets watches, so that the wait ends at once when Wake is
// called (from another thread, or a signal handler). Its descriptors are -1 when none could be
// made, and always on Windows, where waits look at their stop request often instead.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  int ReadFd() const { return fds_[0]; }
  // Makes the read end readable; safe in a signal handler.
  void Wake() const;

 private:
  int fds_[2];
};

// Empties the read end of a wake pipe, so that the next wait waits again.
void DrainWake(int readFd);

// While it lives, a wake pipe that a stop signal wakes.
class StopWake {
 public:
  StopWake();
  ~StopWake();
  StopWake(const StopWake&) = delete;
  StopWake& operator=(const StopWake&) = delete;
  int Fd() const { return pipe_.ReadFd(); }
  // Ends a live wait at once without a stop (the playback changed).
  void Wake() const { pipe_.Wake(); }

 private:
  WakePipe pipe_;
};

// While it lives, a terminal on stream gives each key as it is typed, unechoed; Ctrl-C and the
// other signal keys still signal. The terminal's settings come back when it ends, and as well
// when a signal stops the program or ends it (a stop signal, a crash, Ctrl-Z until it goes on).
// Nothing changes when stream is no terminal, and on Windows.
class TerminalKeys {
 public:
  explicit TerminalKeys(std::FILE* stream);
  ~TerminalKeys();
  TerminalKeys(const TerminalKeys&) = delete;
  TerminalKeys& operator=(const TerminalKeys&) = delete;
  bool Active() const { return fd_ >= 0; }
  // Waits for keys, or for wakeFd to become readable. False, with no keys, when it woke that way
  // or the terminal has gone.
  bool Read(int wakeFd, std::string& keys);

 private:
  int fd_ = -1;
};

// Whether a person at a terminal or console can answer what is asked on stream: false for files,
// pipes and the null device.
bool IsTerminal(std::FILE* stream);

// Puts the null device on each of the three standard descriptors that is closed, so that no file
// or socket opened later takes its place (and the track or a message lands in the wrong file).
// True when standard output was one of them: it is then no place to write a track to. Then
// readies them: standard output takes the track byte for byte (no CR added before a LF), and
// messages reach a console as UTF-8, the encoding of file names inside the program.
bool GuardStandardStreams();

// Asks the C library to give large freed blocks back to the system at once. The GNU C library
// otherwise raises the size it maps blocks from to the largest one freed, and later blocks of
// that size stay in the heap after they are freed: the peak of a closest-order track of a large
// file rose by a quarter once the file was read in two halves. Nothing to do elsewhere.
void KeepLargeBlocksMapped();

// The device that takes whatever is written to it and keeps none of it.
const char* NullDevice();

// The serial ports the system has, for a person to choose from: on Linux the stable names in
// /dev/serial/by-id, then the /dev/ttyUSB*, /dev/ttyACM* and /dev/ttyS* that exist, each group in
// number order; on Windows the COM ports. devRoot stands for /dev (a test gives a folder of its
// own; Windows has none).
std::vector<std::string> SerialPortNames(const std::string& devRoot = "/dev");

// The system's reason in a few English words, whatever the locale ("no such file or folder").
std::string ReasonText(std::error_code reason);

}  // namespace wayloom
