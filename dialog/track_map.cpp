#include "dialog/track_map.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "dialog/tiles/tile_source.h"

namespace {

// Zoom limits in pixels per world unit: the whole world in 64 pixels, and about 2 cm a pixel.
constexpr double kLeastScale = 64.0;
constexpr double kMostScale = 2147483648.0;  // 2^31
// Fit shows a single point (or points all in one place) about this many metres across.
constexpr double kSinglePointMetres = 2000.0;
// A drawing at a zoom this many times larger or smaller than the view's is no preview worth
// showing.
constexpr double kMostPreviewRatio = 64.0;

// Follow brings the receiver back to the middle once it comes within this share of the view's
// width or height from an edge.
constexpr double kFollowEdgeShare = 0.15;

QColor Rgb(QRgb rgb) { return QColor::fromRgba(rgb); }

// h:mm:ss, the seconds rounded.
QString Clock(double seconds) {
  const auto whole = static_cast<long long>(std::llround(std::max(0.0, seconds)));
  return QStringLiteral("%1:%2:%3")
      .arg(whole / 3600)
      .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// A rectangle on whole pixels whose edges are those of target rounded, so that tiles side by
// side meet without a seam.
QRect Snapped(const QRectF& target) {
  const QPoint topLeft(int(std::lround(target.left())), int(std::lround(target.top())));
  const QPoint bottomRight(int(std::lround(target.right())), int(std::lround(target.bottom())));
  return QRect(topLeft, QSize(bottomRight.x() - topLeft.x(), bottomRight.y() - topLeft.y()));
}

}  // namespace

CTrackMap::CTrackMap(QWidget* parent) : QWidget(parent) {
  // The worker tells the window's thread that a drawing is done; the window takes it there.
  m_drawer = std::make_unique<MapDrawer>([this] {
    QMetaObject::invokeMethod(
        this, [this] { TakeDrawing(); }, Qt::QueuedConnection);
  });
  setObjectName(QStringLiteral("trackMap"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::OpenHandCursor);
}

CTrackMap::~CTrackMap() = default;

void CTrackMap::SetTrack(std::unique_ptr<MapTrack> track) {
  m_track = std::move(track);
  m_selected.reset();
  m_sentenceFix.reset();
  DropDrawing();
  Fit();
  emit StatusChanged(IdleStatus());
}

void CTrackMap::DropDrawing() {
  m_cacheValid = false;
  m_requestedFrame = MapFrame{};
  m_trackRequestFloor = m_requestNumber;
}

void CTrackMap::SetTileSource(std::unique_ptr<TileSource> tiles) {
  m_tiles = std::move(tiles);
  m_wantedTiles.clear();
  if (m_tiles) {
    connect(m_tiles.get(), &TileSource::TileReady, this, [this] { update(); });
  }
  DropDrawing();  // the drawing over tiles leaves its ground out
  update();
}

void CTrackMap::SetNote(const QString& note) {
  m_note = note;
  emit StatusChanged(IdleStatus());
}

QString CTrackMap::IdleStatus() const {
  QStringList parts;
  if (m_track && m_track->FixCount() > 0) {
    parts << QStringLiteral("Track: %1 km, %2, %3 fixes")
                 .arg(QString::number(m_track->LengthMetres() / 1000.0, 'f', 2),
                      Clock(m_track->DurationSeconds()), QString::number(m_track->FixCount()));
  }
  if (!m_note.isEmpty()) parts << m_note;
  return parts.join(QStringLiteral(". "));
}

void CTrackMap::SetDescriber(std::function<QString(std::size_t)> describe) {
  m_describe = std::move(describe);
}

void CTrackMap::SelectPoint(std::size_t index) {
  m_selected.reset();
  if (m_track && index < m_track->Points().size()) {
    const WorldPoint at = m_track->PointAt(index);
    if (std::isfinite(at.x) && std::isfinite(at.y)) {
      m_selected = index;
      if (!QRectF(rect()).contains(ScreenPos(at))) m_center = at;
    }
  }
  update();
}

void CTrackMap::SelectSentence(std::ptrdiff_t sentenceRow) {
  m_sentenceFix.reset();
  const std::ptrdiff_t fix =
      m_track && sentenceRow >= 0 ? m_track->FixOfSentence(std::size_t(sentenceRow)) : -1;
  if (fix >= 0) {
    m_sentenceFix = m_track->Fix(std::size_t(fix));
    if (!QRectF(rect()).contains(ScreenPos(*m_sentenceFix))) m_center = *m_sentenceFix;
  }
  update();
}

void CTrackMap::AddToTrail(const WorldPoint& at) {
  if (!m_trail.empty() && m_trail.back().x == at.x && m_trail.back().y == at.y) return;
  if (m_trail.size() >= kMostTrailPoints) {
    // Every other place goes, the first and the newest kept.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_trail.size(); i += 2) m_trail[kept++] = m_trail[i];
    m_trail.resize(kept);
  }
  m_trail.push_back(at);
}

std::ptrdiff_t CTrackMap::ShownFixOf(const WorldPoint& at, std::uint64_t fixesSent) const {
  if (!m_track || m_track->FixCount() == 0 || fixesSent == 0) return -1;
  const auto index = static_cast<std::size_t>((fixesSent - 1) % m_track->FixCount());
  const WorldPoint fix = m_track->Fix(index);
  // The fixes are kept as floats from the track's first: far finer than a metre, not exact.
  constexpr double kSamePlace = 1e-8;
  return std::abs(fix.x - at.x) < kSamePlace && std::abs(fix.y - at.y) < kSamePlace
             ? static_cast<std::ptrdiff_t>(index)
             : -1;
}

void CTrackMap::SetLivePosition(double latitude, double longitude, std::uint64_t fixesSent) {
  const WorldPoint at = ProjectToWorld(latitude, longitude);
  if (!std::isfinite(at.x) || !std::isfinite(at.y)) return;
  m_live = at;
  const std::ptrdiff_t shown = ShownFixOf(at, fixesSent);
  if (shown >= 0) {
    // The fixes passed since the place before, or since the start of this round of the loop.
    const std::uint64_t round = (fixesSent - 1) / m_track->FixCount();
    const bool sameRound = m_trailFix && round == m_trailRound;
    if (!sameRound && m_trailFix) m_trail.clear();
    std::size_t from = sameRound ? *m_trailFix + 1 : 0;
    if (!sameRound && !m_trail.empty()) from = static_cast<std::size_t>(shown);  // joined late
    for (std::size_t i = from; i < static_cast<std::size_t>(shown); ++i) {
      AddToTrail(m_track->Fix(i));
    }
    m_trailFix = static_cast<std::size_t>(shown);
    m_trailRound = round;
  } else {
    m_trailFix.reset();
  }
  AddToTrail(at);
  if (m_follow) {
    const QPointF pixel = ScreenPos(at);
    const double marginX = width() * kFollowEdgeShare;
    const double marginY = height() * kFollowEdgeShare;
    if (pixel.x() < marginX || pixel.x() > width() - marginX || pixel.y() < marginY ||
        pixel.y() > height() - marginY) {
      m_center = at;
    }
  }
  update();
}

void CTrackMap::ClearLivePosition() {
  m_live.reset();
  update();
}

void CTrackMap::ClearTrail() {
  m_trail.clear();
  m_trailFix.reset();
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

MapFrame CTrackMap::ViewFrame() const {
  return MapFrame{WorldAt(QPointF(0, 0)), m_scale, size(), devicePixelRatioF()};
}

// Half a view more on every side, so that a drag only moves the drawing; its top left on a whole
// pixel of the view, so that it is shown unblurred.
MapFrame CTrackMap::CacheFrameForView() const {
  const int margin = std::max(width(), height()) / 2;
  const QPointF corner = ScreenPos(WorldAt(QPointF(-margin, -margin)));
  return MapFrame{WorldAt(QPointF(std::round(corner.x()), std::round(corner.y()))), m_scale,
                  QSize(width() + 2 * margin, height() + 2 * margin), devicePixelRatioF(),
                  m_tiles != nullptr};
}

bool CTrackMap::Covers(const MapFrame& frame) const {
  if (frame.Empty() || frame.scale != m_scale || frame.pixelRatio != devicePixelRatioF()) {
    return false;
  }
  const QPointF topLeft = ScreenPos(frame.origin);
  return topLeft.x() <= 0.5 && topLeft.y() <= 0.5 &&
         topLeft.x() + frame.size.width() >= width() - 0.5 &&
         topLeft.y() + frame.size.height() >= height() - 0.5;
}

void CTrackMap::RequestDrawing() {
  if (Covers(m_requestedFrame) || width() <= 0 || height() <= 0) return;
  m_requestedFrame = CacheFrameForView();
  m_requestNumber = m_drawer->Request(m_track, m_requestedFrame, font());
}

void CTrackMap::TakeDrawing() {
  MapDrawing drawing = m_drawer->Take();
  if (drawing.image.isNull() || drawing.number <= m_cacheNumber ||
      drawing.number <= m_trackRequestFloor) {
    return;
  }
  m_cache = std::move(drawing.image);
  m_cacheFrame = drawing.frame;
  m_cacheLine = drawing.line;
  m_cacheNumber = drawing.number;
  m_cacheValid = true;
  update();
}

void CTrackMap::FinishDrawing() {
  if (!CacheCovers()) {
    RequestDrawing();
    m_drawer->Wait();
    TakeDrawing();
  }
}

void CTrackMap::DrawPreview(QPainter& painter) const {
  if (!m_cacheValid || m_cache.isNull()) return;
  // At the same zoom (a pan) the drawing is copied as it is, a whole pixel off at most.
  if (m_cacheFrame.scale == m_scale) {
    painter.drawImage(ScreenPos(m_cacheFrame.origin).toPoint(), m_cache);
    return;
  }
  const double ratio = m_scale / m_cacheFrame.scale;
  if (ratio > kMostPreviewRatio || ratio < 1.0 / kMostPreviewRatio) return;
  // The part of the drawing the view shows, in the drawing's device pixels.
  const double pixelRatio = m_cache.devicePixelRatio();
  const QPointF topLeft = m_cacheFrame.Pixel(WorldAt(QPointF(0, 0))) * pixelRatio;
  const QPointF bottomRight = m_cacheFrame.Pixel(WorldAt(QPointF(width(), height()))) * pixelRatio;
  painter.drawImage(QRectF(rect()), m_cache, QRectF(topLeft, bottomRight));
}

// The grid's labels at the view's edges, over the track.
void CTrackMap::DrawGridLabels(QPainter& painter) const {
  const MapFrame view = ViewFrame();
  const GridLines grid = GridFor(view);
  painter.save();
  QFont small = painter.font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  painter.setFont(small);
  painter.setPen(QColor(110, 110, 110));
  for (const double longitude : grid.longitudes) {
    const double x = view.Pixel(ProjectToWorld(0.0, longitude)).x();
    painter.drawText(QPointF(x + 3, 12), DegreesText(longitude, grid.stepDegrees));
  }
  for (const double latitude : grid.latitudes) {
    const double y = view.Pixel(ProjectToWorld(latitude, 0.0)).y();
    painter.drawText(QPointF(3, y - 3), DegreesText(latitude, grid.stepDegrees));
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

void CTrackMap::DrawGround(QPainter& painter) {
  if (!m_tiles) {
    painter.fillRect(rect(), Rgb(kBackgroundRgb));
    return;
  }
  painter.fillRect(rect(), Rgb(kOffWorldRgb));
  painter.fillRect(QRectF(ScreenPos(WorldPoint{0.0, 0.0}), ScreenPos(WorldPoint{1.0, 1.0})),
                   Rgb(kBackgroundRgb));
  DrawTiles(painter);
}

// The tiles of the zoom the view's scale needs, from what the source holds; the source is told
// what the view wants whenever that changes, and loads it meanwhile.
void CTrackMap::DrawTiles(QPainter& painter) {
  const int zoom =
      TileZoomFor(m_scale, devicePixelRatioF(), m_tiles->MinZoom(), m_tiles->MaxZoom());
  const std::vector<PlacedTile> placed =
      PlaceTiles(MapView{QPointF(m_center.x, m_center.y), m_scale, size()}, zoom);
  std::vector<TileKey> wanted = KeysOf(placed);
  if (wanted != m_wantedTiles) {
    m_wantedTiles = std::move(wanted);
    m_tiles->Want(m_wantedTiles);
  }
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const PlacedTile& tile : placed) {
    if (!tile.inView) continue;
    const TilePicture picture = m_tiles->Picture(tile.key);
    if (!picture.image.isNull())
      painter.drawImage(Snapped(tile.target), picture.image, picture.part);
  }
  painter.restore();
}

// The tiles' credit, small on a light box in the bottom right corner.
void CTrackMap::DrawAttribution(QPainter& painter) const {
  if (!m_tiles || m_tiles->Attribution().isEmpty()) return;
  painter.save();
  QFont small = painter.font();
  small.setPointSizeF(small.pointSizeF() * 0.8);
  painter.setFont(small);
  const QFontMetrics metrics(small);
  const QRect text = metrics.boundingRect(m_tiles->Attribution());
  const QRect box(width() - text.width() - 9, height() - metrics.height() - 5, text.width() + 8,
                  metrics.height() + 4);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 210));
  painter.drawRect(box);
  painter.setPen(QColor(50, 50, 50));
  painter.drawText(box, Qt::AlignCenter, m_tiles->Attribution());
  painter.restore();
}

// The trail as short polylines: the painter strokes a long one as one shape, which costs more.
void CTrackMap::DrawTrail(QPainter& painter) const {
  if (m_trail.size() < 2) return;
  painter.save();
  // A little transparent, so that the route under it still shows.
  QColor colour = Rgb(kTrailRgb);
  colour.setAlpha(170);
  painter.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  constexpr std::size_t kPiece = 64;
  std::vector<QPointF> piece;
  for (std::size_t first = 0; first + 1 < m_trail.size(); first += kPiece) {
    piece.clear();
    for (std::size_t i = first; i <= std::min(first + kPiece, m_trail.size() - 1); ++i) {
      piece.push_back(ScreenPos(m_trail[i]));
    }
    painter.drawPolyline(piece.data(), int(piece.size()));
  }
  painter.restore();
}

// The selected source point, the selected sentence's fix and the receiver.
void CTrackMap::DrawMarks(QPainter& painter) const {
  if (m_selected) {
    painter.setPen(QPen(QColor(0, 0, 0), 1.5));
    painter.setBrush(Rgb(kSelectedRgb));
    painter.drawEllipse(ScreenPos(m_track->PointAt(*m_selected)), 7.0, 7.0);
  }
  if (m_sentenceFix) {
    const QPointF at = ScreenPos(*m_sentenceFix);
    painter.setPen(QPen(QColor(0, 0, 0), 1.5));
    painter.setBrush(Rgb(kSentenceRgb));
    const QPointF diamond[] = {at + QPointF(0, -8), at + QPointF(8, 0), at + QPointF(0, 8),
                               at + QPointF(-8, 0)};
    painter.drawPolygon(diamond, 4);
  }
  if (m_live) {
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    painter.setBrush(Rgb(kLiveRgb));
    painter.drawEllipse(ScreenPos(*m_live), 7.0, 7.0);
  }
}

// Never draws the track itself: it shows the drawing that covers the view, or a preview of the
// last one while the worker draws the view, over the ground (and its tiles).
void CTrackMap::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool covered = CacheCovers();
  // A drawing without tiles is opaque and covers the ground itself.
  if (m_tiles || !covered) DrawGround(painter);
  if (covered) {
    painter.drawImage(ScreenPos(m_cacheFrame.origin).toPoint(), m_cache);
  } else {
    DrawPreview(painter);
    RequestDrawing();
  }
  painter.setRenderHint(QPainter::Antialiasing);
  DrawGridLabels(painter);
  if (!m_track) {
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRectF(rect()).adjusted(20, 20, -20, -40), Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("No track yet: choose a source file and press "
                                    "Create NMEA Track. Its route shows here."));
  }
  DrawTrail(painter);
  DrawMarks(painter);
  DrawEditedRoute(painter);
  DrawScaleBar(painter);
  DrawAttribution(painter);
  painter.setPen(palette().color(QPalette::Mid));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void CTrackMap::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  update();
}

void CTrackMap::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0.0) ZoomAt(event->position(), std::pow(1.25, notches));
  event->accept();
}

void CTrackMap::SetEditedRoute(bool editing, std::vector<WorldPoint> places) {
  m_routeEditing = editing;
  m_routePlaces = editing ? std::move(places) : std::vector<WorldPoint>();
  m_draggedPlace.reset();
  update();
}

void CTrackMap::DrawEditedRoute(QPainter& painter) const {
  if (m_routePlaces.empty()) return;
  const QColor colour = QColor::fromRgba(kRouteRgb);
  QPolygonF line;
  for (const WorldPoint& place : m_routePlaces) line << ScreenPos(place);
  painter.setPen(QPen(colour, 2.0, Qt::DashLine));
  painter.drawPolyline(line);
  painter.setPen(QPen(Qt::white, 1.0));
  painter.setBrush(colour);
  for (const QPointF& at : line) painter.drawRect(QRectF(at - QPointF(4, 4), QSizeF(8, 8)));
  painter.setBrush(Qt::NoBrush);
}

void CTrackMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  m_pressedAt = event->position().toPoint();
  m_movedSincePress = false;
  m_draggedPlace.reset();
  for (std::size_t i = 0; m_routeEditing && i < m_routePlaces.size(); ++i) {
    const QPointF d = ScreenPos(m_routePlaces[i]) - event->position();
    if (d.x() * d.x() + d.y() * d.y() <= 8.0 * 8.0) m_draggedPlace = i;
  }
  if (!m_draggedPlace) m_dragFrom = m_pressedAt;
  setCursor(Qt::ClosedHandCursor);
}

void CTrackMap::mouseMoveEvent(QMouseEvent* event) {
  // A press that moves a few pixels is still a click: hands are not still.
  if ((event->position().toPoint() - m_pressedAt).manhattanLength() > 3) m_movedSincePress = true;
  if (m_draggedPlace) {
    m_routePlaces[*m_draggedPlace] = WorldAt(event->position());
    update();
  } else if (m_dragFrom) {
    const QPoint now = event->position().toPoint();
    PanBy(now - *m_dragFrom);
    m_dragFrom = now;
  }
  ShowStatus(event->position());
}

void CTrackMap::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  double latitude = 0.0;
  double longitude = 0.0;
  WorldToLatLon(WorldAt(event->position()), latitude, longitude);
  const std::optional<std::size_t> dragged = std::exchange(m_draggedPlace, std::nullopt);
  if (dragged && m_movedSincePress) {
    emit PlaceDragged(*dragged, latitude, longitude);
  } else if (m_routeEditing && !m_movedSincePress) {
    emit PlaceClicked(latitude, longitude);
  }
  m_dragFrom.reset();
  setCursor(Qt::OpenHandCursor);
}

void CTrackMap::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  emit StatusChanged(IdleStatus());
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
    const QPointF d = ScreenPos(m_track->PointAt(i)) - pixel;
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
