#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace wayloom {
namespace {

std::atomic<bool> g_stopRequested{false};
UINT g_consoleOutputCodePage = 0;

// Called on a thread of its own. Returning TRUE keeps the process alive: the track stops after
// its current pair and the program ends as usual, every line complete. A closing console ends the
// process once this returns, so then it waits here for the program to end first (Windows allows
// five seconds).
BOOL WINAPI OnConsoleControl(DWORD event) {
  g_stopRequested.store(true);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(4000);
  return TRUE;
}

bool IsConsole(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  DWORD mode = 0;
  return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != 0;
}

void RestoreConsoleCodePage() { SetConsoleOutputCP(g_consoleOutputCodePage); }

}  // namespace

void KeepLargeBlocksMapped() {}

// Windows gives a process without standard handles the null device for them already.
bool GuardStandardStreams() {
  // Text mode would write every LF of the track as CR LF, and its CR LF as CR CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  if (IsConsole(stderr)) {
    g_consoleOutputCodePage = GetConsoleOutputCP();
    if (g_consoleOutputCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
      std::atexit(RestoreConsoleCodePage);
    }
  }
  return false;
}

void InstallStopSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return g_stopRequested.load(std::memory_order_relaxed); }

void RequestStop() { g_stopRequested.store(true); }

TerminalKeys::TerminalKeys(std::FILE*) {}
TerminalKeys::~TerminalKeys() = default;
bool TerminalKeys::Read(int, std::string&) { return false; }

// The console handler needs no descriptor: without one, live waits look at the stop request often.
WakePipe::WakePipe() { fds_[0] = fds_[1] = -1; }
WakePipe::~WakePipe() = default;
void WakePipe::Wake() const {}
void DrainWake(int) {}
StopWake::StopWake() = default;
StopWake::~StopWake() = default;

// isatty is true for NUL as well; only a console answers.
bool IsTerminal(std::FILE* stream) { return IsConsole(stream); }

const char* NullDevice() { return "NUL"; }

std::vector<std::string> SerialPortNames(const std::string&) {
  std::vector<std::string> names;
  char target[1024];
  for (int number = 1; number <= 255; ++number) {
    const std::string name = "COM" + std::to_string(number);
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) names.push_back(name);
  }
  return names;
}

}  // namespace wayloom
