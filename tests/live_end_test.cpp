// How a live track ends and starts: the last fix reaches its reader on every path, however soon
// after it the track ends, and a client that connected and closed at once (a port probe) is not
// one of the clients the track waits for.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "outputs/live/tcp_server.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

// A receiver track of seven fixes, sent ten times faster than it runs, that ends the moment its
// last fix is sent.
std::vector<std::string> TwoPoints(const TempDir& dir) {
  WriteFile(dir.File("pois.csv"), "-3.1883,55.9533,Edinburgh\n-3.1890,55.9540,Calton Hill\n");
  return {"--speed",       "30",         "--speedup", "10",
          "--date",        "2026-03-07", "--yes",     dir.File("pois.csv"),
          dir.File("dest")};
}

// A UDP socket on loopback: its port, and every datagram it gets until they hold `bytes` bytes.
struct UdpReader {
  UdpReader() : fd(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
  }
  ~UdpReader() { close(fd); }
  std::string Receive(const std::function<std::size_t()>& bytes) {
    std::string got;
    char datagram[65536];
    for (int turn = 0; turn < 1200 && (got.empty() || got.size() < bytes()); ++turn) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      const ssize_t n = recv(fd, datagram, sizeof datagram, 0);
      if (n > 0) got.append(datagram, static_cast<std::size_t>(n));
    }
    return got;
  }
  int fd;
  std::uint16_t port = 0;
};

// What the reader of each path got of the track, against DEST, which holds all of it. The
// pseudo-terminal's and TCP's readers are there before the track starts (--wait-clients holds it
// until the TCP client connects); a UDP reader is there before the program.
TEST(LiveEnd, TheLastFixArrivesOnEveryPath) {
  enum Path { kPty, kTcp, kUdp };
  const struct {
    Path path;
    const char* name;
    int runs;
  } rows[] = {{kPty, "pseudo-terminal", 5}, {kTcp, "TCP", 3}, {kUdp, "UDP", 3}};
  for (const auto& row : rows) {
    for (int run = 0; run < row.runs; ++run) {
      TempDir dir;
      UdpReader udp;
      std::vector<std::string> arguments = TwoPoints(dir);
      std::vector<std::string> more = {"--serve", "0", "--wait-clients", "1"};
      if (row.path == kPty) more.insert(more.end(), {"--pty", dir.File("gps0")});
      if (row.path == kUdp) more = {"--udp", "127.0.0.1:" + std::to_string(udp.port)};
      arguments.insert(arguments.begin(), more.begin(), more.end());
      CliProcess cli(dir, arguments);
      std::string got;
      if (row.path == kUdp) {
        got = udp.Receive([&] { return ReadFile(dir.File("dest")).size(); });
      } else {
        const int port = cli.Port();
        int reader = -1;
        if (row.path == kPty) {
          cli.WaitUntil([&] { return cli.Err().find("linked at") != std::string::npos; }, "linked");
          reader = open(dir.File("gps0").c_str(), O_RDONLY | O_NOCTTY);
        }
        const int client = Connect(port);
        got = Read(row.path == kPty ? reader : client, 0);  // to the end of the stream
        if (reader >= 0) close(reader);
        close(client);
      }
      EXPECT_EQ(cli.Wait(), kExitOk) << cli.Err();
      const std::vector<std::string> track = TrackLines(ReadFile(dir.File("dest")));
      ASSERT_EQ(track.size(), 49u);
      EXPECT_TRUE(got == ReadFile(dir.File("dest")))
          << row.name << " run " << run << ": " << TrackLines(got).size() << " of 49 lines";
    }
  }
}

TEST(LiveEnd, AProbeThatConnectsAndClosesIsNotAClientToWaitFor) {
  // The server has taken the probe, and no poll has seen it go: it is not counted all the same.
  TcpServer server;
  std::string error;
  ASSERT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
  const std::string bound = server.BoundAddress();
  const int probe = Connect(std::stoi(bound.substr(bound.rfind(':') + 1)));
  for (int turn = 0; turn < 1200 && server.ClientCount() == 0; ++turn) {
    std::vector<pollfd> fds;
    server.AddPollFds(fds);
    WaitReady(fds, 100.0);
    server.HandlePoll(fds, 0);
  }
  ASSERT_EQ(server.ClientCount(), 1u);
  close(probe);
  EXPECT_EQ(server.ClientCount(), 0u);

  // The program, stopped while the probe comes and goes, then starts the track for the client
  // that stays, which gets all of it.
  TempDir dir;
  std::vector<std::string> arguments = TwoPoints(dir);
  arguments.insert(arguments.begin(), {"--serve", "0", "--wait-clients", "1"});
  CliProcess cli(dir, arguments);
  const int port = cli.Port();
  cli.Signal(SIGSTOP);
  close(Connect(port));
  cli.Signal(SIGCONT);
  const int client = Connect(port);
  const std::string got = Read(client, 0);
  close(client);
  EXPECT_EQ(cli.Wait(), kExitOk) << cli.Err();
  EXPECT_TRUE(got == ReadFile(dir.File("dest"))) << TrackLines(got).size() << " of 49 lines";
  EXPECT_NE(cli.Err().find("49 sentences sent live, 1 client(s) served"), std::string::npos)
      << cli.Err();
}

}  // namespace
}  // namespace wayloom::test
