// Route files written from a route being made or edited (the window's route editing): a POI file,
// a CSV file with a header, or a GPX 1.1 route. Each file reads back through ReadSource as the
// same points, with the details the kind can hold: a point that a kind cannot hold as it is (a
// comma in a POI file's text, a coordinate the POI file's rules would skip) is refused, naming
// the point, rather than written so that it reads back as something else.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "sources/source.h"

namespace wayloom {

struct RouteFilePoint {
  std::string longitude;  // decimal degrees, as typed
  std::string latitude;
  std::string name;
  std::string description;
  // Where the point has them; NaN or kNoTime where not.
  double elevationMetres = std::numeric_limits<double>::quiet_NaN();
  double speedMetresPerSecond = std::numeric_limits<double>::quiet_NaN();
  double dwellSeconds = std::numeric_limits<double>::quiet_NaN();
  std::int64_t timeUtcMs = PointDetails::kNoTime;
};

enum class RouteFileKind { kPoiFile, kCsv, kGpx };

struct RouteFileText {
  std::string text;
  // Empty when the text was made; otherwise why not: "point N: what is wrong".
  std::string problem;
  // The details the points have that this kind cannot hold ("elevations", "times", "speeds",
  // "dwells"), for a front end to ask before it saves.
  std::vector<std::string> leftOut;
};

// The text of the route as a file of the kind; routeName names a GPX route (may be empty).
RouteFileText MakeRouteFile(const std::vector<RouteFilePoint>& points, RouteFileKind kind,
                            const std::string& routeName);

// The points of a route as read (ReadSource's list and details), to edit and write again.
std::vector<RouteFilePoint> RouteFilePoints(const PoiList& list, const PointDetails& details);

}  // namespace wayloom
