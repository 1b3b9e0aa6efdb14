// Live output where the platform has none of what it needs (a Windows build): the command line
// links the same classes, and --serve, --pty and --udp fail before anything is written, saying
// why.
#include <utility>

#include "live/live_feed.h"
#include "live/pty_link.h"
#include "live/tcp_server.h"
#include "live/udp_sender.h"

namespace wayloom {

bool TcpServer::Listen(const std::string&, std::uint16_t, std::string& error) {
  error = "--serve: live output is not available in this build";
  return false;
}

void TcpServer::Close() {}

bool PtyLink::Open(const std::string&, std::string& error) {
  error = "--pty: there are no pseudo-terminals on this platform";
  return false;
}

void PtyLink::Close() {}

struct UdpSender::Socket {};
UdpSender::UdpSender() = default;
UdpSender::~UdpSender() = default;

bool UdpSender::Open(const std::string&, std::uint16_t, std::string& error) {
  error = "--udp: live output is not available in this build";
  return false;
}

void UdpSender::Send(std::string_view) {}

LiveFeed::LiveFeed(double speedup, TcpServer* server, PtyLink* pty, std::size_t waitClients,
                   std::function<bool()> stopRequested, int wakeFd)
    : pacer_(speedup),
      server_(server),
      pty_(pty),
      waitClients_(waitClients),
      stopRequested_(std::move(stopRequested)),
      wakeFd_(wakeFd) {}

void LiveFeed::OnSentencePair(double, std::string_view, std::string_view) {}

void LiveFeed::OnFix(double, std::string_view, std::size_t) {}

void LiveFeed::Finish() {}

}  // namespace wayloom
