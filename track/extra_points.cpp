// Extra points: the stretch from the current position to the next point of the track is filled
// with points about one step distance apart, one period apart in time, by flat-earth stepping with
// fixed metres-per-degree constants. The stretch also sets the course and speed that every RMC
// sentence carries until the next stretch.

#include <cmath>

#include "track/number_text.h"
#include "track/track_engine.h"

namespace wayloom {
namespace {

constexpr double kStepMetresPerDegreeLat = 111248.4;
constexpr double kStepMetresPerDegreeLon = 111319.2;
constexpr double kDegreesLonPerStepMetre = 8.988893323409596e-6;  // 1 / 111248.4
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kDegreesPerRadian = 57.29577951308232;
constexpr double kNauticalMilesPerMetre = 0.00053996;

enum class Heading { kIncreasing, kDecreasing, kEqual };

Heading HeadingTowards(double from, double to) {
  if (to > from) return Heading::kIncreasing;
  if (to < from) return Heading::kDecreasing;
  return Heading::kEqual;
}

// Only positions on the Earth are stepped between. Outside the ranges the target cosine can turn
// negative (the latitude would walk away from its target) and infinite coordinates give increments
// that are not numbers: either way the stepping would never end.
bool OnEarth(double latitude, double longitude) {
  return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
         std::fabs(longitude) <= 180.0;
}

// Moves one coordinate by increment towards target. False when it has arrived: it then stands on
// the target exactly and its heading becomes kEqual, so it stays still.
bool MoveAxis(double& coordinate, Heading& heading, double increment, double target) {
  switch (heading) {
    case Heading::kIncreasing:
      coordinate = coordinate + increment;
      if (coordinate < target) return true;
      break;
    case Heading::kDecreasing:
      coordinate = coordinate - increment;
      if (coordinate > target) return true;
      break;
    case Heading::kEqual:
      return false;
  }
  coordinate = target;
  heading = Heading::kEqual;
  return false;
}

}  // namespace

double TrackEngine::AbsDifference(double a, double b) {
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
  if (!(result >= 0.0)) {
    m_prompter.ShowMessage("Error in Difference sub result is negative");
    result = 0.0;
  }
  return result;
}

double TrackEngine::WriteExtraPoints(double clockMs, std::string_view latitudeText,
                                     std::string_view longitudeText) {
  double stepMetres = ParseDecimal(m_strStepDistance);
  if (stepMetres == 0.0) stepMetres = 100.0;
  double periodSeconds = ParseDecimal(m_strTimePeriod);
  if (periodSeconds == 0.0) periodSeconds = 1.0;

  // A coordinate of 0 counts as absent: no stretch to fill.
  const double targetLat = ParseDecimal(latitudeText);
  if (targetLat == 0.0) return clockMs;
  const double targetLon = ParseDecimal(longitudeText);
  if (targetLon == 0.0) return clockMs;
  if (!OnEarth(m_dCurLat, m_dCurLon) || !OnEarth(targetLat, targetLon)) return clockMs;

  double workLat = m_dCurLat;
  double workLon = m_dCurLon;
  Heading latHeading = HeadingTowards(workLat, targetLat);  // increasing: north
  Heading lonHeading = HeadingTowards(workLon, targetLon);  // increasing: east
  double latDifference = 0.0;
  if (latHeading == Heading::kDecreasing) latDifference = AbsDifference(workLat, targetLat);
  if (latHeading == Heading::kIncreasing) latDifference = AbsDifference(targetLat, workLat);
  double lonDifference = 0.0;
  if (lonHeading == Heading::kDecreasing) lonDifference = AbsDifference(workLon, targetLon);
  if (lonHeading == Heading::kIncreasing) lonDifference = AbsDifference(targetLon, workLon);

  const double northMetres = latDifference * kStepMetresPerDegreeLat;
  const double eastMetres = lonDifference * kStepMetresPerDegreeLon;
  const double segmentMetres = std::sqrt(eastMetres * eastMetres + northMetres * northMetres);

  // Each axis gets its share of the step, at least 1 metre (also when a zero-length stretch leaves
  // the share undefined). The longitude share is widened by the target's cosine, since a degree of
  // longitude is shorter there.
  double latStepMetres = northMetres / segmentMetres * stepMetres;
  if (!(latStepMetres >= 1.0)) latStepMetres = 1.0;
  const double targetCosine = std::cos(targetLat * kRadiansPerDegree);
  double lonStepMetres = eastMetres / segmentMetres * stepMetres / targetCosine;
  if (!(lonStepMetres >= 1.0)) lonStepMetres = 1.0;

  // The whole stretch, taken as covered in one period, in knots.
  const double eastAtLatMetres =
      std::cos(latDifference * kRadiansPerDegree) * lonDifference * kStepMetresPerDegreeLon;
  m_dSpeed = std::sqrt(northMetres * northMetres + eastAtLatMetres * eastAtLatMetres) * 3600.0 /
             periodSeconds * kNauticalMilesPerMetre;

  // Course: the angle of the two steps from east, turned into a bearing for the quadrant. Along a
  // meridian or a parallel it is the bearing of that line; a stretch of no length keeps the course.
  const double degrees = std::atan2(latStepMetres, 0.5 * lonStepMetres) * kDegreesPerRadian;
  const bool north = latHeading == Heading::kIncreasing;
  const bool south = latHeading == Heading::kDecreasing;
  const bool east = lonHeading == Heading::kIncreasing;
  const bool west = lonHeading == Heading::kDecreasing;
  if (north && east) m_dCourse = 90.0 - degrees;
  if (north && west) m_dCourse = degrees + 270.0;
  if (south && east) m_dCourse = degrees + 90.0;
  if (south && west) m_dCourse = 270.0 - degrees;
  if (north && lonHeading == Heading::kEqual) m_dCourse = 0.0;
  if (south && lonHeading == Heading::kEqual) m_dCourse = 180.0;
  if (east && latHeading == Heading::kEqual) m_dCourse = 90.0;
  if (west && latHeading == Heading::kEqual) m_dCourse = 270.0;

  const double lonIncrement = lonStepMetres * kDegreesLonPerStepMetre;
  const double latIncrement = latStepMetres / (targetCosine * kStepMetresPerDegreeLon);

  // An extra point goes out while either axis is still short of its target; an axis that has
  // arrived contributes its target coordinate. The clock moves on in every pass, the last included,
  // so the target comes one period after the last extra point.
  std::string latText;
  std::string lonText;
  for (;;) {
    bool moved = MoveAxis(workLon, lonHeading, lonIncrement, targetLon);
    moved = MoveAxis(workLat, latHeading, latIncrement, targetLat) || moved;
    clockMs = clockMs + periodSeconds * 1000.0;
    if (!moved) return clockMs;
    latText.clear();
    AppendFixed(latText, workLat, 5);
    lonText.clear();
    AppendFixed(lonText, workLon, 5);
    if (!WriteSentencePair(clockMs, latText, lonText)) return clockMs;
  }
}

}  // namespace wayloom
