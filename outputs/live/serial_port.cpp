#include "outputs/live/serial_port.h"

#ifndef _WIN32
#include <sys/file.h>
#include <sys/ioctl.h>
#endif

#include <algorithm>
#include <asio.hpp>
#include <cerrno>
#include <utility>

#include "base/number_text.h"
#include "platform/platform.h"

namespace wayloom {
namespace {

constexpr std::size_t kBitsPerCharacter = 10;  // a start bit, 8 data bits, a stop bit
constexpr std::size_t kMostRateDigits = 7;

std::string RateList() {
  std::string list;
  for (const unsigned rate : kSerialBaudRates) {
    if (!list.empty()) list += ", ";
    list += std::to_string(rate);
  }
  return list;
}

// A number of up to kMostRateDigits digits and nothing else; 0 for anything else.
unsigned ReadRate(std::string_view text) {
  if (text.empty() || text.size() > kMostRateDigits) return 0;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The open failures a user can act on, in words; the system's reason for the rest.
std::string OpenFailure(const std::string& device, const asio::error_code& failure) {
#ifdef _WIN32
  switch (failure.value()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "serial port " + device + ": no such port";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return "serial port " + device + " is busy: another program has it open";
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_HANDLE:
      return device + " is not a serial port";
    default:
      return "cannot open serial port " + device + ": " + failure.message();
  }
#else
  switch (failure.value()) {
    case ENOENT:
      return "serial port " + device + ": no such device";
    case EBUSY:
    case EWOULDBLOCK:
      return "serial port " + device + " is busy: another program has it open";
    case ENOTTY:
    case EISDIR:
    case ENXIO:
      return device + " is not a serial port";
    default:
      return "cannot open serial port " + device + ": " + ReasonText(failure);
  }
#endif
}

}  // namespace

bool ParseSerialAddress(std::string_view text, SerialAddress& address, std::string& error) {
  std::string_view device = text;
  unsigned baud = kSerialBaudRates[0];
  const std::size_t colon = text.rfind(':');
  if (colon != std::string_view::npos) {
    const std::string_view rate = text.substr(colon + 1);
    if (rate.empty()) {
      error = "no baud rate after the colon in " + std::string(text);
      return false;
    }
    if (AllDigits(rate)) {
      baud = ReadRate(rate);
      if (std::find(kSerialBaudRates.begin(), kSerialBaudRates.end(), baud) ==
          kSerialBaudRates.end()) {
        error = "the baud rate " + std::string(rate) + " is not one of " + RateList();
        return false;
      }
      device = text.substr(0, colon);
    }
  }
  if (device.empty()) {
    error = "no serial device given (a path such as /dev/ttyUSB0, or COM3)";
    return false;
  }
  address.device = std::string(device);
  address.baud = baud;
  return true;
}

double SerialSecondsPerFix(std::size_t fixBytes, unsigned baud) {
  return static_cast<double>(fixBytes) * static_cast<double>(kBitsPerCharacter) /
         static_cast<double>(baud);
}

std::string SerialPaceWarning(const std::string& device, std::size_t fixBytes, double periodSeconds,
                              unsigned baud) {
  const double seconds = SerialSecondsPerFix(fixBytes, baud);
  if (seconds <= periodSeconds) return std::string();
  std::string text = "serial port " + device + " at " + std::to_string(baud) + " baud carries " +
                     std::to_string(baud / kBitsPerCharacter) + " characters a second: a fix of " +
                     std::to_string(fixBytes) + " characters takes " + FormatFixed(seconds, 3) +
                     " s, ";
  text += periodSeconds > 0.0
              ? "longer than the " + FormatFixed(periodSeconds, 3) + " s between fixes"
              : "and the fixes follow each other at once";
  return text + "; a fix that finds the line busy is skipped";
}

// The port, and the context Asio needs for it. Writes are asynchronous and their handlers run
// only in RunReady, from the live loop.
struct SerialPort::Port {
  asio::io_context io;
  asio::serial_port serial{io};
};

SerialPort::SerialPort() : port_(std::make_unique<Port>()) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(const std::string& device, unsigned baud, std::string& error) {
  Close();
  asio::serial_port& serial = port_->serial;
  asio::error_code failure;
  serial.open(device, failure);
#ifndef _WIN32
  // Ours alone: another program that asks for the port too (a second Wayloom, a daemon) is told
  // it is busy. Windows opens a port for one program only anyway.
  if (!failure && flock(serial.native_handle(), LOCK_EX | LOCK_NB) != 0) {
    failure = asio::error_code(errno, asio::error::get_system_category());
  }
  if (!failure) ioctl(serial.native_handle(), TIOCEXCL);
#endif
  if (failure) {
    error = OpenFailure(device, failure);
    Close();
    return false;
  }
  using Base = asio::serial_port_base;
  serial.set_option(Base::character_size(8), failure);
  if (!failure) serial.set_option(Base::parity(Base::parity::none), failure);
  if (!failure) serial.set_option(Base::stop_bits(Base::stop_bits::one), failure);
  if (!failure) serial.set_option(Base::flow_control(Base::flow_control::none), failure);
  if (failure) {
    error = "cannot set serial port " + device + " to 8N1: " + failure.message();
    Close();
    return false;
  }
  // A driver may take a rate it cannot do without a word and keep its old one: read it back.
  Base::baud_rate rate;
  serial.set_option(Base::baud_rate(baud), failure);
  if (!failure) serial.get_option(rate, failure);
  if (failure || rate.value() != baud) {
    error = "serial port " + device + " refuses " + std::to_string(baud) + " baud" +
            (failure ? ": " + failure.message() : std::string());
    Close();
    return false;
  }
  device_ = device;
  baud_ = baud;
  return true;
}

SerialPort::Clock::duration SerialPort::LineTime(std::size_t bytes) const {
  const std::uint64_t ns = static_cast<std::uint64_t>(bytes) * kBitsPerCharacter * 1000000000u;
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns / baud_));
}

void SerialPort::AddPollFds(std::vector<pollfd>& fds) const {
#ifndef _WIN32
  if (writing_) fds.push_back(PollEntry(port_->serial.native_handle(), POLLOUT));
#else
  static_cast<void>(fds);
#endif
}

void SerialPort::HandlePoll(const std::vector<pollfd>&, std::size_t) {
  RunReady();
  if (trackEnded_ && !lastSkipped_.empty() && failure_.empty() && !LineBusy(lastSkipped_.size())) {
    const std::string last = std::move(lastSkipped_);
    lastSkipped_.clear();
    --fixesSkipped_;
    Send(last);
  }
}

void SerialPort::RunReady() {
  port_->io.restart();
  port_->io.poll();
}

bool SerialPort::LineBusy(std::size_t bytes) const {
  // A little lateness of the line is let pass: at a rate that just fits, a fix due a moment
  // before the one ahead of it has left must not be skipped.
  return writing_ || lineBusyUntil_ - Clock::now() > LineTime(bytes) / 10;
}

void SerialPort::Send(std::string_view bytes) {
  RunReady();
  if (!port_->serial.is_open() || !failure_.empty() || LineBusy(bytes.size())) {
    ++fixesSkipped_;
    lastSkipped_.assign(bytes.data(), bytes.size());
    return;
  }
  lastSkipped_.clear();
  lineBusyUntil_ = std::max(Clock::now(), lineBusyUntil_) + LineTime(bytes.size());
  ++fixesSent_;
  Write(bytes);
}

void SerialPort::FinishTrack() { trackEnded_ = true; }

void SerialPort::Write(std::string_view bytes) {
  buffer_.assign(bytes.data(), bytes.size());
  writing_ = true;
  asio::async_write(port_->serial, asio::buffer(buffer_),
                    [this](const asio::error_code& failure, std::size_t) {
                      writing_ = false;
                      if (failure && failure != asio::error::operation_aborted) {
                        failure_ = failure.message();
                      }
                    });
  RunReady();
}

bool SerialPort::HasQueuedBytes() const {
  return port_->serial.is_open() && failure_.empty() &&
         (writing_ || Clock::now() < lineBusyUntil_ || (trackEnded_ && !lastSkipped_.empty()));
}

void SerialPort::Close() {
  asio::serial_port& serial = port_->serial;
  if (writing_ && serial.is_open()) {
    port_->io.restart();
    port_->io.run_for(LineTime(buffer_.size()) + std::chrono::seconds(1));
  }
  asio::error_code ignored;
  serial.close(ignored);
  RunReady();  // the handler of a write cut short runs now, while this object is still whole
  writing_ = false;
  buffer_.clear();
  lastSkipped_.clear();
  trackEnded_ = false;
  lineBusyUntil_ = Clock::time_point{};
}

}  // namespace wayloom
