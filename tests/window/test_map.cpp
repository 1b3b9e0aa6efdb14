// The track map's drawing: which way a line is drawn for the view it is in, that a dense track
// shows where it is densest, that each way puts the line where it runs, the coverage raster the
// dense way adds lines to, the worker that draws, and that a paint of the map never draws the
// track itself. Headless (the offscreen platform).
#include <QtTest>
#include <QtWidgets>
#include <random>

#include "dialog/coverage_raster.h"
#include "dialog/map_render.h"
#include "dialog/tiles/offline_tiles.h"
#include "dialog/track_map.h"

namespace {

// A track through the given points in that order (latitude, longitude), without points of a file;
// fix i at i minutes past midnight with two sentences. NaN: a fix without a position.
std::unique_ptr<MapTrack> TrackThrough(const std::vector<QPointF>& fixes) {
  auto track = std::make_unique<MapTrack>();
  for (const QPointF& at : fixes) {
    wayloom::Fix fix;
    fix.latitude = at.x();
    fix.longitude = at.y();
    fix.hasPosition = !std::isnan(at.x());
    fix.clockMs = 60000.0 * static_cast<double>(&at - fixes.data());
    track->OnFix(fix, wayloom::SentenceLines({}, 2));
  }
  track->Finish(wayloom::Table());
  return track;
}

// count points spread evenly at random over Europe, in file order: every segment crosses much of
// the view. With walk, a random walk of small steps instead.
std::vector<QPointF> Points(int count, bool walk = false) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> latitude(36.0, 70.0);
  std::uniform_real_distribution<double> longitude(-10.0, 30.0);
  std::uniform_real_distribution<double> step(-0.01, 0.01);
  std::vector<QPointF> points{QPointF(50.0, 10.0)};
  for (int i = 1; i < count; ++i) {
    points.push_back(walk ? points.back() + QPointF(step(random), step(random))
                          : QPointF(latitude(random), longitude(random)));
  }
  return points;
}

// The frame a map of size shows the track in, fitted with a margin of a quarter on every side.
MapFrame FittedFrame(const MapTrack& track, QSize size = QSize(800, 600)) {
  const WorldBox bounds = track.Bounds();
  const double scale = std::min(size.width() / (bounds.right - bounds.left),
                                size.height() / (bounds.bottom - bounds.top)) /
                       1.5;
  const WorldPoint centre{(bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2};
  return MapFrame{
      WorldPoint{centre.x - size.width() / 2.0 / scale, centre.y - size.height() / 2.0 / scale},
      scale, size, 1.0};
}

bool IsInk(QRgb pixel) {
  return pixel != kMapBackgroundRgb && pixel != kOffWorldRgb && qGreen(pixel) > qRed(pixel) + 20;
}

}  // namespace

class MapTest : public QObject {
  Q_OBJECT

 private slots:
  // Few segments are stroked as a track usually looks; segments that together would take the
  // painter long (many, or long ones) are shaded by coverage; none in view draws none.
  void lineStyleFollowsTheView() {
    const struct {
      const char* name;
      std::vector<QPointF> fixes;
      bool awayFromTrack;
      LineStyle expected;
    } cases[] = {
        {"eight spread points", Points(8), false, LineStyle::kStrokes},
        {"a walk of 200 small steps", Points(200, true), false, LineStyle::kStrokes},
        {"200 spread points in file order", Points(200), false, LineStyle::kCoverage},
        {"100,000 spread points in file order", Points(100000), false, LineStyle::kCoverage},
        {"a walk of 100,000 small steps", Points(100000, true), false, LineStyle::kCoverage},
        {"eight spread points, the view elsewhere", Points(8), true, LineStyle::kNone},
    };
    for (const auto& row : cases) {
      const std::unique_ptr<MapTrack> track = TrackThrough(row.fixes);
      MapFrame frame = FittedFrame(*track);
      if (row.awayFromTrack) frame.origin.x -= 0.5;
      const MapDrawing drawing = DrawMap(track.get(), frame, QFont());
      QVERIFY2(drawing.line == row.expected, row.name);
      QVERIFY2(!drawing.image.isNull(), row.name);
    }
  }

  // Each way of drawing puts the line where it runs: the middle of every one of some segments is
  // ink, and a pixel far from any segment is not.
  void lineRunsWhereTheTrackRuns() {
    for (const int count : {6, 400}) {
      const std::vector<QPointF> fixes = Points(count);
      const std::unique_ptr<MapTrack> track = TrackThrough(fixes);
      const MapFrame frame = FittedFrame(*track);
      const MapDrawing drawing = DrawMap(track.get(), frame, QFont());
      const auto at = [&](std::size_t i) {
        return frame.Pixel(ProjectToWorld(fixes[i].x(), fixes[i].y()));
      };
      for (std::size_t i = 0; i + 1 < fixes.size();
           i += std::max<std::size_t>(1, fixes.size() / 20)) {
        const QPointF middle = (at(i) + at(i + 1)) / 2;
        const QPoint pixel(int(std::floor(middle.x())), int(std::floor(middle.y())));
        QVERIFY2(IsInk(drawing.image.pixel(pixel)),
                 qPrintable(QStringLiteral("segment %1 of %2").arg(i).arg(count)));
      }
      QVERIFY(!IsInk(drawing.image.pixel(5, 5)));
    }
  }

  // 100,000 segments across the view are not a solid block: the shades of the covered pixels span
  // from light at the edges to dark where most segments cross, near the middle.
  void denseTrackShowsItsDensity() {
    const std::unique_ptr<MapTrack> track = TrackThrough(Points(100000));
    const MapFrame frame = FittedFrame(*track);
    const QImage image = DrawMap(track.get(), frame, QFont()).image;
    const QRect inner =
        QRectF(frame.Pixel(WorldPoint{track->Bounds().left, track->Bounds().top}),
               frame.Pixel(WorldPoint{track->Bounds().right, track->Bounds().bottom}))
            .toRect();
    std::vector<int> shades;
    for (int y = inner.top(); y <= inner.bottom(); y += 3) {
      for (int x = inner.left(); x <= inner.right(); x += 3)
        shades.push_back(qGreen(image.pixel(x, y)));
    }
    std::sort(shades.begin(), shades.end());
    const int darkest = shades[shades.size() / 20];
    const int lightest = shades[shades.size() * 19 / 20];
    QVERIFY2(lightest - darkest >= 60,
             qPrintable(QStringLiteral("%1 to %2").arg(darkest).arg(lightest)));
    const QPoint middle = inner.center();
    QVERIFY(qGreen(image.pixel(middle)) < qGreen(image.pixel(inner.left() + 2, middle.y())));
  }

  // The coverage raster: where lines go and how much they add.
  void coverageRasterAddsLines() {
    const struct {
      const char* name;
      std::vector<QLineF> lines;  // each added after the one before, joined when they meet
      float weight;
      std::vector<std::pair<QPoint, double>> expected;  // pixel, coverage
      double total;
    } cases[] = {
        // clang-format off
        {"a row", {QLineF(2, 5, 12, 5)}, 1,
         {{QPoint(2, 5), 1}, {QPoint(12, 5), 1}, {QPoint(7, 4), 0}}, 11},
        {"a column", {QLineF(4, 1, 4, 9)}, 1,
         {{QPoint(4, 1), 1}, {QPoint(4, 9), 1}, {QPoint(5, 5), 0}}, 9},
        {"half way between two rows", {QLineF(0, 2.5, 9, 2.5)}, 1,
         {{QPoint(3, 2), 0.5}, {QPoint(3, 3), 0.5}}, 10},
        {"a diagonal", {QLineF(1, 1, 8, 8)}, 1, {{QPoint(5, 5), 1}, {QPoint(5, 6), 0}}, 8},
        {"two joined at (6, 5): the joint once", {QLineF(2, 5, 6, 5), QLineF(6, 5, 6, 9)}, 1,
         {{QPoint(6, 5), 1}, {QPoint(6, 9), 1}}, 9},
        {"weighed three times", {QLineF(2, 5, 4, 5)}, 3, {{QPoint(3, 5), 3}}, 9},
        {"half outside, cut at the edge", {QLineF(-10, 3, 5, 3)}, 1,
         {{QPoint(0, 3), 1}, {QPoint(5, 3), 1}}, 6},
        {"wholly outside", {QLineF(-10, -3, -2, -3)}, 1, {}, 0},
        // clang-format on
    };
    for (const auto& row : cases) {
      CoverageRaster raster(16, 12);
      for (std::size_t i = 0; i < row.lines.size(); ++i) {
        raster.AddLine(row.lines[i].p1(), row.lines[i].p2(), row.weight, i > 0);
      }
      double total = 0.0;
      for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) total += raster.At(x, y);
      }
      QVERIFY2(std::abs(total - row.total) < 0.05,
               qPrintable(QStringLiteral("%1: %2").arg(row.name).arg(total)));
      for (const auto& [pixel, cover] : row.expected) {
        QVERIFY2(std::abs(raster.At(pixel.x(), pixel.y()) - cover) < 0.05, row.name);
      }
    }
  }

  // Shading: an uncovered pixel keeps its colour, a pixel crossed once takes the sparse shade, the
  // densest the dense one, one half covered lies half way.
  void coverageShades() {
    CoverageRaster raster(40, 10);
    for (int i = 0; i < 30; ++i) raster.AddLine(QPointF(20, 0), QPointF(20, 9), 1, false);
    raster.AddLine(QPointF(0, 2), QPointF(15, 2), 1, false);
    raster.AddLine(QPointF(0, 6.5), QPointF(10, 6.5), 1, false);
    QImage image(40, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(255, 255, 255));
    const QRgb sparse = qRgb(0, 200, 0);
    const QRgb dense = qRgb(0, 20, 0);
    raster.Shade(image, sparse, dense);
    QCOMPARE(image.pixel(5, 8), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(5, 2), sparse);
    QCOMPARE(image.pixel(20, 5), dense);
    QCOMPARE(qRed(image.pixel(5, 6)), 128);
  }

  // The worker draws the frame asked for last; a drawing asked for meanwhile is given up.
  void drawerDrawsTheLastRequest() {
    int ready = 0;
    std::mutex mutex;
    MapDrawer drawer([&] {
      const std::lock_guard<std::mutex> lock(mutex);
      ++ready;
    });
    const std::shared_ptr<const MapTrack> track = TrackThrough(Points(20000));
    MapFrame frame = FittedFrame(*track);
    drawer.Request(track, frame, QFont());
    frame.scale *= 2;
    const std::uint64_t last = drawer.Request(track, frame, QFont());
    drawer.Wait();
    const MapDrawing drawing = drawer.Take();
    QCOMPARE(drawing.number, last);
    QCOMPARE(drawing.frame.scale, frame.scale);
    QVERIFY(!drawing.image.isNull());
    QVERIFY(drawer.Take().image.isNull());  // taken once
  }

  // A paint of the map shows the last drawing and asks the worker for the view: the track appears
  // once the worker is done, after a zoom or a long pan as at first; a short pan needs no drawing.
  void paintLeavesTheDrawingToTheWorker() {
    CTrackMap map;
    map.resize(500, 400);
    map.show();
    map.SetTrack(TrackThrough(Points(20000)));
    const auto inkShown = [&map] {
      const QImage image = map.grab().toImage();
      for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
          if (IsInk(image.pixel(x, y))) return true;
        }
      }
      return false;
    };
    QVERIFY(!inkShown() && !map.ViewDrawn());
    map.FinishDrawing();
    QVERIFY(map.ViewDrawn() && inkShown());
    QCOMPARE(map.DrawnLineStyle(), LineStyle::kCoverage);
    map.PanBy(QPointF(30, 20));
    QVERIFY(map.ViewDrawn());
    map.ZoomAt(QPointF(250, 200), 1.25);
    QVERIFY(!map.ViewDrawn());
    QVERIFY(inkShown());  // the last drawing, scaled, while the worker draws
    map.FinishDrawing();
    QVERIFY(map.ViewDrawn());
    map.PanBy(QPointF(map.width() * 2, 0));
    QVERIFY(!map.ViewDrawn());
  }

  // Without a track the map shows the whole world once, its grid from -180 to 180 degrees of
  // longitude, beyond its edges the shade of no world.
  void emptyMapShowsTheWorld() {
    CTrackMap map;
    map.resize(700, 500);
    map.show();
    map.Fit();
    double latitude = 0.0;
    double west = 0.0;
    double east = 0.0;
    WorldToLatLon(map.WorldAt(QPointF(CTrackMap::kMargin, 250)), latitude, west);
    WorldToLatLon(map.WorldAt(QPointF(map.width() - CTrackMap::kMargin, 250)), latitude, east);
    QVERIFY(east - west >= 270.0);
    const double scale = map.ScreenPos(WorldPoint{1, 0}).x() - map.ScreenPos(WorldPoint{0, 0}).x();
    const MapFrame view{map.WorldAt(QPointF(0, 0)), scale, map.size(), 1.0};
    const GridLines grid = GridFor(view);
    QVERIFY(!grid.longitudes.empty());
    QVERIFY(grid.longitudes.front() >= -180.0 && grid.longitudes.back() <= 180.0);
    QVERIFY(grid.longitudes.front() <= -90.0 && grid.longitudes.back() >= 90.0);
    map.FinishDrawing();
    const QImage image = map.grab().toImage();
    QCOMPARE(image.pixel(60, 150), kOffWorldRgb);
    QVERIFY(image.pixel(350, 330) != kOffWorldRgb);
  }

  // Tiles of a folder (each of one colour) under the world where they belong, the credit on a
  // light box in the corner; the track's figures; the fix of a sentence; the trail and follow.
  void tilesMarksAndTrail() {
    QTemporaryDir folder;
    const auto colour = [](int x, int y) { return qRgb(60 + 120 * x, 90, 60 + 120 * y); };
    for (int x = 0; x < 2; ++x) {
      for (int y = 0; y < 2; ++y) {
        QImage tile(kTilePixels, kTilePixels, QImage::Format_RGB32);
        tile.fill(colour(x, y));
        QDir().mkpath(folder.filePath(QStringLiteral("1/%1").arg(x)));
        QVERIFY(tile.save(folder.filePath(QStringLiteral("1/%1/%2.png").arg(x).arg(y))));
      }
    }
    QString error;
    CTrackMap map;
    map.resize(512, 512);
    map.show();
    map.SetTileSource(OfflineTileSource::OpenFolder(folder.path(), {}, TileLoading{}, &error));
    map.Fit();
    map.FinishDrawing();
    const auto shown = [&map](double x, double y) {
      return map.grab().toImage().pixel(map.ScreenPos(WorldPoint{x, y}).toPoint());
    };
    QTRY_COMPARE(shown(0.3, 0.7), colour(0, 1));
    QTRY_COMPARE(shown(0.7, 0.3), colour(1, 0));
    QVERIFY(qGray(map.grab().toImage().pixel(509, 509)) > 240);

    map.SetTrack(TrackThrough({{0, 0}, {0, 1}, {qQNaN(), 0}, {1, 1}}));
    QCOMPARE(map.IdleStatus(), QStringLiteral("Track: 222.39 km, 0:03:00, 3 fixes"));
    for (const auto& [row, marked] : {std::pair{3, true}, {4, false}, {6, true}, {8, false}}) {
      map.SelectSentence(row);
      QCOMPARE(map.SentenceFix().has_value(), marked);
      QVERIFY(!map.SentenceFix() || std::abs(map.SentenceFix()->x - ProjectToWorld(0, 1).x) < 1e-7);
    }
    map.SetFollow(true);
    for (int i = 0; i <= int(CTrackMap::kMostTrailPoints); ++i) map.SetLivePosition(0, i / 1e3);
    map.SetLivePosition(0, CTrackMap::kMostTrailPoints / 1e3);
    QCOMPARE(map.Trail().size(), CTrackMap::kMostTrailPoints / 2 + 1);
    QCOMPARE(map.Trail().front().x, ProjectToWorld(0, 0).x);
    QVERIFY(QRectF(map.rect()).contains(map.ScreenPos(map.Trail().back())));
    map.ClearTrail();
    QVERIFY(map.Trail().empty());
    // Places that are fixes of the track shown: the fixes before come too; a loop's next round
    // starts a new trail.
    map.SetLivePosition(0, 1, 2);
    QCOMPARE(map.Trail().size(), std::size_t(2));
    map.SetLivePosition(0, 0, 4);
    QCOMPARE(map.Trail().size(), std::size_t(1));
  }
};

QTEST_MAIN(MapTest)
#include "test_map.moc"
