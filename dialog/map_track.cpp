#include "dialog/map_track.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/number_text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// The equator's length on the WGS 84 ellipsoid, in metres.
constexpr double kEquatorMetres = 40075016.686;
// The finest level after level 0 drops fixes closer than this (about 2 mm); each level after it
// doubles the tolerance, up to a tolerance of the whole world.
constexpr double kFinestTolerance = 1.0 / 17179869184.0;  // 2^-34
// A level is kept only when it holds at most this share of the fixes of the level before.
constexpr double kWorthwhileShare = 0.75;
// How many steps between fixes the typical step is taken from, at most.
constexpr std::size_t kStepSamples = 100000;

bool Finite(const WorldPoint& point) { return std::isfinite(point.x) && std::isfinite(point.y); }

// The great-circle distance between two places on a sphere of the earth's mean radius.
double GreatCircleMetres(double latitudeA, double longitudeA, double latitudeB, double longitudeB) {
  constexpr double kMeanRadiusMetres = 6371008.8;
  constexpr double kRadians = kPi / 180.0;
  const double halfDLat = std::sin((latitudeB - latitudeA) * kRadians / 2.0);
  const double halfDLon = std::sin((longitudeB - longitudeA) * kRadians / 2.0);
  const double h = halfDLat * halfDLat + std::cos(latitudeA * kRadians) *
                                             std::cos(latitudeB * kRadians) * halfDLon * halfDLon;
  return 2.0 * kMeanRadiusMetres * std::asin(std::sqrt(std::min(1.0, h)));
}

}  // namespace

void WorldBox::Add(double x, double y) {
  if (Empty()) {
    left = right = x;
    top = bottom = y;
    return;
  }
  left = std::min(left, x);
  right = std::max(right, x);
  top = std::min(top, y);
  bottom = std::max(bottom, y);
}

void WorldBox::Add(const WorldBox& other) {
  if (other.Empty()) return;
  Add(other.left, other.top);
  Add(other.right, other.bottom);
}

WorldPoint ProjectToWorld(double latitude, double longitude) {
  const double lat = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * kPi / 180.0;
  return WorldPoint{(longitude + 180.0) / 360.0,
                    0.5 - std::log(std::tan(kPi / 4.0 + lat / 2.0)) / (2.0 * kPi)};
}

void WorldToLatLon(const WorldPoint& point, double& latitude, double& longitude) {
  longitude = point.x * 360.0 - 180.0;
  latitude = std::atan(std::sinh(kPi * (1.0 - 2.0 * point.y))) * 180.0 / kPi;
}

double MetresPerWorldUnit(double latitude) {
  return kEquatorMetres * std::cos(std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * kPi / 180.0);
}

void MapTrack::OnPointReached(std::size_t poiIndex) {
  if (poiIndex >= m_visitOf.size()) m_visitOf.resize(poiIndex + 1, 0);
  m_visitOf[poiIndex] = ++m_visits;
}

void MapTrack::OnFix(const wayloom::Fix& fix, const wayloom::SentenceLines& sentences) {
  // A replayed burst may report no position; a coordinate too large to be a number (a text like
  // 1e999) has no place on the map either.
  const WorldPoint at = ProjectToWorld(fix.latitude, fix.longitude);
  const bool onMap = fix.hasPosition && Finite(at);
  const std::ptrdiff_t index = onMap ? static_cast<std::ptrdiff_t>(m_recorded) : -1;
  SentenceRun* run = m_sentenceRuns.empty() ? nullptr : &m_sentenceRuns.back();
  if (!run || run->sentencesPerFix != sentences.Count() || (run->firstFix < 0) != !onMap) {
    run = &m_sentenceRuns.emplace_back(SentenceRun{sentences.Count(), 0, index});
  }
  ++run->fixes;
  if (!onMap) return;
  if (m_recorded == 0) {
    m_origin = at;
    m_firstClockMs = fix.clockMs;
  } else {
    m_metresSoFar +=
        GreatCircleMetres(m_lastLatitude, m_lastLongitude, fix.latitude, fix.longitude);
  }
  m_lastLatitude = fix.latitude;
  m_lastLongitude = fix.longitude;
  if (m_recorded % kChunkFixes == 0) {
    m_chunks.push_back(std::make_unique<float[]>(2 * kChunkFixes));
    m_progressChunks.push_back(std::make_unique<float[]>(2 * kChunkFixes));
  }
  const std::size_t place = 2 * (m_recorded % kChunkFixes);
  float* const xy = &m_chunks.back()[place];
  xy[0] = static_cast<float>(at.x - m_origin.x);
  xy[1] = static_cast<float>(at.y - m_origin.y);
  float* const progress = &m_progressChunks.back()[place];
  progress[0] = static_cast<float>(m_metresSoFar);
  progress[1] = static_cast<float>((fix.clockMs - m_firstClockMs) / 1000.0);
  m_bounds.Add(at.x, at.y);
  ++m_recorded;
}

void MapTrack::Finish(const wayloom::TableRows& sourceTable, std::size_t keptFixes) {
  const std::size_t rows = sourceTable.RowCount();
  m_points.assign(rows > 0 ? rows - 1 : 0, Point{});
  for (std::size_t row = 0; row < m_points.size(); ++row) {
    const WorldPoint at = ProjectToWorld(wayloom::ParseDecimal(sourceTable.Cell(row, 0)),
                                         wayloom::ParseDecimal(sourceTable.Cell(row, 1)));
    if (Finite(at)) {
      if (m_bounds.Empty()) m_origin = at;  // without fixes, the first point
      m_bounds.Add(at.x, at.y);
    }
    m_points[row].x = static_cast<float>(at.x - m_origin.x);
    m_points[row].y = static_cast<float>(at.y - m_origin.y);
    if (row < m_visitOf.size()) m_points[row].visit = m_visitOf[row];
  }
  m_visitOf = {};

  // Level 0 holds every fix kept; the blocks go as they are copied.
  m_levels.clear();
  m_typicalStep = 0.0;
  const std::size_t count = std::min(m_recorded, keptFixes);
  m_recorded = 0;
  m_lengthMetres = 0.0;
  m_durationSeconds = 0.0;
  if (count > 0) {
    const float* const last =
        &m_progressChunks[(count - 1) / kChunkFixes][2 * ((count - 1) % kChunkFixes)];
    m_lengthMetres = static_cast<double>(last[0]);
    m_durationSeconds = static_cast<double>(last[1]);
  }
  m_progressChunks.clear();
  m_progressChunks.shrink_to_fit();
  if (count > 0) {
    Level all;
    all.xy.reserve(2 * count);
    for (std::size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
      const std::size_t first = chunk * kChunkFixes;
      const std::size_t end = std::min(first + kChunkFixes, count);
      if (end > first)
        all.xy.insert(all.xy.end(), &m_chunks[chunk][0], &m_chunks[chunk][2 * (end - first)]);
      m_chunks[chunk].reset();
    }
    m_levels.push_back(std::move(all));
  }
  m_chunks.clear();
  m_chunks.shrink_to_fit();
  BuildCoarserLevels();
}

std::ptrdiff_t MapTrack::FixOfSentence(std::size_t sentenceRow) const {
  for (const SentenceRun& run : m_sentenceRuns) {
    const std::size_t rows = run.sentencesPerFix * run.fixes;
    if (sentenceRow >= rows) {
      sentenceRow -= rows;
      continue;
    }
    if (run.firstFix < 0) return -1;
    const auto fix = run.firstFix + static_cast<std::ptrdiff_t>(sentenceRow / run.sentencesPerFix);
    return fix < static_cast<std::ptrdiff_t>(FixCount()) ? fix : -1;
  }
  return -1;
}

WorldPoint MapTrack::Fix(std::size_t index) const {
  const std::vector<float>& xy = m_levels.front().xy;
  return WorldPoint{m_origin.x + static_cast<double>(xy[2 * index]),
                    m_origin.y + static_cast<double>(xy[2 * index + 1])};
}

std::size_t MapTrack::MemoryBytes() const {
  std::size_t bytes =
      (m_chunks.size() + m_progressChunks.size()) * 2 * kChunkFixes * sizeof(float) +
      m_sentenceRuns.capacity() * sizeof(SentenceRun) + m_points.capacity() * sizeof(Point) +
      m_visitOf.capacity() * sizeof(std::uint32_t);
  for (const Level& level : m_levels) {
    bytes += level.xy.capacity() * sizeof(float) + level.kept.capacity() * sizeof(std::uint32_t) +
             level.runs.capacity() * sizeof(WorldBox);
  }
  return bytes;
}

WorldPoint MapTrack::PointAt(std::size_t index) const {
  return WorldPoint{m_origin.x + static_cast<double>(m_points[index].x),
                    m_origin.y + static_cast<double>(m_points[index].y)};
}

const MapTrack::Level& MapTrack::LevelFor(double worldPerPixel) const {
  static const Level kNoFixes;
  if (m_levels.empty()) return kNoFixes;
  std::size_t chosen = 0;
  while (chosen + 1 < m_levels.size() && m_levels[chosen + 1].tolerance <= 0.5 * worldPerPixel)
    ++chosen;
  return m_levels[chosen];
}

void MapTrack::BuildCoarserLevels() {
  if (m_levels.empty()) return;
  const std::vector<float>& fixes = m_levels.front().xy;
  const std::size_t count = fixes.size() / 2;
  if (count >= 2) {
    std::vector<double> steps;
    const std::size_t stride = std::max<std::size_t>(1, (count - 1) / kStepSamples);
    for (std::size_t i = 0; i + 1 < count; i += stride) {
      const double dx = static_cast<double>(fixes[2 * i + 2] - fixes[2 * i]);
      const double dy = static_cast<double>(fixes[2 * i + 3] - fixes[2 * i + 1]);
      steps.push_back(std::sqrt(dx * dx + dy * dy));
    }
    std::nth_element(steps.begin(), steps.begin() + static_cast<long>(steps.size() / 2),
                     steps.end());
    m_typicalStep = steps[steps.size() / 2];
  }

  // Each level drops, from the last one kept, every fix closer than its tolerance to the fix kept
  // before it; the last fix always stays, so the line ends where the track ends. The fixes kept
  // are counted first, so that a level takes no more room than it needs. (A track of more fixes
  // than a level can name has level 0 alone.)
  const float* const all = fixes.data();  // stays where it is as levels are added
  const bool named = count <= std::numeric_limits<std::uint32_t>::max();
  for (double tolerance = kFinestTolerance; named && tolerance <= 1.0; tolerance *= 2.0) {
    const Level& from = m_levels.back();
    const std::size_t n = from.FixCount();
    if (n <= 2 * kRunLength) break;
    const double least = tolerance * tolerance;
    const auto select = [&from, n, least](auto&& keep) {
      keep(0);
      double lastX = static_cast<double>(from.X(0));
      double lastY = static_cast<double>(from.Y(0));
      for (std::size_t i = 1; i < n; ++i) {
        const double x = static_cast<double>(from.X(i));
        const double y = static_cast<double>(from.Y(i));
        if ((x - lastX) * (x - lastX) + (y - lastY) * (y - lastY) < least && i + 1 < n) continue;
        keep(i);
        lastX = x;
        lastY = y;
      }
    };
    std::size_t kept = 0;
    select([&kept](std::size_t) { ++kept; });
    if (static_cast<double>(kept) > kWorthwhileShare * static_cast<double>(n)) continue;
    Level level;
    level.tolerance = tolerance;
    level.all = all;
    level.kept.reserve(kept);
    select([&level, &from](std::size_t i) {
      level.kept.push_back(from.all ? from.kept[i] : static_cast<std::uint32_t>(i));
    });
    m_levels.push_back(std::move(level));
  }
  for (Level& level : m_levels) BuildRuns(level);
}

void MapTrack::BuildRuns(Level& level) const {
  const std::size_t n = level.FixCount();
  for (std::size_t first = 0; first < n; first += kRunLength) {
    WorldBox box;
    const std::size_t last = std::min(first + kRunLength, n - 1);
    for (std::size_t i = first; i <= last; ++i) {
      box.Add(m_origin.x + static_cast<double>(level.X(i)),
              m_origin.y + static_cast<double>(level.Y(i)));
    }
    level.runs.push_back(box);
    if (last == n - 1) break;
  }
}
