#include "outputs/live/udp_sender.h"

#include <asio.hpp>

namespace wayloom {

struct UdpSender::Socket {
  asio::io_context io;
  asio::ip::udp::socket socket{io};
  asio::ip::udp::endpoint endpoint;
};

UdpSender::UdpSender() : socket_(std::make_unique<Socket>()) {}
UdpSender::~UdpSender() = default;

bool UdpSender::Open(const std::string& host, std::uint16_t port, std::string& error) {
  asio::error_code failure;
  asio::ip::udp::resolver resolver(socket_->io);
  const auto results = resolver.resolve(host, std::to_string(port), failure);
  if (failure || results.empty()) {
    error = "cannot resolve UDP host '" + host + "': " + failure.message();
    return false;
  }
  socket_->endpoint = *results.begin();
  socket_->socket.open(socket_->endpoint.protocol(), failure);
  if (!failure) socket_->socket.non_blocking(true, failure);
  if (!failure && socket_->endpoint.address().is_v4()) {
    socket_->socket.set_option(asio::socket_base::broadcast(true), failure);
  }
  if (failure) {
    error = "cannot open a UDP socket: " + failure.message();
    return false;
  }
  const asio::ip::address address = socket_->endpoint.address();
  destination_ = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  destination_ += ":" + std::to_string(port);
  return true;
}

void UdpSender::Send(std::string_view bytes) {
  asio::error_code failure;
  socket_->socket.send_to(asio::buffer(bytes.data(), bytes.size()), socket_->endpoint, 0, failure);
  if (failure) {
    ++lost_;
  } else {
    ++sent_;
  }
}

}  // namespace wayloom
