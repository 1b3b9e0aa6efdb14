#include <string>
#include <string_view>

#include "outputs/live/tcp_server.h"

namespace wayloom {

bool ParseServeAddress(std::string_view text, std::string& host, std::uint16_t& port) {
  std::string_view hostText = "127.0.0.1";
  std::string_view portText = text;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      return false;
    }
    hostText = text.substr(1, close - 1);
    portText = text.substr(close + 2);
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    hostText = text.substr(0, colon);
    portText = text.substr(colon + 1);
    // A bare IPv6 address would leave colons in the host: it needs its brackets.
    if (hostText.find(':') != std::string_view::npos) return false;
  }
  if (hostText.empty() || portText.empty() || portText.size() > 5) return false;
  unsigned value = 0;
  for (const char c : portText) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) return false;
  host.assign(hostText);
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace wayloom
