#include "live/tcp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wayloom {
namespace {

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "";
  unsigned port = 0;
  if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &in6.sin6_addr, host, sizeof host);
    port = ntohs(in6.sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  const auto& in4 = reinterpret_cast<const sockaddr_in&>(address);
  inet_ntop(AF_INET, &in4.sin_addr, host, sizeof host);
  port = ntohs(in4.sin_port);
  return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

bool TcpServer::Listen(const std::string& host, std::uint16_t port, std::string& error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* addresses = nullptr;
  const std::string service = std::to_string(port);
  const int looked = getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses);
  if (looked != 0) {
    error = "cannot serve on " + host + ": " + gai_strerror(looked);
    return false;
  }
  error = "cannot serve on " + host + ":" + service;
  for (const addrinfo* a = addresses; a && listenFd_ < 0; a = a->ai_next) {
    const int fd =
        socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 &&
        listen(fd, static_cast<int>(kMaxClients)) == 0) {
      listenFd_ = fd;
    } else {
      error += std::string(": ") + std::strerror(errno);
      close(fd);
    }
  }
  freeaddrinfo(addresses);
  if (listenFd_ < 0) return false;

  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
  boundAddress_ = AddressText(bound);
  error.clear();
  return true;
}

void TcpServer::AddPollFds(std::vector<pollfd>& fds) const {
  if (listenFd_ < 0) return;
  fds.push_back(pollfd{listenFd_, POLLIN, 0});
  for (const Client& client : clients_) {
    short events = POLLIN;
    if (client.sent < client.queue.size()) events |= POLLOUT;
    fds.push_back(pollfd{client.fd, events, 0});
  }
}

void TcpServer::HandlePoll(const std::vector<pollfd>& fds, std::size_t first) {
  if (listenFd_ < 0 || first >= fds.size()) return;
  const bool newClients = (fds[first].revents & POLLIN) != 0;
  for (std::size_t i = 0; i < clients_.size() && first + 1 + i < fds.size(); ++i) {
    Client& client = clients_[i];
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
  for (;;) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // none waiting, or one that gave up while waiting
    if (clients_.size() >= kMaxClients) {
      // Clients that have closed since the last poll give their slots back first.
      for (Client& client : clients_) ReadAndDiscard(client);
      RemoveDropped();
    }
    if (clients_.size() >= kMaxClients) {
      close(fd);
      ++counts_.refused;
      continue;
    }
    // Sentences go out as they are due, not gathered; the kernel keeps no more than a little for
    // a client that does not read.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int sendBytes = kKernelSendBytes;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes);
    Client client;
    client.fd = fd;
    client.lastMoved = Clock::now();
    clients_.push_back(std::move(client));
    ++counts_.accepted;
    // One that connected and closed while it waited to be accepted is gone already.
    ReadAndDiscard(clients_.back());
    if (clients_.back().dropped) clients_.pop_back();
  }
}

void TcpServer::Broadcast(std::string_view bytes) {
  for (Client& client : clients_) {
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
    const ssize_t n = send(client.fd, client.queue.data() + client.sent,
                           client.queue.size() - client.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client.sent += static_cast<std::size_t>(n);
      client.lastMoved = Clock::now();
    } else if (n < 0 && WouldBlock(errno)) {
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
  for (Client& client : clients_) {
    if (!client.dropped && client.sent < client.queue.size() &&
        now - client.lastMoved >= stallLimit_) {
      Drop(client, counts_.droppedSlow);
    }
  }
}

void TcpServer::ReadAndDiscard(Client& client) {
  char buffer[4096];
  for (int reads = 0; reads < 16; ++reads) {
    const ssize_t n = recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) {
      // The client has closed its end. (One that only shut down its sending side would still
      // read, but telling the two apart takes a send, which may be minutes away: its slot and
      // its place among the clients waited for are freed now.)
      Drop(client, counts_.gone);
    } else if (!WouldBlock(errno)) {
      Drop(client, counts_.gone);
    }
    return;
  }
}

void TcpServer::Drop(Client& client, std::uint64_t& count) {
  if (client.dropped) return;
  close(client.fd);
  client.fd = -1;
  client.dropped = true;
  client.queue = std::string();
  ++count;
}

void TcpServer::RemoveDropped() {
  clients_.erase(std::remove_if(clients_.begin(), clients_.end(),
                                [](const Client& client) { return client.dropped; }),
                 clients_.end());
}

bool TcpServer::HasQueuedBytes() const {
  return std::any_of(clients_.begin(), clients_.end(),
                     [](const Client& client) { return client.sent < client.queue.size(); });
}

void TcpServer::Close() {
  for (Client& client : clients_) {
    if (client.fd >= 0) close(client.fd);
  }
  clients_.clear();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

}  // namespace wayloom
