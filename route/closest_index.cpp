#include "route/closest_index.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <system_error>

namespace wayloom {
namespace {

constexpr std::uint32_t kLeafSize = 16;
// From this many points on, the tree is built on two threads.
constexpr std::uint32_t kParallelBuildEntries = 1u << 16;
// How many points the tour's thread works out before it tells the caller: one wake-up per batch.
constexpr std::size_t kTourBatch = 256;

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
    : entryOf_(points.size(), kNone), taken_(points.size(), false), alive_(points.size()) {
  for (std::uint32_t i = 0; i < points.size(); ++i) {
    if (HasZeroCoordinate(points[i])) {
      zeroPoints_.push_back(i);
    } else {
      entries_.push_back(Entry{points[i], i, false});
    }
  }
  if (entries_.empty()) return;
  std::uint32_t leaves = 1;
  while (entries_.size() > std::size_t{leaves} * kLeafSize) leaves *= 2;
  firstLeaf_ = leaves - 1;
  boxes_.resize(2 * std::size_t{leaves} - 1);
  earliest_.resize(boxes_.size());
  Build(0, 0, static_cast<std::uint32_t>(entries_.size()));
  for (std::uint32_t e = 0; e < entries_.size(); ++e) entryOf_[entries_[e].index] = e;
}

void ClosestPointIndex::Build(std::uint32_t node, std::uint32_t begin, std::uint32_t end) {
  const GeoPoint& first = entries_[begin].point;
  Box box{first.latitude, first.latitude, first.longitude, first.longitude};
  std::uint32_t earliest = kNone;
  for (std::uint32_t e = begin; e < end; ++e) {
    const GeoPoint& p = entries_[e].point;
    box.minLat = std::min(box.minLat, p.latitude);
    box.maxLat = std::max(box.maxLat, p.latitude);
    box.minLon = std::min(box.minLon, p.longitude);
    box.maxLon = std::max(box.maxLon, p.longitude);
    earliest = std::min(earliest, entries_[e].index);
  }
  boxes_[node] = box;
  earliest_[node] = earliest;
  if (IsLeaf(node)) return;
  // Split across the wider side (in metres), at the median. Every leaf is at the same depth and
  // holds between kLeafSize / 2 and kLeafSize points, so none is empty.
  const bool byLatitude = (box.maxLat - box.minLat) * kOffsetMetresPerDegreeLat >=
                          (box.maxLon - box.minLon) * kOffsetMetresPerDegreeLon;
  const std::uint32_t middle = Middle(begin, end);
  std::nth_element(entries_.begin() + begin, entries_.begin() + middle, entries_.begin() + end,
                   [byLatitude](const Entry& a, const Entry& b) {
                     return byLatitude ? a.point.latitude < b.point.latitude
                                       : a.point.longitude < b.point.longitude;
                   });
  // The two halves of a large tree are built side by side: they share no node and no entry.
  if (node == 0 && end - begin >= kParallelBuildEntries) {
    std::future<void> left;
    try {
      left = std::async(std::launch::async, [=] { Build(2 * node + 1, begin, middle); });
    } catch (const std::system_error&) {
      Build(2 * node + 1, begin, middle);  // no thread to spare: one after the other
    }
    Build(2 * node + 2, middle, end);
    if (left.valid()) left.get();
    return;
  }
  Build(2 * node + 1, begin, middle);
  Build(2 * node + 2, middle, end);
}

void ClosestPointIndex::Search(std::uint32_t node, std::uint32_t begin, std::uint32_t end,
                               double bound, const GeoPoint& origin, Best& best) const {
  const std::uint32_t earliest = earliest_[node];
  if (earliest == kNone || bound > best.metres) return;
  if (bound == best.metres && best.found && earliest > best.index) return;

  if (IsLeaf(node)) {
    for (std::uint32_t e = begin; e < end; ++e) {
      const Entry& entry = entries_[e];
      if (entry.taken) continue;
      const double metres = PlanarDistance(origin, entry.point);
      if (metres < best.metres ||
          (metres == best.metres && best.found && entry.index < best.index)) {
        best = Best{metres, entry.index, e, true};
      }
    }
    return;
  }
  // The nearer child first, so that its best prunes the other more often; on equal bounds the one
  // holding the earlier point, which wins any tie.
  const std::uint32_t left = 2 * node + 1;
  const std::uint32_t right = left + 1;
  const std::uint32_t middle = Middle(begin, end);
  const double leftBound = Bound(boxes_[left], origin);
  const double rightBound = Bound(boxes_[right], origin);
  if (leftBound < rightBound || (leftBound == rightBound && earliest_[left] < earliest_[right])) {
    Search(left, begin, middle, leftBound, origin, best);
    Search(right, middle, end, rightBound, origin, best);
  } else {
    Search(right, middle, end, rightBound, origin, best);
    Search(left, begin, middle, leftBound, origin, best);
  }
}

std::size_t ClosestPointIndex::TakeClosest(const GeoPoint& origin) {
  // From an origin with a 0 coordinate every distance is 0: the first point left wins.
  Best best{kSearchBoundMetres, 0, kNone, false};
  if (!HasZeroCoordinate(origin)) {
    // A point with a 0 coordinate is at distance 0 from anywhere.
    const std::uint32_t zero = FirstAliveZero();
    if (zero != kNone) best = Best{0.0, zero, kNone, true};
    if (!boxes_.empty()) {
      Search(0, 0, static_cast<std::uint32_t>(entries_.size()), Bound(boxes_[0], origin), origin,
             best);
    }
  }
  if (!best.found) {
    best.index = FirstAlive();
    best.entry = entryOf_[best.index];
  }
  Take(best.index, best.entry);
  return best.index;
}

void ClosestPointIndex::Take(std::uint32_t index, std::uint32_t entry) {
  taken_[index] = true;
  --alive_;
  lastTaken_ = GeoPoint{};
  if (entry == kNone) return;
  entries_[entry].taken = true;
  lastTaken_ = entries_[entry].point;
  // Down to the entry's leaf, then back up, renewing each node's earliest point for as long as it
  // changes.
  std::uint32_t node = 0;
  std::uint32_t begin = 0;
  std::uint32_t end = static_cast<std::uint32_t>(entries_.size());
  while (!IsLeaf(node)) {
    const std::uint32_t middle = Middle(begin, end);
    if (entry < middle) {
      node = 2 * node + 1;
      end = middle;
    } else {
      node = 2 * node + 2;
      begin = middle;
    }
  }
  std::uint32_t earliest = kNone;
  for (std::uint32_t e = begin; e < end; ++e) {
    if (!entries_[e].taken) earliest = std::min(earliest, entries_[e].index);
  }
  while (earliest_[node] != earliest) {
    earliest_[node] = earliest;
    if (node == 0) break;
    node = (node - 1) / 2;
    earliest = std::min(earliest_[2 * node + 1], earliest_[2 * node + 2]);
  }
}

std::uint32_t ClosestPointIndex::FirstAlive() {
  while (firstAlive_ < taken_.size() && taken_[firstAlive_]) ++firstAlive_;
  return firstAlive_;
}

std::uint32_t ClosestPointIndex::FirstAliveZero() {
  while (firstAliveZero_ < zeroPoints_.size() && taken_[zeroPoints_[firstAliveZero_]]) {
    ++firstAliveZero_;
  }
  return firstAliveZero_ < zeroPoints_.size() ? zeroPoints_[firstAliveZero_] : kNone;
}

ClosestTour::ClosestTour(const std::vector<GeoPoint>& points, const GeoPoint& start)
    : index_(points), order_(points.size()), from_(start) {
  if (order_.empty()) return;
  try {
    worker_ = std::async(std::launch::async, [this, start] { Run(start); });
    threaded_ = true;
  } catch (const std::system_error&) {
    // No thread to spare: Next() searches as it goes.
  }
}

ClosestTour::~ClosestTour() {
  stop_ = true;
  if (worker_.valid()) worker_.wait();
}

void ClosestTour::Run(GeoPoint from) {
  for (std::size_t k = 0; k < order_.size() && !stop_.load(std::memory_order_relaxed); ++k) {
    const std::size_t chosen = index_.TakeClosest(from);
    order_[k] = static_cast<std::uint32_t>(chosen);
    from = index_.LastTaken();
    if ((k + 1) % kTourBatch == 0 || k + 1 == order_.size()) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        ready_.store(k + 1, std::memory_order_release);
      }
      more_.notify_one();
    }
  }
}

std::size_t ClosestTour::Next() {
  if (!threaded_) {
    const std::size_t chosen = index_.TakeClosest(from_);
    from_ = index_.LastTaken();
    ++next_;
    return chosen;
  }
  if (ready_.load(std::memory_order_acquire) <= next_) {
    std::unique_lock<std::mutex> lock(mutex_);
    more_.wait(lock, [this] { return ready_.load(std::memory_order_acquire) > next_; });
  }
  return order_[next_++];
}

}  // namespace wayloom
