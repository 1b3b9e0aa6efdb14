// A TCP server that hands the same byte stream to every connected client.
//
// Everything is non-blocking and driven by the caller's poll loop: the server adds its sockets to
// a poll set and handles what the wait reported for them. The sockets are Asio's, so that the same
// code serves on every platform. Each client has a send queue of bounded
// size (and a bounded kernel send buffer), so memory stays bounded whatever the clients do: a
// client whose queue cannot take the next piece of the stream, or has not moved for the stall
// limit, reads too slowly and is dropped, without the others waiting for it. What clients send is
// read and thrown away; a client that ends its side of the connection has gone, and its slot is
// freed at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outputs/live/socket_wait.h"

namespace wayloom {

// Splits [HOST:]PORT into its host (127.0.0.1 when absent; an IPv6 address in brackets, as in
// [::1]:10110) and its port (0 to 65535; 0 lets the system choose). False for anything else.
bool ParseServeAddress(std::string_view text, std::string& host, std::uint16_t& port);

struct ServerCounts {
  std::uint64_t accepted = 0;     // clients accepted
  std::uint64_t served = 0;       // clients that were sent at least one whole sentence
  std::uint64_t droppedSlow = 0;  // dropped because their queue was full or stalled
  std::uint64_t gone = 0;         // closed by the client, or lost to a network error
  std::uint64_t refused = 0;      // turned away because kMaxClients were connected
};

class TcpServer {
 public:
  static constexpr std::size_t kMaxClients = 64;
  static constexpr std::size_t kQueueBytes = 256 * 1024;  // per client, on top of the kernel's
  static constexpr int kKernelSendBytes = 64 * 1024;      // asked for; the kernel may double it
  static constexpr std::chrono::milliseconds kStallLimit{30000};
  // How long a client must have stayed to count as one a track waits for: a port probe or a
  // health check connects and closes within a moment.
  static constexpr std::chrono::milliseconds kSettleTime{250};

  TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;
  ~TcpServer();

  // A client with bytes queued that takes none of them for this long is dropped.
  void SetStallLimit(std::chrono::milliseconds limit) { stallLimit_ = limit; }
  void SetSettleTime(std::chrono::milliseconds settle) { settleTime_ = settle; }

  // Listens on host:port. False, with error set, when no address of host could be bound.
  bool Listen(const std::string& host, std::uint16_t port, std::string& error);
  // The address bound, as HOST:PORT ([HOST]:PORT for IPv6), with the port the system chose.
  const std::string& BoundAddress() const { return boundAddress_; }

  // Adds the listening socket and every client to fds; HandlePoll must get them back unchanged,
  // starting at fds[first], where first was fds.size() before this call. HandlePoll is to be
  // called after every poll, even one that found nothing, and the poll should wait no longer than
  // a fraction of the stall limit.
  void AddPollFds(std::vector<pollfd>& fds) const;
  void HandlePoll(const std::vector<pollfd>& fds, std::size_t first);

  // Queues bytes for every client and sends what the sockets take now.
  void Broadcast(std::string_view bytes);
  bool HasQueuedBytes() const;
  // The clients connected now: one whose end of the connection is already closed is not counted,
  // even before a poll has noticed it.
  std::size_t ClientCount() const;
  // Where the clients connected now are, as HOST:PORT, in the order they came.
  std::vector<std::string> ClientAddresses() const;
  // Of them, those connected for the settle time at least: the clients a track waits for.
  std::size_t SettledClientCount() const;
  const ServerCounts& Counts() const { return counts_; }

  // Closes every client and the listening socket.
  void Close();

 private:
  using Clock = std::chrono::steady_clock;
  struct Client;
  struct Sockets;

  void AcceptClients();
  // Sends queued bytes until the socket takes no more; drops the client on an error.
  void Flush(Client& client);
  void ReadAndDiscard(Client& client);
  // Whether the client has closed its end: a peek that reads nothing from the stream.
  static bool StreamEnded(Client& client);
  void Drop(Client& client, std::uint64_t& count);
  void DropStalled();
  void RemoveDropped();

  std::unique_ptr<Sockets> sockets_;
  std::string boundAddress_;
  ServerCounts counts_;
  std::chrono::milliseconds stallLimit_ = kStallLimit;
  std::chrono::milliseconds settleTime_ = kSettleTime;
};

}  // namespace wayloom
