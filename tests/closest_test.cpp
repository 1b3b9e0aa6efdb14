// The spatial index the closest-order writers use, against the plain closest-point scan, choice for
// choice, on point sets that make ties, zero coordinates and distances beyond the search bound.
#include "tests/test_support.h"

#include "route/closest_index.h"
#include "tests/closest_reference.h"

namespace wayloom::test {

// The order a closest-order track visits points in, from points[0]: by the plain scan over the
// points left, or by the index.
std::vector<std::size_t> Tour(const std::vector<GeoPoint>& points, bool indexed) {
  std::vector<std::size_t> left;
  for (std::size_t i = 1; i < points.size(); ++i) left.push_back(i);
  std::vector<std::size_t> tour{0};
  if (indexed) {  // the whole visit, worked out on its own thread as the writers use it
    ClosestTour visit(std::vector<GeoPoint>(points.begin() + 1, points.end()), points[0]);
    while (!visit.Done()) tour.push_back(visit.Next() + 1);
    return tour;
  }
  while (!left.empty()) {
    const GeoPoint& at = points[tour.back()];
    std::vector<GeoPoint> candidates;
    for (std::size_t i : left) candidates.push_back(points[i]);
    const std::size_t chosen = left[FindClosest(candidates, at)];
    tour.push_back(chosen);
    left.erase(std::find(left.begin(), left.end(), chosen));
  }
  return tour;
}

TEST(ClosestPointIndex, VisitsPointsInExactlyThePlainSearchOrder) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> lat(36.0, 70.0);
  std::uniform_real_distribution<double> lon(-10.0, 30.0);
  std::normal_distribution<double> jitter(0.0, 0.0005);
  const double huge[] = {1e15, -1e15, 1e300, -1e300, 1e12, 8.5};
  std::vector<std::vector<GeoPoint>> sets(9);
  const GeoPoint places[] = {{52.5, 13.4}, {48.1, 11.6}, {52.5, 11.6}, {48.1, 13.4}, {50.0, 12.0}};
  for (int i = 0; i < 2000; ++i) {
    sets[0].push_back({lat(random), lon(random)});
    // A lattice gives many exactly equal distances: ties must go to the earliest point.
    if (i < 1600) sets[1].push_back({45.0 + 0.25 * (i / 40), 5.0 + 0.25 * (i % 40)});
    // Clusters of near and exactly repeated points, far from each other.
    const double j = i % 4 ? 1.0 : 0.0;
    sets[2].push_back(
        {40.0 + 5.0 * (i % 5) + j * jitter(random), 2.0 + 4.0 * (i % 7) + j * jitter(random)});
    // Points with a 0 coordinate are at distance 0 from everywhere, and from them every point is.
    sets[3].push_back({i % 97 == 5 ? 0.0 : lat(random), i % 89 == 7 ? 0.0 : lon(random)});
    // Far outside the ranges of degrees: distances reach the search bound and infinity.
    if (i < 600) sets[4].push_back({huge[random() % 6] * (1 + (i % 3)), huge[random() % 6]});
    // Ties the index must settle without scanning them: one place, a few places repeated, a line
    // of even steps with places twice, and far outliers among spread points.
    sets[5].push_back(places[0]);
    sets[6].push_back(places[random() % 5]);
    sets[7].push_back({47.0, 6.0 + 0.001 * (i % 1500)});
    sets[8].push_back(i % 1000 == 0 ? GeoPoint{-45.0, 170.0} : sets[0].back());
  }
  std::shuffle(sets[7].begin(), sets[7].end(), random);
  std::shuffle(sets[1].begin() + 1, sets[1].end(), random);
  sets.push_back({{50.0, 8.0}, {50.1, 8.1}});
  for (std::size_t set = 0; set < sets.size(); ++set) {
    EXPECT_EQ(Tour(sets[set], true), Tour(sets[set], false)) << "set " << set;
  }
}

}  // namespace wayloom::test
