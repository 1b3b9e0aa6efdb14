#include "dialog/map_track.h"

#include <algorithm>
#include <cmath>

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
  m_visits.emplace_back(poiIndex, static_cast<std::uint32_t>(m_visits.size() + 1));
}

void MapTrack::OnFix(const wayloom::Fix& fix, const wayloom::SentenceLines&) {
  // A coordinate too large to be a number (a text like 1e999) has no place on the map.
  const WorldPoint at = ProjectToWorld(fix.latitude, fix.longitude);
  if (Finite(at)) m_recorded.push_back(at);
}

void MapTrack::Finish(const wayloom::TableRows& sourceTable) {
  const std::size_t rows = sourceTable.RowCount();
  m_points.assign(rows > 0 ? rows - 1 : 0, Point{});
  m_bounds = WorldBox{};
  for (std::size_t row = 0; row < m_points.size(); ++row) {
    m_points[row].at = ProjectToWorld(wayloom::ParseDecimal(sourceTable.Cell(row, 0)),
                                      wayloom::ParseDecimal(sourceTable.Cell(row, 1)));
    if (Finite(m_points[row].at)) m_bounds.Add(m_points[row].at.x, m_points[row].at.y);
  }
  for (const auto& [index, visit] : m_visits) {
    if (index < m_points.size()) m_points[index].visit = visit;
  }
  m_visits = {};
  for (const WorldPoint& fix : m_recorded) m_bounds.Add(fix.x, fix.y);
  m_origin = m_bounds.Empty() ? WorldPoint{} : WorldPoint{m_bounds.left, m_bounds.top};
  BuildLevels();
}

WorldPoint MapTrack::Fix(std::size_t index) const {
  const std::vector<float>& xy = m_levels.front().xy;
  return WorldPoint{m_origin.x + static_cast<double>(xy[2 * index]),
                    m_origin.y + static_cast<double>(xy[2 * index + 1])};
}

const MapTrack::Level& MapTrack::LevelFor(double worldPerPixel) const {
  static const Level kNoFixes;
  if (m_levels.empty()) return kNoFixes;
  std::size_t chosen = 0;
  while (chosen + 1 < m_levels.size() && m_levels[chosen + 1].tolerance <= 0.5 * worldPerPixel)
    ++chosen;
  return m_levels[chosen];
}

void MapTrack::BuildLevels() {
  m_levels.clear();
  m_typicalStep = 0.0;
  if (m_recorded.empty()) return;

  Level all;
  all.xy.reserve(2 * m_recorded.size());
  for (const WorldPoint& fix : m_recorded) {
    all.xy.push_back(static_cast<float>(fix.x - m_origin.x));
    all.xy.push_back(static_cast<float>(fix.y - m_origin.y));
  }
  m_recorded = {};
  m_levels.push_back(std::move(all));

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
  // before it; the last fix always stays, so the line ends where the track ends.
  for (double tolerance = kFinestTolerance; tolerance <= 1.0; tolerance *= 2.0) {
    const std::vector<float>& from = m_levels.back().xy;
    const std::size_t n = from.size() / 2;
    if (n <= 2 * kRunLength) break;
    Level level;
    level.tolerance = tolerance;
    level.xy = {from[0], from[1]};
    double lastX = static_cast<double>(from[0]);
    double lastY = static_cast<double>(from[1]);
    const double least = tolerance * tolerance;
    for (std::size_t i = 1; i < n; ++i) {
      const double x = static_cast<double>(from[2 * i]);
      const double y = static_cast<double>(from[2 * i + 1]);
      if ((x - lastX) * (x - lastX) + (y - lastY) * (y - lastY) < least && i + 1 < n) continue;
      level.xy.push_back(from[2 * i]);
      level.xy.push_back(from[2 * i + 1]);
      lastX = x;
      lastY = y;
    }
    if (static_cast<double>(level.FixCount()) <= kWorthwhileShare * static_cast<double>(n)) {
      m_levels.push_back(std::move(level));
    }
  }

  for (Level& level : m_levels) {
    const std::size_t n = level.FixCount();
    for (std::size_t first = 0; first < n; first += kRunLength) {
      WorldBox box;
      const std::size_t last = std::min(first + kRunLength, n - 1);
      for (std::size_t i = first; i <= last; ++i) {
        box.Add(m_origin.x + static_cast<double>(level.xy[2 * i]),
                m_origin.y + static_cast<double>(level.xy[2 * i + 1]));
      }
      level.runs.push_back(box);
      if (last == n - 1) break;
    }
  }
}
