// Where navigation satellites are: Keplerian orbits in the Earth-fixed form the GPS almanac gives
// them, the nominal constellations of GPS, GLONASS, Galileo and BeiDou (its medium Earth orbits),
// and GPS time, the time scale their orbits are reckoned in.
#pragma once

#include <cstdint>
#include <vector>

#include "base/sky_view.h"

namespace wayloom {

// A point in the Earth-centred, Earth-fixed frame of WGS84, in metres.
struct EcefMetres {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// The orbit of one satellite. The ascending node is reckoned as the GPS almanac reckons it: its
// longitude on the turning Earth at the epoch, and how fast that longitude drifts (the plane's
// own slow turn less the Earth's rotation).
struct OrbitElements {
  double epochGpsSeconds = 0.0;  // GPS time of the elements (see GpsSecondsFromUtcMs)
  double semiMajorAxisMetres = 0.0;
  double eccentricity = 0.0;
  double inclinationRadians = 0.0;
  double nodeLongitudeRadians = 0.0;
  double nodeDriftRadiansPerSecond = 0.0;
  double argumentOfPerigeeRadians = 0.0;
  double meanAnomalyRadians = 0.0;  // at the epoch
  double meanMotionRadiansPerSecond = 0.0;
};

struct SatelliteOrbit {
  GnssSystem system = GnssSystem::kGps;
  int id = 0;  // as NMEA numbers it (base/sky_view.h)
  bool healthy = true;
  OrbitElements elements;
};

// Physical constants of the orbit computations, as the GPS interface documents give them.
constexpr double kEarthGravityM3PerS2 = 3.986005e14;  // mu of WGS84 as GPS uses it
constexpr double kEarthRotationRadiansPerSecond = 7.2921151467e-5;
constexpr double kWgs84EquatorMetres = 6378137.0;
constexpr double kWgs84Flattening = 1.0 / 298.257223563;

// GPS time of a UTC moment given in milliseconds since 1970-01-01: seconds since 1980-01-06
// 00:00:00 UTC, the start of GPS week 0, counted without leap seconds (so 18 seconds ahead of UTC
// since 2017). Before 1980-01-06 it is negative and counts no leap seconds.
double GpsSecondsFromUtcMs(std::int64_t utcMs);

// How an orbit's plane is turned at a moment: the node moved on by its drift and the tilt, as
// sines and cosines. Satellites of one plane share it, so it is worked out once for them all.
struct PlaneTurn {
  double cosNode = 1.0;
  double sinNode = 0.0;
  double cosInclination = 1.0;
  double sinInclination = 0.0;
};
PlaneTurn PlaneTurnAt(const OrbitElements& orbit, double gpsSeconds);

// The position on the orbit at a GPS time: Kepler's equation solved for the eccentric anomaly,
// then the place in the plane turned into the Earth-fixed frame. The second form takes the turn
// of the orbit's plane at that time, as PlaneTurnAt gives it.
EcefMetres PositionAt(const OrbitElements& orbit, double gpsSeconds);
EcefMetres PositionAt(const OrbitElements& orbit, double gpsSeconds, const PlaneTurn& turn);

// Whether two orbits lie in one plane at every moment, so that they can share its turn.
bool SamePlane(const OrbitElements& a, const OrbitElements& b);

// The 24 satellites of a system's nominal constellation, in the order of their ids.
std::vector<SatelliteOrbit> NominalConstellation(GnssSystem system);

}  // namespace wayloom
