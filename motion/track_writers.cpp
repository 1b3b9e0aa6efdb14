// The closest-order and extra-point track writers. The file-order writer, and the opening, writing
// and closing that every writer shares, are in track_engine.cpp.
//
// The writers leave the source table as it is: it is rebuilt after every track anyway. The points
// still to visit are kept in a spatial index instead, which chooses exactly as the closest-point
// search over a table whose written rows had been deleted would.

#include <vector>

#include "base/number_text.h"
#include "motion/track_engine.h"
#include "route/closest_index.h"

namespace wayloom {
void TrackEngine::WriteClosestTrack() { WriteVisitingTrack(VisitOrder::kClosest, false); }

void TrackEngine::WriteExtraTrack() { WriteVisitingTrack(VisitOrder::kFile, true); }

void TrackEngine::WriteClosestExtraTrack() { WriteVisitingTrack(VisitOrder::kClosest, true); }

void TrackEngine::WriteVisitingTrack(VisitOrder order, bool extraPoints) {
  if (!OpenTrack()) return;
  const std::size_t lastPointRow = PointCount() - 1;
  if (PointCount() < 2) {
    CloseTrack();
    return;
  }
  // A point once written is where the next stretch starts and the next search measures from.
  const auto moveTo = [this](const GeoPoint& point) {
    m_dCurLat = point.latitude;
    m_dCurLon = point.longitude;
  };

  // The first point of the file always starts the track; no search is made for it.
  bool goOn = WritePoint(m_trackStartMs, 0);
  const double stepMs = m_periodSeconds * 1000.0;
  double clockMs = m_trackStartMs + stepMs;
  moveTo(RowPoint(0));

  // In closest order, the points after the first, point i standing in row i + 1.
  std::vector<GeoPoint> laterPoints;
  if (order == VisitOrder::kClosest) {
    laterPoints.reserve(lastPointRow);
    for (std::size_t row = 1; row <= lastPointRow; ++row) laterPoints.push_back(RowPoint(row));
  }
  // The search always starts from the point written last, so the whole visit follows from the
  // first point and is worked out ahead of the writing.
  ClosestTour tour(laterPoints, GeoPoint{m_dCurLat, m_dCurLon});
  laterPoints = std::vector<GeoPoint>();
  // Out of file order, the points' nodes and texts are fetched some points ahead of their turn.
  const auto readAhead = [this, &tour] {
    const std::size_t node = tour.Peek(16);
    const std::size_t texts = tour.Peek(8);
    if (node != ClosestTour::kUnknown) m_poiList->PrefetchNode(node + 1);
    if (texts != ClosestTour::kUnknown) m_poiList->PrefetchTexts(texts + 1);
  };
  std::size_t nextFileRow = 1;

  while (goOn) {
    std::size_t target = 0;
    if (order == VisitOrder::kClosest) {
      if (tour.Done()) break;
      target = tour.Next() + 1;
      readAhead();
    } else {
      if (nextFileRow > lastPointRow) break;
      target = nextFileRow++;
    }
    if (extraPoints) {
      const PoiView texts = (*m_poiList)[target];
      clockMs = WriteExtraPoints(clockMs, texts.szLat, texts.szLon);
    }
    goOn = WritePoint(clockMs, target);
    clockMs += stepMs;
    moveTo(RowPoint(target));
  }
  CloseTrack();
}

}  // namespace wayloom
