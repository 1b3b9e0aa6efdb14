// A serial port that carries the live track to a receiver's usual reader: a device path on POSIX
// (/dev/ttyUSB0, /dev/ttyS0, a pseudo-terminal), COM3 or \\.\COM12 on Windows. The port is opened
// through Asio on every platform, taken for us alone, and set to 8 data bits, no parity, one stop
// bit and no flow control, at 4800 baud unless another rate is given.
//
// A serial line carries a tenth of its baud rate in characters a second (4800 baud: 480). A fix
// goes out whole or not at all: while the line is still busy with the fixes before, a new one is
// skipped and counted, so that the reader never gets part of a sentence and never falls behind.
// Only the last fix of a track, skipped so, goes out once the line is free: the reader learns
// where the track ended.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/live/socket_wait.h"

namespace wayloom {

struct SerialAddress {
  std::string device;
  unsigned baud = 4800;
};

// The rates a serial port may be given: those every system names (POSIX's B constants, Windows'
// CBR_ values) from NMEA 0183's 4800 up.
constexpr std::array<unsigned, 9> kSerialBaudRates = {4800,   9600,   19200,  38400, 57600,
                                                      115200, 230400, 460800, 921600};

// Splits DEVICE[:BAUD]. The part after the last colon is the rate when it is all digits;
// otherwise the whole text names the device (a by-path name may hold colons of its own). False,
// with error set, for an empty device, a colon with nothing after it, or a rate not in the list.
bool ParseSerialAddress(std::string_view text, SerialAddress& address, std::string& error);

// How long a fix of fixBytes characters keeps the line busy at baud (8N1: ten bits a character).
double SerialSecondsPerFix(std::size_t fixBytes, unsigned baud);

// What to tell the user at the start when fixes of fixBytes characters, due every periodSeconds
// (the track's period divided by the speed-up), do not fit the line at baud: the time each fix
// needs, and that some fixes will be skipped. Empty when they fit.
std::string SerialPaceWarning(const std::string& device, std::size_t fixBytes, double periodSeconds,
                              unsigned baud);

class SerialPort {
 public:
  SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  ~SerialPort();

  // Opens device for us alone and sets it to baud, 8N1, no flow control. False, with error set
  // and nothing sent, for a device that does not exist, is busy, is no serial port, or refuses
  // the rate.
  bool Open(const std::string& device, unsigned baud, std::string& error);
  const std::string& Device() const { return device_; }
  unsigned Baud() const { return baud_; }

  // The live loop's hooks, as for the pseudo-terminal: the port's descriptor while a write waits
  // for room (none on Windows, where writes complete on their own); HandlePoll gets fds back
  // unchanged from fds[first] on, and is to be called after every wait, even one that found
  // nothing.
  void AddPollFds(std::vector<pollfd>& fds) const;
  void HandlePoll(const std::vector<pollfd>& fds, std::size_t first);

  // Sends the bytes of one fix whole, or skips the fix when the line is still busy with the ones
  // before it (or the port has failed).
  void Send(std::string_view bytes);
  // The track has ended: its last fix, if it was skipped, goes out once the line is free (in
  // HandlePoll; HasQueuedBytes holds until then).
  void FinishTrack();
  // Whether bytes are still on their way: not yet taken by the system, or not yet carried by the
  // line at its rate.
  bool HasQueuedBytes() const;
  std::uint64_t FixesSent() const { return fixesSent_; }
  std::uint64_t FixesSkipped() const { return fixesSkipped_; }
  // The system's words for a write that failed (the device was unplugged): empty while all is well.
  const std::string& Failure() const { return failure_; }

  // Waits for a write under way to finish (no longer than its bytes need on the line and a
  // second more), so that the last sentence goes out whole, then closes the port.
  void Close();

 private:
  using Clock = std::chrono::steady_clock;
  struct Port;  // Asio stays out of this header
  void Write(std::string_view bytes);
  void RunReady();
  Clock::duration LineTime(std::size_t bytes) const;
  bool LineBusy(std::size_t bytes) const;

  std::unique_ptr<Port> port_;
  std::string device_;
  unsigned baud_ = 4800;
  std::string buffer_;  // the fix being written
  bool writing_ = false;
  std::string lastSkipped_;  // the newest fix, when it was skipped
  bool trackEnded_ = false;
  Clock::time_point lineBusyUntil_{};
  std::uint64_t fixesSent_ = 0;
  std::uint64_t fixesSkipped_ = 0;
  std::string failure_;
};

}  // namespace wayloom
