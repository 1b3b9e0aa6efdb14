#include "route/route.h"

#include <cmath>

#include "base/calendar.h"
#include "base/number_text.h"
#include "base/units.h"
#include "route/closest_index.h"

namespace wayloom {

ReceiverRoute MakeReceiverRoute(const PoiList& list, bool closestOrder) {
  ReceiverRoute route;
  std::vector<GeoPoint>& points = route.points;
  const std::size_t count = list.empty() ? 0 : list.size() - 1;
  points.reserve(count);
  route.poiIndices.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const PoiView node = list[i];
    points.push_back(GeoPoint{ParseDecimal(node.szLat), ParseDecimal(node.szLon)});
    route.poiIndices.push_back(i);
  }
  if (!closestOrder || count < 3) return route;

  // The same search the closest-order tracks make: from the first point, each time to the nearest
  // point not yet visited, measured from the point just reached.
  const std::vector<GeoPoint> filePoints = points;
  ClosestPointIndex remaining(std::vector<GeoPoint>(filePoints.begin() + 1, filePoints.end()));
  for (std::size_t i = 1; i < count; ++i) {
    route.poiIndices[i] = remaining.TakeClosest(points[i - 1]) + 1;
    points[i] = filePoints[route.poiIndices[i]];
  }
  return route;
}

std::size_t FirstPointWithoutCoordinate(const PoiList& list) {
  const std::size_t count = list.PointCount();
  for (std::size_t i = 0; i < count; ++i) {
    const PoiView point = list[i];
    if (point.szLon.empty() || point.szLat.empty()) return i;
  }
  return count;
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

std::string TakeRouteDetails(const PointDetails& read, ReceiverRoute& route) {
  constexpr double kKnot = kMetresPerNauticalMile / 3600.0;
  const struct {
    const std::vector<double>& column;
    std::vector<double>& taken;
    double least;
    double most;
    const char* what;
  } columns[] = {
      {read.speedsMetresPerSecond, route.details.speedsMetresPerSecond, 0.0,
       kMostSpeedKnots * kKnot, "speed %s m/s is beyond the 1000000 knots a receiver travels at"},
      {read.dwellsSeconds, route.details.dwellsSeconds, 0.0, kMostDwellSeconds,
       "dwell %s s is longer than the 86400 s a receiver stands at a point"},
      {read.elevationsMetres, route.details.elevationsMetres, -kMostElevationMetres,
       kMostElevationMetres, "elevation %s m lies beyond the 100000 m above or below sea level"},
  };
  for (const auto& c : columns) {
    c.taken.clear();
    if (c.column.empty()) continue;
    c.taken.reserve(route.poiIndices.size());
    for (std::size_t i = 0; i < route.poiIndices.size(); ++i) {
      const std::size_t index = route.poiIndices[i];
      double value = index < c.column.size() ? c.column[index] : std::nan("");
      if (std::isnan(value)) {
        c.taken.push_back(value);
        continue;
      }
      if (!(value >= c.least && value <= c.most)) {
        std::string what = c.what;
        what.replace(what.find("%s"), 2, FormatFixed(value, 3));
        const bool hasLine = index < read.lines.size();
        return "point " + std::to_string(index + 1) +
               (hasLine ? " (line " + std::to_string(read.lines[index]) + ")" : std::string()) +
               ": " + what;
      }
      // A point at rest sets no speed for the stretch from it.
      if (&c.taken == &route.details.speedsMetresPerSecond && value < kLeastSpeedKnots * kKnot) {
        value = std::nan("");
      }
      c.taken.push_back(value);
    }
  }
  return {};
}

}  // namespace wayloom

namespace wayloom {
namespace {

std::string Padded(std::int64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
}

// "SOURCE:LINE: " for point index, or "SOURCE: " when the file's lines are not known.
std::string PointPlace(const PointDetails& read, const std::string& source, std::size_t index) {
  if (index < read.lines.size()) return source + ":" + std::to_string(read.lines[index]) + ": ";
  return source + ": ";
}

}  // namespace

std::string UtcTimeText(std::int64_t utcMs) {
  const DayAndTime split = SplitDays(utcMs);
  const CalendarDate date = DateFromDays(split.day);
  const std::int64_t seconds = split.msOfDay / 1000;
  const std::int64_t ms = split.msOfDay % 1000;
  return Padded(date.year, 4) + "-" + Padded(date.month, 2) + "-" + Padded(date.day, 2) + "T" +
         Padded(seconds / 3600, 2) + ":" + Padded(seconds / 60 % 60, 2) + ":" +
         Padded(seconds % 60, 2) + (ms != 0 ? "." + Padded(ms, 3) : std::string()) + "Z";
}

std::string TakeRouteTimes(const PointDetails& read, const std::string& source,
                           ReceiverRoute& route, std::int64_t& firstUtcMs) {
  const std::vector<std::int64_t>& times = read.timesUtcMs;
  std::vector<double>& seconds = route.details.timesSeconds;
  seconds.clear();
  if (times.empty() && !route.poiIndices.empty()) {
    return source +
           ": no point has a time: a timed track plays the times of a GPX, KML, GeoJSON or CSV "
           "file that records them";
  }
  seconds.reserve(route.poiIndices.size());
  for (std::size_t i = 0; i < route.poiIndices.size(); ++i) {
    const std::size_t index = route.poiIndices[i];
    const std::int64_t utcMs = index < times.size() ? times[index] : PointDetails::kNoTime;
    if (utcMs == PointDetails::kNoTime) {
      return PointPlace(read, source, index) + "point " + std::to_string(index + 1) +
             " has no time: a timed track needs a time on every point";
    }
    if (i == 0) firstUtcMs = utcMs;
    const std::int64_t before = i == 0 ? utcMs : times[route.poiIndices[i - 1]];
    if (utcMs < before) {
      return PointPlace(read, source, index) + "time " + UtcTimeText(utcMs) + " of point " +
             std::to_string(index + 1) + " is before the point before, " + UtcTimeText(before) +
             ": a timed track's times must not go back";
    }
    seconds.push_back(static_cast<double>(utcMs - firstUtcMs) / 1000.0);
  }
  return {};
}

}  // namespace wayloom
