// Draws what the track map shows of a track into an image: the latitude/longitude grid, the line
// through the fixes, the extra points, the start and end, and the points of the file. No widget
// here: the map has it done on a worker thread (MapDrawer), so that no drawing, however large the
// track, ever holds up the window; tests call DrawMap directly.
//
// The time a drawing takes is bounded by the view, not by the shape of the track: the line is
// taken at the level of detail the zoom needs, and where its segments in view add up to more
// length than the image could show as strokes (a large file in file order zigzags across the whole
// view), each pixel a segment crosses is shaded by how many cross it, so a dense track shows where
// it is densest instead of a solid block.
#pragma once

#include <QFont>
#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dialog/map_track.h"

// The part of the world an image shows: the world point at its top left, pixels per world unit,
// and its size in device-independent pixels at a device pixel ratio.
struct MapFrame {
  WorldPoint origin;
  double scale = 0.0;
  QSize size;
  qreal pixelRatio = 1.0;
  // The drawing goes over map tiles: it leaves the ground transparent and draws the grid faintly.
  bool overTiles = false;
  bool Empty() const { return scale <= 0.0 || size.isEmpty(); }
  // Where a world point lies on the image, in device-independent pixels.
  QPointF Pixel(const WorldPoint& point) const {
    return QPointF((point.x - origin.x) * scale, (point.y - origin.y) * scale);
  }
  // The world the image covers.
  WorldBox Area() const;
};

// How the line through the fixes was drawn.
enum class LineStyle {
  kNone,      // no segment reaches the image
  kStrokes,   // antialiased strokes two pixels wide: how a track usually looks
  kCoverage,  // each pixel a segment crosses, darker the more segments cross it
};

struct MapDrawing {
  QImage image;  // null when the drawing was cancelled
  MapFrame frame;
  LineStyle line = LineStyle::kNone;
  double linePixels = 0.0;       // the length of the segments in the image, in pixels
  std::size_t lineSegments = 0;  // of them, those that end on another pixel than the one before
  std::uint64_t number = 0;      // the request it answers (MapDrawer)
};

// The grid lines of a view: round degrees about kGridSpacingPixels apart, inside the world only
// (longitudes -180 to 180, latitudes within what the projection shows).
struct GridLines {
  double stepDegrees = 0.0;
  std::vector<double> longitudes;
  std::vector<double> latitudes;
};
GridLines GridFor(const MapFrame& frame);
// A grid line's label: as many decimals as the step needs.
QString DegreesText(double value, double stepDegrees);

// The colours of the drawing.
constexpr QRgb kMapBackgroundRgb = 0xfff4f1ea;
constexpr QRgb kOffWorldRgb = 0xffe4e0d8;  // beyond the edges of the world
constexpr QRgb kMapLineRgb = 0xff2e7d32;
constexpr QRgb kMapPointRgb = 0xff1565c0;      // a point of the file, visited
constexpr QRgb kMapUnvisitedRgb = 0xff9e9e9e;  // a point the track never reached

// Draws track (null: the grid alone) as frame shows it, with font for the numbers of the points.
// cancel (may be null) is read between runs of fixes: once it is set the drawing stops, and the
// image is null.
MapDrawing DrawMap(const MapTrack* track, const MapFrame& frame, const QFont& font,
                   const std::atomic<bool>* cancel = nullptr);

// A worker thread that draws the frame asked for last. A request cancels the drawing of an earlier
// one; when a drawing is done, ready is called on the worker thread (to tell the window's thread,
// which then takes it).
class MapDrawer {
 public:
  explicit MapDrawer(std::function<void()> ready);
  ~MapDrawer();
  MapDrawer(const MapDrawer&) = delete;
  MapDrawer& operator=(const MapDrawer&) = delete;

  // Returns the request's number; numbers grow from 1.
  std::uint64_t Request(std::shared_ptr<const MapTrack> track, const MapFrame& frame,
                        const QFont& font);
  // The drawing finished last, once: an empty drawing (number 0) when there is none new.
  MapDrawing Take();
  // Waits until the last request is drawn.
  void Wait();

 private:
  struct Job {
    std::shared_ptr<const MapTrack> track;
    MapFrame frame;
    QFont font;
    std::uint64_t number = 0;
  };
  void Run();

  std::function<void()> m_ready;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Job m_job;                      // the last request
  std::uint64_t m_drawnUpTo = 0;  // requests up to this one are drawn or given up
  MapDrawing m_done;
  std::atomic<bool> m_cancel{false};
  bool m_quit = false;
  std::thread m_thread;
};
