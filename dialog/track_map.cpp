#include "dialog/track_map.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Zoom limits in pixels per world unit: the whole world in 64 pixels, and about 2 cm a pixel.
constexpr double kLeastScale = 64.0;
constexpr double kMostScale = 2147483648.0;  // 2^31
// Fit shows a single point (or points all in one place) about this many metres across.
constexpr double kSinglePointMetres = 2000.0;
// More visible points than this are drawn as plain dots without outline; labels need fewer still.
constexpr std::size_t kMostMarkers = 4000;
// More segments in view than this (a track that zigzags across the view, such as a large file
// in file order) are shown as their fixes, a pixel dot each: the line would cover the view and
// take seconds to draw.
constexpr std::size_t kMostSegments = 200000;
constexpr std::size_t kMostLabels = 300;
// Extra points show as dots once the usual step between fixes takes this many pixels.
constexpr double kDotSpacingPixels = 6.0;
constexpr std::size_t kMostDots = 20000;
constexpr int kGridSpacingPixels = 90;
constexpr std::size_t kPolylineLength = 32;

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

QString DegreesText(double value, double step) {
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return QString::number(value, 'f', decimals);
}

// Cuts the segment a-b to the rectangle; false when none of it lies inside (Liang-Barsky).
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& rect) {
  double t0 = 0.0;
  double t1 = 1.0;
  const double dx = b.x() - a.x();
  const double dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() - rect.left(), rect.right() - a.x(), a.y() - rect.top(),
                       rect.bottom() - a.y()};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const QPointF start = a;
  if (t1 < 1.0) b = QPointF(start.x() + t1 * dx, start.y() + t1 * dy);
  if (t0 > 0.0) a = QPointF(start.x() + t0 * dx, start.y() + t0 * dy);
  return true;
}

// Sets the pixels of a small square centred on at (in the image's own coordinates) to rgb.
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

}  // namespace

CTrackMap::CTrackMap(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("trackMap"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::OpenHandCursor);
}

void CTrackMap::SetTrack(std::unique_ptr<MapTrack> track) {
  m_track = std::move(track);
  m_selected.reset();
  m_cacheValid = false;
  Fit();
}

void CTrackMap::SetDescriber(std::function<QString(std::size_t)> describe) {
  m_describe = std::move(describe);
}

void CTrackMap::SelectPoint(std::size_t index) {
  m_selected.reset();
  if (m_track && index < m_track->Points().size()) {
    const WorldPoint at = m_track->Points()[index].at;
    if (std::isfinite(at.x) && std::isfinite(at.y)) {
      m_selected = index;
      if (!QRectF(rect()).contains(ScreenPos(at))) m_center = at;
    }
  }
  update();
}

void CTrackMap::SetLivePosition(double latitude, double longitude) {
  const WorldPoint at = ProjectToWorld(latitude, longitude);
  if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
  m_live = at;
  update();
}

void CTrackMap::ClearLivePosition() {
  m_live.reset();
  update();
}

QPointF CTrackMap::ScreenPos(const WorldPoint& point) const {
  return QPointF((point.x - m_center.x) * m_scale + width() / 2.0,
                 (point.y - m_center.y) * m_scale + height() / 2.0);
}

WorldPoint CTrackMap::WorldAt(const QPointF& pixel) const {
  return WorldPoint{m_center.x + (pixel.x() - width() / 2.0) / m_scale,
                    m_center.y + (pixel.y() - height() / 2.0) / m_scale};
}

void CTrackMap::ZoomAt(const QPointF& pixel, double factor) {
  const WorldPoint fixed = WorldAt(pixel);
  m_scale = std::clamp(m_scale * factor, kLeastScale, kMostScale);
  m_center = WorldPoint{fixed.x - (pixel.x() - width() / 2.0) / m_scale,
                        fixed.y - (pixel.y() - height() / 2.0) / m_scale};
  update();
}

void CTrackMap::PanBy(const QPointF& pixels) {
  m_center.x -= pixels.x() / m_scale;
  m_center.y -= pixels.y() / m_scale;
  update();
}

void CTrackMap::Fit() {
  const WorldBox bounds = m_track ? m_track->Bounds() : WorldBox{};
  const double room = std::max(1, std::min(width(), height()) - 2 * kMargin);
  if (bounds.Empty()) {
    m_center = WorldPoint{0.5, 0.5};
    m_scale = std::max(kLeastScale, room);
  } else {
    m_center = WorldPoint{(bounds.left + bounds.right) / 2.0, (bounds.top + bounds.bottom) / 2.0};
    const double spanX = bounds.right - bounds.left;
    const double spanY = bounds.bottom - bounds.top;
    if (spanX <= 0.0 && spanY <= 0.0) {
      double latitude = 0.0;
      double longitude = 0.0;
      WorldToLatLon(m_center, latitude, longitude);
      m_scale = room * MetresPerWorldUnit(latitude) / kSinglePointMetres;
    } else {
      const double roomX = std::max(1, width() - 2 * kMargin);
      const double roomY = std::max(1, height() - 2 * kMargin);
      m_scale = std::min(spanX > 0.0 ? roomX / spanX : kMostScale,
                         spanY > 0.0 ? roomY / spanY : kMostScale);
    }
    m_scale = std::clamp(m_scale, kLeastScale, kMostScale);
  }
  update();
}

bool CTrackMap::CacheCovers() const {
  if (!m_cacheValid || m_cacheScale != m_scale || m_cache.isNull()) return false;
  const QPointF topLeft = ScreenPos(m_cacheOrigin);
  const QSizeF size = m_cache.deviceIndependentSize();
  return topLeft.x() <= 0.5 && topLeft.y() <= 0.5 && topLeft.x() + size.width() >= width() - 0.5 &&
         topLeft.y() + size.height() >= height() - 0.5;
}

void CTrackMap::RenderCache() {
  const int margin = std::max(width(), height()) / 2;
  const QSize size(width() + 2 * margin, height() + 2 * margin);
  const qreal ratio = devicePixelRatioF();
  if (m_cache.deviceIndependentSize().toSize() != size || m_cache.devicePixelRatio() != ratio) {
    m_cache = QImage(size * ratio, QImage::Format_ARGB32_Premultiplied);
    m_cache.setDevicePixelRatio(ratio);
  }
  m_cache.fill(Rgb(kBackgroundRgb));
  // The cache's top left sits on a whole pixel of the view, so that it is drawn unblurred.
  const QPointF corner = ScreenPos(WorldAt(QPointF(-margin, -margin)));
  m_cacheOrigin = WorldAt(QPointF(std::round(corner.x()), std::round(corner.y())));
  m_cacheScale = m_scale;
  m_cacheValid = true;

  QPainter painter(&m_cache);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawGrid(painter, QPointF(0, 0), QSizeF(size), false);
  if (m_track) {
    WorldBox area;
    area.Add(m_cacheOrigin.x, m_cacheOrigin.y);
    area.Add(m_cacheOrigin.x + size.width() / m_scale, m_cacheOrigin.y + size.height() / m_scale);
    DrawLine(painter, area);
    DrawPoints(painter, area);
  }
}

// Grid lines at round degrees; with labels (drawn over the track, at the view's edges) only.
void CTrackMap::DrawGrid(QPainter& painter, const QPointF& origin, const QSizeF& size,
                         bool labels) const {
  const QPointF offset = labels ? QPointF() : ScreenPos(m_cacheOrigin);
  const auto world = [&](double x, double y) { return WorldAt(QPointF(x, y) + offset - origin); };
  double north = 0.0;
  double west = 0.0;
  double south = 0.0;
  double east = 0.0;
  WorldToLatLon(world(0, 0), north, west);
  WorldToLatLon(world(size.width(), size.height()), south, east);
  const double step = GridStep((east - west) / std::max(1.0, size.width()));
  const auto toCanvas = [&](const WorldPoint& point) { return ScreenPos(point) - offset + origin; };

  painter.save();
  if (labels) {
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    painter.setFont(font);
    painter.setPen(QColor(110, 110, 110));
  } else {
    painter.setPen(QPen(QColor(214, 208, 196), 1));
  }
  for (double longitude = std::ceil(west / step) * step; longitude <= east; longitude += step) {
    const double x = toCanvas(ProjectToWorld(0.0, longitude)).x();
    if (labels) {
      painter.drawText(QPointF(x + 3, 12), DegreesText(longitude, step));
    } else {
      painter.drawLine(QPointF(x, 0), QPointF(x, size.height()));
    }
  }
  const double top = std::min(north, kMaxLatitude);
  for (double latitude = std::ceil(std::max(south, -kMaxLatitude) / step) * step; latitude <= top;
       latitude += step) {
    const double y = toCanvas(ProjectToWorld(latitude, 0.0)).y();
    if (labels) {
      painter.drawText(QPointF(3, y - 3), DegreesText(latitude, step));
    } else {
      painter.drawLine(QPointF(0, y), QPointF(size.width(), y));
    }
  }
  painter.restore();
}

// The line through the fixes of the level this zoom needs, run by run where the runs touch the
// area; each segment cut to the area (the pixel numbers of a far fix could overflow the painter),
// and fixes on the pixel of the one before left out.
void CTrackMap::DrawLine(QPainter& painter, const WorldBox& area) {
  const MapTrack::Level& level = m_track->LevelFor(1.0 / m_scale);
  const std::size_t n = level.FixCount();
  if (n == 0) return;
  const WorldPoint origin = m_track->Origin();
  const double offsetX = (origin.x - m_cacheOrigin.x) * m_scale;
  const double offsetY = (origin.y - m_cacheOrigin.y) * m_scale;
  const auto pixel = [&](const std::vector<float>& xy, std::size_t i) {
    return QPointF(offsetX + static_cast<double>(xy[2 * i]) * m_scale,
                   offsetY + static_cast<double>(xy[2 * i + 1]) * m_scale);
  };
  const QRectF clip = QRectF(QPointF(), m_cache.deviceIndependentSize()).adjusted(-8, -8, 8, 8);

  painter.save();
  painter.setPen(QPen(Rgb(kLineRgb), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  std::size_t segments = 0;
  for (const WorldBox& box : level.runs) {
    if (box.Intersects(area)) segments += MapTrack::kRunLength;
  }
  if (segments > kMostSegments) {
    for (std::size_t run = 0; run < level.runs.size(); ++run) {
      if (!level.runs[run].Intersects(area)) continue;
      const std::size_t first = run * MapTrack::kRunLength;
      const std::size_t last = std::min(first + MapTrack::kRunLength, n - 1);
      for (std::size_t i = first; i <= last; ++i) Plot(m_cache, pixel(level.xy, i), 0, kLineRgb);
    }
  }
  std::vector<QPointF> polyline;
  const auto flush = [&] {
    if (polyline.size() >= 2) painter.drawPolyline(polyline.data(), int(polyline.size()));
    polyline.clear();
  };
  for (std::size_t run = 0; run < level.runs.size() && segments <= kMostSegments; ++run) {
    if (!level.runs[run].Intersects(area)) {
      flush();
      continue;
    }
    const std::size_t first = run * MapTrack::kRunLength;
    const std::size_t last = std::min(first + MapTrack::kRunLength, n - 1);
    for (std::size_t i = first; i < last; ++i) {
      QPointF a = pixel(level.xy, i);
      QPointF b = pixel(level.xy, i + 1);
      const bool aInside = clip.contains(a);
      if (!ClipSegment(a, b, clip)) {
        flush();
        continue;
      }
      if (!aInside) flush();
      if (polyline.empty()) polyline.push_back(a);
      const QPointF& previous = polyline.back();
      if (std::abs(b.x() - previous.x()) >= 0.5 || std::abs(b.y() - previous.y()) >= 0.5 ||
          !clip.contains(b)) {
        polyline.push_back(b);
      }
      if (!clip.contains(b)) {
        flush();
      } else if (polyline.size() >= kPolylineLength) {
        // Short polylines: the painter strokes a long one as one shape, which costs far more.
        const QPointF joint = polyline.back();
        flush();
        polyline.push_back(joint);
      }
    }
  }
  flush();

  // The extra points, once the zoom sets them apart (a dot every few pixels at most), and while
  // there are not so many in view that they would hide the line.
  if (m_track->TypicalStep() * m_scale >= kDotSpacingPixels && segments <= kMostDots) {
    const MapTrack::Level& all = m_track->LevelFor(0.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Rgb(kLineRgb));
    QPointF lastDot(-1e9, -1e9);
    for (std::size_t run = 0; run < all.runs.size(); ++run) {
      if (!all.runs[run].Intersects(area)) continue;
      const std::size_t first = run * MapTrack::kRunLength;
      const std::size_t last = std::min(first + MapTrack::kRunLength, all.FixCount());
      for (std::size_t i = first; i < last; ++i) {
        const QPointF at = pixel(all.xy, i);
        if (!clip.contains(at) || QLineF(at, lastDot).length() < kDotSpacingPixels / 2) continue;
        painter.drawEllipse(at, 2.5, 2.5);
        lastDot = at;
      }
    }
  }

  // Start and end: rings, so that the point inside them still shows.
  painter.setBrush(Qt::NoBrush);
  const QPointF start = pixel(m_track->LevelFor(0.0).xy, 0);
  const QPointF end = pixel(m_track->LevelFor(0.0).xy, n == 0 ? 0 : m_track->FixCount() - 1);
  if (clip.contains(end)) {
    painter.setPen(QPen(QColor(198, 40, 40), 3));
    painter.drawEllipse(end, 9, 9);
  }
  if (clip.contains(start)) {
    painter.setPen(QPen(QColor(46, 125, 50), 3));
    painter.drawEllipse(start, 9, 9);
  }
  painter.restore();
}

// The points of the file: numbered markers, or plain dots when there are very many in view.
void CTrackMap::DrawPoints(QPainter& painter, const WorldBox& area) {
  const auto inArea = [&](const WorldPoint& at) {
    return at.x >= area.left && at.x <= area.right && at.y >= area.top && at.y <= area.bottom;
  };
  std::vector<std::size_t> shown;
  for (std::size_t i = 0; i < m_track->Points().size(); ++i) {
    if (inArea(m_track->Points()[i].at)) shown.push_back(i);
  }
  const QPointF offset = ScreenPos(m_cacheOrigin);
  const bool markers = shown.size() <= kMostMarkers;
  if (!markers) {
    for (const std::size_t i : shown) {
      const MapTrack::Point& point = m_track->Points()[i];
      Plot(m_cache, ScreenPos(point.at) - offset, 1, point.visit > 0 ? kPointRgb : kUnvisitedRgb);
    }
    return;
  }
  painter.save();
  painter.setPen(QPen(QColor(255, 255, 255), 1.5));
  for (const std::size_t i : shown) {
    const MapTrack::Point& point = m_track->Points()[i];
    painter.setBrush(Rgb(point.visit > 0 ? kPointRgb : kUnvisitedRgb));
    painter.drawEllipse(ScreenPos(point.at) - offset, 5.0, 5.0);
  }
  if (shown.size() <= kMostLabels) {
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(13, 71, 161));
    // In visiting order; a number that would overlap one already written is left out.
    std::sort(shown.begin(), shown.end(), [this](std::size_t a, std::size_t b) {
      return m_track->Points()[a].visit < m_track->Points()[b].visit;
    });
    std::vector<QRectF> written;
    for (const std::size_t i : shown) {
      const MapTrack::Point& point = m_track->Points()[i];
      if (point.visit == 0) continue;
      const QString number = QString::number(point.visit);
      const QPointF at = ScreenPos(point.at) - offset + QPointF(7, -6);
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

void CTrackMap::DrawScaleBar(QPainter& painter) const {
  double latitude = 0.0;
  double longitude = 0.0;
  WorldToLatLon(m_center, latitude, longitude);
  const double metresPerPixel = MetresPerWorldUnit(latitude) / m_scale;
  double metres = 0.01;
  for (double decade = 0.01; decade <= 1e7; decade *= 10.0) {
    for (const double factor : {1.0, 2.0, 5.0}) {
      if (factor * decade / metresPerPixel <= 120.0) metres = factor * decade;
    }
  }
  const double length = metres / metresPerPixel;
  const QString text = metres >= 1000.0 ? QStringLiteral("%1 km").arg(metres / 1000.0)
                                        : QStringLiteral("%1 m").arg(metres);
  const QPointF left(10, height() - 12);
  painter.save();
  painter.setPen(QPen(QColor(40, 40, 40), 2));
  painter.drawLine(left, left + QPointF(length, 0));
  painter.drawLine(left, left - QPointF(0, 5));
  painter.drawLine(left + QPointF(length, 0), left + QPointF(length, -5));
  painter.drawText(left + QPointF(4, -5), text);
  painter.restore();
}

void CTrackMap::paintEvent(QPaintEvent*) {
  if (!CacheCovers()) RenderCache();
  QPainter painter(this);
  painter.drawImage(ScreenPos(m_cacheOrigin).toPoint(), m_cache);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawGrid(painter, QPointF(), QSizeF(size()), true);
  if (m_selected) {
    painter.setPen(QPen(QColor(0, 0, 0), 1.5));
    painter.setBrush(Rgb(kSelectedRgb));
    painter.drawEllipse(ScreenPos(m_track->Points()[*m_selected].at), 7.0, 7.0);
  }
  if (m_live) {
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.setBrush(Rgb(kLiveRgb));
    painter.drawEllipse(ScreenPos(*m_live), 7.0, 7.0);
  }
  DrawScaleBar(painter);
  painter.setPen(palette().color(QPalette::Mid));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void CTrackMap::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  m_cacheValid = false;
}

void CTrackMap::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0.0) ZoomAt(event->position(), std::pow(1.25, notches));
  event->accept();
}

void CTrackMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  m_dragFrom = event->position().toPoint();
  setCursor(Qt::ClosedHandCursor);
}

void CTrackMap::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragFrom) {
    const QPoint now = event->position().toPoint();
    PanBy(now - *m_dragFrom);
    m_dragFrom = now;
  }
  ShowStatus(event->position());
}

void CTrackMap::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  m_dragFrom.reset();
  setCursor(Qt::OpenHandCursor);
}

void CTrackMap::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit StatusChanged(QString());
}

void CTrackMap::ShowStatus(const QPointF& pixel) {
  double latitude = 0.0;
  double longitude = 0.0;
  WorldToLatLon(WorldAt(pixel), latitude, longitude);
  emit StatusChanged(
      QStringLiteral("Latitude %1, longitude %2")
          .arg(QString::number(latitude, 'f', 6), QString::number(longitude, 'f', 6)));
}

std::optional<std::size_t> CTrackMap::PointNear(const QPointF& pixel) const {
  if (!m_track) return std::nullopt;
  std::optional<std::size_t> nearest;
  double best = 8.0 * 8.0;
  for (std::size_t i = 0; i < m_track->Points().size(); ++i) {
    const QPointF d = ScreenPos(m_track->Points()[i].at) - pixel;
    const double distance = d.x() * d.x() + d.y() * d.y();
    if (distance <= best) {
      best = distance;
      nearest = i;
    }
  }
  return nearest;
}

bool CTrackMap::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  const std::optional<std::size_t> near = PointNear(help->pos());
  if (!near) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const MapTrack::Point& point = m_track->Points()[*near];
  QString text = m_describe ? m_describe(*near) : QString();
  if (point.visit > 0) text = QStringLiteral("%1. %2").arg(point.visit).arg(text);
  QToolTip::showText(help->globalPos(), text, this);
  return true;
}
