// The route of a simulated receiver: the points of a POI list in the order they are visited.
#pragma once

#include <string>
#include <vector>

#include "route/planar_offset.h"
#include "sources/poi_file.h"

namespace wayloom {

// The points of a route in visiting order, and where each stands in the POI list.
struct ReceiverRoute {
  std::vector<GeoPoint> points;
  std::vector<std::size_t> poiIndices;  // poiIndices[i]: the list index of points[i]
};

// The points of list (its blank tail left out) in file order or in closest order. Closest order
// starts at the first point of the file and chooses every later point exactly as the closest-order
// tracks do, with the same search on the same coordinates.
ReceiverRoute MakeReceiverRoute(const PoiList& list, bool closestOrder);

// The first point of list (in file order) with an empty longitude or latitude text, which a
// receiver cannot travel to; list.PointCount() when every point has both.
std::size_t FirstPointWithoutCoordinate(const PoiList& list);

// Empty when a receiver can travel the route; otherwise why not, naming the first point that lies
// off the Earth (a latitude beyond 90 degrees or a longitude beyond 180).
std::string RouteProblem(const std::vector<GeoPoint>& route);

}  // namespace wayloom
