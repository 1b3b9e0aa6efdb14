#include "track/route.h"

#include <cmath>

#include "track/closest_index.h"
#include "track/number_text.h"

namespace wayloom {

std::vector<GeoPoint> VisitingOrder(const PoiList& list, bool closestOrder) {
  std::vector<GeoPoint> points;
  const std::size_t count = list.empty() ? 0 : list.size() - 1;
  points.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const PoiView node = list[i];
    points.push_back(GeoPoint{ParseDecimal(node.szLat), ParseDecimal(node.szLon)});
  }
  if (!closestOrder || points.size() < 3) return points;

  // The same search the closest-order tracks make: from the first point, each time to the nearest
  // point not yet visited, measured from the point just reached.
  ClosestPointIndex remaining(std::vector<GeoPoint>(points.begin() + 1, points.end()));
  std::vector<GeoPoint> route;
  route.reserve(count);
  route.push_back(points[0]);
  while (!remaining.Empty()) route.push_back(points[remaining.TakeClosest(route.back()) + 1]);
  return route;
}

std::string RouteProblem(const std::vector<GeoPoint>& route) {
  for (std::size_t i = 0; i < route.size(); ++i) {
    const GeoPoint& p = route[i];
    if (!(std::fabs(p.latitude) <= 90.0) || !(std::fabs(p.longitude) <= 180.0)) {
      return "point " + std::to_string(i + 1) + " of the route (latitude " +
             FormatFixed(p.latitude, 6) + ", longitude " + FormatFixed(p.longitude, 6) +
             ") lies off the Earth: latitudes run from -90 to 90, longitudes from -180 to 180";
    }
  }
  return {};
}

}  // namespace wayloom
