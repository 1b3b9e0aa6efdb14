// What the engine and command-line tests share: the headers they use, a scripted message box, fixed
// option states, a temporary folder with small file utilities, and wayloom-cli run in this process
// or in the background.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/calendar.h"
#include "base/host.h"
#include "base/number_text.h"
#include "cli/cli.h"
#include "motion/track_engine.h"
#include "sentences/nmea.h"

namespace wayloom::test {

// Records every message and question; answers questions from a script (No when it runs out).
class ScriptedPrompter : public Prompter {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& question) override {
    questions.push_back(question);
    const bool answer = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::deque<bool> answers;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
};

class FixedOptionStates : public OptionStates {
 public:
  bool ReorderTicked() const override { return reorder; }
  bool ExtraPointsTicked() const override { return extraPoints; }
  bool reorder = false;
  bool extraPoints = false;
};

// The command line run in this process, with a standard input that is no terminal.
struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};
CliRun InvokeCli(std::vector<std::string> arguments);

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// Whether fopen takes path for reading: a folder does on Linux, not on Windows.
bool OpensAsFile(const std::string& path);
// The fields the classic formatter writes, as strings: hhmmss.sss with its comma, and a latitude
// or longitude field from its text.
std::string TimeField(double clockMs);
std::string LatitudeField(std::string_view text);
std::string LongitudeField(std::string_view text);
// Whether sentence ends in '*' and the right checksum, as two upper-case hex digits.
bool ChecksumHolds(std::string_view sentence);
// start ('$' or '!'), body, '*' and the checksum, framed by the sentence framer.
std::string Framed(std::string_view body, char start = '$');
// The lines one after the other, each followed by end.
std::string JoinLines(const std::vector<std::string>& lines, std::string_view end = "\r\n");
// Splits a track into its lines, each without its CR LF; fails the test on a line without CR LF.
std::vector<std::string> TrackLines(const std::string& bytes);
// The pieces of text between separators: the fields of a sentence (the last one with its checksum).
std::vector<std::string> Split(std::string_view text, std::string_view separator = ",");

// The textbook dilutions of precision (HDOP, VDOP, PDOP) of satellites in these directions
// (elevation and azimuth in degrees); empty when they fix no position.
std::vector<double> TextbookDops(const std::vector<std::array<double, 2>>& directions);

// wayloom-cli started in the background: standard input from stdinPath, standard output to
// /dev/null, standard error to a file. Killed at the end if it is still running.
class CliProcess {
 public:
  CliProcess(const TempDir& dir, std::vector<std::string> arguments,
             const std::string& stdinPath = "/dev/null");
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  std::string Err() const;
  // The port from "serving NMEA on 127.0.0.1:PORT", once the program has said it.
  int Port();
  // Waits until condition holds while the program runs; false (and a test failure) if it never
  // does. Only a guard against a hung run: every wait normally ends in a fraction of it.
  bool WaitUntil(const std::function<bool()>& condition, const char* what);
  // Whether it has a handler for signal; whether it sleeps (blocked in a system call).
  bool Catches(int signal) const;
  void Signal(int signal) const;
  bool Sleeping() const;
  // Waits for the program to end, signalling it first unless signal is 0. Its exit status, or -1
  // when it did not exit by itself (killed by a signal).
  int Wait(int signal = 0);

 private:
  bool Exited();
  std::string errPath_;
  pid_t pid_ = -1;
  int status_ = 0;
};

// A serial line: a pseudo-terminal whose device stands for the serial port, its master side for
// the far end of the line.
struct SerialLine {
  SerialLine();
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;
  int master;
  std::string device;
};

// The greeting of an emulator console that asks for its token.
inline constexpr const char* kConsoleAsksForToken =
    "Android Console: Authentication required\r\n"
    "Android Console: type 'auth <auth_token>' to authenticate\r\nOK\r\n";

// A phone emulator's console on loopback, for one connection: it sends the greeting (and then
// nothing more, when it has no "OK" line), then answers the client's i-th line with replies[i]
// ("OK" once they run out; "close" closes), recording every line.
class ConsoleStandIn {
 public:
  ConsoleStandIn(std::string greeting, std::vector<std::string> replies);
  ~ConsoleStandIn();
  ConsoleStandIn(const ConsoleStandIn&) = delete;
  ConsoleStandIn& operator=(const ConsoleStandIn&) = delete;
  std::uint16_t Port() const { return port_; }
  // Every line the client sent, once it has gone (no client comes after this); a line the client
  // cut short as "(cut) TEXT".
  std::vector<std::string> Lines();

 private:
  void Serve(const std::string& greeting, const std::vector<std::string>& replies);
  int listener_;
  std::uint16_t port_ = 0;
  std::vector<std::string> lines_;
  std::thread thread_;
};

// A TCP client on 127.0.0.1:port; a receive buffer of receiveBytes when it is not 0.
int Connect(int port, int receiveBytes = 0);
// Reads from fd until `lines` CR LF line ends have come (0: until the end of the stream).
std::string Read(int fd, std::size_t lines);

}  // namespace wayloom::test
