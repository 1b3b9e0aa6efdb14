// Times the window on a large POI file: "Create NMEA Track" from the click until both tables are
// shown again, then one repaint of the window scrolled to the last output row, and reports the
// memory the output table takes per row. Runs headless.
//
// Usage: wayloom_bench_window POIS.csv TRACK.nmea

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>
#include <fstream>
#include <string>

#include "dialog/track_dlg.h"
#include "track/host.h"

namespace {

class AnswerYes : public wayloom::Prompter {
 public:
  void ShowMessage(const std::string& text) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  bool AskYesNo(const std::string&) override { return true; }
};

// The process's peak resident memory in megabytes.
long PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wayloom_bench_window POIS.csv TRACK.nmea\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  AnswerYes prompter;
  CTrackDlg window(nullptr, &prompter);
  window.show();
  window.findChild<QLineEdit*>(QStringLiteral("sourceEdit"))
      ->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QLineEdit*>(QStringLiteral("destEdit"))
      ->setText(QString::fromLocal8Bit(argv[2]));
  QApplication::processEvents();

  QElapsedTimer timer;
  timer.start();
  window.CreateTrack();
  QApplication::processEvents();
  const double trackSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  // The views must answer at once however many rows they hold: scroll to the end and repaint.
  timer.restart();
  for (QTableView* view : window.findChildren<QTableView*>()) view->scrollToBottom();
  window.grab();
  const double repaintSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  const wayloom::Table& output = window.Engine().NmeaTable();
  const double bytesPerRow = output.RowCount() ? static_cast<double>(output.MemoryBytes()) /
                                                     static_cast<double>(output.RowCount())
                                               : 0.0;
  std::printf(
      "window: %zu points, %zu output rows, track %.2f s, repaint %.3f s, "
      "%.0f bytes per output row, peak %ld MB\n",
      window.Engine().SourceTable().RowCount() - 1, output.RowCount(), trackSeconds, repaintSeconds,
      bytesPerRow, PeakMegabytes());
  return 0;
}
