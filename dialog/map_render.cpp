#include "dialog/map_render.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

#include "dialog/coverage_raster.h"

namespace {

// More visible points than this are drawn as plain dots without outline; labels need fewer still.
constexpr std::size_t kMostMarkers = 4000;
constexpr std::size_t kMostLabels = 300;
// Extra points show as dots once the usual step between fixes takes this many pixels, and while
// no more fixes than this lie in the runs in view.
constexpr double kDotSpacingPixels = 6.0;
constexpr std::size_t kMostDots = 20000;
constexpr int kGridSpacingPixels = 90;
// Strokes are drawn as short polylines: the painter strokes a long one as one shape, which costs
// far more. A segment longer than this many pixels is stroked on its own for the same reason.
constexpr std::size_t kPolylineLength = 32;
constexpr double kLongSegmentPixels = 64.0;
// The line is stroked while segments * kStrokeSegmentCost + pixels of length stays within
// kMostStrokeCost: the painter's antialiased strokes take about 12 µs a segment and 1.2 µs a pixel
// of length, so that is some 30 ms. Beyond it the line is shaded by coverage, which takes a few
// nanoseconds a pixel of length; beyond kMostCoveragePixels of length (several times every pixel
// of the image) only every n-th segment is added, n times over, which shades the same.
constexpr double kStrokeSegmentCost = 10.0;
constexpr double kMostStrokeCost = 25000.0;
constexpr double kMostCoveragePixels = 8e6;
// A grid of more lines than this is a view beyond the zoom limits: none is drawn.
constexpr long kMostGridLines = 1000;
// The shades of a view shaded by coverage: where fewest and most segments cross.
constexpr QRgb kSparseRgb = 0xff4caf50;
constexpr QRgb kDenseRgb = 0xff0b3d0f;

QColor Rgb(QRgb rgb) { return QColor::fromRgba(rgb); }

// The steps the grid may take, in degrees.
double GridStep(double degreesPerPixel) {
  const double wanted = degreesPerPixel * kGridSpacingPixels;
  for (double decade = 1e-6; decade <= 10.0; decade *= 10.0) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (factor * decade >= wanted) return factor * decade;
    }
  }
  for (const double step : {15.0, 30.0, 45.0}) {
    if (step >= wanted) return step;
  }
  return 90.0;
}

// The multiples of step from low to high, both included.
std::vector<double> Multiples(double low, double high, double step) {
  std::vector<double> values;
  const double first = std::ceil(low / step);
  const double last = std::floor(high / step);
  if (!(last - first < kMostGridLines)) return values;
  for (double k = first; k <= last; k += 1.0) values.push_back(k * step);
  return values;
}

double Length(const QPointF& a, const QPointF& b) {
  const double dx = b.x() - a.x();
  const double dy = b.y() - a.y();
  return std::sqrt(dx * dx + dy * dy);
}

// Sets the pixels of a small square centred on at (device-independent pixels) to rgb.
void Plot(QImage& image, const QPointF& at, int half, QRgb rgb) {
  const double ratio = image.devicePixelRatio();
  const int cx = static_cast<int>(std::floor(at.x() * ratio));
  const int cy = static_cast<int>(std::floor(at.y() * ratio));
  for (int y = std::max(0, cy - half); y <= std::min(image.height() - 1, cy + half); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = std::max(0, cx - half); x <= std::min(image.width() - 1, cx + half); ++x) {
      line[x] = rgb;
    }
  }
}

// Gathers segments that follow one another into short polylines and strokes them.
class StrokeBatch {
 public:
  explicit StrokeBatch(QPainter& painter) : m_painter(painter) {}

  // The segment a-b, a being where the one before ended.
  void Add(const QPointF& a, const QPointF& b) {
    if (m_points.empty()) m_points.push_back(a);
    const QPointF& last = m_points.back();
    if (std::abs(b.x() - last.x()) < 0.5 && std::abs(b.y() - last.y()) < 0.5) return;
    m_points.push_back(b);
    if (m_points.size() >= kPolylineLength) {
      Break();
      m_points.push_back(b);
    }
  }

  // Strokes what was gathered; the next segment starts a new polyline.
  void Break() {
    if (m_points.size() >= 2) m_painter.drawPolyline(m_points.data(), int(m_points.size()));
    m_points.clear();
  }

 private:
  QPainter& m_painter;
  std::vector<QPointF> m_points;
};

// One drawing: the image, its frame, the track and the cancel flag.
class Canvas {
 public:
  Canvas(MapDrawing& drawing, const MapTrack* track, const std::atomic<bool>* cancel)
      : m_drawing(drawing),
        m_image(drawing.image),
        m_frame(drawing.frame),
        m_track(track),
        m_cancel(cancel),
        m_clip(QRectF(QPointF(), QSizeF(m_frame.size)).adjusted(-8, -8, 8, 8)) {}

  bool Cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

  void DrawWorld(QPainter& painter) const;
  void DrawGrid(QPainter& painter) const;
  void DrawLine(QPainter& painter);
  void DrawPoints(QPainter& painter);

 private:
  // The fixes of a level in pixels, and the runs of it that reach the image.
  struct LevelView {
    const MapTrack::Level& level;
    double offsetX;
    double offsetY;
    double scale;
    std::vector<std::size_t> runs;
    QPointF Pixel(std::size_t i) const {
      return QPointF(offsetX + static_cast<double>(level.X(i)) * scale,
                     offsetY + static_cast<double>(level.Y(i)) * scale);
    }
    std::size_t First(std::size_t run) const { return run * MapTrack::kRunLength; }
    // The last fix of a run: the first of the next run, or the last fix of the level.
    std::size_t Last(std::size_t run) const {
      return std::min(First(run) + MapTrack::kRunLength, level.FixCount() - 1);
    }
  };
  LevelView ViewOf(const MapTrack::Level& level) const;
  // The segments of view cut to the image: their length in pixels, and how many would be stroked
  // (those that end on another pixel than the last one kept).
  struct LineSize {
    double pixels = 0.0;
    std::size_t segments = 0;
  };
  LineSize Measure(const LevelView& view) const;
  void DrawStrokes(QPainter& painter, const LevelView& view) const;
  void DrawCoverage(const LevelView& view, double linePixels);
  void DrawExtraDots(QPainter& painter) const;
  void DrawEnds(QPainter& painter) const;
  void DrawMarkers(QPainter& painter, std::vector<std::size_t>& shown) const;

  MapDrawing& m_drawing;
  QImage& m_image;
  const MapFrame& m_frame;
  const MapTrack* m_track;
  const std::atomic<bool>* m_cancel;
  const QRectF m_clip;  // segments are cut to this, a little larger than the image
};

void Canvas::DrawWorld(QPainter& painter) const {
  if (m_frame.overTiles) {
    m_image.fill(Qt::transparent);
    return;
  }
  m_image.fill(Rgb(kOffWorldRgb));
  const QRectF world(m_frame.Pixel(WorldPoint{0.0, 0.0}), m_frame.Pixel(WorldPoint{1.0, 1.0}));
  painter.fillRect(world.intersected(m_clip), Rgb(kMapBackgroundRgb));
}

void Canvas::DrawGrid(QPainter& painter) const {
  const GridLines grid = GridFor(m_frame);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(m_frame.overTiles ? QColor(60, 60, 60, 50) : QColor(214, 208, 196), 1));
  const double width = m_frame.size.width();
  const double height = m_frame.size.height();
  for (const double longitude : grid.longitudes) {
    const double x = m_frame.Pixel(ProjectToWorld(0.0, longitude)).x();
    painter.drawLine(QPointF(x, 0), QPointF(x, height));
  }
  for (const double latitude : grid.latitudes) {
    const double y = m_frame.Pixel(ProjectToWorld(latitude, 0.0)).y();
    painter.drawLine(QPointF(0, y), QPointF(width, y));
  }
  painter.restore();
}

Canvas::LevelView Canvas::ViewOf(const MapTrack::Level& level) const {
  const WorldPoint origin = m_track->Origin();
  LevelView view{level,
                 (origin.x - m_frame.origin.x) * m_frame.scale,
                 (origin.y - m_frame.origin.y) * m_frame.scale,
                 m_frame.scale,
                 {}};
  const WorldBox area = m_frame.Area();
  for (std::size_t run = 0; run < level.runs.size(); ++run) {
    if (level.runs[run].Intersects(area)) view.runs.push_back(run);
  }
  return view;
}

Canvas::LineSize Canvas::Measure(const LevelView& view) const {
  LineSize size;
  QPointF kept(-1e9, -1e9);
  for (const std::size_t run : view.runs) {
    for (std::size_t i = view.First(run); i < view.Last(run); ++i) {
      QPointF a = view.Pixel(i);
      QPointF b = view.Pixel(i + 1);
      if (!ClipSegment(a, b, m_clip)) continue;
      size.pixels += Length(a, b);
      if (std::abs(b.x() - kept.x()) >= 0.5 || std::abs(b.y() - kept.y()) >= 0.5) {
        ++size.segments;
        kept = b;
      }
    }
  }
  return size;
}

// The line through the fixes of the level this zoom needs: stroked, or shaded by coverage when it
// is too long for strokes; then the extra points and the start and end marks.
void Canvas::DrawLine(QPainter& painter) {
  const MapTrack::Level& level = m_track->LevelFor(1.0 / m_frame.scale);
  if (level.FixCount() == 0) return;
  const LevelView view = ViewOf(level);
  const LineSize size = Measure(view);
  m_drawing.linePixels = size.pixels;
  m_drawing.lineSegments = size.segments;
  if (size.pixels <= 0.0) {
    m_drawing.line = LineStyle::kNone;
  } else if (static_cast<double>(size.segments) * kStrokeSegmentCost + size.pixels <=
             kMostStrokeCost) {
    m_drawing.line = LineStyle::kStrokes;
    DrawStrokes(painter, view);
  } else {
    m_drawing.line = LineStyle::kCoverage;
    DrawCoverage(view, size.pixels);
  }
  if (Cancelled()) return;
  DrawExtraDots(painter);
  DrawEnds(painter);
}

// Short polylines of the segments cut to the image, a fix on the pixel of the one kept before it
// left out. A segment that leaves the image, or a long one, is stroked on its own.
void Canvas::DrawStrokes(QPainter& painter, const LevelView& view) const {
  painter.save();
  painter.setPen(QPen(Rgb(kMapLineRgb), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  StrokeBatch batch(painter);
  std::size_t nextRun = 0;
  for (const std::size_t run : view.runs) {
    if (Cancelled()) break;
    if (run != nextRun) batch.Break();
    nextRun = run + 1;
    for (std::size_t i = view.First(run); i < view.Last(run); ++i) {
      QPointF a = view.Pixel(i);
      QPointF b = view.Pixel(i + 1);
      const bool whole = m_clip.contains(a) && m_clip.contains(b);
      if (!ClipSegment(a, b, m_clip)) continue;
      if (whole && Length(a, b) <= kLongSegmentPixels) {
        batch.Add(a, b);
      } else {
        batch.Break();
        painter.drawLine(a, b);
      }
    }
  }
  batch.Break();
  painter.restore();
}

// Adds every segment to a coverage raster (every n-th one, n times over, when they are very long
// together) and shades the image by it.
void Canvas::DrawCoverage(const LevelView& view, double linePixels) {
  const double ratio = m_image.devicePixelRatio();
  const double stride = std::ceil(linePixels * ratio / kMostCoveragePixels);
  const auto every = static_cast<std::size_t>(std::max(1.0, stride));
  const auto weight = static_cast<float>(every);
  CoverageRaster raster(m_image.width(), m_image.height());
  // The raster's pixel centres lie on whole numbers, the painter's half a pixel further on.
  const QPointF centre(0.5, 0.5);
  std::size_t segment = 0;
  std::size_t nextRun = 0;
  for (const std::size_t run : view.runs) {
    if (Cancelled()) return;
    bool joined = run == nextRun && every == 1;
    nextRun = run + 1;
    for (std::size_t i = view.First(run); i < view.Last(run); ++i, ++segment) {
      if (segment % every != 0) continue;
      raster.AddLine(view.Pixel(i) * ratio - centre, view.Pixel(i + 1) * ratio - centre, weight,
                     joined);
      joined = every == 1;
    }
  }
  raster.Shade(m_image, kSparseRgb, kDenseRgb);
}

// The extra points, once the zoom sets them apart (a dot every few pixels at most), and while
// there are not so many in view that they would hide the line.
void Canvas::DrawExtraDots(QPainter& painter) const {
  if (m_track->TypicalStep() * m_frame.scale < kDotSpacingPixels) return;
  const LevelView all = ViewOf(m_track->LevelFor(0.0));
  if (all.runs.size() * MapTrack::kRunLength > kMostDots) return;
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(Rgb(kMapLineRgb));
  QPointF lastDot(-1e9, -1e9);
  for (const std::size_t run : all.runs) {
    const std::size_t end = std::min(all.First(run) + MapTrack::kRunLength, all.level.FixCount());
    for (std::size_t i = all.First(run); i < end; ++i) {
      const QPointF at = all.Pixel(i);
      if (!m_clip.contains(at) || Length(at, lastDot) < kDotSpacingPixels / 2) continue;
      painter.drawEllipse(at, 2.5, 2.5);
      lastDot = at;
    }
  }
  painter.restore();
}

// Start and end: rings, so that the point inside them still shows.
void Canvas::DrawEnds(QPainter& painter) const {
  const QPointF start = m_frame.Pixel(m_track->Fix(0));
  const QPointF end = m_frame.Pixel(m_track->Fix(m_track->FixCount() - 1));
  painter.save();
  painter.setBrush(Qt::NoBrush);
  if (m_clip.contains(end)) {
    painter.setPen(QPen(QColor(198, 40, 40), 3));
    painter.drawEllipse(end, 9, 9);
  }
  if (m_clip.contains(start)) {
    painter.setPen(QPen(QColor(46, 125, 50), 3));
    painter.drawEllipse(start, 9, 9);
  }
  painter.restore();
}

// The points of the file: numbered markers, or plain dots when there are very many in view.
void Canvas::DrawPoints(QPainter& painter) {
  const WorldBox area = m_frame.Area();
  std::vector<std::size_t> shown;
  const std::vector<MapTrack::Point>& points = m_track->Points();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const WorldPoint at = m_track->PointAt(i);
    if (at.x >= area.left && at.x <= area.right && at.y >= area.top && at.y <= area.bottom) {
      shown.push_back(i);
    }
  }
  if (shown.size() <= kMostMarkers) {
    DrawMarkers(painter, shown);
    return;
  }
  for (const std::size_t i : shown) {
    Plot(m_image, m_frame.Pixel(m_track->PointAt(i)), 1,
         points[i].visit > 0 ? kMapPointRgb : kMapUnvisitedRgb);
  }
}

void Canvas::DrawMarkers(QPainter& painter, std::vector<std::size_t>& shown) const {
  const std::vector<MapTrack::Point>& points = m_track->Points();
  painter.save();
  painter.setPen(QPen(QColor(255, 255, 255), 1.5));
  for (const std::size_t i : shown) {
    painter.setBrush(Rgb(points[i].visit > 0 ? kMapPointRgb : kMapUnvisitedRgb));
    painter.drawEllipse(m_frame.Pixel(m_track->PointAt(i)), 5.0, 5.0);
  }
  if (shown.size() <= kMostLabels) {
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(13, 71, 161));
    // In visiting order; a number that would overlap one already written is left out.
    std::sort(shown.begin(), shown.end(), [&points](std::size_t a, std::size_t b) {
      return points[a].visit < points[b].visit;
    });
    std::vector<QRectF> written;
    for (const std::size_t i : shown) {
      if (points[i].visit == 0) continue;
      const QString number = QString::number(points[i].visit);
      const QPointF at = m_frame.Pixel(m_track->PointAt(i)) + QPointF(7, -6);
      const QRectF box = painter.fontMetrics().boundingRect(number).translated(at.toPoint());
      if (std::any_of(written.begin(), written.end(),
                      [&](const QRectF& other) { return other.intersects(box); })) {
        continue;
      }
      painter.drawText(at, number);
      written.push_back(box);
    }
  }
  painter.restore();
}

}  // namespace

WorldBox MapFrame::Area() const {
  WorldBox area;
  if (Empty()) return area;
  area.Add(origin.x, origin.y);
  area.Add(origin.x + size.width() / scale, origin.y + size.height() / scale);
  return area;
}

GridLines GridFor(const MapFrame& frame) {
  GridLines grid;
  if (frame.Empty()) return grid;
  const WorldBox area = frame.Area();
  double north = 0.0;
  double west = 0.0;
  double south = 0.0;
  double east = 0.0;
  WorldToLatLon(WorldPoint{area.left, area.top}, north, west);
  WorldToLatLon(WorldPoint{area.right, area.bottom}, south, east);
  grid.stepDegrees = GridStep((east - west) / std::max(1, frame.size.width()));
  grid.longitudes = Multiples(std::max(west, -180.0), std::min(east, 180.0), grid.stepDegrees);
  grid.latitudes =
      Multiples(std::max(south, -kMaxLatitude), std::min(north, kMaxLatitude), grid.stepDegrees);
  return grid;
}

QString DegreesText(double value, double stepDegrees) {
  const int decimals =
      stepDegrees >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(stepDegrees) - 1e-9));
  return QString::number(value, 'f', decimals);
}

MapDrawing DrawMap(const MapTrack* track, const MapFrame& frame, const QFont& font,
                   const std::atomic<bool>* cancel) {
  MapDrawing drawing;
  drawing.frame = frame;
  if (frame.Empty()) return drawing;
  drawing.image = QImage(frame.size * frame.pixelRatio, QImage::Format_ARGB32_Premultiplied);
  drawing.image.setDevicePixelRatio(frame.pixelRatio);
  Canvas canvas(drawing, track, cancel);
  {
    QPainter painter(&drawing.image);
    painter.setFont(font);
    canvas.DrawWorld(painter);
    canvas.DrawGrid(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    if (track && track->FixCount() > 0) canvas.DrawLine(painter);
    if (track && !canvas.Cancelled()) canvas.DrawPoints(painter);
  }
  if (canvas.Cancelled()) drawing.image = QImage();
  return drawing;
}

MapDrawer::MapDrawer(std::function<void()> ready)
    : m_ready(std::move(ready)), m_thread([this] { Run(); }) {}

MapDrawer::~MapDrawer() {
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
    m_cancel = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

std::uint64_t MapDrawer::Request(std::shared_ptr<const MapTrack> track, const MapFrame& frame,
                                 const QFont& font) {
  std::uint64_t number = 0;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    number = m_job.number + 1;
    m_job = Job{std::move(track), frame, font, number};
    m_cancel = true;
  }
  m_changed.notify_all();
  return number;
}

MapDrawing MapDrawer::Take() {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return std::exchange(m_done, MapDrawing{});
}

void MapDrawer::Wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_drawnUpTo >= m_job.number; });
}

void MapDrawer::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_quit || m_drawnUpTo < m_job.number; });
    if (m_quit) return;
    const Job job = m_job;
    m_cancel = false;
    lock.unlock();
    MapDrawing drawing = DrawMap(job.track.get(), job.frame, job.font, &m_cancel);
    drawing.number = job.number;
    lock.lock();
    // A drawing cut short by a newer request is given up: the loop goes on to that one.
    m_drawnUpTo = std::max(m_drawnUpTo, job.number);
    const bool tell = !drawing.image.isNull();
    if (tell) m_done = std::move(drawing);
    lock.unlock();
    m_changed.notify_all();
    if (tell && m_ready) m_ready();
    lock.lock();
  }
}
