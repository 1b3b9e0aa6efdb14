// A phone emulator's console as a live output: the Android emulator listens on 127.0.0.1:5554
// (5556, 5558... for more emulators) for text commands. It greets, asks for the token kept in
// ~/.emulator_console_auth_token (an empty file there turns the asking off), and then takes
// `geo nmea SENTENCE` commands, answering each with a line "OK" or "KO: why". Its GPS reads GGA
// and RMC sentences, so each fix goes over as those two commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/live/socket_wait.h"

namespace wayloom {

// Splits [HOST:]PORT as --serve's address is split; empty text is the first emulator's console,
// 127.0.0.1:5554. False, with error set, for anything else or port 0.
bool ParseConsoleAddress(std::string_view text, std::string& host, std::uint16_t& port,
                         std::string& error);

// ~/.emulator_console_auth_token: in HOME (USERPROFILE on Windows). Empty when neither is set.
std::string DefaultConsoleTokenPath();

class EmulatorConsole {
 public:
  // How long the connection, the greeting and the answer to the token may take.
  static constexpr std::chrono::milliseconds kHandshakeTime{5000};
  // Commands sent and not yet answered, beyond which a fix is skipped (an emulator that has
  // stopped reading).
  static constexpr std::size_t kMostUnanswered = 64;

  EmulatorConsole();
  EmulatorConsole(const EmulatorConsole&) = delete;
  EmulatorConsole& operator=(const EmulatorConsole&) = delete;
  ~EmulatorConsole();

  // Reads the token from tokenPath, connects to host:port, reads the greeting and, when the
  // console asks for it, authenticates. False, with error set and no command sent, when the token
  // file cannot be read, nothing answers as a console, or the console refuses the token.
  bool Open(const std::string& host, std::uint16_t port, const std::string& tokenPath,
            std::string& error);
  // The console's address, as HOST:PORT ([HOST]:PORT for IPv6).
  const std::string& Address() const { return address_; }

  // The live loop's hooks, as for the TCP server: HandlePoll gets fds back unchanged from
  // fds[first] on, and is to be called after every wait, even one that found nothing.
  void AddPollFds(std::vector<pollfd>& fds) const;
  void HandlePoll(const std::vector<pollfd>& fds, std::size_t first);

  // Sends the GGA and RMC sentences among the sentences of one fix (each ending in CR LF) as
  // `geo nmea` commands; the fix is skipped and counted when the console is too far behind.
  void Send(std::string_view sentences);
  // Whether commands are still unsent or unanswered.
  bool HasQueuedBytes() const;
  std::uint64_t CommandsSent() const { return commandsSent_; }
  std::uint64_t CommandsRefused() const { return commandsRefused_; }
  std::uint64_t FixesSkipped() const { return fixesSkipped_; }
  // The console's first "KO" answer to a command, and what ended the connection: empty when none.
  const std::string& FirstRefusal() const { return firstRefusal_; }
  const std::string& Failure() const { return failure_; }

  void Close();

 private:
  struct Connection;  // Asio stays out of this header
  bool Connect(const std::string& host, std::uint16_t port, std::string& error);
  // Reads lines until one is "OK" (true) or starts with "KO" (false, the line in refusal), or the
  // handshake time runs out (false, refusal empty). Every line read goes to lines.
  bool ReadAnswer(std::vector<std::string>& lines, std::string& refusal);
  bool SendNow(const std::string& text);
  void Flush();
  void ReadAnswers();
  void Lost(const std::string& why);

  std::unique_ptr<Connection> connection_;
  std::string address_;
  std::string outgoing_;  // commands not yet taken by the socket, from sent_ on
  std::size_t sent_ = 0;
  std::string incoming_;  // answer text not yet split into lines
  std::size_t unanswered_ = 0;
  std::uint64_t commandsSent_ = 0;
  std::uint64_t commandsRefused_ = 0;
  std::uint64_t fixesSkipped_ = 0;
  std::string firstRefusal_;
  std::string failure_;
};

}  // namespace wayloom
