// Extra points: the stretch from the current position to the next point of the track is filled
// with points about one step distance apart, one period apart in time, by flat-earth stepping with
// fixed metres-per-degree constants. The stretch also sets the course and speed that every RMC
// sentence carries until the next stretch.
//
// PlanStretch works out everything about a stretch from its two ends and the two settings; the
// engine's WriteExtraPoints then steps along the plan and writes the points.
#pragma once

#include <optional>

#include "route/planar_offset.h"

namespace wayloom {

// Which way one coordinate moves along a stretch: up (north, east), down (south, west) or not at
// all.
enum class AxisDirection { kUp, kDown, kNone };

struct StretchPlan {
  // False when the stretch gets no extra points and leaves course and speed as they are: the
  // target has a coordinate of 0 (counted as absent), or an end lies off the Earth's ranges.
  bool filled = false;
  AxisDirection latitudeDirection = AxisDirection::kNone;
  AxisDirection longitudeDirection = AxisDirection::kNone;
  double northMetres = 0.0;
  double eastMetres = 0.0;
  double lengthMetres = 0.0;
  // Each axis's share of the step distance, at least 1 metre.
  double latitudeStepMetres = 1.0;
  double longitudeStepMetres = 1.0;
  double speedKnots = 0.0;
  // None for a stretch of no length, which keeps the course it finds.
  std::optional<double> courseDegrees;
  // How far each coordinate moves per extra point, in degrees.
  double latitudeIncrement = 0.0;
  double longitudeIncrement = 0.0;
};

StretchPlan PlanStretch(const GeoPoint& from, const GeoPoint& to, double stepMetres,
                        double periodSeconds);

// The size of a - b, formed by sign cases as the track format does: never negative, and 0 where
// it would come out not a number (an argument that is not a number, or the same infinity twice).
double AbsDifference(double a, double b);

}  // namespace wayloom
