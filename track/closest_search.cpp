#include "track/closest_search.h"

#include <cmath>

namespace wayloom {

bool PlanarOffset(const GeoPoint& origin, double longitude, double latitude, double& eastMetres,
                  double& northMetres) {
  eastMetres = 0.0;
  northMetres = 0.0;
  if (latitude == 0.0 || longitude == 0.0 || origin.latitude == 0.0 || origin.longitude == 0.0) {
    return false;
  }
  northMetres = (latitude - origin.latitude) * kOffsetMetresPerDegreeLat;
  eastMetres = (longitude - origin.longitude) * kOffsetMetresPerDegreeLon;
  return true;
}

double PlanarDistance(const GeoPoint& origin, const GeoPoint& point) {
  double east = 0.0;
  double north = 0.0;
  PlanarOffset(origin, point.longitude, point.latitude, east, north);
  return std::sqrt(east * east + north * north);
}

std::size_t FindClosest(const std::vector<GeoPoint>& candidates, const GeoPoint& origin) {
  double bestMetres = kSearchBoundMetres;
  std::size_t best = 0;  // kept when nothing is nearer than the bound
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const double metres = PlanarDistance(origin, candidates[i]);
    if (metres < bestMetres) {
      bestMetres = metres;
      best = i;
    }
  }
  return best;
}

}  // namespace wayloom
