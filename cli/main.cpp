#include <clocale>
#include <cstdio>

#include "cli/cli.h"
#include "cli/platform.h"

int main(int argc, char* argv[]) {
  // Take the user's locale as the window toolkit does, so the command line runs under the same
  // conditions as the window; the engine's numbers do not depend on it.
  std::setlocale(LC_ALL, "");
  wayloom::PrepareStandardStreams();
  wayloom::InstallStopSignals();
  return wayloom::RunCli(argc, argv, stdin, stdout, stderr);
}
