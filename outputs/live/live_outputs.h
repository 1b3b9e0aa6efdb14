// Live output: every fix of a track sent when its time on the track's clock has come, to TCP
// clients, as UDP datagrams, through a pseudo-terminal, to serial ports and to a phone emulator's
// console. One object opens the outputs asked for, says where they are, paces the fixes and sends
// them, reports what went out, and closes the outputs again: every kind of track and both front
// ends use it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/fix.h"
#include "outputs/live/emulator_console.h"
#include "outputs/live/pacer.h"
#include "outputs/live/playback.h"
#include "outputs/live/pty_link.h"
#include "outputs/live/serial_port.h"
#include "outputs/live/tcp_server.h"
#include "outputs/live/udp_sender.h"

namespace wayloom {

// What live output is asked for, checked.
struct LiveSettings {
  bool serve = false;  // TCP clients at serveHost:servePort (port 0: any free one)
  std::string serveHost = "127.0.0.1";
  std::uint16_t servePort = 0;
  std::size_t waitClients = 0;         // the first fix waits until this many clients are in
  double clientTimeoutSeconds = 30.0;  // a TCP client that takes nothing this long is dropped
  bool udp = false;                    // one datagram a fix to udpHost:udpPort
  std::string udpHost;
  std::uint16_t udpPort = 0;
  std::string ptyLink;  // a pseudo-terminal linked here; empty for none
  std::vector<SerialAddress> serialPorts;
  bool emulator = false;  // the emulator console at emulatorHost:emulatorPort
  std::string emulatorHost;
  std::uint16_t emulatorPort = 0;
  std::string emulatorTokenPath;
  double speedup = 1.0;
  bool loop = false;  // the track starts over after its last fix, the clock going on
  // The track's time between fixes, for the warning about serial ports too slow for it; 0 when
  // it has none (a recording's fixes come as they were recorded).
  double periodSeconds = 0.0;
  // Pause, seek and speed-up while the track runs, shared with the front end; null: the track
  // plays straight through at speedup.
  std::shared_ptr<Playback> playback;

  bool Wanted() const {
    return serve || udp || !ptyLink.empty() || !serialPorts.empty() || emulator;
  }
};

struct SerialCounts {
  std::string device;
  unsigned baud = 0;
  std::uint64_t fixesSent = 0;
  std::uint64_t fixesSkipped = 0;  // the line was still busy with the fixes before
  std::string failure;             // why writes stopped (the device went); empty while all is well
};

struct ConsoleCounts {
  std::string address;
  std::uint64_t commandsSent = 0;
  std::uint64_t commandsRefused = 0;
  std::string firstRefusal;
  std::uint64_t fixesSkipped = 0;  // the console was too far behind
  std::string failure;             // what ended the connection; empty while all is well
};

// How live output is going, for a front end to show.
struct LiveCounts {
  std::uint64_t fixesSent = 0;
  std::uint64_t sentencesSent = 0;
  std::size_t clients = 0;                   // TCP clients connected now
  std::vector<std::string> clientAddresses;  // where they are, HOST:PORT
  ServerCounts tcp;
  std::uint64_t fixesLeftOutForPty = 0;
  bool ptyReaderOpen = false;  // as last seen
  std::uint64_t datagramsSent = 0;
  std::uint64_t datagramsLost = 0;
  std::vector<SerialCounts> serial;  // in the order given
  std::optional<ConsoleCounts> console;
  // A line for each output, in the order they were opened: where it is and how it goes
  // ("TCP 127.0.0.1:10110: 2 clients now, 3 served"), for a front end's status.
  std::vector<std::string> statuses;
};

class LiveOutputs : public FixListener {
 public:
  // stopRequested is asked while waiting; wakeFd (or -1) becomes readable when a stop is requested,
  // so that a wait ends at once instead of when it runs out.
  LiveOutputs(const LiveSettings& settings, std::function<bool()> stopRequested, int wakeFd);
  ~LiveOutputs() override;
  LiveOutputs(const LiveOutputs&) = delete;
  LiveOutputs& operator=(const LiveOutputs&) = delete;

  // Opens every output asked for. False, with error set and every output closed again, when one
  // cannot be opened; DeviceRefused() then tells whether it was a serial port or the emulator's
  // console that was refused (a device or address that cannot be used as given).
  bool Open(std::string& error);
  bool DeviceRefused() const { return deviceRefused_; }
  // Where the open outputs are, a line each ("serving NMEA on 127.0.0.1:10110", "NMEA on
  // /dev/pts/3, linked at LINK", "sending NMEA datagrams to HOST:PORT", "NMEA on serial port
  // /dev/ttyUSB0 at 4800 baud", "sending fixes to the emulator console at 127.0.0.1:5554"): to be
  // said at once, as a script started with port 0 reads its port there.
  const std::vector<std::string>& Addresses() const { return addresses_; }
  // The same places alone: HOST:PORT, the pseudo-terminal's or serial port's device.
  const std::vector<std::string>& Endpoints() const { return endpoints_; }
  // For each serial port too slow for fixes of fixBytes characters at the settings' period (by the
  // speed-up): the time a fix needs there, and that fixes will be skipped. Nothing without a
  // period.
  std::vector<std::string> PaceWarnings(std::size_t fixBytes) const;
  // Where the pace warnings go, measured on the first fix just before it is sent: the job's notes.
  void SetNotes(std::function<void(const std::string&)> note) { note_ = std::move(note); }

  // Waits until the fix is due (the first one also until enough clients are in), serving the
  // outputs meanwhile, then sends its sentences: to every TCP client, through the pseudo-terminal,
  // as one datagram, to every serial port and (its GGA and RMC) to the emulator's console.
  // With a playback, a pause holds the fix back until resumed, sending nothing meanwhile (the
  // job's tracks stand through it instead: job/live_rounds.h), a seek is let go, and a new
  // speed-up paces the fixes from now on.
  void OnFix(const Fix& fix, const SentenceLines& sentences) override;
  // The same wait and send for a track that handles pauses and seeks itself: false, with nothing
  // sent, when a stop is requested or the playback changes before the fix is due. Without
  // sentences the fix is only paced: its time passes, nothing goes out (a pause that sends
  // nothing).
  bool Send(const Fix& fix, const SentenceLines* sentences);
  // Serves the outputs until the playback changes. False when stopped.
  bool WaitForChange();
  Playback* PlaybackControl() const { return settings_.playback.get(); }
  bool StopRequested() const { return stopRequested_ && stopRequested_(); }

  // After the last fix: sends what is still queued, lets the serial lines carry it and the console
  // answer it (for a few seconds at most, or until a stop is requested), and closes every output,
  // so that clients see the stream end.
  void Finish();
  // Closes every output at once (after a stop): clients disconnected, the link removed, a serial
  // port's fix under way let out whole.
  void Close();

  LiveCounts Counts() const;
  // What went out, as a summary line says it: "N sentences sent live, K client(s) served, ...".
  std::string Report() const;

  // How long Finish waits for slow clients.
  static constexpr std::chrono::milliseconds kFinishTime{3000};

 private:
  // Serves clients and the reader until done() is true (before a wait and still after it), or a
  // stop is requested; waits of at most until untilMs (a time of NowMs) at a time. False when
  // stopped.
  bool ServeUntil(double untilMs, const std::function<bool()>& done);
  // One wait on every output's sockets (and the wake-up), of at most waitMs, and what it found
  // handled.
  void ServeOnce(double waitMs);
  // Serves the outputs until enough TCP clients have settled in. False when stopped.
  bool WaitForClients();
  bool EnoughClients() const;
  // Paces the fixes from now on by the playback's speed-up, when it has changed.
  void FollowSpeedup();
  bool HasQueuedBytes() const;
  bool OpenDevices(std::string& error);
  std::vector<std::string> Statuses(const LiveCounts& counts) const;

  LiveSettings settings_;
  Pacer pacer_;
  std::function<bool()> stopRequested_;
  std::function<void(const std::string&)> note_;
  int wakeFd_;
  std::unique_ptr<TcpServer> server_;
  std::unique_ptr<PtyLink> pty_;
  std::unique_ptr<UdpSender> udp_;
  std::vector<std::unique_ptr<SerialPort>> serial_;
  std::unique_ptr<EmulatorConsole> console_;
  bool deviceRefused_ = false;
  std::vector<std::string> addresses_;
  std::vector<std::string> endpoints_;
  std::uint64_t fixesSent_ = 0;
  std::uint64_t sentencesSent_ = 0;
  // The last fix paced, when there was one: a change of speed-up goes on from it.
  bool paced_ = false;
  double pacedClockMs_ = 0.0;
};

}  // namespace wayloom
