// What the track map draws, gathered while a track is written: every fix in track order, and the
// points of the POI file with the order they were visited in. No Qt here: the map widget reads it.
//
// A track may hold millions of fixes, so the line through them is kept at several levels of
// detail, each one dropping the fixes closer than its tolerance to the fix kept before, and each
// cut into short runs with their bounding boxes: a view draws only the level whose tolerance is
// below a pixel, and only the runs it can see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/fix.h"
#include "motion/table.h"

// A place on the map's square world of side 1 (Web Mercator): x grows east from longitude -180,
// y grows south from latitude kMaxLatitude.
struct WorldPoint {
  double x = 0.0;
  double y = 0.0;
};

struct WorldBox {
  double left = 0.0;
  double top = 0.0;
  double right = -1.0;  // right < left: empty
  double bottom = -1.0;
  bool Empty() const { return right < left; }
  void Add(double x, double y);
  void Add(const WorldBox& other);
  bool Intersects(const WorldBox& other) const {
    return !Empty() && !other.Empty() && left <= other.right && other.left <= right &&
           top <= other.bottom && other.top <= bottom;
  }
};

// Latitudes beyond this are drawn at the edge of the world.
constexpr double kMaxLatitude = 85.0511287798066;

WorldPoint ProjectToWorld(double latitude, double longitude);
void WorldToLatLon(const WorldPoint& point, double& latitude, double& longitude);
// Metres on the ground for one world unit, at a latitude.
double MetresPerWorldUnit(double latitude);

class MapTrack : public wayloom::FixListener {
 public:
  // A point of the POI file: where it is, and its place in the visiting order (1 for the first
  // point written; 0 when the track never reached it).
  struct Point {
    float x = 0.0f;  // offset from Origin(), as the fixes are kept
    float y = 0.0f;
    std::uint32_t visit = 0;
  };

  // The fixes of one level of detail and the boxes of its runs: run i covers fixes i * kRunLength
  // to (i + 1) * kRunLength, the first fix of the next run included. Level 0 holds every fix as
  // offsets from Origin(), the first fix (floats keep two million fixes at 16 MB and are far finer
  // than a pixel); a coarser level holds the places in level 0 of the fixes it keeps.
  struct Level {
    double tolerance = 0.0;           // world units
    std::vector<float> xy;            // level 0
    std::vector<std::uint32_t> kept;  // a coarser level
    const float* all = nullptr;       // level 0's xy
    std::vector<WorldBox> runs;
    std::size_t FixCount() const { return all ? kept.size() : xy.size() / 2; }
    float X(std::size_t i) const { return all ? all[2 * std::size_t{kept[i]}] : xy[2 * i]; }
    float Y(std::size_t i) const { return all ? all[2 * std::size_t{kept[i]} + 1] : xy[2 * i + 1]; }
  };
  static constexpr std::size_t kRunLength = 128;

  // The points of the file as the track reaches them, and every fix.
  void OnPointReached(std::size_t poiIndex) override;
  void OnFix(const wayloom::Fix& fix, const wayloom::SentenceLines& sentences) override;

  // After the track: takes the points from the source table (every row but the blank last one,
  // latitude in column 0 and longitude in column 1) and builds the levels of detail. With
  // keptFixes, only the first keptFixes fixes (those a track file cut short still holds).
  void Finish(const wayloom::TableRows& sourceTable,
              std::size_t keptFixes = static_cast<std::size_t>(-1));

  std::size_t FixCount() const { return m_levels.empty() ? 0 : m_levels.front().FixCount(); }
  const std::vector<Point>& Points() const { return m_points; }
  WorldPoint PointAt(std::size_t index) const;
  WorldPoint Origin() const { return m_origin; }
  WorldPoint Fix(std::size_t index) const;
  // Every fix and point.
  const WorldBox& Bounds() const { return m_bounds; }
  // The least detailed level that strays from the track by at most half a pixel of worldPerPixel
  // world units (level 0 holds every fix).
  const Level& LevelFor(double worldPerPixel) const;
  // Bytes held for the fixes, their levels and the points, for measuring.
  std::size_t MemoryBytes() const;
  // The usual distance between two fixes in a row (the median), in world units.
  double TypicalStep() const { return m_typicalStep; }

  // The track's length along its fixes (great circles between them), and the time from its first
  // fix to its last; both of the fixes kept.
  double LengthMetres() const { return m_lengthMetres; }
  double DurationSeconds() const { return m_durationSeconds; }
  // The fix (an index for Fix) whose sentences hold row sentenceRow of the track's sentences, or
  // -1 when that row belongs to a fix without a position, or to none kept.
  std::ptrdiff_t FixOfSentence(std::size_t sentenceRow) const;

 private:
  // Each level after the first: the fixes of the level before that lie at least its tolerance
  // from the fix kept before them.
  void BuildCoarserLevels();
  void BuildRuns(Level& level) const;

  // The fixes as they come, until Finish: offsets from the first, in blocks that never move, so
  // that millions of fixes are never held twice while a vector grows.
  static constexpr std::size_t kChunkFixes = 1 << 16;
  std::vector<std::unique_ptr<float[]>> m_chunks;
  // Beside each fix until Finish: the length so far in metres and the time since the first fix
  // in seconds, so that a track cut short has the figures of the fixes it keeps.
  std::vector<std::unique_ptr<float[]>> m_progressChunks;
  double m_metresSoFar = 0.0;
  double m_firstClockMs = 0.0;
  double m_lastLatitude = 0.0;
  double m_lastLongitude = 0.0;
  double m_lengthMetres = 0.0;
  double m_durationSeconds = 0.0;
  // The track's sentences as runs of fixes with the same count of sentences, each with the index
  // of its first fix on the map (-1: fixes without a position, not on the map).
  struct SentenceRun {
    std::size_t sentencesPerFix = 0;
    std::size_t fixes = 0;
    std::ptrdiff_t firstFix = -1;
  };
  std::vector<SentenceRun> m_sentenceRuns;
  std::size_t m_recorded = 0;
  std::vector<std::uint32_t> m_visitOf;  // by POI index, until Finish
  std::uint32_t m_visits = 0;
  std::vector<Point> m_points;
  std::vector<Level> m_levels;
  WorldPoint m_origin;
  WorldBox m_bounds;
  double m_typicalStep = 0.0;
};
