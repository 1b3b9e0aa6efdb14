// Sends each fix of a live track as one UDP datagram, as marine instruments do on a network
// (commonly to port 10110). Broadcast addresses are allowed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace wayloom {

class UdpSender {
 public:
  UdpSender();
  ~UdpSender();
  UdpSender(const UdpSender&) = delete;
  UdpSender& operator=(const UdpSender&) = delete;

  // Resolves host (a name or an address) and opens a socket that may send to a broadcast address.
  // False, with error set, when either fails.
  bool Open(const std::string& host, std::uint16_t port, std::string& error);
  // The address datagrams go to, as HOST:PORT ([HOST]:PORT for IPv6).
  const std::string& Destination() const { return destination_; }

  // Sends bytes as one datagram without waiting. A datagram the system will not take now (no
  // room, or nobody listening on a local port) is counted and left out: a live stream goes on.
  void Send(std::string_view bytes);
  std::uint64_t DatagramsSent() const { return sent_; }
  std::uint64_t DatagramsLost() const { return lost_; }

 private:
  struct Socket;  // the network library stays out of this header
  std::unique_ptr<Socket> socket_;
  std::string destination_;
  std::uint64_t sent_ = 0;
  std::uint64_t lost_ = 0;
};

}  // namespace wayloom
