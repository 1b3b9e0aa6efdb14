#include "motion/constellations.h"

#include <array>
#include <cmath>

#include "base/calendar.h"

#include "base/units.h"

namespace wayloom {
namespace {

constexpr std::int64_t kGpsEpochUnixMs = 315964800000;  // 1980-01-06 00:00:00 UTC
// The Earth's second zonal harmonic: its flattening turns every orbital plane slowly westwards.
constexpr double kEarthJ2 = 1.08263e-3;

// The months at whose start UTC had taken a leap second since GPS time began, each putting GPS
// time one more second ahead (the list the IERS publishes; none has been announced after 2017).
constexpr std::array<CalendarDate, 18> kLeapSecondMonths = {{
    {1981, 7, 1},
    {1982, 7, 1},
    {1983, 7, 1},
    {1985, 7, 1},
    {1988, 1, 1},
    {1990, 1, 1},
    {1991, 1, 1},
    {1992, 7, 1},
    {1993, 7, 1},
    {1994, 7, 1},
    {1996, 1, 1},
    {1997, 7, 1},
    {1999, 1, 1},
    {2006, 1, 1},
    {2009, 1, 1},
    {2012, 7, 1},
    {2015, 7, 1},
    {2017, 1, 1},
}};

// Kepler's equation M = E - e sin E solved for E by Newton's method.
double EccentricAnomaly(double meanAnomaly, double eccentricity) {
  double anomaly = eccentricity < 0.8 ? meanAnomaly : kPi;
  for (int i = 0; i < 30; ++i) {
    const double step = (anomaly - eccentricity * std::sin(anomaly) - meanAnomaly) /
                        (1.0 - eccentricity * std::cos(anomaly));
    anomaly -= step;
    if (std::fabs(step) < 1e-13) break;
  }
  return anomaly;
}

// A nominal constellation's orbits: circular, all at one height and inclination, each with a
// ground track that repeats after `revolutions` turns in `days` turns of the Earth under the
// orbital plane, as the systems are flown.
struct OrbitDesign {
  double semiMajorAxisMetres;
  double inclinationDegrees;
  int revolutions;
  int days;
  CalendarDate epoch;  // of the slots' places, at 00:00 UTC
};

SatelliteOrbit CircularOrbit(const OrbitDesign& design, GnssSystem system, int id,
                             double nodeLongitudeDegrees, double argumentOfLatitudeDegrees) {
  const double a = design.semiMajorAxisMetres;
  const double inclination = design.inclinationDegrees * kRadiansPerDegree;
  const double keplerMotion = std::sqrt(kEarthGravityM3PerS2 / (a * a * a));
  const double equatorRatio = kWgs84EquatorMetres / a;
  // The plane's regression in space, -3/2 n J2 (R/a)^2 cos i, less the Earth's rotation.
  const double nodeDrift =
      -1.5 * keplerMotion * kEarthJ2 * equatorRatio * equatorRatio * std::cos(inclination) -
      kEarthRotationRadiansPerSecond;
  SatelliteOrbit satellite;
  satellite.system = system;
  satellite.id = id;
  OrbitElements& orbit = satellite.elements;
  orbit.epochGpsSeconds = GpsSecondsFromUtcMs(DaysFromDate(design.epoch) * kMsPerDay);
  orbit.semiMajorAxisMetres = a;
  orbit.inclinationRadians = inclination;
  orbit.nodeLongitudeRadians = nodeLongitudeDegrees * kRadiansPerDegree;
  orbit.nodeDriftRadiansPerSecond = nodeDrift;
  // Circular: the mean anomaly counts from the node, so it is the argument of latitude.
  orbit.meanAnomalyRadians = argumentOfLatitudeDegrees * kRadiansPerDegree;
  orbit.meanMotionRadiansPerSecond = -nodeDrift * design.revolutions / design.days;
  return satellite;
}

// GPS: the baseline 24-slot constellation of the GPS Standard Positioning Service Performance
// Standard (2001 edition table 3-1, 2008 edition table 3.1-1): six planes A to F, 55 degrees,
// semi-major axis 26,559.7 km, two revolutions a sidereal day (11 h 58 min); each slot's right
// ascension of the node and argument of latitude at 00:00 UTC on 1 July 1993, when the Greenwich
// hour angle was 18 h 36 min 14.4 s (279.06 degrees). GPS PRNs belong to satellites, not slots:
// here slots A1 to F4 carry PRNs 1 to 24.
std::vector<SatelliteOrbit> GpsConstellation() {
  const OrbitDesign design{26559.7e3, 55.0, 2, 1, {1993, 7, 1}};
  constexpr double kGreenwichHourAngleDegrees = (18.0 + 36.0 / 60.0 + 14.4 / 3600.0) * 15.0;
  constexpr double kArgumentsOfLatitude[6][4] = {
      {268.126, 161.786, 11.676, 41.806},    // A, right ascension 272.847
      {80.956, 173.336, 309.976, 204.376},   // B, 332.847
      {111.876, 11.796, 339.666, 241.556},   // C, 32.847
      {135.226, 265.446, 35.156, 167.356},   // D, 92.847
      {197.046, 302.596, 66.066, 333.686},   // E, 152.847
      {238.886, 345.226, 105.206, 135.346},  // F, 212.847
  };
  std::vector<SatelliteOrbit> orbits;
  for (int plane = 0; plane < 6; ++plane) {
    const double rightAscension = 272.847 + 60.0 * plane;
    for (int slot = 0; slot < 4; ++slot) {
      orbits.push_back(CircularOrbit(design, GnssSystem::kGps, plane * 4 + slot + 1,
                                     rightAscension - kGreenwichHourAngleDegrees,
                                     kArgumentsOfLatitude[plane][slot]));
    }
  }
  return orbits;
}

// The other three fly a Walker pattern 24/3/1: three planes 120 degrees apart, eight satellites
// 45 degrees apart in each, and each plane's satellites 15 degrees ahead of the plane before.
// The documents fix the pattern, not where it stood on a given day: the Earth-fixed node of the
// first plane and the place of its first slot at the epoch are ours, chosen so that the systems
// do not start lined up. Slots count in the direction of motion.
struct WalkerConstellation {
  OrbitDesign design;
  double firstNodeLongitudeDegrees;
  double firstArgumentOfLatitudeDegrees;
  std::array<int, 24> ids;  // slot by slot, plane by plane
};

// GLONASS (Interface Control Document, edition 5.1, section 3.5): 64.8 degrees, 19,100 km high
// (semi-major axis 25,510 km), 17 revolutions in 8 sidereal days (11 h 15 min 44 s); slots 1-8
// in the first plane, 9-16 in the second, 17-24 in the third; NMEA id 64 + slot.
const WalkerConstellation kGlonass{
    {25510.0e3, 64.8, 17, 8, {2020, 1, 1}}, 20.0, 0.0, {65, 66, 67, 68, 69, 70, 71, 72,
                                                        73, 74, 75, 76, 77, 78, 79, 80,
                                                        81, 82, 83, 84, 85, 86, 87, 88}};
// Galileo (Open Service Service Definition Document): 56 degrees, 23,222 km high (semi-major
// axis 29,600.137 km), 17 revolutions in 10 sidereal days (14 h 4 min 45 s), planes A, B, C.
// Satellite ids belong to satellites, not slots: here 1 to 24 in slot order.
const WalkerConstellation kGalileo{
    {29600.137e3, 56.0, 17, 10, {2020, 1, 1}}, 140.0, 25.0, {1,  2,  3,  4,  5,  6,  7,  8,
                                                             9,  10, 11, 12, 13, 14, 15, 16,
                                                             17, 18, 19, 20, 21, 22, 23, 24}};
// BeiDou's medium Earth orbits (Open Service Performance Standard): 55 degrees, 21,528 km high
// (semi-major axis 27,906.137 km), 13 revolutions in 7 sidereal days (12 h 53 min); the PRNs
// of its 24 MEO satellites, C19-C30, C32-C37 and C41-C46, in slot order.
const WalkerConstellation kBeidou{
    {27906.137e3, 55.0, 13, 7, {2020, 1, 1}}, 260.0, 50.0, {19, 20, 21, 22, 23, 24, 25, 26,
                                                            27, 28, 29, 30, 32, 33, 34, 35,
                                                            36, 37, 41, 42, 43, 44, 45, 46}};

std::vector<SatelliteOrbit> Walker(const WalkerConstellation& walker, GnssSystem system) {
  std::vector<SatelliteOrbit> orbits;
  for (int plane = 0; plane < 3; ++plane) {
    for (int slot = 0; slot < 8; ++slot) {
      const double argumentOfLatitude =
          walker.firstArgumentOfLatitudeDegrees + 45.0 * slot + 15.0 * plane;
      orbits.push_back(CircularOrbit(
          walker.design, system, walker.ids[static_cast<std::size_t>(plane * 8 + slot)],
          walker.firstNodeLongitudeDegrees + 120.0 * plane, argumentOfLatitude));
    }
  }
  return orbits;
}

}  // namespace

double GpsSecondsFromUtcMs(std::int64_t utcMs) {
  static const std::array<std::int64_t, kLeapSecondMonths.size()> kLeapDays = [] {
    std::array<std::int64_t, kLeapSecondMonths.size()> days{};
    for (std::size_t i = 0; i < days.size(); ++i) days[i] = DaysFromDate(kLeapSecondMonths[i]);
    return days;
  }();
  const std::int64_t day = FloorDivide(utcMs, kMsPerDay);
  std::int64_t leapSeconds = 0;
  for (const std::int64_t leapDay : kLeapDays) {
    if (day >= leapDay) ++leapSeconds;
  }
  return static_cast<double>(utcMs - kGpsEpochUnixMs) / 1000.0 + static_cast<double>(leapSeconds);
}

PlaneTurn PlaneTurnAt(const OrbitElements& orbit, double gpsSeconds) {
  const double node = orbit.nodeLongitudeRadians +
                      orbit.nodeDriftRadiansPerSecond * (gpsSeconds - orbit.epochGpsSeconds);
  return {std::cos(node), std::sin(node), std::cos(orbit.inclinationRadians),
          std::sin(orbit.inclinationRadians)};
}

EcefMetres PositionAt(const OrbitElements& orbit, double gpsSeconds) {
  return PositionAt(orbit, gpsSeconds, PlaneTurnAt(orbit, gpsSeconds));
}

EcefMetres PositionAt(const OrbitElements& orbit, double gpsSeconds, const PlaneTurn& turn) {
  const double elapsed = gpsSeconds - orbit.epochGpsSeconds;
  // Brought into one turn for Kepler's equation (by floor: fmod would cost as much as the rest).
  const double turns = orbit.meanAnomalyRadians + orbit.meanMotionRadiansPerSecond * elapsed;
  const double meanAnomaly = turns - 2.0 * kPi * std::floor(turns / (2.0 * kPi));
  const double e = orbit.eccentricity;
  double radius = orbit.semiMajorAxisMetres;
  double argumentOfLatitude = meanAnomaly + orbit.argumentOfPerigeeRadians;
  if (e != 0.0) {
    const double eccentric = EccentricAnomaly(meanAnomaly, e);
    const double cosEccentric = std::cos(eccentric);
    radius *= 1.0 - e * cosEccentric;
    const double trueAnomaly =
        std::atan2(std::sqrt(1.0 - e * e) * std::sin(eccentric), cosEccentric - e);
    argumentOfLatitude = trueAnomaly + orbit.argumentOfPerigeeRadians;
  }
  const double inPlaneX = radius * std::cos(argumentOfLatitude);
  const double inPlaneY = radius * std::sin(argumentOfLatitude);
  return {inPlaneX * turn.cosNode - inPlaneY * turn.cosInclination * turn.sinNode,
          inPlaneX * turn.sinNode + inPlaneY * turn.cosInclination * turn.cosNode,
          inPlaneY * turn.sinInclination};
}

bool SamePlane(const OrbitElements& a, const OrbitElements& b) {
  return a.epochGpsSeconds == b.epochGpsSeconds &&
         a.nodeLongitudeRadians == b.nodeLongitudeRadians &&
         a.nodeDriftRadiansPerSecond == b.nodeDriftRadiansPerSecond &&
         a.inclinationRadians == b.inclinationRadians;
}

std::vector<SatelliteOrbit> NominalConstellation(GnssSystem system) {
  switch (system) {
    case GnssSystem::kGps:
      return GpsConstellation();
    case GnssSystem::kGlonass:
      return Walker(kGlonass, system);
    case GnssSystem::kGalileo:
      return Walker(kGalileo, system);
    case GnssSystem::kBeidou:
      return Walker(kBeidou, system);
  }
  return {};
}

}  // namespace wayloom
