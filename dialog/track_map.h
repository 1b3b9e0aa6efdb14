// The track map: the route of the last track drawn with Qt's own painting, offline (no tiles).
// The points of the POI file numbered in visiting order, the line through every fix, the extra
// points as small dots once the zoom sets them apart, start and end marks, a latitude/longitude
// grid and a scale bar. The wheel zooms around the cursor, a drag pans, Fit shows everything.
// Where the view holds very many points or segments, they are drawn as plain pixel dots.
//
// What is drawn of the track (grid, line, dots, points) is kept in an image a little larger than
// the view, drawn again only when the zoom changes or a pan leaves it; the selection, the live
// marker and the scale bar are drawn over it every time.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "dialog/map_track.h"

class CTrackMap : public QWidget {
  Q_OBJECT

 public:
  // The colours a test or a person looks for.
  static constexpr QRgb kBackgroundRgb = 0xfff4f1ea;
  static constexpr QRgb kPointRgb = 0xff1565c0;      // a point of the file, visited
  static constexpr QRgb kUnvisitedRgb = 0xff9e9e9e;  // a point the track never reached
  static constexpr QRgb kSelectedRgb = 0xffff8f00;   // the point of the selected source row
  static constexpr QRgb kLiveRgb = 0xffd81b60;       // where the live output is now
  static constexpr QRgb kLineRgb = 0xff2e7d32;
  static constexpr int kMargin = 24;  // pixels Fit leaves around the track

  explicit CTrackMap(QWidget* parent = nullptr);

  // Shows a finished track (null: none) and fits it in the view.
  void SetTrack(std::unique_ptr<MapTrack> track);
  const MapTrack* Track() const { return m_track.get(); }
  // Gives the tooltip of a point its text, from the point's index in the POI list.
  void SetDescriber(std::function<QString(std::size_t)> describe);
  // Highlights the point of a POI index (none when out of range), bringing it into view.
  void SelectPoint(std::size_t index);
  void SetLivePosition(double latitude, double longitude);
  void ClearLivePosition();

  // The view: where a world point is on the widget, and back; pixels per world unit.
  QPointF ScreenPos(const WorldPoint& point) const;
  WorldPoint WorldAt(const QPointF& pixel) const;
  void ZoomAt(const QPointF& pixel, double factor);
  void PanBy(const QPointF& pixels);

  QSize sizeHint() const override { return QSize(420, 420); }
  QSize minimumSizeHint() const override { return QSize(160, 160); }

 public slots:
  void Fit();

 signals:
  // The coordinates under the cursor, or what the map shows when the cursor is elsewhere.
  void StatusChanged(const QString& text);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool CacheCovers() const;
  void RenderCache();
  void DrawGrid(QPainter& painter, const QPointF& origin, const QSizeF& size, bool labels) const;
  // Both draw into the cache, by painter or (for very many fixes or points) pixel by pixel.
  void DrawLine(QPainter& painter, const WorldBox& area);
  void DrawPoints(QPainter& painter, const WorldBox& area);
  void DrawScaleBar(QPainter& painter) const;
  void ShowStatus(const QPointF& pixel);
  // The point of the file nearest to pixel within a few pixels, or none.
  std::optional<std::size_t> PointNear(const QPointF& pixel) const;

  std::unique_ptr<MapTrack> m_track;
  std::function<QString(std::size_t)> m_describe;
  std::optional<std::size_t> m_selected;
  std::optional<WorldPoint> m_live;

  WorldPoint m_center{0.5, 0.5};
  double m_scale = 256.0;
  std::optional<QPoint> m_dragFrom;

  QImage m_cache;
  WorldPoint m_cacheOrigin;  // the world point at the cache's top left
  double m_cacheScale = 0.0;
  bool m_cacheValid = false;
};
