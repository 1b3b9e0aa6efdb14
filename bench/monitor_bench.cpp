// The live monitor's cost and the window's memory while it runs: the window sends a receiver
// track live to a TCP client on loopback (ten fixes a second of the track's clock, seven
// sentences each, times the speed-up, the track looping), first with the monitor's view taking
// the sentences, then with its view frozen. For each phase: the CPU time of the window's thread
// (which refreshes the monitor; the client reads on a thread of its own) and of the whole process,
// and the resident memory at its start and every tenth of it. Runs headless.
//
// Usage: wayloom_bench_monitor POIS.csv SECONDS_PER_PHASE SPEEDUP

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "bench/answer_yes.h"
#include "dialog/track_dlg.h"

namespace {

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

template <typename Widget>
Widget* Find(CTrackDlg& window, const char* name) {
  return window.findChild<Widget*>(QString::fromLatin1(name));
}

// A TCP client on loopback that reads and throws away everything until told to stop.
class Client {
 public:
  explicit Client(std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      std::fprintf(stderr, "could not connect to port %u\n", port);
    }
    reader_ = std::thread([this] {
      char buffer[65536];
      for (ssize_t got = 0; (got = read(fd_, buffer, sizeof buffer)) > 0;) {
        bytes_ += static_cast<std::uint64_t>(got);
      }
    });
  }
  ~Client() {
    shutdown(fd_, SHUT_RDWR);
    reader_.join();
    close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  std::uint64_t Bytes() const { return bytes_; }

 private:
  int fd_ = -1;
  std::atomic<std::uint64_t> bytes_{0};
  std::thread reader_;
};

void Phase(const char* name, int seconds) {
  QElapsedTimer clock;
  clock.start();
  const double threadStart = ThreadCpuMs();
  const double processStart = ProcessCpuMs();
  std::printf("%s: RSS %ld kB at start", name, ResidentKilobytes());
  for (int tenth = 1; tenth <= 10; ++tenth) {
    QEventLoop wait;
    QTimer::singleShot(std::max<qint64>(0, seconds * 100LL * tenth - clock.elapsed()), &wait,
                       &QEventLoop::quit);
    wait.exec();
    std::printf(", %ld", ResidentKilobytes());
  }
  std::printf(" kB\n%s: window thread %.0f ms CPU, process %.0f ms CPU, in %.1f s\n", name,
              ThreadCpuMs() - threadStart, ProcessCpuMs() - processStart,
              static_cast<double>(clock.elapsed()) / 1e3);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wayloom_bench_monitor POIS.csv SECONDS_PER_PHASE SPEEDUP\n");
    return 2;
  }
  QApplication app(argc, argv);
  AnswerYes prompter;
  CTrackDlg window(nullptr, &prompter);
  window.resize(1120, 720);
  window.show();
  Find<QLineEdit>(window, "sourceEdit")->setText(QString::fromLocal8Bit(argv[1]));
  Find<QCheckBox>(window, "receiverBox")->setChecked(true);
  Find<QLineEdit>(window, "speedEdit")->setText(QStringLiteral("50 km/h"));
  Find<QLineEdit>(window, "periodEdit")->setText(QStringLiteral("0.1"));
  Find<QLineEdit>(window, "sentencesEdit")->setText(QStringLiteral("RMC,GGA,GLL,VTG,GSA,ZDA,GNS"));
  Find<QLineEdit>(window, "speedupEdit")->setText(QString::fromLocal8Bit(argv[3]));
  Find<QCheckBox>(window, "loopBox")->setChecked(true);
  Find<QListWidget>(window, "liveOutputs")->setCurrentRow(0);
  Find<QLineEdit>(window, "liveAddress")->setText(QStringLiteral("127.0.0.1:0"));
  Find<QPushButton>(window, "liveStart")->click();
  const QString tcp = Find<QLabel>(window, "liveStatus")->text().split(QLatin1Char('\n')).value(1);
  Client client(tcp.section(QLatin1Char(':'), 1, 1).toUShort());
  const int seconds = std::atoi(argv[2]);
  Phase("monitor", seconds);
  Find<QCheckBox>(window, "freezeBox")->setChecked(true);
  Phase("frozen", seconds);
  std::printf("client: %llu bytes read\n", static_cast<unsigned long long>(client.Bytes()));
  std::printf(
      "view: %d lines; %s\n", Find<QPlainTextEdit>(window, "monitorSentences")->blockCount(),
      qPrintable(Find<QLabel>(window, "liveStatus")->text().section(QLatin1Char('\n'), 0, 0)));
  Find<QPushButton>(window, "liveStop")->click();
  return 0;
}
