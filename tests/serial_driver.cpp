// Stands in for the command line's serial output in the tests until it has one: sends the fixes of
// an NMEA track file (a fix starts at each sentence of the kind the file starts with) through a
// serial port at the pace the line carries them, and says how many went and how many were skipped.
// Usage: wayloom_serial_driver DEVICE[:BAUD] TRACK
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "outputs/live/serial_port.h"

int main(int argc, char** argv) {
  using namespace wayloom;
  SerialAddress address;
  std::string error;
  if (argc != 3 || !ParseSerialAddress(argv[1], address, error)) {
    std::fprintf(stderr, "usage: wayloom_serial_driver DEVICE[:BAUD] TRACK %s\n", error.c_str());
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  const std::string track((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  SerialPort port;
  if (!port.Open(address.device, address.baud, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const std::string first = "\n" + track.substr(0, track.find(','));  // "\n$GPRMC", say
  for (std::size_t start = 0; start < track.size();) {
    std::size_t end = track.find(first, start);
    end = end == std::string::npos ? track.size() : end + 1;
    port.Send(std::string_view(track).substr(start, end - start));
    start = end;
    while (port.HasQueuedBytes()) {  // the next fix goes when the line is free
      std::vector<pollfd> fds;
      port.AddPollFds(fds);
      WaitReady(fds, 10.0);
      port.HandlePoll(fds, 0);
    }
  }
  port.Close();
  std::printf("%llu fixes sent, %llu skipped\n", static_cast<unsigned long long>(port.FixesSent()),
              static_cast<unsigned long long>(port.FixesSkipped()));
  return port.FixesSkipped() == 0 && port.Failure().empty() ? 0 : 1;
}
