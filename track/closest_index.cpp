#include "track/closest_index.h"

#include <algorithm>
#include <cmath>

namespace wayloom {
namespace {

constexpr std::uint32_t kLeafSize = 8;

bool HasZeroCoordinate(const GeoPoint& point) {
  return point.latitude == 0.0 || point.longitude == 0.0;
}

// The difference of the nearest edge of [low, high] from value along one axis, computed as the
// distance computes it (edge minus value), or 0 when value lies inside.
double EdgeDifference(double value, double low, double high) {
  if (value < low) return low - value;
  if (value > high) return high - value;
  return 0.0;
}

}  // namespace

double ClosestPointIndex::Bound(const Box& box, const GeoPoint& origin) {
  const double north =
      EdgeDifference(origin.latitude, box.minLat, box.maxLat) * kOffsetMetresPerDegreeLat;
  const double east =
      EdgeDifference(origin.longitude, box.minLon, box.maxLon) * kOffsetMetresPerDegreeLon;
  return std::sqrt(east * east + north * north);
}

ClosestPointIndex::ClosestPointIndex(const std::vector<GeoPoint>& points)
    : points_(points), taken_(points.size(), false), alive_(points.size()) {
  std::vector<std::uint32_t> indexed;
  for (std::uint32_t i = 0; i < points_.size(); ++i) {
    if (HasZeroCoordinate(points_[i])) {
      zeroPoints_.push_back(i);
    } else {
      indexed.push_back(i);
    }
  }
  order_ = std::move(indexed);
  leafOf_.assign(points_.size(), 0);
  nodes_.reserve(2 * (order_.size() / kLeafSize + 1));
  if (!order_.empty()) Build(0, static_cast<std::uint32_t>(order_.size()), 0);
  parentOf_.assign(nodes_.size(), 0);
  for (std::uint32_t n = 0; n < nodes_.size(); ++n) {
    if (nodes_[n].left != 0) {
      parentOf_[nodes_[n].left] = n;
      parentOf_[nodes_[n].right] = n;
    }
  }
}

std::uint32_t ClosestPointIndex::Build(std::uint32_t begin, std::uint32_t end, int depth) {
  const std::uint32_t self = static_cast<std::uint32_t>(nodes_.size());
  nodes_.push_back(Node{});
  Box box{points_[order_[begin]].latitude, points_[order_[begin]].latitude,
          points_[order_[begin]].longitude, points_[order_[begin]].longitude};
  for (std::uint32_t i = begin; i < end; ++i) {
    const GeoPoint& p = points_[order_[i]];
    box.minLat = std::min(box.minLat, p.latitude);
    box.maxLat = std::max(box.maxLat, p.latitude);
    box.minLon = std::min(box.minLon, p.longitude);
    box.maxLon = std::max(box.maxLon, p.longitude);
  }
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  if (end - begin > kLeafSize) {
    // Split across the wider side (in metres), at the median.
    const bool byLatitude = (box.maxLat - box.minLat) * kOffsetMetresPerDegreeLat >=
                            (box.maxLon - box.minLon) * kOffsetMetresPerDegreeLon;
    const std::uint32_t middle = begin + (end - begin) / 2;
    std::nth_element(order_.begin() + begin, order_.begin() + middle, order_.begin() + end,
                     [this, byLatitude](std::uint32_t a, std::uint32_t b) {
                       return byLatitude ? points_[a].latitude < points_[b].latitude
                                         : points_[a].longitude < points_[b].longitude;
                     });
    left = Build(begin, middle, depth + 1);
    right = Build(middle, end, depth + 1);
  } else {
    for (std::uint32_t i = begin; i < end; ++i) leafOf_[order_[i]] = self;
  }
  nodes_[self] = Node{box, begin, end, left, right, end - begin};
  return self;
}

void ClosestPointIndex::Search(std::uint32_t n, double bound, const GeoPoint& origin,
                               Best& best) const {
  const Node& node = nodes_[n];
  if (node.alive == 0 || bound > best.metres) return;

  if (node.left == 0) {
    for (std::uint32_t i = node.begin; i < node.end; ++i) {
      const std::uint32_t index = order_[i];
      if (taken_[index]) continue;
      const double metres = PlanarDistance(origin, points_[index]);
      if (metres < best.metres || (metres == best.metres && best.found && index < best.index)) {
        best = Best{metres, index, true};
      }
    }
    return;
  }
  // The nearer child first, so that its best prunes the other more often.
  const double leftBound = Bound(nodes_[node.left].box, origin);
  const double rightBound = Bound(nodes_[node.right].box, origin);
  if (leftBound <= rightBound) {
    Search(node.left, leftBound, origin, best);
    Search(node.right, rightBound, origin, best);
  } else {
    Search(node.right, rightBound, origin, best);
    Search(node.left, leftBound, origin, best);
  }
}

std::size_t ClosestPointIndex::TakeClosest(const GeoPoint& origin) {
  // From an origin with a 0 coordinate every distance is 0: the first point left wins.
  if (HasZeroCoordinate(origin)) {
    const std::size_t first = FirstAlive();
    Take(first);
    return first;
  }
  // A point with a 0 coordinate is at distance 0 from anywhere.
  Best best{kSearchBoundMetres, 0, false};
  const std::size_t zero = FirstAliveZero();
  if (zero < points_.size()) best = Best{0.0, zero, true};
  if (!nodes_.empty()) Search(0, Bound(nodes_[0].box, origin), origin, best);
  const std::size_t chosen = best.found ? best.index : FirstAlive();
  Take(chosen);
  return chosen;
}

void ClosestPointIndex::Take(std::size_t index) {
  taken_[index] = true;
  --alive_;
  if (HasZeroCoordinate(points_[index])) return;
  for (std::uint32_t n = leafOf_[index];; n = parentOf_[n]) {
    --nodes_[n].alive;
    if (n == 0) break;
  }
}

std::size_t ClosestPointIndex::FirstAlive() {
  while (firstAlive_ < points_.size() && taken_[firstAlive_]) ++firstAlive_;
  return firstAlive_;
}

std::size_t ClosestPointIndex::FirstAliveZero() {
  while (firstAliveZero_ < zeroPoints_.size() && taken_[zeroPoints_[firstAliveZero_]]) {
    ++firstAliveZero_;
  }
  return firstAliveZero_ < zeroPoints_.size() ? zeroPoints_[firstAliveZero_] : points_.size();
}

}  // namespace wayloom
