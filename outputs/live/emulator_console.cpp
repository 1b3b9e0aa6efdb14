#include "outputs/live/emulator_console.h"

#include <asio.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "outputs/live/tcp_server.h"
#include "platform/platform.h"

namespace wayloom {
namespace {

using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kFirstConsolePort = 5554;
constexpr std::size_t kMostTokenBytes = 4096;
constexpr std::size_t kMostLineBytes = 4096;  // a longer line is no console's

bool WouldBlock(const asio::error_code& error) {
  return error == asio::error::would_block || error == asio::error::try_again ||
         error == asio::error::interrupted;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads the whole token file, without the blanks around the token. False, with error set, when
// it cannot be read.
bool ReadToken(const std::string& path, std::string& token, std::string& error) {
  std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!file) {
    const std::error_code reason(path.empty() ? ENOENT : errno, std::generic_category());
    error = "cannot read the emulator console's token file " +
            (path.empty() ? std::string("(no home folder)") : path) + ": " + ReasonText(reason);
    return false;
  }
  char buffer[kMostTokenBytes];
  const std::size_t length = std::fread(buffer, 1, sizeof buffer, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    error = "cannot read the emulator console's token file " + path;
    return false;
  }
  std::size_t first = 0;
  std::size_t end = length;
  while (first < end && IsBlank(buffer[first])) ++first;
  while (end > first && IsBlank(buffer[end - 1])) --end;
  token.assign(buffer + first, end - first);
  return true;
}

// Takes the first whole line (without its CR LF or LF) off the front of buffer.
bool TakeLine(std::string& buffer, std::string& line) {
  const std::size_t end = buffer.find('\n');
  if (end == std::string::npos) return false;
  line.assign(buffer, 0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  buffer.erase(0, end + 1);
  return true;
}

bool IsRefusal(const std::string& line) { return line.rfind("KO", 0) == 0; }

// A sentence the emulator's GPS reads: GGA or RMC, from a GPS talker.
bool IsForTheEmulator(std::string_view sentence) {
  return sentence.rfind("$GPGGA,", 0) == 0 || sentence.rfind("$GPRMC,", 0) == 0;
}

}  // namespace

bool ParseConsoleAddress(std::string_view text, std::string& host, std::uint16_t& port,
                         std::string& error) {
  if (text.empty()) {
    host = "127.0.0.1";
    port = kFirstConsolePort;
    return true;
  }
  if (!ParseServeAddress(text, host, port) || port == 0) {
    error = "the emulator console's address is [HOST:]PORT, PORT from 1 to 65535 (not " +
            std::string(text) + ")";
    return false;
  }
  return true;
}

std::string DefaultConsoleTokenPath() {
#ifdef _WIN32
  const char* home = std::getenv("USERPROFILE");
#else
  const char* home = std::getenv("HOME");
#endif
  if (!home || !*home) return std::string();
  return std::string(home) + "/.emulator_console_auth_token";
}

struct EmulatorConsole::Connection {
  asio::io_context io;
  tcp::socket socket{io};
};

EmulatorConsole::EmulatorConsole() : connection_(std::make_unique<Connection>()) {}

EmulatorConsole::~EmulatorConsole() { Close(); }

bool EmulatorConsole::Open(const std::string& host, std::uint16_t port,
                           const std::string& tokenPath, std::string& error) {
  Close();
  std::string token;
  if (!ReadToken(tokenPath, token, error)) return false;
  if (!Connect(host, port, error)) return false;

  std::vector<std::string> greeting;
  std::string refusal;
  if (!ReadAnswer(greeting, refusal)) {
    error = "no emulator console at " + address_ + ": it did not greet as one" +
            (refusal.empty() ? std::string() : " (" + refusal + ")");
    Close();
    return false;
  }
  bool asksForToken = false;
  for (const std::string& line : greeting) {
    asksForToken = asksForToken || line.find("Authentication required") != std::string::npos;
  }
  if (asksForToken) {
    if (token.empty()) {
      error = "the emulator console at " + address_ + " asks for a token, and " + tokenPath +
              " holds none";
      Close();
      return false;
    }
    std::vector<std::string> answer;
    if (!SendNow("auth " + token + "\r\n") || !ReadAnswer(answer, refusal)) {
      error = "the emulator console at " + address_ + " refused the token from " + tokenPath +
              (refusal.empty() ? std::string() : ": " + refusal);
      Close();
      return false;
    }
  }
  return true;
}

bool EmulatorConsole::Connect(const std::string& host, std::uint16_t port, std::string& error) {
  address_ =
      (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
  asio::error_code failure;
  tcp::resolver resolver(connection_->io);
  const auto addresses =
      resolver.resolve(host, std::to_string(port), tcp::resolver::numeric_service, failure);
  if (failure) {
    error = "cannot find the emulator console's host " + host + ": " + failure.message();
    return false;
  }
  // Asynchronous, so that an address that never answers is given up after the handshake time.
  bool done = false;
  asio::async_connect(connection_->socket, addresses,
                      [&](const asio::error_code& result, const tcp::endpoint&) {
                        done = true;
                        failure = result;
                      });
  asio::io_context& io = connection_->io;
  io.restart();
  io.run_for(kHandshakeTime);
  if (!done) {
    asio::error_code ignored;
    connection_->socket.close(ignored);
    io.restart();
    io.run();  // the cancelled attempt's handler, which refers to this frame, runs now
    failure = asio::error::timed_out;
  }
  if (failure) {
    error = "cannot connect to the emulator console at " + address_ + ": " + failure.message();
    Close();
    return false;
  }
  connection_->socket.non_blocking(true, failure);
  connection_->socket.set_option(tcp::no_delay(true), failure);
  return true;
}

bool EmulatorConsole::ReadAnswer(std::vector<std::string>& lines, std::string& refusal) {
  const Clock::time_point end = Clock::now() + kHandshakeTime;
  std::string line;
  for (;;) {
    while (TakeLine(incoming_, line)) {
      lines.push_back(line);
      if (line == "OK") return true;
      if (IsRefusal(line)) {
        refusal = line;
        return false;
      }
    }
    const double waitMs = std::chrono::duration<double, std::milli>(end - Clock::now()).count();
    if (waitMs <= 0.0 || incoming_.size() > kMostLineBytes) return false;
    std::vector<pollfd> fds{PollEntry(connection_->socket.native_handle(), POLLIN)};
    WaitReady(fds, waitMs);
    char buffer[4096];
    asio::error_code failure;
    const std::size_t n = connection_->socket.receive(asio::buffer(buffer), 0, failure);
    if (failure && !WouldBlock(failure)) return false;  // closed: no answer will come
    incoming_.append(buffer, n);
  }
}

bool EmulatorConsole::SendNow(const std::string& text) {
  asio::error_code failure;
  connection_->socket.non_blocking(false, failure);
  asio::write(connection_->socket, asio::buffer(text), failure);
  asio::error_code ignored;
  connection_->socket.non_blocking(true, ignored);
  return !failure;
}

void EmulatorConsole::AddPollFds(std::vector<pollfd>& fds) const {
  if (!connection_->socket.is_open()) return;
  const short events = static_cast<short>(POLLIN | (sent_ < outgoing_.size() ? POLLOUT : 0));
  fds.push_back(PollEntry(connection_->socket.native_handle(), events));
}

void EmulatorConsole::HandlePoll(const std::vector<pollfd>& fds, std::size_t first) {
  if (!connection_->socket.is_open() || first >= fds.size()) return;
  const short events = fds[first].revents;
  if (events & (POLLIN | POLLERR | POLLHUP)) ReadAnswers();
  if (connection_->socket.is_open() && (events & POLLOUT)) Flush();
}

void EmulatorConsole::Send(std::string_view sentences) {
  if (!connection_->socket.is_open()) {
    ++fixesSkipped_;
    return;
  }
  ReadAnswers();
  if (unanswered_ >= kMostUnanswered) {
    ++fixesSkipped_;
    return;
  }
  if (sent_ > 0) {  // keep the queue at the front of its storage
    outgoing_.erase(0, sent_);
    sent_ = 0;
  }
  while (!sentences.empty()) {
    const std::size_t end = sentences.find('\n');
    std::string_view line = sentences.substr(0, end);
    sentences.remove_prefix(end == std::string_view::npos ? sentences.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!IsForTheEmulator(line)) continue;
    outgoing_ += "geo nmea ";
    outgoing_.append(line.data(), line.size());
    outgoing_ += "\r\n";
    ++unanswered_;
    ++commandsSent_;
  }
  Flush();
}

void EmulatorConsole::Flush() {
  while (sent_ < outgoing_.size()) {
    asio::error_code failure;
    const std::size_t n = connection_->socket.send(
        asio::buffer(outgoing_.data() + sent_, outgoing_.size() - sent_), 0, failure);
    if (!failure) {
      sent_ += n;
    } else if (WouldBlock(failure)) {
      return;
    } else {
      Lost("the emulator console closed the connection: " + failure.message());
      return;
    }
  }
  outgoing_.clear();
  sent_ = 0;
}

void EmulatorConsole::ReadAnswers() {
  char buffer[4096];
  for (;;) {
    asio::error_code failure;
    const std::size_t n = connection_->socket.receive(asio::buffer(buffer), 0, failure);
    if (WouldBlock(failure)) break;
    if (failure) {
      Lost("the emulator console closed the connection");
      return;
    }
    incoming_.append(buffer, n);
  }
  std::string line;
  while (TakeLine(incoming_, line)) {
    const bool refused = IsRefusal(line);
    if ((line != "OK" && !refused) || unanswered_ == 0) continue;  // not an answer
    --unanswered_;
    if (refused && commandsRefused_++ == 0) firstRefusal_ = line;
  }
  if (incoming_.size() > kMostLineBytes) incoming_.clear();
}

bool EmulatorConsole::HasQueuedBytes() const {
  return connection_->socket.is_open() && (sent_ < outgoing_.size() || unanswered_ > 0);
}

void EmulatorConsole::Lost(const std::string& why) {
  if (failure_.empty()) failure_ = why;
  Close();
}

void EmulatorConsole::Close() {
  asio::error_code ignored;
  connection_->socket.close(ignored);
  outgoing_.clear();
  sent_ = 0;
  incoming_.clear();
  unanswered_ = 0;
}

}  // namespace wayloom
