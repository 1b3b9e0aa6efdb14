// Times the window on a large POI file: "Create NMEA Track" from the click until both tables are
// shown again, then one repaint of the window scrolled to the last output row, and reports the
// memory the output table takes per row. Then the track map: its first draw, a repaint while it is
// dragged a few pixels at a time, and a repaint after a wheel step. Runs headless.
//
// Usage: wayloom_bench_window POIS.csv TRACK.nmea [--reorder] [--extra STEP]

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "base/host.h"
#include "dialog/track_dlg.h"
#include "dialog/track_map.h"

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
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: wayloom_bench_window POIS.csv TRACK.nmea [--reorder] [--extra STEP]\n");
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
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--reorder") == 0) {
      window.findChild<QCheckBox*>(QStringLiteral("reorderBox"))->setChecked(true);
    } else if (std::strcmp(argv[i], "--extra") == 0 && i + 1 < argc) {
      window.findChild<QCheckBox*>(QStringLiteral("extraPointsBox"))->setChecked(true);
      window.findChild<QLineEdit*>(QStringLiteral("stepEdit"))
          ->setText(QString::fromLocal8Bit(argv[++i]));
    }
  }
  window.resize(1600, 900);
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

  // The map: drawn for the first time, then dragged 5 by 3 pixels at a time (a repaint after each
  // step, as a drag gives), then zoomed one wheel step at a time (each one drawn afresh).
  // The first draw at the fitted view: a zoom step too small to see makes the map draw afresh.
  CTrackMap& map = window.Map();
  map.ZoomAt(QPointF(map.width() / 2.0, map.height() / 2.0), 1.000001);
  timer.restart();
  map.grab();
  const double firstDrawMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  constexpr int kPanSteps = 400;
  double panTotalMs = 0.0;
  double panWorstMs = 0.0;
  for (int step = 0; step < kPanSteps; ++step) {
    timer.restart();
    map.PanBy(QPointF(step < kPanSteps / 2 ? 5 : -5, 3));
    map.grab();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    panTotalMs += ms;
    panWorstMs = std::max(panWorstMs, ms);
  }
  constexpr int kZoomSteps = 12;
  timer.restart();
  for (int step = 0; step < kZoomSteps; ++step) {
    map.ZoomAt(QPointF(map.width() / 2.0, map.height() / 2.0), 1.25);
    map.grab();
  }
  const double zoomMs = static_cast<double>(timer.nsecsElapsed()) / 1e6 / kZoomSteps;
  std::printf(
      "map: %zu fixes on %dx%d pixels, first draw %.1f ms, pan repaint %.2f ms on average "
      "(%.1f ms at worst), zoom repaint %.1f ms\n",
      map.Track() ? map.Track()->FixCount() : 0, map.width(), map.height(), firstDrawMs,
      panTotalMs / kPanSteps, panWorstMs, zoomMs);
  return 0;
}
