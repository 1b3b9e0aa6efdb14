#include <cstdio>

#include "cli.h"

int main(int argc, char* argv[]) {
  wayloom::InstallStopSignals();
  return wayloom::RunCli(argc, argv, stdin, stdout, stderr);
}
