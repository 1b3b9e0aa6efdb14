#include "route/closest_search.h"

namespace wayloom {

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
