// A spatial index for the closest-order tracks: it answers the closest-point search over the points
// not yet visited, choice for choice as the plain scan in closest_search.h does, in about
// logarithmic time instead of a pass over every point.
//
// Exactness rests on two facts. Distances of candidates are computed by the very function the plain
// scan uses, and ties go to the earliest point as there. And the lower bound of a box is computed
// with the same operations from the box edge nearest to the origin; every operation in that
// formula is monotonic under round-to-nearest, so no point in the box can have a smaller computed
// distance than the box's bound. A box is skipped only when its bound is larger than the best
// distance found, never when it is equal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "track/closest_search.h"

namespace wayloom {

class ClosestPointIndex {
 public:
  explicit ClosestPointIndex(const std::vector<GeoPoint>& points);

  bool Empty() const { return alive_ == 0; }

  // Index (into the constructor's points) of the point FindClosest would choose among those not yet
  // taken, and takes it. Must not be called when Empty().
  std::size_t TakeClosest(const GeoPoint& origin);

 private:
  struct Box {
    double minLat, maxLat, minLon, maxLon;
  };
  struct Node {
    Box box;
    std::uint32_t begin, end;   // its points: order_[begin, end)
    std::uint32_t left, right;  // children; 0 for a leaf (node 0 is the root, never a child)
    std::uint32_t alive;        // points not yet taken
  };
  // The best candidate so far: smaller distance wins, then the earlier point.
  struct Best {
    double metres;
    std::size_t index;
    bool found;
  };

  std::uint32_t Build(std::uint32_t begin, std::uint32_t end, int depth);
  // The lower bound of the computed distance from origin of any point in box.
  static double Bound(const Box& box, const GeoPoint& origin);
  // Improves best from the points of node, whose box has the given bound.
  void Search(std::uint32_t node, double bound, const GeoPoint& origin, Best& best) const;
  void Take(std::size_t index);
  std::size_t FirstAlive();
  std::size_t FirstAliveZero();

  std::vector<GeoPoint> points_;
  std::vector<std::uint32_t> order_;     // point indices, grouped by tree node
  std::vector<std::uint32_t> leafOf_;    // for each point, the leaf that holds it
  std::vector<std::uint32_t> parentOf_;  // for each node, its parent
  std::vector<Node> nodes_;
  std::vector<bool> taken_;
  std::vector<std::uint32_t> zeroPoints_;  // points with a 0 coordinate, in index order
  std::size_t firstAlive_ = 0;             // no point before it is alive
  std::size_t firstAliveZero_ = 0;         // position in zeroPoints_, likewise
  std::size_t alive_ = 0;
};

}  // namespace wayloom
