// The serial port output: its DEVICE[:BAUD] text, the pace warning, and a pseudo-terminal made here
// standing in for the line (gpsd reads one in serial_gpsd.sh; what a port refuses to open is in
// the command line's fault table).
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "outputs/live/serial_port.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

TEST(SerialAddress, TakesADeviceAndAListedRate) {
  const struct {
    const char* text;
    const char* device;  // null: refused, error holding message
    unsigned baud;
    const char* message;
  } rows[] = {{"/dev/ttyUSB0", "/dev/ttyUSB0", 4800, ""},
              {"/dev/ttyS0:115200", "/dev/ttyS0", 115200, ""},
              {"COM3:9600", "COM3", 9600, ""},
              {"\\\\.\\COM12:921600", "\\\\.\\COM12", 921600, ""},
              {"/dev/serial/by-path/pci-0000:00:14.0-port0",
               "/dev/serial/by-path/pci-0000:00:14.0-port0", 4800, ""},
              {"", nullptr, 0, "no serial device"},
              {":4800", nullptr, 0, "no serial device"},
              {"COM3:", nullptr, 0, "no baud rate after the colon"},
              {"/dev/ttyS0:1234", nullptr, 0, "1234 is not one of 4800, 9600, 19200"},
              {"/dev/ttyS0:48000000000", nullptr, 0, "is not one of"}};
  for (const auto& row : rows) {
    SerialAddress address;
    std::string error;
    EXPECT_EQ(ParseSerialAddress(row.text, address, error), row.device != nullptr) << row.text;
    if (row.device) {
      EXPECT_EQ(address.device + ":" + std::to_string(address.baud),
                std::string(row.device) + ":" + std::to_string(row.baud));
    } else {
      EXPECT_NE(error.find(row.message), std::string::npos) << row.text << ": " << error;
    }
  }
}

TEST(SerialPace, SaysWhenAFixTakesLongerThanThePeriod) {
  const struct {
    std::size_t bytes;
    double periodSeconds;
    unsigned baud;
    const char* warning;
  } rows[] = {
      {480, 1.0, 4800, ""},
      {431, 0.5, 115200, ""},
      {431, 0.5, 4800,
       "serial port P at 4800 baud carries 480 characters a second: a fix of 431 characters takes "
       "0.898 s, longer than the 0.500 s between fixes; a fix that finds the line busy is skipped"},
      {481, 1.0, 4800, "takes 1.002 s, longer than the 1.000 s"},
      {100, 0.0, 9600, "takes 0.104 s, and the fixes follow each other at once"}};
  for (const auto& row : rows) {
    const std::string warning = SerialPaceWarning("P", row.bytes, row.periodSeconds, row.baud);
    EXPECT_TRUE(*row.warning ? warning.find(row.warning) != std::string::npos : warning.empty())
        << row.bytes << " " << row.periodSeconds << ": " << warning;
  }
}

// 8N1 at the rate asked for, and whole fixes only: at 4800 baud 4000 characters keep the line busy
// for eight seconds, so the fix after them is skipped; Close lets the one under way out. At the end
// of a track, the last fix goes out once the line is free, skipped or not.
TEST(SerialPort, SetsTheLineAndSendsWholeFixesOnlyWhenTheLineIsFree) {
  const struct {
    unsigned baud;
    bool trackEnds;  // or the port is closed at once
  } rows[] = {{4800, false}, {115200, false}, {115200, true}};
  for (const auto& row : rows) {
    SerialLine line;
    SerialPort port;
    std::string error;
    ASSERT_TRUE(port.Open(line.device, row.baud, error)) << error;
    termios settings{};
    const int device = open(line.device.c_str(), O_RDONLY | O_NOCTTY);
    ASSERT_EQ(tcgetattr(device, &settings), 0);
    close(device);
    EXPECT_EQ(cfgetospeed(&settings), row.baud == 4800 ? B4800 : B115200);
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));

    const std::string fix = std::string(3998, 'x') + "\r\n";
    const std::string next = "$GPRMC,next\r\n";
    port.Send(fix);
    port.Send(next);
    EXPECT_EQ(port.FixesSent() + port.FixesSkipped(), 2u);
    if (row.trackEnds) port.FinishTrack();
    for (int turn = 0; turn < 1200 && row.trackEnds && port.HasQueuedBytes(); ++turn) {
      std::vector<pollfd> fds;
      port.AddPollFds(fds);
      WaitReady(fds, 10.0);
      port.HandlePoll(fds, 0);
    }
    port.Close();
    EXPECT_FALSE(port.HasQueuedBytes());
    const std::string got = Read(line.master, 0);
    if (row.baud == 4800) {
      EXPECT_EQ(port.FixesSkipped(), 1u);
      EXPECT_TRUE(got == fix) << got.size();
    } else {
      EXPECT_TRUE(got == fix + next || (!row.trackEnds && got == fix)) << got.size();
      EXPECT_EQ(port.FixesSkipped(), got == fix ? 1u : 0u);
    }
  }
}

// What the window offers: the stable names first, then each kind of port in number order, and
// nothing that only looks like a port.
TEST(SerialPortNames, StableNamesFirstThenEachKindInNumberOrder) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("serial/by-id"));
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "ttyUSBx", "tty1", "ttyS",
                           "serial/by-id/usb-FTDI_FT232R-if00-port0"}) {
    WriteFile(dir.File(name), "");
  }
  EXPECT_EQ(SerialPortNames(dir.Path()),
            (std::vector<std::string>{dir.File("serial/by-id/usb-FTDI_FT232R-if00-port0"),
                                      dir.File("ttyUSB0"), dir.File("ttyACM1"), dir.File("ttyS2"),
                                      dir.File("ttyS10")}));
}

}  // namespace
}  // namespace wayloom::test
