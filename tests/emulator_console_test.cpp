// The phone emulator's console client against a stand-in console on loopback that greets as the
// emulator does, checks the token, records every command and answers each one.
#include "outputs/live/emulator_console.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

constexpr const char* kOpen = "Android Console: type 'help' for a list of commands\r\nOK";
const std::string kNoTokenAsked = std::string(kOpen) + "\r\n";

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
  const std::string token = dir.File("token");
  const struct {
    std::string greeting;
    const char* fileText;  // null: no token file
    const char* reply;     // to the first line
    std::string error;     // empty: opens
    std::vector<std::string> lines;
  } rows[] = {{kConsoleAsksForToken, "s3cret\n", kOpen, "", {"auth s3cret"}},
              {kNoTokenAsked, "", "", "", {}},
              {kConsoleAsksForToken,
               " wrong ",
               "KO: authentication token does not match",
               "refused the token from " + token + ": KO: authentication token does not match",
               {"auth wrong"}},
              {kConsoleAsksForToken, "", "", "asks for a token, and " + token + " holds none", {}},
              {"Welcome to a web server\r\n", "s3cret", "", "it did not greet as one", {}},
              {kNoTokenAsked, nullptr, "", "token file " + token + ": no such file or folder", {}}};
  for (const auto& row : rows) {
    std::filesystem::remove(token);
    if (row.fileText) WriteFile(token, row.fileText);
    ConsoleStandIn console(row.greeting, {row.reply});
    EmulatorConsole client;
    std::string error;
    EXPECT_EQ(client.Open("127.0.0.1", console.Port(), token, error), row.error.empty());
    EXPECT_NE(error.find(row.error), std::string::npos) << error;
    client.Close();
    EXPECT_EQ(console.Lines(), row.lines) << row.greeting;
  }
}

// Replies: to the token, then to the commands; the fourth command is refused.
TEST(EmulatorConsole, SendsEachFixAsGgaAndRmcCommandsAndCountsRefusals) {
  TempDir dir;
  WriteFile(dir.File("token"), "s3cret");
  ConsoleStandIn console(kConsoleAsksForToken, {kOpen, "OK", "OK", "OK", "KO: bad sentence"});
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
    ConsoleStandIn console(kNoTokenAsked, {"close"});
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
