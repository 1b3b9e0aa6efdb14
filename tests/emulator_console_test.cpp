// The phone emulator's console client against a stand-in console on loopback that greets as the
// emulator does, checks the token, records every command and answers each one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "outputs/live/emulator_console.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

constexpr const char* kAsksForToken =
    "Android Console: Authentication required\r\n"
    "Android Console: type 'auth <auth_token>' to authenticate\r\n"
    "Android Console: you can find your <auth_token> "
    "in\r\n'/home/me/.emulator_console_auth_token'\r\n"
    "OK\r\n";
constexpr const char* kOpen = "Android Console: type 'help' for a list of commands\r\nOK\r\n";

// Serves one connection: the greeting, then a line is answered: "auth TOKEN" as the emulator
// does, other commands with answers[i] ("OK" once they run out). Ends when the client closes, or
// after `served` commands when served is not 0, or at once after a greeting without "OK".
class StandIn {
 public:
  StandIn(std::string greeting, std::string token, std::vector<std::string> answers = {},
          std::size_t served = 0)
      : listener_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 1);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([=] { Serve(greeting, "auth " + token, answers, served); });
  }
  ~StandIn() {
    Lines();
    close(listener_);
  }
  std::uint16_t Port() const { return port_; }
  // Every line the client sent, once it has gone (no client comes after this).
  std::vector<std::string> Lines() {
    shutdown(listener_, SHUT_RDWR);  // a client that never came
    if (thread_.joinable()) thread_.join();
    return lines_;
  }

 private:
  void Serve(const std::string& greeting, const std::string& auth,
             const std::vector<std::string>& answers, std::size_t served) {
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    send(client, greeting.data(), greeting.size(), MSG_NOSIGNAL);
    if (greeting.find("OK\r\n") == std::string::npos) {  // no console: it goes at once
      close(client);
      return;
    }
    std::string line;
    std::size_t commands = 0;
    for (char c; (served == 0 || commands < served) && recv(client, &c, 1, 0) == 1;) {
      if (c != '\n') {
        line += c;
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      std::string answer = line == auth ? kOpen : "KO: authentication token does not match\r\n";
      if (line.rfind("auth ", 0) != 0) {
        answer = (commands < answers.size() ? answers[commands] : "OK") + "\r\n";
        ++commands;
      }
      send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      line.clear();
    }
    close(client);
  }

  int listener_;
  std::uint16_t port_ = 0;
  std::vector<std::string> lines_;
  std::thread thread_;
};

// Serves the console until it has nothing unsent or unanswered.
void Drain(EmulatorConsole& console) {
  for (int turn = 0; turn < 1200 && console.HasQueuedBytes(); ++turn) {
    std::vector<pollfd> fds;
    console.AddPollFds(fds);
    WaitReady(fds, 100.0);
    console.HandlePoll(fds, 0);
  }
}

TEST(EmulatorConsole, AuthenticatesWithTheTokenFileOrSaysWhyNot) {
  TempDir dir;
  const struct {
    const char* greeting;
    const char* fileText;  // null: no token file
    const char* error;     // empty: opens
    std::vector<std::string> lines;
  } rows[] = {
      {kAsksForToken, "s3cret\n", "", {"auth s3cret"}},
      {kOpen, "", "", {}},
      {kAsksForToken,
       " wrong ",
       "refused the token from TOKEN: KO: authentication token does not match",
       {"auth wrong"}},
      {kAsksForToken, "", "asks for a token, and TOKEN holds none", {}},
      {"Welcome to a web server\r\n", "s3cret", "it did not greet as one", {}},
      {kOpen, nullptr, "cannot read the emulator console's token file TOKEN: no such file", {}}};
  for (const auto& row : rows) {
    const std::string token = dir.File("token");
    std::filesystem::remove(token);
    if (row.fileText) WriteFile(token, row.fileText);
    std::string error;
    {
      StandIn console(row.greeting, "s3cret");
      EmulatorConsole client;
      EXPECT_EQ(client.Open("127.0.0.1", console.Port(), token, error), *row.error == '\0');
      std::string expected = row.error;
      if (expected.find("TOKEN") != std::string::npos)
        expected.replace(expected.find("TOKEN"), 5, token);
      EXPECT_NE(error.find(expected), std::string::npos) << error;
      client.Close();
      EXPECT_EQ(console.Lines(), row.lines) << row.greeting;
    }
  }
}

TEST(EmulatorConsole, SendsEachFixAsGgaAndRmcCommandsAndCountsRefusals) {
  TempDir dir;
  WriteFile(dir.File("token"), "s3cret");
  StandIn console(kAsksForToken, "s3cret", {"OK", "OK", "OK", "KO: bad sentence"});
  EmulatorConsole client;
  std::string error;
  ASSERT_TRUE(client.Open("127.0.0.1", console.Port(), dir.File("token"), error)) << error;
  client.Send("$GPRMC,010000.000,A*00\r\n$GPGGA,010000.000*01\r\n$GPGSA,A,3*02\r\n$GPVTG,1*03\r\n");
  client.Send("$GPGGA,010001.000*04\r\n$GPRMC,010001.000,A*05\r\n");
  Drain(client);
  EXPECT_EQ(client.CommandsSent(), 4u);
  EXPECT_EQ(client.CommandsRefused(), 1u);
  EXPECT_EQ(client.FirstRefusal(), "KO: bad sentence");
  client.Close();
  EXPECT_EQ(console.Lines(),
            (std::vector<std::string>{
                "auth s3cret", "geo nmea $GPRMC,010000.000,A*00", "geo nmea $GPGGA,010000.000*01",
                "geo nmea $GPGGA,010001.000*04", "geo nmea $GPRMC,010001.000,A*05"}));
}

TEST(EmulatorConsole, AnEmulatorThatGoesIsReportedAndNotWaitedFor) {
  TempDir dir;
  WriteFile(dir.File("token"), "");
  EmulatorConsole client;
  std::string error;
  std::uint16_t gone = 0;
  {
    StandIn console(kOpen, "", {}, 1);  // closes after the first command
    gone = console.Port();
    ASSERT_TRUE(client.Open("127.0.0.1", gone, dir.File("token"), error)) << error;
    for (int i = 0; i < 3; ++i) client.Send("$GPGGA,1*00\r\n");
    Drain(client);
    EXPECT_FALSE(client.HasQueuedBytes());
    EXPECT_NE(client.Failure().find("closed the connection"), std::string::npos)
        << client.Failure();
    EXPECT_EQ(console.Lines().size(), 1u);
  }
  EXPECT_FALSE(client.Open("127.0.0.1", gone, dir.File("token"), error));
  EXPECT_NE(error.find("cannot connect to the emulator console at 127.0.0.1:"), std::string::npos)
      << error;
  std::string host;
  std::uint16_t port = 0;
  EXPECT_TRUE(ParseConsoleAddress("", host, port, error) && host == "127.0.0.1" && port == 5554);
  EXPECT_TRUE(ParseConsoleAddress("[::1]:5556", host, port, error) && port == 5556);
  EXPECT_FALSE(ParseConsoleAddress("0", host, port, error));
}

}  // namespace
}  // namespace wayloom::test
