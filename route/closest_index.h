// A spatial index for the closest-order tracks: it answers the closest-point search over the points
// not yet visited, choice for choice as the plain scan in closest_search.h does, in about
// logarithmic time instead of a pass over every point, whatever the points are: many points at one
// place, lattices of equal distances, lines, clusters and outliers included.
//
// Exactness rests on two facts. Distances of candidates are computed by the very function the plain
// scan uses, and ties go to the earliest point as there. And the lower bound of a box is computed
// with the same operations from the box edge nearest to the origin; every operation in that
// formula is monotonic under round-to-nearest, so no point in the box can have a smaller computed
// distance than the box's bound. A box is skipped when its bound is larger than the best distance
// found, or equal to it while every point left in the box comes later in the file than the best
// point: then none of them could win the tie. That second rule is what keeps equal distances from
// turning the search into a scan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <future>
#include <mutex>
#include <vector>

#include "route/planar_offset.h"

namespace wayloom {

class ClosestPointIndex {
 public:
  explicit ClosestPointIndex(const std::vector<GeoPoint>& points);

  bool Empty() const { return alive_ == 0; }

  // Index (into the constructor's points) of the nearest point not yet taken by PlanarDistance,
  // the earliest of those equally near, and takes it; when none is nearer than
  // kSearchBoundMetres (coordinates far outside the Earth's ranges), the earliest not yet taken.
  // Must not be called when Empty().
  std::size_t TakeClosest(const GeoPoint& origin);

  // Where the point TakeClosest took last lies, for searching from it. A point with a 0
  // coordinate gives (0, 0): from any origin with a 0 coordinate every distance is 0, so all of
  // them search alike.
  const GeoPoint& LastTaken() const { return lastTaken_; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  struct Box {
    double minLat, maxLat, minLon, maxLon;
  };
  // A point of the tree, stored in tree order so that a leaf's points lie side by side.
  struct Entry {
    GeoPoint point;
    std::uint32_t index;  // in the constructor's points
    bool taken;
  };
  // The best candidate so far: smaller distance wins, then the earlier point.
  struct Best {
    double metres;
    std::uint32_t index;
    std::uint32_t entry;  // kNone for a point outside the tree
    bool found;
  };

  // The tree is complete: node n has the children 2n + 1 and 2n + 2, every leaf is at the same
  // depth, and a node's entries are split at their middle, so a node needs neither links nor
  // counts, and its entries follow from its parent's.
  void Build(std::uint32_t node, std::uint32_t begin, std::uint32_t end);
  bool IsLeaf(std::uint32_t node) const { return node >= firstLeaf_; }
  static std::uint32_t Middle(std::uint32_t begin, std::uint32_t end) {
    return begin + (end - begin) / 2;
  }
  // The lower bound of the computed distance from origin of any point in box.
  static double Bound(const Box& box, const GeoPoint& origin);
  // Improves best from the points of node, entries [begin, end), whose box has the given bound.
  void Search(std::uint32_t node, std::uint32_t begin, std::uint32_t end, double bound,
              const GeoPoint& origin, Best& best) const;
  // Takes a point; entry is where it stands in the tree, kNone for a point outside.
  void Take(std::uint32_t index, std::uint32_t entry);
  std::uint32_t FirstAlive();
  std::uint32_t FirstAliveZero();

  std::vector<Entry> entries_;
  std::vector<Box> boxes_;               // per node
  std::vector<std::uint32_t> earliest_;  // per node: its earliest point not taken, or kNone
  std::uint32_t firstLeaf_ = 0;
  std::vector<std::uint32_t> entryOf_;     // per point: its entry (kNone outside the tree)
  std::vector<bool> taken_;                // per point
  std::vector<std::uint32_t> zeroPoints_;  // points with a 0 coordinate, in index order
  std::uint32_t firstAlive_ = 0;           // no point before it is alive
  std::uint32_t firstAliveZero_ = 0;       // position in zeroPoints_, likewise
  std::size_t alive_ = 0;
  GeoPoint lastTaken_;
};

// The whole closest-order visit of points from a start: each point the one TakeClosest chooses
// from the point before. A thread of its own works the visit out ahead while the caller writes the
// points already known, so the searches and the writing share the two cores.
class ClosestTour {
 public:
  ClosestTour(const std::vector<GeoPoint>& points, const GeoPoint& start);
  ~ClosestTour();
  ClosestTour(const ClosestTour&) = delete;
  ClosestTour& operator=(const ClosestTour&) = delete;

  bool Done() const { return next_ == order_.size(); }
  // The next point of the visit, as an index into the constructor's points; waits for it when the
  // thread has not got there yet. Must not be called when Done().
  std::size_t Next();
  // The point ahead places after the one Next() gives next, if the thread has got there already;
  // kUnknown otherwise. For reading the points' data ahead of their turn.
  static constexpr std::size_t kUnknown = ~std::size_t{0};
  std::size_t Peek(std::size_t ahead) const {
    const std::size_t k = next_ + ahead;
    return k < ready_.load(std::memory_order_acquire) ? order_[k] : kUnknown;
  }

 private:
  void Run(GeoPoint from);

  ClosestPointIndex index_;
  std::vector<std::uint32_t> order_;
  std::size_t next_ = 0;
  bool threaded_ = false;              // false: Next() searches itself (no thread could be started)
  GeoPoint from_;                      // without the thread: where the next search starts
  std::atomic<std::size_t> ready_{0};  // points of order_ worked out so far
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable more_;
  std::future<void> worker_;
};

}  // namespace wayloom
