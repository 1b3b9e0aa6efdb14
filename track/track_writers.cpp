// The closest-order and extra-point track writers. The file-order writer, and the opening, writing
// and closing that every writer shares, are in track_engine.cpp.
//
// The writers leave the source table as it is: it is rebuilt after every track anyway. The points
// still to visit are kept in their own list instead, in table order, so that the closest-point
// search sees the same candidates in the same order as it would in a table whose written rows had
// been deleted.

#include <vector>

#include "closest_search.h"
#include "number_text.h"
#include "track_engine.h"

namespace wayloom {
namespace {

// The points not yet visited: their rows in table order, with their coordinates beside them.
class RemainingPoints {
 public:
  RemainingPoints(std::vector<std::size_t> rows, std::vector<GeoPoint> points)
      : rows_(std::move(rows)), points_(std::move(points)) {}

  bool Empty() const { return rows_.empty(); }

  // Removes the point nearest to origin from the list and returns its row.
  std::size_t TakeClosest(const GeoPoint& origin) {
    const std::size_t index = FindClosest(points_, origin);
    const std::size_t row = rows_[index];
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
    return row;
  }

 private:
  std::vector<std::size_t> rows_;
  std::vector<GeoPoint> points_;
};

}  // namespace

void TrackEngine::WriteClosestTrack() {
  WriteVisitingTrack(VisitOrder::kClosest, false);
}

void TrackEngine::WriteExtraTrack() {
  WriteVisitingTrack(VisitOrder::kFile, true);
}

void TrackEngine::WriteClosestExtraTrack() {
  WriteVisitingTrack(VisitOrder::kClosest, true);
}

void TrackEngine::WriteVisitingTrack(VisitOrder order, bool extraPoints) {
  if (!OpenTrack()) return;
  const std::size_t rows = m_sourceTable.RowCount();
  if (rows < 3) {  // fewer than two points above the blank last row
    CloseTrack();
    return;
  }
  const std::size_t lastPointRow = rows - 2;
  const auto rowPoint = [this](std::size_t row) {
    return GeoPoint{ParseDecimal(RowLatitude(row)), ParseDecimal(RowLongitude(row))};
  };
  // A point once written is where the next stretch starts and the next search measures from.
  const auto moveTo = [this](const GeoPoint& point) {
    m_dCurLat = point.latitude;
    m_dCurLon = point.longitude;
  };

  // The first point of the file always starts the track; no search is made for it.
  bool goOn = WritePoint(kTrackStartMs, RowLatitude(0), RowLongitude(0));
  const double stepMs = m_periodSeconds * 1000.0;
  double clockMs = kTrackStartMs + stepMs;
  moveTo(rowPoint(0));

  std::vector<std::size_t> remainingRows;
  std::vector<GeoPoint> remainingPoints;
  if (order == VisitOrder::kClosest) {
    remainingRows.reserve(lastPointRow);
    remainingPoints.reserve(lastPointRow);
    for (std::size_t row = 1; row <= lastPointRow; ++row) {
      remainingRows.push_back(row);
      remainingPoints.push_back(rowPoint(row));
    }
  }
  RemainingPoints remaining(std::move(remainingRows), std::move(remainingPoints));
  std::size_t nextFileRow = 1;

  while (goOn) {
    std::size_t target = 0;
    if (order == VisitOrder::kClosest) {
      if (remaining.Empty()) break;
      target = remaining.TakeClosest(GeoPoint{m_dCurLat, m_dCurLon});
    } else {
      if (nextFileRow > lastPointRow) break;
      target = nextFileRow++;
    }
    if (extraPoints) clockMs = WriteExtraPoints(clockMs, RowLatitude(target), RowLongitude(target));
    goOn = WritePoint(clockMs, RowLatitude(target), RowLongitude(target));
    clockMs += stepMs;
    moveTo(rowPoint(target));
  }
  CloseTrack();
}

}  // namespace wayloom
