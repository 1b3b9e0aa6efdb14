#include "outputs/live/tcp_server.h"

#include <algorithm>
#include <asio.hpp>
#include <utility>

namespace wayloom {
namespace {

using asio::ip::tcp;

std::string AddressText(const tcp::endpoint& endpoint) {
  const asio::ip::address address = endpoint.address();
  const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  return host + ":" + std::to_string(endpoint.port());
}

bool WouldBlock(const asio::error_code& error) {
  return error == asio::error::would_block || error == asio::error::try_again ||
         error == asio::error::interrupted;
}

}  // namespace

struct TcpServer::Client {
  explicit Client(asio::io_context& io) : socket(io) {}
  tcp::socket socket;
  std::string queue;  // bytes not yet sent, from sent on
  std::size_t sent = 0;
  Clock::time_point connected;
  Clock::time_point lastMoved;  // when its queue last got bytes while empty, or gave some
  bool served = false;
  bool dropped = false;
  std::string address;  // the client's HOST:PORT, as a front end lists it
};

// The sockets, and the context Asio needs for them (no handler ever runs on it: every call is
// non-blocking and made from the poll loop).
struct TcpServer::Sockets {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::vector<std::unique_ptr<Client>> clients;
};

TcpServer::TcpServer() : sockets_(std::make_unique<Sockets>()) {}

TcpServer::~TcpServer() { Close(); }

std::size_t TcpServer::ClientCount() const {
  // A client that connected and closed at once (a port probe, a health check) may still be in the
  // list: it is noticed at the next poll, which may come only after a wait for clients has ended.
  // Its end of the stream is looked for here, so that it is not counted.
  const auto& clients = sockets_->clients;
  return static_cast<std::size_t>(std::count_if(
      clients.begin(), clients.end(), [](const auto& client) { return !StreamEnded(*client); }));
}

std::vector<std::string> TcpServer::ClientAddresses() const {
  std::vector<std::string> addresses;
  for (const auto& client : sockets_->clients) {
    if (!client->dropped) addresses.push_back(client->address);
  }
  return addresses;
}

std::size_t TcpServer::SettledClientCount() const {
  const Clock::time_point settled = Clock::now() - settleTime_;
  const auto& clients = sockets_->clients;
  return static_cast<std::size_t>(
      std::count_if(clients.begin(), clients.end(), [settled](const auto& client) {
        return client->connected <= settled && !StreamEnded(*client);
      }));
}

bool TcpServer::StreamEnded(Client& client) {
  char byte = 0;
  asio::error_code failure;
  client.socket.receive(asio::buffer(&byte, 1), tcp::socket::message_peek, failure);
  // Zero bytes peeked is the end of the stream; a byte, or nothing yet, is a client still there.
  return failure && !WouldBlock(failure);
}

bool TcpServer::Listen(const std::string& host, std::uint16_t port, std::string& error) {
  Close();
  const std::string service = std::to_string(port);
  asio::error_code failure;
  tcp::resolver resolver(sockets_->io);
  const auto addresses = resolver.resolve(
      host, service, tcp::resolver::passive | tcp::resolver::numeric_service, failure);
  if (failure) {
    error = "cannot serve on " + host + ": " + failure.message();
    return false;
  }
  error = "cannot serve on " + host + ":" + service;
  tcp::acceptor& acceptor = sockets_->acceptor;
  for (const auto& address : addresses) {
    acceptor.open(address.endpoint().protocol(), failure);
    if (failure) continue;
#ifndef _WIN32
    // (On Windows this would let another program take the port as well.)
    acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
#endif
    acceptor.non_blocking(true, failure);
    if (!failure) acceptor.bind(address.endpoint(), failure);
    if (!failure) acceptor.listen(static_cast<int>(kMaxClients), failure);
    if (!failure) break;
    error += ": " + failure.message();
    asio::error_code ignored;
    acceptor.close(ignored);
  }
  if (!acceptor.is_open()) return false;
  boundAddress_ = AddressText(acceptor.local_endpoint(failure));
  error.clear();
  return true;
}

void TcpServer::AddPollFds(std::vector<pollfd>& fds) const {
  if (!sockets_->acceptor.is_open()) return;
  fds.push_back(PollEntry(sockets_->acceptor.native_handle(), POLLIN));
  for (const auto& client : sockets_->clients) {
    short events = POLLIN;
    if (client->sent < client->queue.size()) events |= POLLOUT;
    fds.push_back(PollEntry(client->socket.native_handle(), events));
  }
}

void TcpServer::HandlePoll(const std::vector<pollfd>& fds, std::size_t first) {
  if (!sockets_->acceptor.is_open() || first >= fds.size()) return;
  const bool newClients = (fds[first].revents & POLLIN) != 0;
  auto& clients = sockets_->clients;
  for (std::size_t i = 0; i < clients.size() && first + 1 + i < fds.size(); ++i) {
    Client& client = *clients[i];
    const short events = fds[first + 1 + i].revents;
    // Hung up: the connection is closed both ways, nothing can be sent any more.
    if (events & (POLLERR | POLLHUP | POLLNVAL)) {
      Drop(client, counts_.gone);
      continue;
    }
    if (events & POLLIN) ReadAndDiscard(client);
    if (!client.dropped && (events & POLLOUT)) Flush(client);
  }
  DropStalled();
  RemoveDropped();
  if (newClients) AcceptClients();
}

void TcpServer::AcceptClients() {
  auto& clients = sockets_->clients;
  for (;;) {
    auto client = std::make_unique<Client>(sockets_->io);
    asio::error_code failure;
    sockets_->acceptor.accept(client->socket, failure);
    if (failure) return;  // none waiting, or one that gave up while waiting
    if (clients.size() >= kMaxClients) {
      // Clients that have closed since the last poll give their slots back first.
      for (auto& other : clients) ReadAndDiscard(*other);
      RemoveDropped();
    }
    if (clients.size() >= kMaxClients) {
      client->socket.close(failure);
      ++counts_.refused;
      continue;
    }
    // Sentences go out as they are due, not gathered; the kernel keeps no more than a little for
    // a client that does not read.
    client->socket.non_blocking(true, failure);
    client->socket.set_option(tcp::no_delay(true), failure);
    client->socket.set_option(asio::socket_base::send_buffer_size(kKernelSendBytes), failure);
    client->connected = Clock::now();
    client->lastMoved = client->connected;
    client->address = AddressText(client->socket.remote_endpoint(failure));
    clients.push_back(std::move(client));
    ++counts_.accepted;
    // One that connected and closed while it waited to be accepted is gone already.
    ReadAndDiscard(*clients.back());
    if (clients.back()->dropped) clients.pop_back();
  }
}

void TcpServer::Broadcast(std::string_view bytes) {
  for (auto& entry : sockets_->clients) {
    Client& client = *entry;
    if (client.sent > 0) {  // keep the queue at the front of its storage
      client.queue.erase(0, client.sent);
      client.sent = 0;
    }
    if (client.queue.size() + bytes.size() > kQueueBytes) {
      Drop(client, counts_.droppedSlow);
      continue;
    }
    if (client.queue.empty()) client.lastMoved = Clock::now();
    client.queue.append(bytes.data(), bytes.size());
    Flush(client);
  }
  RemoveDropped();
}

void TcpServer::Flush(Client& client) {
  while (client.sent < client.queue.size()) {
    asio::error_code failure;
    const std::size_t n = client.socket.send(
        asio::buffer(client.queue.data() + client.sent, client.queue.size() - client.sent), 0,
        failure);
    if (!failure && n > 0) {
      client.sent += n;
      client.lastMoved = Clock::now();
    } else if (WouldBlock(failure)) {
      return;
    } else {
      Drop(client, counts_.gone);
      return;
    }
  }
  // Everything queued is whole sentence pairs, so a client that took it all got whole sentences.
  if (!client.queue.empty() && !client.served) {
    client.served = true;
    ++counts_.served;
  }
  client.queue.clear();
  client.sent = 0;
}

void TcpServer::DropStalled() {
  const Clock::time_point now = Clock::now();
  for (auto& client : sockets_->clients) {
    if (!client->dropped && client->sent < client->queue.size() &&
        now - client->lastMoved >= stallLimit_) {
      Drop(*client, counts_.droppedSlow);
    }
  }
}

void TcpServer::ReadAndDiscard(Client& client) {
  char buffer[4096];
  for (int reads = 0; reads < 16; ++reads) {
    asio::error_code failure;
    const std::size_t n = client.socket.receive(asio::buffer(buffer), 0, failure);
    if (!failure && n > 0) continue;
    // The end of the stream: the client has closed its end. (One that only shut down its sending
    // side would still read, but telling the two apart takes a send, which may be minutes away:
    // its slot and its place among the clients waited for are freed now.) Any other error but
    // "nothing yet" has lost the connection.
    if (!WouldBlock(failure)) Drop(client, counts_.gone);
    return;
  }
}

void TcpServer::Drop(Client& client, std::uint64_t& count) {
  if (client.dropped) return;
  asio::error_code ignored;
  client.socket.close(ignored);
  client.dropped = true;
  client.queue = std::string();
  ++count;
}

void TcpServer::RemoveDropped() {
  auto& clients = sockets_->clients;
  clients.erase(std::remove_if(clients.begin(), clients.end(),
                               [](const auto& client) { return client->dropped; }),
                clients.end());
}

bool TcpServer::HasQueuedBytes() const {
  const auto& clients = sockets_->clients;
  return std::any_of(clients.begin(), clients.end(),
                     [](const auto& client) { return client->sent < client->queue.size(); });
}

void TcpServer::Close() {
  sockets_->clients.clear();  // each socket closes as it goes
  asio::error_code ignored;
  sockets_->acceptor.close(ignored);
}

}  // namespace wayloom
