#include <clocale>
#include <cstdio>

#include "cli/cli.h"
#include "platform/platform.h"

int main(int argc, char* argv[]) {
  // First, before anything opens a file that could take the place of a closed standard stream.
  const bool outputClosed = wayloom::GuardStandardStreams();
  // Take the user's locale as the window toolkit does, so the command line runs under the same
  // conditions as the window; the engine's numbers do not depend on it.
  std::setlocale(LC_ALL, "");
  wayloom::InstallStopSignals();
  wayloom::KeepLargeBlocksMapped();
  return wayloom::RunCli(argc, argv, stdin, outputClosed ? nullptr : stdout, stderr);
}
