// One fix of a simulated receiver: where it is, when, how fast and which way it goes.
#pragma once

#include <cstdint>

namespace wayloom {

struct Fix {
  std::int64_t clockMs = 0;    // milliseconds since midnight of the start date
  double latitude = 0.0;       // degrees, the error included
  double longitude = 0.0;      // degrees, from -180 to 180
  double speedKnots = 0.0;     // the set speed while moving, 0 while standing
  double courseDegrees = 0.0;  // true course, from 0 to below 360; kept while standing
};

}  // namespace wayloom
