#include "track/closest_search.h"

#include <gtest/gtest.h>

#include <vector>

namespace wayloom {
namespace {

struct SearchCase {
  const char* what;
  GeoPoint origin;
  std::vector<GeoPoint> candidates;
  std::size_t chosen;
};

// Points are {latitude, longitude}.
const SearchCase kSearchCases[] = {
    {"the nearest point wins", {50.0, 8.0}, {{50.002, 8.003}, {50.0, 8.003}, {51.0, 8.0}}, 1},
    {"equal distances go to the earliest point",
     {45.0, 2.0},
     {{45.0, 3.0}, {45.0, 2.5}, {45.0, 1.5}},
     1},
    {"equal distances go to the earliest point, whichever side it lies on",
     {45.0, 2.0},
     {{45.0, 3.0}, {45.0, 1.5}, {45.0, 2.5}},
     1},
    {"a point repeating the origin has distance 0",
     {45.0, 2.0},
     {{45.0, 2.1}, {45.0, 2.0}, {45.0, 2.0}},
     1},
    {"a point with a 0 coordinate counts as distance 0",
     {45.0, 2.0},
     {{45.0, 2.1}, {8.5, 0.0}, {45.0, 2.05}},
     1},
    {"an origin with a 0 coordinate makes every distance 0",
     {8.5, 0.0},
     {{45.0, 9.0}, {45.0, 2.0}},
     0},
    {"nothing nearer than the bound: the first point",
     {50.0, 8.0},
     {{1e12, 8.0}, {1e300, 1e300}, {-1e13, 8.0}},
     0},
    {"an infinitely far point never beats a near one",
     {50.0, 8.0},
     {{1e300, 1e300}, {50.1, 8.0}},
     1},
    {"a single point is chosen", {50.0, 8.0}, {{1e300, 8.0}}, 0},
};

TEST(ClosestSearch, ChoosesTheNearestRemainingPointAndNeverNothing) {
  for (const SearchCase& c : kSearchCases) {
    EXPECT_EQ(FindClosest(c.candidates, c.origin), c.chosen) << c.what;
  }
}

}  // namespace
}  // namespace wayloom
