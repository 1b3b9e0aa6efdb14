// The closest-point search of the closest-order tracks, and the flat-earth offset it ranks points
// by.
//
// The search is a plain scan over every remaining point: simple enough to check by eye, and the
// reference that any faster search must agree with, choice for choice.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace wayloom {

// A position in decimal degrees, negative south and west.
struct GeoPoint {
  double latitude = 0.0;
  double longitude = 0.0;
};

// Metres per degree of latitude and of longitude of the flat-earth offsets.
constexpr double kOffsetMetresPerDegreeLat = 110945.90800966838;
constexpr double kOffsetMetresPerDegreeLon = 111319.14001027387;

// Offset in metres of (longitude, latitude) from origin: plain differences times the constants
// above, with no wrap at 180 degrees and no cosine. False, with both offsets 0, when any of the
// four coordinates is exactly 0 (a 0 counts as absent).
inline bool PlanarOffset(const GeoPoint& origin, double longitude, double latitude,
                         double& eastMetres, double& northMetres) {
  eastMetres = 0.0;
  northMetres = 0.0;
  if (latitude == 0.0 || longitude == 0.0 || origin.latitude == 0.0 || origin.longitude == 0.0) {
    return false;
  }
  northMetres = (latitude - origin.latitude) * kOffsetMetresPerDegreeLat;
  eastMetres = (longitude - origin.longitude) * kOffsetMetresPerDegreeLon;
  return true;
}

// The distance the search ranks by: the length of the planar offset, 0 when it is unavailable.
// Inline, since the closest-point search computes little else.
inline double PlanarDistance(const GeoPoint& origin, const GeoPoint& point) {
  double east = 0.0;
  double north = 0.0;
  PlanarOffset(origin, point.longitude, point.latitude, east, north);
  return std::sqrt(east * east + north * north);
}

// No point at this distance or farther can be chosen by its distance.
constexpr double kSearchBoundMetres = 1e16;

// Index of the candidate nearest to origin. A candidate must be strictly nearer than every earlier
// one to win, so equal distances go to the earliest. When no candidate is nearer than
// kSearchBoundMetres (only coordinates far outside the Earth's ranges get there) the first one is
// chosen, so there is always a point to visit next. candidates must not be empty.
std::size_t FindClosest(const std::vector<GeoPoint>& candidates, const GeoPoint& origin);

}  // namespace wayloom
