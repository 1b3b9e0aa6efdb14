// A position, and the flat-earth offset that the closest-order tracks rank points by (the search
// itself, over a spatial index, is in closest_index.h).
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

}  // namespace wayloom
