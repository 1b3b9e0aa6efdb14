#include "track/closest_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "track/closest_search.h"

namespace wayloom {
namespace {

// The order in which a closest-order track visits points, starting from points[0], as the plain
// scan gives it: the reference the index must match choice for choice.
std::vector<std::size_t> PlainTour(const std::vector<GeoPoint>& points) {
  std::vector<std::size_t> remaining;
  std::vector<GeoPoint> candidates;
  for (std::size_t i = 1; i < points.size(); ++i) {
    remaining.push_back(i);
    candidates.push_back(points[i]);
  }
  std::vector<std::size_t> tour{0};
  GeoPoint at = points[0];
  while (!remaining.empty()) {
    const std::size_t chosen = FindClosest(candidates, at);
    tour.push_back(remaining[chosen]);
    at = candidates[chosen];
    remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(chosen));
    candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(chosen));
  }
  return tour;
}

std::vector<std::size_t> IndexedTour(const std::vector<GeoPoint>& points) {
  ClosestTour visit(std::vector<GeoPoint>(points.begin() + 1, points.end()), points[0]);
  std::vector<std::size_t> tour{0};
  while (!visit.Done()) tour.push_back(visit.Next() + 1);
  return tour;
}

struct PointSet {
  const char* name;
  std::vector<GeoPoint> points;
};

std::vector<PointSet> AdversarialSets() {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> europeLat(36.0, 70.0);
  std::uniform_real_distribution<double> europeLon(-10.0, 30.0);
  std::vector<PointSet> sets;

  PointSet spread{"spread over Europe", {}};
  for (int i = 0; i < 3000; ++i) spread.points.push_back({europeLat(random), europeLon(random)});
  sets.push_back(spread);

  // A lattice gives many exactly equal distances: ties must go to the earliest point.
  PointSet lattice{"lattice of equal distances", {}};
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 40; ++j) lattice.points.push_back({45.0 + 0.25 * i, 5.0 + 0.25 * j});
  }
  std::shuffle(lattice.points.begin() + 1, lattice.points.end(), random);
  sets.push_back(lattice);

  // Clusters of near and exactly repeated points, far from each other.
  PointSet clusters{"clusters with duplicates", {}};
  std::normal_distribution<double> jitter(0.0, 0.0005);
  for (int i = 0; i < 2500; ++i) {
    const double centreLat = 40.0 + 5.0 * (i % 5);
    const double centreLon = 2.0 + 4.0 * (i % 7);
    if (i % 4 == 0) {
      clusters.points.push_back({centreLat, centreLon});
    } else {
      clusters.points.push_back({centreLat + jitter(random), centreLon + jitter(random)});
    }
  }
  sets.push_back(clusters);

  // Points with a 0 coordinate are at distance 0 from everywhere, and from them every point is.
  PointSet zeros{"zero coordinates", {}};
  for (int i = 0; i < 1500; ++i) {
    GeoPoint p{europeLat(random), europeLon(random)};
    if (i % 97 == 5) p.latitude = 0.0;
    if (i % 89 == 7) p.longitude = 0.0;
    zeros.points.push_back(p);
  }
  sets.push_back(zeros);

  // Far outside the ranges of degrees: distances reach the search bound and infinity.
  PointSet far{"far apart", {}};
  const double huge[] = {1e15, -1e15, 1e300, -1e300, 1e12, 8.5};
  for (int i = 0; i < 600; ++i) {
    far.points.push_back({huge[random() % 6] * (1 + (i % 3)), huge[random() % 6]});
  }
  sets.push_back(far);

  // Many points at one place, or at a few places, in shuffled file order: equal distances that the
  // index must settle without scanning them.
  const auto repeated = [&random](const char* name, std::vector<GeoPoint> places, int count) {
    PointSet set{name, {}};
    for (int i = 0; i < count; ++i) set.points.push_back(places[random() % places.size()]);
    return set;
  };
  sets.push_back(repeated("identical points", {{52.5, 13.4}}, 2000));
  sets.push_back(repeated("a few places repeated many times",
                          {{52.5, 13.4}, {48.1, 11.6}, {52.5, 11.6}, {48.1, 13.4}, {50.0, 12.0}},
                          2000));

  // Evenly spaced along one parallel, some places twice, shuffled: two neighbours tie every time.
  PointSet line{"points on one line", {}};
  for (int i = 0; i < 2000; ++i) line.points.push_back({47.0, 6.0 + 0.001 * (i % 1500)});
  std::shuffle(line.points.begin(), line.points.end(), random);
  sets.push_back(line);

  // A far outlier first and another in the middle of spread points.
  PointSet outlier = spread;
  outlier.name = "far outliers";
  outlier.points[0] = {-45.0, 170.0};
  outlier.points[1500] = {-45.0, 170.0};
  sets.push_back(outlier);

  PointSet tiny{"a single point left", {{50.0, 8.0}, {50.1, 8.1}}};
  sets.push_back(tiny);
  return sets;
}

TEST(ClosestPointIndex, VisitsPointsInExactlyThePlainSearchOrder) {
  for (const PointSet& set : AdversarialSets()) {
    EXPECT_EQ(IndexedTour(set.points), PlainTour(set.points)) << set.name;
  }
}

TEST(ClosestPointIndex, MatchesThePlainSearchFromArbitraryOrigins) {
  // Single searches from origins that are not points of the set, between takes: every take of a
  // small set, and the first takes of a set large enough to be built on two threads.
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> lat(40.0, 50.0);
  std::uniform_real_distribution<double> lon(0.0, 10.0);
  for (const std::size_t size : {std::size_t{2000}, std::size_t{70000}}) {
    std::vector<GeoPoint> points;
    for (std::size_t i = 0; i < size; ++i) points.push_back({lat(random), lon(random)});
    ClosestPointIndex index(points);
    std::vector<GeoPoint> remaining = points;
    std::vector<std::size_t> ids(points.size());
    for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = i;
    for (std::size_t take = 0; take < (size > 2000 ? 300 : size); ++take) {
      const GeoPoint origin{lat(random), lon(random)};
      const std::size_t plain = FindClosest(remaining, origin);
      ASSERT_EQ(index.TakeClosest(origin), ids[plain]) << size << " points, take " << take;
      remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(plain));
      ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(plain));
    }
  }
}

}  // namespace
}  // namespace wayloom
