// Times the window on a large POI file: "Create NMEA Track" from the click until both tables are
// shown again, then one repaint of the window scrolled to the last output row, and reports the
// memory the output table takes per row. Then the track map: how long its first paint, a wheel
// step and a pan hold up the window, and how long until each is drawn; with --tiles, the same again
// over map tiles (a test pattern made here, read from a folder: no network). Runs headless.
//
// Usage: wayloom_bench_window POIS.csv TRACK.nmea [--reorder] [--extra STEP] [--tiles]

#include <time.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "base/host.h"
#include "bench/answer_yes.h"
#include "bench/pattern_tiles.h"
#include "dialog/map_menu.h"
#include "dialog/tiles/tile_source.h"
#include "dialog/track_dlg.h"
#include "dialog/track_map.h"
#include "platform/platform.h"

namespace {

// The process's peak resident memory in megabytes.
long PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
  }

  return 0;
}

// The CPU time of this thread, in milliseconds: what a paint costs the window's thread, apart from
// the time it waits for a core on a busy machine.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MsSince(const QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// One change of the map's view: how long the paint that follows it holds up the window, and how
// long until the worker's drawing of the new view is shown.
struct ViewChange {
  double paintMs = 0.0;
  double paintCpuMs = 0.0;
  double drawnMs = 0.0;
};

template <typename Change>
ViewChange Time(CTrackMap& map, Change change) {
  QElapsedTimer timer;
  timer.start();
  const double cpuMs = ThreadCpuMs();
  change();
  map.grab();
  ViewChange result;
  result.paintMs = MsSince(timer);
  result.paintCpuMs = ThreadCpuMs() - cpuMs;
  map.FinishDrawing();
  map.grab();
  result.drawnMs = MsSince(timer);
  return result;
}

const char* StyleName(LineStyle style) {
  switch (style) {
    case LineStyle::kStrokes:
      return "strokes";
    case LineStyle::kCoverage:
      return "coverage";
    default:
      return "none";
  }
}

// The map: its first paint at the fitted view, a wheel step in, a pan by a whole view (out of the
// drawing kept around the view), and the worst paint while it is dragged 5 by 3 pixels at a
// time.
void MapFigures(CTrackMap& map, const char* label) {
  const QPointF middle(map.width() / 2.0, map.height() / 2.0);
  // A zoom step too small to see makes the map draw afresh.
  const ViewChange first = Time(map, [&] { map.ZoomAt(middle, 1.000001); });
  const LineStyle style = map.DrawnLineStyle();
  const ViewChange wheel = Time(map, [&] { map.ZoomAt(middle, 1.25); });
  const ViewChange pan = Time(map, [&] { map.PanBy(QPointF(map.width(), map.height() / 2.0)); });
  constexpr int kDragSteps = 400;
  double dragWorstMs = 0.0;
  QElapsedTimer timer;
  for (int step = 0; step < kDragSteps; ++step) {
    timer.restart();
    map.PanBy(QPointF(step < kDragSteps / 2 ? 5 : -5, 3));
    map.grab();
    dragWorstMs = std::max(dragWorstMs, MsSince(timer));
  }
  std::printf(
      "%s: %zu fixes on %dx%d pixels, line as %s; in ms, paint (its CPU time) and drawn: "
      "first %.1f (%.1f) %.0f, wheel step %.1f (%.1f) %.0f, pan %.1f (%.1f) %.0f; drag repaint "
      "at worst %.1f\n",
      label, map.Track() ? map.Track()->FixCount() : 0, map.width(), map.height(), StyleName(style),
      first.paintMs, first.paintCpuMs, first.drawnMs, wheel.paintMs, wheel.paintCpuMs,
      wheel.drawnMs, pan.paintMs, pan.paintCpuMs, pan.drawnMs, dragWorstMs);
}

// The map over test-pattern tiles of a folder: the tiles of the fitted view and a view around it,
// a zoom finer than the view's too, loaded before the view changes are timed (a view that needs
// tiles not yet loaded shows coarser ones meanwhile, which is no slower).
void MapFiguresWithTiles(CTrackDlg& window, const QString& folder) {
  CTrackMap& map = window.Map();
  map.Fit();
  QElapsedTimer timer;
  timer.start();
  int deepest = 0;
  const int tiles = WritePatternTilesAround(map, folder, &deepest);
  std::printf("tiles: %d made in %.1f s, zooms 0 to %d\n", tiles, MsSince(timer) / 1e3, deepest);
  window.findChild<MapMenu*>()->SetTiles(TileSettings{folder, QString(), false});
  map.grab();
  while (map.Tiles() && map.Tiles()->LoadsUnderWay() > 0) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  MapFigures(map, "map over tiles");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: wayloom_bench_window POIS.csv TRACK.nmea [--reorder] [--extra STEP]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("WAYLOOM_TILES", "off");   // tiles only from the folder made here
  wayloom::KeepLargeBlocksMapped();  // as the program does
  QApplication app(argc, argv);
  AnswerYes prompter;
  CTrackDlg window(nullptr, &prompter);
  window.show();
  window.findChild<QLineEdit*>(QStringLiteral("sourceEdit"))
      ->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QLineEdit*>(QStringLiteral("destEdit"))
      ->setText(QString::fromLocal8Bit(argv[2]));
  bool tiles = false;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tiles") == 0) {
      tiles = true;
    } else if (std::strcmp(argv[i], "--reorder") == 0) {
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

  const wayloom::OutputRows& output = window.Engine().NmeaTable();
  const double bytesPerRow = output.RowCount() ? static_cast<double>(output.MemoryBytes()) /
                                                     static_cast<double>(output.RowCount())
                                               : 0.0;
  const MapTrack* route = window.Map().Track();
  std::printf(
      "window: %zu points, %zu output rows, track %.2f s, repaint %.3f s, "
      "%.1f bytes per output row, map %.1f MB, peak %ld MB\n",
      window.Engine().SourceTable().RowCount() - 1, output.RowCount(), trackSeconds, repaintSeconds,
      bytesPerRow, route ? static_cast<double>(route->MemoryBytes()) / 1e6 : 0.0, PeakMegabytes());

  MapFigures(window.Map(), "map");
  if (tiles) {
    const QTemporaryDir folder;
    MapFiguresWithTiles(window, folder.path());
  }
  return 0;
}
