// The track map: the route of the last track drawn with Qt's own painting, over map tiles when a
// tile source is set (dialog/tiles/). The points of the POI file numbered in visiting order, the
// line through every fix, the extra points as small dots once the zoom sets them apart, start and
// end marks, a latitude/longitude grid and a scale bar; while live output runs, the receiver and
// its trail. The wheel zooms around the cursor, a drag pans, Fit shows everything.
//
// What is drawn of the track (grid, line, dots, points) is kept in an image larger than the view,
// drawn on a worker thread (dialog/map_render.h) whenever the zoom changes or a pan leaves it.
// Until the new image is done, a paint shows the last one moved and scaled to the view, so no
// paint waits for a drawing; the grid's labels, the selection, the live marker and the scale bar
// are drawn over it every time.
//
// Tiles are drawn under that image in every paint, from what the tile source holds in memory (a
// coarser tile stands in for one still loading); the source loads the ones the view wants on
// threads of its own and the map repaints as each arrives. The map is in Web Mercator, as tiles
// are, so both line up; without tiles it looks as it always did.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "dialog/map_render.h"
#include "dialog/map_track.h"
#include "dialog/tiles/tile_layout.h"

class TileSource;

class CTrackMap : public QWidget {
  Q_OBJECT

 public:
  // The colours a test or a person looks for.
  static constexpr QRgb kBackgroundRgb = kMapBackgroundRgb;
  static constexpr QRgb kPointRgb = kMapPointRgb;          // a point of the file, visited
  static constexpr QRgb kUnvisitedRgb = kMapUnvisitedRgb;  // a point the track never reached
  static constexpr QRgb kSelectedRgb = 0xffff8f00;         // the point of the selected source row
  static constexpr QRgb kLiveRgb = 0xffd81b60;             // where the live output is now
  static constexpr QRgb kLineRgb = kMapLineRgb;
  static constexpr QRgb kTrailRgb = 0xff7b1fa2;     // where the live output went this run
  static constexpr QRgb kSentenceRgb = 0xff00acc1;  // the fix of the selected sentence
  static constexpr QRgb kRouteRgb = 0xffef6c00;     // the route being edited
  // The trail keeps at most this many positions: past it, every other one is dropped, so that it
  // still spans the whole run.
  static constexpr std::size_t kMostTrailPoints = 2048;
  static constexpr int kMargin = 24;  // pixels Fit leaves around the track

  explicit CTrackMap(QWidget* parent = nullptr);
  ~CTrackMap() override;

  // Shows a finished track (null: none) and fits it in the view.
  void SetTrack(std::unique_ptr<MapTrack> track);
  const MapTrack* Track() const { return m_track.get(); }
  // Gives the tooltip of a point its text, from the point's index in the POI list.
  void SetDescriber(std::function<QString(std::size_t)> describe);
  // Highlights the point of a POI index (none when out of range), bringing it into view.
  void SelectPoint(std::size_t index);
  // Marks the fix whose sentences hold row sentenceRow of the track's sentences (none: -1, or a
  // row of no fix with a position), bringing it into view.
  void SelectSentence(std::ptrdiff_t sentenceRow);
  const std::optional<WorldPoint>& SentenceFix() const { return m_sentenceFix; }
  // The receiver's place while live output runs; each one is added to the trail. fixesSent, the
  // fixes sent so far (0: not known), tells whether the place is a fix of the track shown (the
  // window sends the track it shows, looped or not): then the trail takes every fix of the track
  // up to it, not only the places seen, and starts afresh with each round of a loop. With follow
  // on, a place near the edge of the view (or beyond) brings the view's middle to it.
  void SetLivePosition(double latitude, double longitude, std::uint64_t fixesSent = 0);
  void ClearLivePosition();  // the trail stays until ClearTrail
  void ClearTrail();
  const std::vector<WorldPoint>& Trail() const { return m_trail; }
  void SetFollow(bool follow) { m_follow = follow; }

  // A route being edited, drawn over the track with a handle on each place: while editing, a
  // click (a press and a release without moving) says where with PlaceClicked, and a handle
  // dragged and let go says where with PlaceDragged; everywhere else the mouse pans as ever.
  void SetEditedRoute(bool editing, std::vector<WorldPoint> places);
  const std::vector<WorldPoint>& EditedRoute() const { return m_routePlaces; }
  bool Following() const { return m_follow; }

  // The tiles drawn under the track (null: none); the map keeps the source.
  void SetTileSource(std::unique_ptr<TileSource> tiles);
  const TileSource* Tiles() const { return m_tiles.get(); }
  // A line about the map shown while the cursor is elsewhere, after the track's figures (a tile
  // setting that cannot be used, say).
  void SetNote(const QString& note);
  // What the map says while the cursor is elsewhere: the track's length, duration and fixes.
  QString IdleStatus() const;

  // The view: where a world point is on the widget, and back; pixels per world unit.
  QPointF ScreenPos(const WorldPoint& point) const;
  WorldPoint WorldAt(const QPointF& pixel) const;
  void ZoomAt(const QPointF& pixel, double factor);
  void PanBy(const QPointF& pixels);

  // Waits for the worker to draw the view as it stands and shows the drawing (tests and the
  // benchmark; the window itself never waits).
  void FinishDrawing();
  // Whether the image shown covers the view at its zoom, and how its line was drawn.
  bool ViewDrawn() const { return CacheCovers(); }
  LineStyle DrawnLineStyle() const { return m_cacheLine; }

  QSize sizeHint() const override { return QSize(420, 420); }
  QSize minimumSizeHint() const override { return QSize(160, 160); }

 public slots:
  void Fit();

 signals:
  // The coordinates under the cursor, or what the map shows when the cursor is elsewhere.
  void StatusChanged(const QString& text);
  void PlaceClicked(double latitude, double longitude);
  void PlaceDragged(std::size_t index, double latitude, double longitude);

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
  // The frame of the widget itself, and the larger one a drawing is asked for.
  MapFrame ViewFrame() const;
  MapFrame CacheFrameForView() const;
  bool Covers(const MapFrame& frame) const;
  bool CacheCovers() const { return m_cacheValid && Covers(m_cacheFrame); }
  // Asks the worker to draw the view, unless it already draws a frame that covers it.
  void RequestDrawing();
  // Shows the drawing the worker finished last, if it is newer than the one shown.
  void TakeDrawing();
  // What a paint shows while the view is not drawn: the last drawing, moved and scaled.
  void DrawPreview(QPainter& painter) const;
  void DrawGridLabels(QPainter& painter) const;
  void DrawScaleBar(QPainter& painter) const;
  // The ground under the track: the world and beyond it, and the tiles over the world.
  void DrawGround(QPainter& painter);
  void DrawTiles(QPainter& painter);
  void DrawAttribution(QPainter& painter) const;
  void DrawTrail(QPainter& painter) const;
  void DrawMarks(QPainter& painter) const;
  void DrawEditedRoute(QPainter& painter) const;
  void AddToTrail(const WorldPoint& at);
  // The index of the shown track's fix that is the fixesSent-th fix sent at place at, counting
  // rounds of a loop, or -1 when it is not.
  std::ptrdiff_t ShownFixOf(const WorldPoint& at, std::uint64_t fixesSent) const;
  // Forgets the drawing shown: the next one is asked for afresh.
  void DropDrawing();
  void ShowStatus(const QPointF& pixel);
  // The point of the file nearest to pixel within a few pixels, or none.
  std::optional<std::size_t> PointNear(const QPointF& pixel) const;

  std::shared_ptr<const MapTrack> m_track;
  std::function<QString(std::size_t)> m_describe;
  std::optional<std::size_t> m_selected;
  std::optional<WorldPoint> m_live;
  std::optional<WorldPoint> m_sentenceFix;
  std::vector<WorldPoint> m_trail;
  // The fix of the shown track and the round of the loop the trail ends at, while the places
  // given are fixes of that track.
  std::optional<std::size_t> m_trailFix;
  std::uint64_t m_trailRound = 0;
  bool m_follow = false;
  std::unique_ptr<TileSource> m_tiles;
  std::vector<TileKey> m_wantedTiles;  // what the source was told last
  QString m_note;

  WorldPoint m_center{0.5, 0.5};
  double m_scale = 256.0;
  std::optional<QPoint> m_dragFrom;
  bool m_routeEditing = false;
  std::vector<WorldPoint> m_routePlaces;
  std::optional<std::size_t> m_draggedPlace;  // the handle under the mouse since its press
  QPoint m_pressedAt;
  bool m_movedSincePress = false;

  QImage m_cache;
  MapFrame m_cacheFrame;
  LineStyle m_cacheLine = LineStyle::kNone;
  std::uint64_t m_cacheNumber = 0;  // the request the cache answers
  bool m_cacheValid = false;        // false: no drawing of this track yet
  MapFrame m_requestedFrame;        // what the worker draws, or drew last
  std::uint64_t m_requestNumber = 0;
  std::uint64_t m_trackRequestFloor = 0;  // requests up to this one drew the track before
  std::unique_ptr<MapDrawer> m_drawer;
};
