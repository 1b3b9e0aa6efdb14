// Measures the pacing of live output as a TCP client sees it: connects to 127.0.0.1:PORT, notes
// when each fix arrives (a line that starts with MARK, such as $GNRMC, opens a fix), and after
// FIXES fixes (or the end of the stream) prints the gaps between fixes and how late each came
// against the schedule of one every PERIOD_MS from the first.
// Usage: wayloom_live_pacing PORT MARK PERIOD_MS FIXES
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/number_text.h"

namespace {

double NowMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The arrival times of the fixes, read from fd until fixes have come or the stream ends.
std::vector<double> Arrivals(int fd, const std::string& mark, std::size_t fixes) {
  std::vector<double> arrivals;
  std::string line;
  char buffer[65536];
  while (arrivals.size() < fixes) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    const double now = NowMs();
    for (ssize_t i = 0; i < n; ++i) {
      line += buffer[i];
      if (buffer[i] != '\n') continue;
      if (line.compare(0, mark.size(), mark) == 0) arrivals.push_back(now);
      line.clear();
    }
  }
  return arrivals;
}

std::string Ms(double value) {
  std::string text;
  wayloom::AppendFixed(text, value, 2);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fputs("usage: wayloom_live_pacing PORT MARK PERIOD_MS FIXES\n", stderr);
    return 2;
  }
  const double periodMs = wayloom::ParsePlainDecimal(argv[3]);
  const auto fixes = static_cast<std::size_t>(wayloom::ParsePlainDecimal(argv[4]));
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(wayloom::ParsePlainDecimal(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fputs("cannot connect\n", stderr);
    return 1;
  }
  const std::vector<double> arrivals = Arrivals(fd, argv[2], fixes);
  close(fd);
  if (arrivals.size() < 3) {
    std::fputs("fewer than three fixes came\n", stderr);
    return 1;
  }
  std::vector<double> gaps;
  double sum = 0.0;
  double worstLate = 0.0;
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    gaps.push_back(arrivals[i] - arrivals[i - 1]);
    sum += gaps.back();
    worstLate = std::max(worstLate, arrivals[i] - arrivals[0] - static_cast<double>(i) * periodMs);
  }
  const double mean = sum / static_cast<double>(gaps.size());
  double squares = 0.0;
  for (const double gap : gaps) squares += (gap - mean) * (gap - mean);
  std::sort(gaps.begin(), gaps.end());
  const auto at = [&gaps](double share) {
    return gaps[static_cast<std::size_t>(share * static_cast<double>(gaps.size() - 1))];
  };
  std::printf(
      "%zu fixes: gap mean %s ms, standard deviation %s ms, min %s, 1%% %s, 99%% %s, max %s ms; "
      "worst lateness against the schedule %s ms\n",
      arrivals.size(), Ms(mean).c_str(),
      Ms(std::sqrt(squares / static_cast<double>(gaps.size()))).c_str(), Ms(gaps.front()).c_str(),
      Ms(at(0.01)).c_str(), Ms(at(0.99)).c_str(), Ms(gaps.back()).c_str(), Ms(worstLate).c_str());
  return 0;
}
