// Receiver mode of the command line (--speed): its options handed to the shared checks and run
// (track/receiver_settings.h, track/receiver_track.h), with the outputs and messages of a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/host.h"
#include "job/receiver_settings.h"

namespace wayloom {

// The texts of the receiver options, as given.
struct ReceiverArgs : ReceiverSettings {
  std::string udp;
};

// The options that mean something only with --speed.
inline constexpr const char* kReceiverOnlyOptions[] = {"--dwell", "--start", "--sentences",
                                                       "--noise", "--seed",  "--udp"};

// What the rest of the command line has already read and checked.
struct ReceiverRequest {
  std::string source;
  std::string dest;  // empty: none; "-": standard output
  std::string period;
  std::vector<std::string> given;  // every option given, by name
  bool reorder = false;
  bool loop = false;
  bool quiet = false;
  std::optional<CalendarDate> date;
  bool serve = false;
  std::string serveHost;
  std::uint16_t servePort = 0;
  std::string pty;  // empty: none
  double speedup = 1.0;
  std::size_t waitClients = 0;
  double clientTimeoutSeconds = 30.0;  // a TCP client that takes nothing this long is dropped
  Prompter* prompter = nullptr;        // asks before DEST is overwritten
  std::function<bool()> stopRequested;
  int wakeFd = -1;  // readable once a stop is requested
};

// Checks the receiver options (exit status 2 and a message when one is wrong, before anything is
// written), then reads the route and sends the fixes to every output. Returns the exit status.
int RunReceiver(const ReceiverArgs& args, const ReceiverRequest& request, std::FILE* out,
                std::FILE* err);

}  // namespace wayloom
