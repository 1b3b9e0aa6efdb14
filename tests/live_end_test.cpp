// How a live track ends and starts: the last fix reaches its reader on every path, however soon
// after it the track ends, and a client that connected and closed at once (a port probe) is not
// one of the clients the track waits for.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

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

// The GGA and RMC sentences of a track as the emulator's console gets them, after the token.
std::vector<std::string> ConsoleCommands(const std::string& track) {
  std::vector<std::string> commands = {"auth s3cret"};
  for (const std::string& line : TrackLines(track)) {
    if (line.rfind("$GPGGA", 0) == 0 || line.rfind("$GPRMC", 0) == 0)
      commands.push_back("geo nmea " + line);
  }
  return commands;
}

// What the reader of each path got of the track, against DEST, which holds all of it. The
// pseudo-terminal's and TCP's readers are there before the track starts (--wait-clients holds it
// until the TCP client connects); a UDP reader, a serial line's far end and an emulator's console
// are there before the program. A serial line at 4800 baud is busy with the first fix while the
// others come, and then carries the last one.
TEST(LiveEnd, TheLastFixArrivesOnEveryPath) {
  enum Path { kPty, kTcp, kUdp, kSerial, kSlowSerial, kEmulator };
  const struct {
    Path path;
    const char* name;
    int runs;
  } rows[] = {{kPty, "pseudo-terminal", 5},
              {kTcp, "TCP", 3},
              {kUdp, "UDP", 3},
              {kSerial, "serial port", 3},
              {kSlowSerial, "slow serial port", 2},
              {kEmulator, "emulator", 3}};
  for (const auto& row : rows) {
    for (int run = 0; run < row.runs; ++run) {
      TempDir dir;
      UdpReader udp;
      SerialLine line;
      WriteFile(dir.File("token"), "s3cret\n");
      ConsoleStandIn console(kConsoleAsksForToken, {});
      std::vector<std::string> arguments = TwoPoints(dir);
      std::vector<std::string> more = {"--serve", "0", "--wait-clients", "1"};
      if (row.path == kPty) more.insert(more.end(), {"--pty", dir.File("gps0")});
      if (row.path == kUdp) more = {"--udp", "127.0.0.1:" + std::to_string(udp.port)};
      if (row.path == kSerial) more = {"--serial", line.device + ":115200"};
      if (row.path == kSlowSerial) more = {"--serial", line.device};
      if (row.path == kEmulator) {
        more = {"--android-emulator", std::to_string(console.Port()), "--android-token",
                dir.File("token")};
      }
      arguments.insert(arguments.begin(), more.begin(), more.end());
      CliProcess cli(dir, arguments);
      std::string got;
      if (row.path == kUdp) {
        got = udp.Receive([&] { return ReadFile(dir.File("dest")).size(); });
      } else if (row.path == kSerial || row.path == kSlowSerial) {
        got = Read(line.master, 0);  // until the program closes the device
      } else if (row.path != kEmulator) {
        const int port = cli.Port();
        int reader = -1;
        if (row.path == kPty) {
          cli.WaitUntil([&] { return cli.Err().find("linked at") != std::string::npos; }, "linked");
          reader = open(dir.File("gps0").c_str(), O_RDONLY | O_NOCTTY);
        }
        const int client = Connect(port);
        if (row.path == kPty) {
          // The pseudo-terminal's reader takes nothing until the TCP client has had the last
          // fix, so the program has written the last fix to the link before it is read: the
          // link must stay until the reader has taken it.
          Read(client, 49);
          got = Read(reader, 0);
        } else {
          got = Read(client, 0);  // to the end of the stream
        }
        if (reader >= 0) close(reader);
        close(client);
      }
      EXPECT_EQ(cli.Wait(), kExitOk) << cli.Err();
      const std::string track = ReadFile(dir.File("dest"));
      ASSERT_EQ(TrackLines(track).size(), 49u);
      std::string expected = track;
      std::string said = "49 sentences sent live";
      if (row.path == kEmulator) {
        EXPECT_EQ(console.Lines(), ConsoleCommands(track)) << "run " << run;
        said =
            "emulator console 127.0.0.1:" + std::to_string(console.Port()) + ": 14 commands sent";
      } else if (row.path == kSlowSerial) {
        const std::size_t seventhLine = track.find("$GPRMC", 1);
        expected = track.substr(0, seventhLine) + track.substr(track.rfind("$GPRMC"));
        said = "serial port " + line.device +
               " at 4800 baud: 2 fixes sent, 5 skipped (the line was "
               "busy)";
        EXPECT_NE(cli.Err().find("a fix that finds the line busy is skipped"), std::string::npos);
      }
      EXPECT_TRUE(row.path == kEmulator || got == expected)
          << row.name << " run " << run << ": " << TrackLines(got).size() << " lines";
      EXPECT_NE(cli.Err().find(said), std::string::npos) << cli.Err();
    }
  }
}

// Whether bytes are whole sentences only, each with its CR LF and checksum (prefix before each).
bool WholeSentences(const std::string& bytes, const std::string& prefix = "") {
  if (!bytes.empty() && bytes.back() != '\n') return false;
  for (const std::string& line : Split(bytes, "\n")) {
    if (line.empty()) continue;
    if (line.rfind(prefix, 0) != 0 || line.back() != '\r' ||
        !ChecksumHolds(
            std::string_view(line).substr(prefix.size(), line.size() - prefix.size() - 1)))
      return false;
  }
  return true;
}

// Ctrl-C, SIGTERM and SIGHUP in the middle of a live track to every output at once: each one has
// only whole sentences, and the timed track file is a whole document.
TEST(LiveEnd, AStopSignalEndsEveryOutputWithWholeSentences) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    UdpReader udp;
    SerialLine line;
    WriteFile(dir.File("token"), "s3cret");
    ConsoleStandIn console(kConsoleAsksForToken, {});
    std::vector<std::string> arguments = TwoPoints(dir);
    arguments.insert(arguments.begin(),
                     {"--serve", "0", "--wait-clients", "1", "--loop", "--udp",
                      "127.0.0.1:" + std::to_string(udp.port), "--serial", line.device + ":115200",
                      "--android-emulator", std::to_string(console.Port()), "--android-token",
                      dir.File("token"), "--gpx", dir.File("t.gpx")});
    CliProcess cli(dir, arguments);
    // The line carries what it is given, whoever reads it: the far end reads all the time.
    std::string serial;
    std::thread farEnd([&] { serial = Read(line.master, 0); });
    const int client = Connect(cli.Port());
    std::string tcp = Read(client, 30);
    EXPECT_EQ(cli.Wait(signal), kExitInterrupted) << cli.Err();
    tcp += Read(client, 0);
    close(client);
    std::string datagrams;
    char datagram[65536];
    for (ssize_t n = 0; (n = recv(udp.fd, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;)
      datagrams.append(datagram, static_cast<std::size_t>(n));
    farEnd.join();
    std::string commands;
    for (const std::string& command : console.Lines()) commands += command + "\r\n";
    EXPECT_NE(cli.Err().find("stopped: "), std::string::npos) << cli.Err();
    EXPECT_TRUE(WholeSentences(tcp) && TrackLines(tcp).size() >= 30) << signal;
    EXPECT_TRUE(WholeSentences(datagrams) && !datagrams.empty()) << signal;
    EXPECT_TRUE(WholeSentences(serial) && !serial.empty()) << signal;
    EXPECT_TRUE(WholeSentences(commands.substr(commands.find('\n') + 1), "geo nmea ")) << signal;
    const std::string gpx = ReadFile(dir.File("t.gpx"));
    EXPECT_EQ(gpx.substr(gpx.size() - 7), "</gpx>\n") << signal;
  }
}

TEST(LiveEnd, AProbeThatConnectsAndClosesIsNotAClientToWaitFor) {
  // A client counts for the wait once it has stayed the settle time, and not at all once it has
  // gone: the server has taken it, and no poll has seen it go.
  using std::chrono::milliseconds;
  const struct {
    milliseconds settle;
    bool closes;
    std::size_t clients, settled;
  } rows[] = {{milliseconds(0), false, 1, 1},
              {milliseconds(3600000), false, 1, 0},
              {milliseconds(0), true, 0, 0}};
  for (const auto& row : rows) {
    TcpServer server;
    server.SetSettleTime(row.settle);
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
    if (row.closes) close(probe);
    EXPECT_EQ(server.ClientCount(), row.clients) << row.settle.count();
    EXPECT_EQ(server.SettledClientCount(), row.settled) << row.settle.count();
    if (!row.closes) close(probe);
  }

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
