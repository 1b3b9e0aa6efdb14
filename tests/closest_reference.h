// The closest-point search as a plain scan over every remaining point: simple enough to check by
// eye, and the reference the spatial index (route/closest_index.h) must agree with, choice for
// choice. The tests and the benchmark use it.
#pragma once

#include <cstddef>
#include <vector>

#include "route/planar_offset.h"

namespace wayloom {

// Index of the candidate nearest to origin. A candidate must be strictly nearer than every earlier
// one to win, so equal distances go to the earliest. When no candidate is nearer than
// kSearchBoundMetres (only coordinates far outside the Earth's ranges get there) the first one is
// chosen. candidates must not be empty.
inline std::size_t FindClosest(const std::vector<GeoPoint>& candidates, const GeoPoint& origin) {
  double bestMetres = kSearchBoundMetres;
  std::size_t best = 0;
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
