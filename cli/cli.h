// wayloom-cli: the command line front end. The engine does the work; this file turns arguments into
// settings, answers the engine's questions on the terminal, and turns the outcome into an exit
// status.
#pragma once

#include <cstdio>
#include <string>

namespace wayloom {

// Exit statuses.
constexpr int kExitOk = 0;             // no error message was shown
constexpr int kExitError = 1;          // an error message was shown, or the destination was kept
constexpr int kExitUsage = 2;          // the command line was wrong
constexpr int kExitInterrupted = 130;  // stopped by SIGINT, SIGTERM or SIGHUP

// Runs the command line with the given streams; main() passes stdin, stdout (null when it is
// closed) and stderr.
int RunCli(int argc, const char* const argv[], std::FILE* in, std::FILE* out, std::FILE* err);

}  // namespace wayloom
