// The route of a simulated receiver: the points of a POI list in the order they are visited.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "route/planar_offset.h"
#include "sources/poi_file.h"
#include "sources/source.h"

namespace wayloom {

// What a route file says of the route's points beyond their places, in visiting order. A column
// is empty when the file says nothing of it; NaN stands for a point without a value.
struct RouteDetails {
  std::vector<double> speedsMetresPerSecond;  // from the point on, instead of the set speed
  std::vector<double> dwellsSeconds;          // at the point, on top of the set dwell
  std::vector<double> elevationsMetres;       // above mean sea level
  // A timed route: when the receiver is at each point, in seconds from the first point's time;
  // empty for a route travelled at set speeds.
  std::vector<double> timesSeconds;
};

// The points of a route in visiting order, and where each stands in the POI list.
struct ReceiverRoute {
  std::vector<GeoPoint> points;
  std::vector<std::size_t> poiIndices;  // poiIndices[i]: the list index of points[i]
  RouteDetails details;
};

// The speeds and dwells a receiver takes: those of the receiver's own settings.
constexpr double kLeastSpeedKnots = 0.01;  // the least speed RMC's two decimals show as moving
constexpr double kMostSpeedKnots = 1e6;
constexpr double kMostDwellSeconds = 86400.0;
// The elevations GGA's altitude takes from a route file.
constexpr double kMostElevationMetres = 100000.0;

// Puts the details of the POI list's points (read, indexed as the list) into route, in its
// visiting order. A speed below kLeastSpeedKnots (a point at rest) leaves the set speed. Empty
// when every detail can be taken; otherwise why not, naming the first point (and its line) with a
// speed, dwell or elevation beyond what the receiver takes.
std::string TakeRouteDetails(const PointDetails& read, ReceiverRoute& route);

// Puts the recorded times of the points read (indexed as the POI list) into route, which must be
// in file order, as seconds from the first point's time, and that time into firstUtcMs. Empty
// when every point has a time and none is before the point before it; otherwise why not, as
// "SOURCE:LINE: what is wrong" for the first point at fault (SOURCE: when lines are not known).
std::string TakeRouteTimes(const PointDetails& read, const std::string& source,
                           ReceiverRoute& route, std::int64_t& firstUtcMs);

// A UTC time as 2026-03-07T01:00:00Z, with .sss only when there are milliseconds.
std::string UtcTimeText(std::int64_t utcMs);

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
