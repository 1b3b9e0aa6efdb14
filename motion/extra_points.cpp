#include "motion/extra_points.h"

#include <cmath>

#include "base/number_text.h"
#include "motion/track_engine.h"

namespace wayloom {
namespace {

constexpr double kMetresPerDegreeLat = 111248.4;
constexpr double kMetresPerDegreeLon = 111319.2;
constexpr double kDegreesPerMetreLat =
    8.988893323409596e-6;  // 1 / 111248.4, as the format gives it
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kNauticalMilesPerMetre = 0.00053996;

AxisDirection DirectionTowards(double from, double to) {
  if (to > from) return AxisDirection::kUp;
  if (to < from) return AxisDirection::kDown;
  return AxisDirection::kNone;
}

// How far one coordinate has to go, never negative.
double DistanceAlong(AxisDirection direction, double from, double to) {
  switch (direction) {
    case AxisDirection::kUp:
      return AbsDifference(to, from);  // the larger value first
    case AxisDirection::kDown:
      return AbsDifference(from, to);
    case AxisDirection::kNone:
      break;
  }
  return 0.0;
}

// Only positions on the Earth are stepped between. Outside the ranges the target cosine can turn
// negative (the latitude would walk away from its target) and infinite coordinates give increments
// that are not numbers: either way the stepping would never end.
bool OnEarth(const GeoPoint& point) {
  return std::isfinite(point.latitude) && std::isfinite(point.longitude) &&
         std::fabs(point.latitude) <= 90.0 && std::fabs(point.longitude) <= 180.0;
}

// The bearing of a stretch from the angle of its two steps above east (0 to 90 degrees). Along a
// meridian or a parallel it is the bearing of that line; a stretch of no length has none.
std::optional<double> Course(AxisDirection latitude, AxisDirection longitude, double angle) {
  using D = AxisDirection;
  if (latitude == D::kUp && longitude == D::kUp) return 90.0 - angle;
  if (latitude == D::kUp && longitude == D::kDown) return angle + 270.0;
  if (latitude == D::kDown && longitude == D::kUp) return angle + 90.0;
  if (latitude == D::kDown && longitude == D::kDown) return 270.0 - angle;
  if (longitude == D::kNone && latitude != D::kNone) return latitude == D::kUp ? 0.0 : 180.0;
  if (latitude == D::kNone && longitude != D::kNone) return longitude == D::kUp ? 90.0 : 270.0;
  return std::nullopt;
}

// Moves one coordinate by increment towards target. False when it has arrived: it then stands on
// the target exactly and its direction becomes kNone, so it stays still.
bool MoveAxis(double& coordinate, AxisDirection& direction, double increment, double target) {
  switch (direction) {
    case AxisDirection::kUp:
      coordinate = coordinate + increment;
      if (coordinate < target) return true;
      break;
    case AxisDirection::kDown:
      coordinate = coordinate - increment;
      if (coordinate > target) return true;
      break;
    case AxisDirection::kNone:
      return false;
  }
  coordinate = target;
  direction = AxisDirection::kNone;
  return false;
}

}  // namespace

double AbsDifference(double a, double b) {
  double result = 0.0;
  const bool aNegative = a < 0.0;
  const bool bNegative = b < 0.0;
  if (aNegative == bNegative) {
    result = a > b ? a - b : b - a;  // same side of zero: the larger minus the smaller
  } else if (aNegative) {
    result = b - a;
  } else {
    result = a - b;
  }
  return result >= 0.0 ? result : 0.0;
}

StretchPlan PlanStretch(const GeoPoint& from, const GeoPoint& to, double stepMetres,
                        double periodSeconds) {
  StretchPlan plan;
  if (to.latitude == 0.0 || to.longitude == 0.0 || !OnEarth(from) || !OnEarth(to)) return plan;
  plan.filled = true;

  plan.latitudeDirection = DirectionTowards(from.latitude, to.latitude);
  plan.longitudeDirection = DirectionTowards(from.longitude, to.longitude);
  const double latitudeDegrees = DistanceAlong(plan.latitudeDirection, from.latitude, to.latitude);
  const double longitudeDegrees =
      DistanceAlong(plan.longitudeDirection, from.longitude, to.longitude);
  plan.northMetres = latitudeDegrees * kMetresPerDegreeLat;
  plan.eastMetres = longitudeDegrees * kMetresPerDegreeLon;
  plan.lengthMetres =
      std::sqrt(plan.eastMetres * plan.eastMetres + plan.northMetres * plan.northMetres);

  // Each axis gets its share of the step, at least 1 metre; a share that cannot be formed because
  // the length is 0 (the same position, or distances whose squares underflow) is 1 metre too. The
  // longitude share is widened by the target's cosine, since a degree of longitude is shorter
  // there.
  const double targetCosine = std::cos(to.latitude * kRadiansPerDegree);
  if (plan.lengthMetres > 0.0) {
    plan.latitudeStepMetres = plan.northMetres / plan.lengthMetres * stepMetres;
    plan.longitudeStepMetres = plan.eastMetres / plan.lengthMetres * stepMetres / targetCosine;
  }
  if (!(plan.latitudeStepMetres >= 1.0)) plan.latitudeStepMetres = 1.0;
  if (!(plan.longitudeStepMetres >= 1.0)) plan.longitudeStepMetres = 1.0;

  // The whole stretch, taken as covered in one period, in knots.
  const double eastAtLatitudeMetres =
      std::cos(latitudeDegrees * kRadiansPerDegree) * longitudeDegrees * kMetresPerDegreeLon;
  plan.speedKnots =
      std::sqrt(plan.northMetres * plan.northMetres + eastAtLatitudeMetres * eastAtLatitudeMetres) *
      3600.0 / periodSeconds * kNauticalMilesPerMetre;

  const double angle = std::atan2(plan.latitudeStepMetres, 0.5 * plan.longitudeStepMetres);
  plan.courseDegrees =
      Course(plan.latitudeDirection, plan.longitudeDirection, angle * kDegreesPerRadian);

  // The increments cross the two constants on purpose, as the track format has them: a latitude
  // step is turned into degrees with the longitude constant (and the target's cosine), a longitude
  // step with the latitude constant (its cosine is already in the step).
  plan.longitudeIncrement = plan.longitudeStepMetres * kDegreesPerMetreLat;
  plan.latitudeIncrement = plan.latitudeStepMetres / (targetCosine * kMetresPerDegreeLon);
  return plan;
}

double TrackEngine::WriteExtraPoints(double clockMs, std::string_view latitudeText,
                                     std::string_view longitudeText) {
  const GeoPoint target{ParseDecimal(latitudeText), ParseDecimal(longitudeText)};
  const StretchPlan plan =
      PlanStretch(GeoPoint{m_dCurLat, m_dCurLon}, target, m_stepMetres, m_periodSeconds);
  if (!plan.filled) return clockMs;
  m_dSpeed = plan.speedKnots;
  if (plan.courseDegrees) m_dCourse = *plan.courseDegrees;

  // An extra point goes out while either axis is still short of its target; an axis that has
  // arrived contributes its target coordinate. The clock moves on in every pass, the last included,
  // so the target comes one period after the last extra point.
  double latitude = m_dCurLat;
  double longitude = m_dCurLon;
  AxisDirection latitudeDirection = plan.latitudeDirection;
  AxisDirection longitudeDirection = plan.longitudeDirection;
  for (;;) {
    bool moved = MoveAxis(longitude, longitudeDirection, plan.longitudeIncrement, target.longitude);
    moved = MoveAxis(latitude, latitudeDirection, plan.latitudeIncrement, target.latitude) || moved;
    clockMs = clockMs + m_periodSeconds * 1000.0;
    if (!moved || !WriteExtraPoint(clockMs, latitude, longitude)) return clockMs;
  }
}

}  // namespace wayloom
