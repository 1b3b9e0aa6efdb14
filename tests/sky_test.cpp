// The sky over the receiver: orbits against their published figures, look angles against
// GeographicLib, dilutions of precision against the textbook formula worked out here, satellites
// that rise and set, the poles and the antimeridian, and both almanac forms with their errors.
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <array>
#include <map>
#include <numeric>

#include "motion/sky.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
const std::int64_t kMorning = UtcMsOf({2026, 3, 7}, 10 * 3600000);
const std::vector<GnssSystem> kFourSystems = {GnssSystem::kGps, GnssSystem::kGlonass,
                                              GnssSystem::kGalileo, GnssSystem::kBeidou};
const std::string kAlmanacs = WAYLOOM_TEST_DATA "/almanac/";

Sky MakeSky(std::vector<GnssSystem> systems, double mask = 5.0) {
  SkySettings settings;
  settings.systems = std::move(systems);
  settings.elevationMaskDegrees = mask;
  return Sky(settings);
}

struct TextbookDops {
  bool solvable = false;
  double h = 0, v = 0, p = 0;
};

// The textbook dilutions of precision of satellites at (elevation, azimuth) in degrees: G has a
// row (-cos el sin az, -cos el cos az, -sin el, 1) per satellite, Q = (G^T G)^-1 by Gauss-Jordan
// elimination, HDOP = sqrt(Q11 + Q22), VDOP = sqrt(Q33), PDOP = sqrt(Q11 + Q22 + Q33).
TextbookDops Textbook(const std::vector<std::array<double, 2>>& directions) {
  double m[4][8] = {};
  for (const auto& [el, az] : directions) {
    const double g[4] = {-std::cos(el * kDegree) * std::sin(az * kDegree),
                         -std::cos(el * kDegree) * std::cos(az * kDegree), -std::sin(el * kDegree),
                         1.0};
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) m[i][j] += g[i] * g[j];
    }
  }
  for (int i = 0; i < 4; ++i) m[i][4 + i] = 1.0;
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r) pivot = std::fabs(m[r][c]) > std::fabs(m[pivot][c]) ? r : pivot;
    if (std::fabs(m[pivot][c]) < 1e-9) return {};
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < 4; ++r) {
      const double factor = r == c ? 0.0 : m[r][c] / m[c][c];
      for (int k = 0; k < 8; ++k) m[r][k] -= factor * m[c][k];
    }
  }
  const double q[3] = {m[0][4] / m[0][0], m[1][5] / m[1][1], m[2][6] / m[2][2]};
  return {true, std::sqrt(q[0] + q[1]), std::sqrt(q[2]), std::sqrt(q[0] + q[1] + q[2])};
}

std::vector<std::array<double, 2>> UsedDirections(const SkyView& view, bool wholeDegrees) {
  std::vector<std::array<double, 2>> directions;
  for (const SatelliteInView& s : view.satellites) {
    if (!s.used) continue;
    EXPECT_EQ(s.elevationWholeDegrees, std::lround(s.elevationDegrees));
    EXPECT_EQ(s.azimuthWholeDegrees, std::lround(s.azimuthDegrees) % 360);
    directions.push_back(
        wholeDegrees
            ? std::array<double, 2>{1.0 * s.elevationWholeDegrees, 1.0 * s.azimuthWholeDegrees}
            : std::array<double, 2>{s.elevationDegrees, s.azimuthDegrees});
  }
  return directions;
}

TEST(Sky, DopsOfGeometriesWorkedByHand) {
  struct Case {
    const char* geometry;
    std::vector<std::array<double, 2>> directions;
    bool solvable;
    double h, v, p;  // worked from the block-diagonal G^T G of each geometry
  };
  const Case cases[] = {
      {"zenith and three on the horizon",
       {{90, 0}, {0, 0}, {0, 120}, {0, 240}},
       true,
       std::sqrt(4.0 / 3),
       std::sqrt(4.0 / 3),
       std::sqrt(8.0 / 3)},
      {"zenith and four on the horizon",
       {{90, 0}, {0, 0}, {0, 90}, {0, 180}, {0, 270}},
       true,
       1.0,
       std::sqrt(1.25),
       1.5},
      {"zenith and four at 30 degrees",
       {{90, 0}, {30, 0}, {30, 90}, {30, 180}, {30, 270}},
       true,
       std::sqrt(4.0 / 3),
       std::sqrt(5.0),
       std::sqrt(19.0 / 3)},
      {"three satellites", {{90, 0}, {0, 0}, {0, 120}}, false, 0, 0, 0},
      {"five on one cone", {{30, 0}, {30, 72}, {30, 144}, {30, 216}, {30, 288}}, false, 0, 0, 0},
      {"two directions twice", {{40, 10}, {40, 10}, {70, 200}, {70, 200}}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.geometry);
    std::vector<LineOfSight> lines;
    for (const auto& [el, az] : c.directions) lines.push_back(LineOfSightOf(el, az));
    const Dops dops = DopsOf(lines);
    ASSERT_EQ(dops.solvable, c.solvable);
    EXPECT_NEAR(dops.horizontal, c.h, 1e-9);
    EXPECT_NEAR(dops.vertical, c.v, 1e-9);
    EXPECT_NEAR(dops.position, c.p, 1e-9);
    const TextbookDops check = Textbook(c.directions);  // the test's own formula agrees
    EXPECT_EQ(check.solvable, c.solvable);
    EXPECT_NEAR(check.p, c.p, 1e-9);
  }
}

// Places and moments the sky is checked at: ordinary, polar, on the antimeridian, far south.
struct Moment {
  double latitude, longitude;
  std::int64_t utcMs;
};
const Moment kMoments[] = {
    {55.95, -3.19, kMorning},      {0.0, 0.0, kMorning + 3600000},
    {90.0, 0.0, kMorning},         {-90.0, 123.0, kMorning + 7200000},
    {-33.86, 151.21, kMorning},    {64.0, 180.0, kMorning + 5000},
    {-12.5, -179.99999, kMorning}, {40.0, -100.0, UtcMsOf({2009, 12, 31}, 86399000)},
};

TEST(Sky, DopsAreTheGeometryOfTheUsedSatellites) {
  for (const auto& systems : {std::vector<GnssSystem>{GnssSystem::kGps}, kFourSystems}) {
    Sky sky = MakeSky(systems);
    for (const Moment& m : kMoments) {
      SCOPED_TRACE(std::to_string(systems.size()) + " systems at " + std::to_string(m.latitude) +
                   " " + std::to_string(m.longitude));
      SkyView view;
      sky.Compute({m.latitude, m.longitude, 100.0}, m.utcMs, view);
      ASSERT_TRUE(view.hasFix);
      // What a reader of GSA and GSV works out from the whole degrees GSV prints.
      const TextbookDops printed = Textbook(UsedDirections(view, true));
      EXPECT_NEAR(view.hdop, printed.h, 1e-9);
      EXPECT_NEAR(view.vdop, printed.v, 1e-9);
      EXPECT_NEAR(view.pdop, printed.p, 1e-9);
      // Within a few percent of the exact directions' figures.
      const TextbookDops exact = Textbook(UsedDirections(view, false));
      EXPECT_NEAR(view.hdop, exact.h, 0.04 * exact.h);
      EXPECT_NEAR(view.pdop, exact.p, 0.04 * exact.p);
    }
  }
}

TEST(Sky, ElevationsAndAzimuthsAgreeWithGeographicLib) {
  Sky sky = MakeSky(kFourSystems);
  for (const Moment& m : kMoments) {
    SCOPED_TRACE(std::to_string(m.latitude) + " " + std::to_string(m.longitude));
    SkyView view;
    sky.Compute({m.latitude, m.longitude, 250.0}, m.utcMs, view);
    const GeographicLib::LocalCartesian local(m.latitude, m.longitude, 250.0);
    std::size_t seen = 0;
    for (const SatelliteOrbit& satellite : sky.Satellites()) {
      const EcefMetres at = PositionAt(satellite.elements, GpsSecondsFromUtcMs(m.utcMs));
      double lat = 0, lon = 0, h = 0, east = 0, north = 0, up = 0;
      GeographicLib::Geocentric::WGS84().Reverse(at.x, at.y, at.z, lat, lon, h);
      local.Forward(lat, lon, h, east, north, up);
      const double elevation = std::atan2(up, std::hypot(east, north)) / kDegree;
      const double azimuth = std::fmod(std::atan2(east, north) / kDegree + 360.0, 360.0);
      const auto found = std::find_if(view.satellites.begin(), view.satellites.end(),
                                      [&](const SatelliteInView& s) {
                                        return s.system == satellite.system && s.id == satellite.id;
                                      });
      if (std::fabs(elevation - 5.0) < 1e-6) continue;
      ASSERT_EQ(found != view.satellites.end(), elevation >= 5.0) << satellite.id;
      if (found == view.satellites.end()) continue;
      ++seen;
      EXPECT_NEAR(found->elevationDegrees, elevation, 1e-6);
      const double azimuthGap = std::fabs(found->azimuthDegrees - azimuth);
      EXPECT_LT(std::min(azimuthGap, 360.0 - azimuthGap), 1e-6);
    }
    EXPECT_EQ(seen, view.satellites.size());
  }
}

// The Earth-fixed longitude of the ascending node of the plane a satellite flies in at time t, in
// degrees from 0 to 360: the plane is the one through its place at t and a minute later, that
// place turned back by the Earth's rotation in the minute.
double NodeLongitude(const OrbitElements& orbit, double t) {
  const EcefMetres a = PositionAt(orbit, t);
  const EcefMetres later = PositionAt(orbit, t + 60);
  const double turn = 7.2921151467e-5 * 60;
  const EcefMetres b{later.x * std::cos(turn) - later.y * std::sin(turn),
                     later.x * std::sin(turn) + later.y * std::cos(turn), later.z};
  const double normalX = a.y * b.z - a.z * b.y;
  const double normalY = a.z * b.x - a.x * b.z;
  return std::fmod(std::atan2(normalX, -normalY) / kDegree + 360.0, 360.0);
}

// Slots of the baseline GPS constellation where the published table puts them at its epoch,
// 00:00 UTC on 1 July 1993: on the sphere, latitude asin(sin i sin u) and longitude the node's
// (right ascension less the Greenwich hour angle, 18 h 36 min 14.4 s) plus atan2(cos i sin u, cos
// u).
TEST(Sky, GpsSlotsStandWhereTheirTableSaysAtItsEpoch) {
  struct Slot {
    int prn;
    double rightAscension, argumentOfLatitude;
  };
  const Slot slots[] = {
      {1, 272.847, 268.126}, {7, 332.847, 309.976}, {15, 92.847, 35.156}, {24, 212.847, 135.346}};
  const std::vector<SatelliteOrbit> gps = NominalConstellation(GnssSystem::kGps);
  const double epoch = GpsSecondsFromUtcMs(UtcMsOf({1993, 7, 1}, 0));
  for (const Slot& slot : slots) {
    const EcefMetres at = PositionAt(gps[static_cast<std::size_t>(slot.prn - 1)].elements, epoch);
    const double u = slot.argumentOfLatitude * kDegree;
    const double i = 55 * kDegree;
    const double node = slot.rightAscension - (18 + 36 / 60.0 + 14.4 / 3600) * 15;
    const double longitude = node + std::atan2(std::cos(i) * std::sin(u), std::cos(u)) / kDegree;
    EXPECT_NEAR(std::asin(at.z / std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z)),
                std::asin(std::sin(i) * std::sin(u)), 1e-9);
    EXPECT_NEAR(std::remainder(std::atan2(at.y, at.x) / kDegree - longitude, 360.0), 0, 1e-7);
  }
}

TEST(Sky, ConstellationsFlyTheirPublishedOrbits) {
  struct Published {
    GnssSystem system;
    double radiusKm, inclinationDegrees;
    double periodSeconds, periodTolerance;  // draconic, as precise as published
    int planes;  // equally spaced; Walker patterns cross the equator one satellite at a time
    std::vector<int> ids;
  };
  std::vector<int> one24(24);
  std::iota(one24.begin(), one24.end(), 1);
  std::vector<int> glonass(24);
  std::iota(glonass.begin(), glonass.end(), 65);
  const Published systems[] = {
      {GnssSystem::kGps, 26559.7, 55.0, 11 * 3600 + 58 * 60, 30, 6, one24},
      {GnssSystem::kGlonass, 25510.0, 64.8, 11 * 3600 + 15 * 60 + 44, 1, 3, glonass},
      {GnssSystem::kGalileo, 29600.1, 56.0, 14 * 3600 + 4 * 60 + 45, 5, 3, one24},
      {GnssSystem::kBeidou, 27906.1, 55.0, 12 * 3600 + 53 * 60, 30, 3, {19, 20, 21, 22, 23, 24,
                                                                        25, 26, 27, 28, 29, 30,
                                                                        32, 33, 34, 35, 36, 37,
                                                                        41, 42, 43, 44, 45, 46}},
  };
  const double start = GpsSecondsFromUtcMs(kMorning);
  for (const Published& published : systems) {
    SCOPED_TRACE(NamesOf(published.system).talker);
    const std::vector<SatelliteOrbit> orbits = NominalConstellation(published.system);
    std::vector<int> ids;
    std::vector<double> firstCrossings;  // of the ascending node, into the period
    std::vector<double> nodes;           // longitudes of the planes' nodes
    for (const SatelliteOrbit& satellite : orbits) {
      ids.push_back(satellite.id);
      std::vector<double> crossings;
      double highest = 0.0;
      double lastZ = PositionAt(satellite.elements, start).z;
      for (double t = start + 10; t < start + 2.1 * published.periodSeconds; t += 10) {
        const EcefMetres at = PositionAt(satellite.elements, t);
        const double radius = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        EXPECT_NEAR(radius / 1000.0, published.radiusKm, 1.0);
        highest = std::max(highest, std::asin(at.z / radius) / kDegree);
        if (lastZ < 0 && at.z >= 0) crossings.push_back(t - 10 * at.z / (at.z - lastZ));
        lastZ = at.z;
      }
      EXPECT_NEAR(highest, published.inclinationDegrees, 0.01);
      ASSERT_GE(crossings.size(), 2u);
      EXPECT_NEAR(crossings[1] - crossings[0], published.periodSeconds, published.periodTolerance);
      firstCrossings.push_back(std::fmod(crossings[0] - start, crossings[1] - crossings[0]));
      nodes.push_back(NodeLongitude(satellite.elements, start));
    }
    EXPECT_EQ(ids, published.ids);
    std::sort(nodes.begin(), nodes.end());
    std::vector<double> planes{nodes[0]};
    for (const double node : nodes) {
      if (node - planes.back() > 0.05) planes.push_back(node);
    }
    ASSERT_EQ(planes.size(), static_cast<std::size_t>(published.planes));
    for (std::size_t i = 1; i < planes.size(); ++i) {
      EXPECT_NEAR(planes[i] - planes[i - 1], 360.0 / published.planes, 0.05);
    }
    if (published.planes != 3) continue;
    std::sort(firstCrossings.begin(), firstCrossings.end());
    for (std::size_t i = 1; i < firstCrossings.size(); ++i) {
      EXPECT_NEAR(firstCrossings[i] - firstCrossings[i - 1], published.periodSeconds / 24, 60.0);
    }
  }
}

TEST(Sky, SatellitesRiseSetAndMoveOverTwoHours) {
  for (const auto& systems : {std::vector<GnssSystem>{GnssSystem::kGps}, kFourSystems}) {
    SCOPED_TRACE(systems.size());
    Sky sky = MakeSky(systems);
    using Id = std::pair<GnssSystem, int>;
    std::map<Id, std::vector<std::array<double, 2>>> directions;  // every ten minutes
    std::set<Id> first, last;
    for (int second = 0; second <= 7200; ++second) {
      // A receiver heading north at about 100 knots.
      const SkyView& view =
          sky.At({48.0 + second * 0.00046, 11.5, 500.0}, kMorning + second * 1000);
      std::set<Id> now;
      for (const SatelliteInView& s : view.satellites) {
        now.insert({s.system, s.id});
        if (second % 600 == 0)
          directions[{s.system, s.id}].push_back({s.elevationDegrees, s.azimuthDegrees});
      }
      if (second == 0) first = now;
      if (second == 7200) last = now;
    }
    const auto notIn = [](const std::set<Id>& a, const std::set<Id>& b) {
      return std::count_if(a.begin(), a.end(), [&b](const Id& id) { return b.count(id) == 0; });
    };
    EXPECT_GE(notIn(last, first), 1) << "none rose";
    EXPECT_GE(notIn(first, last), 1) << "none set";
    for (const auto& [id, seen] : directions) {
      for (std::size_t i = 1; i < seen.size(); ++i) {
        const double turn = std::fabs(seen[i][1] - seen[i - 1][1]);
        EXPECT_TRUE(std::fabs(seen[i][0] - seen[i - 1][0]) > 1.0 ||
                    std::min(turn, 360 - turn) > 1.0)
            << id.second << " stood still for ten minutes";
      }
    }
  }
}

// The same sky seen from one pole at any longitude: the same elevations and DOPs, azimuths turned
// by the longitude (north at a pole is the way along the given meridian over the pole). Across the
// antimeridian nothing jumps.
TEST(Sky, PolesAndTheAntimeridianSeeOneSky) {
  struct Case {
    const char* where;
    ReceiverPlace a, b;
    double azimuthTurn;  // b's azimuths less a's, degrees
    double tolerance;
  };
  const Case cases[] = {
      {"north pole", {90, 0, 0}, {90, 123, 0}, 123, 1e-9},
      {"north pole west", {90, 0, 0}, {90, -170, 0}, -170, 1e-9},
      {"south pole", {-90, 0, 0}, {-90, 40, 0}, -40, 1e-9},
      {"near the pole", {90, 0, 0}, {89.99999, 0, 0}, 0, 1e-3},
      {"antimeridian", {-20, 180, 0}, {-20, -180, 0}, 0, 1e-9},
      {"across the antimeridian", {-20, 179.99999, 0}, {-20, -179.99999, 0}, 0, 1e-3},
  };
  Sky sky = MakeSky(kFourSystems);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    SkyView a, b;
    sky.Compute(c.a, kMorning, a);
    sky.Compute(c.b, kMorning, b);
    ASSERT_EQ(a.satellites.size(), b.satellites.size());
    ASSERT_TRUE(a.hasFix && b.hasFix);
    EXPECT_NEAR(a.hdop, b.hdop, c.tolerance);
    EXPECT_NEAR(a.vdop, b.vdop, c.tolerance);
    for (std::size_t i = 0; i < a.satellites.size(); ++i) {
      EXPECT_EQ(a.satellites[i].id, b.satellites[i].id);
      EXPECT_NEAR(a.satellites[i].elevationDegrees, b.satellites[i].elevationDegrees, c.tolerance);
      const double turn = std::fmod(
          b.satellites[i].azimuthDegrees - a.satellites[i].azimuthDegrees - c.azimuthTurn + 720.0,
          360.0);
      EXPECT_LT(std::min(turn, 360.0 - turn), c.tolerance) << a.satellites[i].id;
    }
  }
}

bool SameView(const SkyView& a, const SkyView& b) {
  const auto same = [](const SatelliteInView& x, const SatelliteInView& y) {
    return x.system == y.system && x.id == y.id && x.elevationDegrees == y.elevationDegrees &&
           x.azimuthDegrees == y.azimuthDegrees && x.signalDbHz == y.signalDbHz &&
           x.used == y.used && x.healthy == y.healthy;
  };
  return a.utcMs == b.utcMs && a.usedCount == b.usedCount && a.hdop == b.hdop && a.vdop == b.vdop &&
         a.pdop == b.pdop &&
         std::equal(a.satellites.begin(), a.satellites.end(), b.satellites.begin(),
                    b.satellites.end(), same);
}

// A held sky is the one computed at the last multiple of five seconds, whatever came before; a
// receiver that jumps far gets its new place's sky at once.
TEST(Sky, TheSameTimeAndPlaceGiveTheSameSkyHeldForFiveSeconds) {
  Sky early = MakeSky(kFourSystems);
  Sky late = MakeSky(kFourSystems);
  const ReceiverPlace place{51.5, -0.1, 30};
  const std::int64_t cell = kMorning + 55000;
  early.At(place, cell - 20000);  // a history before the cell
  SkyView computed;
  late.Compute(place, cell, computed);
  for (const std::int64_t ms : {cell, cell + 1000, cell + 4999}) {
    EXPECT_TRUE(SameView(early.At(place, ms), computed)) << ms;
    EXPECT_TRUE(SameView(late.At(place, ms), computed)) << ms;
  }
  EXPECT_EQ(early.At(place, cell + 5000).utcMs, cell + 5000);
  const ReceiverPlace far{52.5, -0.1, 30};
  late.Compute(far, cell + 5000, computed);
  EXPECT_TRUE(SameView(early.At(far, cell + 5100), computed));
}

TEST(Sky, MaskSignalsAndTheUsedSetAreAReceiversChoice) {
  std::size_t inViewBefore = 1000;
  for (const double mask : {0.0, 5.0, 10.0, 30.0, 60.0}) {
    SCOPED_TRACE(mask);
    for (const auto& systems : {std::vector<GnssSystem>{GnssSystem::kGps}, kFourSystems}) {
      Sky sky = MakeSky(systems, mask);
      SkyView view;
      sky.Compute({47.0, 8.0, 400}, kMorning, view);
      if (systems.size() == 4) {
        EXPECT_LE(view.satellites.size(), inViewBefore);
        inViewBefore = view.satellites.size();
      }
      std::vector<std::pair<double, int>> signals;
      for (const SatelliteInView& s : view.satellites) {
        EXPECT_GE(s.elevationDegrees, mask);
        EXPECT_LE(s.elevationDegrees, 90.0);
        signals.push_back({s.elevationDegrees, s.signalDbHz});
      }
      std::sort(signals.begin(), signals.end());
      for (std::size_t i = 1; i < signals.size(); ++i) {
        EXPECT_LE(signals[i - 1].second, signals[i].second);
      }
      const int inView = static_cast<int>(view.satellites.size());
      EXPECT_EQ(view.usedCount, std::min(inView, SkyView::kMostUsed));
      EXPECT_EQ(UsedDirections(view, false).size(), static_cast<std::size_t>(view.usedCount));
      EXPECT_EQ(view.hasFix, view.usedCount >= 4);
      if (!view.hasFix) {
        EXPECT_EQ(view.hdop, 0.0);
      }
    }
  }
  EXPECT_LT(inViewBefore, 12u);  // few are that high
}

// With more in view than it can use, the greedy choice beats taking the highest twelve.
TEST(Sky, TheUsedTwelveHaveBetterGeometryThanTheHighestTwelve) {
  Sky sky = MakeSky(kFourSystems);
  for (const Moment& m : kMoments) {
    SCOPED_TRACE(std::to_string(m.latitude) + " " + std::to_string(m.longitude));
    SkyView view;
    sky.Compute({m.latitude, m.longitude, 0.0}, m.utcMs, view);
    ASSERT_GT(view.satellites.size(), 12u);
    std::vector<std::array<double, 2>> highest;
    for (const SatelliteInView& s : view.satellites) {
      highest.push_back({s.elevationDegrees, s.azimuthDegrees});
    }
    std::sort(highest.rbegin(), highest.rend());
    highest.resize(12);
    EXPECT_LT(view.pdop, Textbook(highest).p);
  }
}

TEST(Sky, GpsTimeRunsAheadOfUtcByTheLeapSeconds) {
  struct Case {
    CalendarDate date;
    std::int64_t msOfDay;
    double leapSeconds;
  };
  const Case cases[] = {
      {{1980, 1, 6}, 0, 0},         {{1981, 6, 30}, 86399999, 0},   {{1981, 7, 1}, 0, 1},
      {{1999, 1, 1}, 0, 13},        {{2016, 12, 31}, 86399000, 17}, {{2017, 1, 1}, 0, 18},
      {{2026, 3, 7}, 36000000, 18}, {{1975, 5, 5}, 0, 0},
  };
  for (const Case& c : cases) {
    const std::int64_t utcMs = UtcMsOf(c.date, c.msOfDay);
    EXPECT_DOUBLE_EQ(
        GpsSecondsFromUtcMs(utcMs) - static_cast<double>(utcMs - 315964800000) / 1000.0,
        c.leapSeconds)
        << c.date.year;
  }
}

std::vector<AlmanacRecord> Parsed(const std::string& text) {
  std::vector<AlmanacRecord> records;
  std::string problem;
  EXPECT_TRUE(ParseAlmanac(text, records, problem)) << problem;
  return records;
}

TEST(Almanac, YumaAndSemFormsOfOneAlmanacReadAlike) {
  const std::vector<AlmanacRecord> yuma = Parsed(test::ReadFile(kAlmanacs + "sample.yuma"));
  const std::vector<AlmanacRecord> sem = Parsed(test::ReadFile(kAlmanacs + "sample.sem"));
  ASSERT_EQ(yuma.size(), 5u);
  ASSERT_EQ(sem.size(), yuma.size());
  for (std::size_t i = 0; i < yuma.size(); ++i) {
    const AlmanacRecord& y = yuma[i];
    const AlmanacRecord& s = sem[i];
    SCOPED_TRACE(y.prn);
    EXPECT_EQ(s.prn, y.prn);
    EXPECT_EQ(s.health, y.health);
    EXPECT_EQ(s.week, 160);
    EXPECT_EQ(y.week, 160);
    EXPECT_EQ(s.timeOfApplicabilitySeconds, 405504.0);
    const double pairs[][2] = {
        {s.eccentricity, y.eccentricity},
        {s.inclinationRadians, y.inclinationRadians},
        {s.rightAscensionRateRadiansPerSecond * 1e9, y.rightAscensionRateRadiansPerSecond * 1e9},
        {s.sqrtSemiMajorAxis, y.sqrtSemiMajorAxis},
        {s.rightAscensionAtWeekRadians, y.rightAscensionAtWeekRadians},
        {s.argumentOfPerigeeRadians, y.argumentOfPerigeeRadians},
        {s.meanAnomalyRadians, y.meanAnomalyRadians}};
    for (const auto& pair : pairs) EXPECT_NEAR(pair[0], pair[1], 1e-11 * (1 + std::fabs(pair[1])));
  }
  EXPECT_EQ(yuma[3].prn, 12);
  EXPECT_EQ(yuma[3].health, 63);
  EXPECT_NEAR(yuma[2].eccentricity, 0.0052, 1e-15);
}

// Where the user's algorithm of the GPS signal interface document puts an almanac satellite,
// worked here step by step: Kepler's equation by fixed-point iteration, the true anomaly by its
// half-angle formula, the node turned by the Earth since the start of the week.
EcefMetres AlmanacPosition(const AlmanacRecord& record, double week, double gpsSeconds) {
  const double a = record.sqrtSemiMajorAxis * record.sqrtSemiMajorAxis;
  const double e = record.eccentricity;
  const double sinceToa = gpsSeconds - (week * 604800.0 + record.timeOfApplicabilitySeconds);
  const double mean = record.meanAnomalyRadians + std::sqrt(3.986005e14 / (a * a * a)) * sinceToa;
  double eccentric = mean;
  for (int i = 0; i < 200; ++i) eccentric = mean + e * std::sin(eccentric);
  const double trueAnomaly = 2 * std::atan(std::sqrt((1 + e) / (1 - e)) * std::tan(eccentric / 2));
  const double u = trueAnomaly + record.argumentOfPerigeeRadians;
  const double r = a * (1 - e * std::cos(eccentric));
  const double node = record.rightAscensionAtWeekRadians +
                      (record.rightAscensionRateRadiansPerSecond - 7.2921151467e-5) * sinceToa -
                      7.2921151467e-5 * record.timeOfApplicabilitySeconds;
  const double i = record.inclinationRadians;
  return {r * (std::cos(u) * std::cos(node) - std::sin(u) * std::cos(i) * std::sin(node)),
          r * (std::cos(u) * std::sin(node) + std::sin(u) * std::cos(i) * std::cos(node)),
          r * std::sin(u) * std::sin(i)};
}

TEST(Almanac, SatellitesStandWhereTheAlmanacAlgorithmPutsThem) {
  const std::vector<AlmanacRecord> records = Parsed(test::ReadFile(kAlmanacs + "sample.yuma"));
  const std::vector<SatelliteOrbit> orbits =
      OrbitsFromAlmanac(records, GpsSecondsFromUtcMs(kMorning));
  ASSERT_EQ(orbits.size(), 5u);
  const double week = 2208;  // week 160 after two rollovers: April 2022, nearest March 2026
  for (std::size_t s = 0; s < orbits.size(); ++s) {
    EXPECT_EQ(orbits[s].id, records[s].prn);
    EXPECT_EQ(orbits[s].healthy, records[s].health == 0);
    for (double hours = -30; hours <= 30; hours += 2.5) {
      const double t = week * 604800.0 + 405504.0 + hours * 3600;
      const EcefMetres at = PositionAt(orbits[s].elements, t);
      const EcefMetres expected = AlmanacPosition(records[s], week, t);
      EXPECT_NEAR(at.x, expected.x, 0.01) << records[s].prn << " " << hours;
      EXPECT_NEAR(at.y, expected.y, 0.01) << records[s].prn << " " << hours;
      EXPECT_NEAR(at.z, expected.z, 0.01) << records[s].prn << " " << hours;
    }
  }
  // By hand: PRN 2 passes its perigee, 90 degrees past the node, at the time of applicability.
  const double a = records[1].sqrtSemiMajorAxis * records[1].sqrtSemiMajorAxis;
  const EcefMetres perigee = PositionAt(orbits[1].elements, week * 604800.0 + 405504.0);
  EXPECT_NEAR(perigee.z, 0.99 * a * std::sin(records[1].inclinationRadians), 0.01);
  EXPECT_DOUBLE_EQ(OrbitsFromAlmanac(records, 1000 * 604800.0)[0].elements.epochGpsSeconds,
                   1184 * 604800.0 + 405504.0);
}

TEST(Almanac, ItsGpsSatellitesReplaceTheNominalOnesAndTheUnhealthyOneIsNeverUsed) {
  const std::vector<AlmanacRecord> records = Parsed(test::ReadFile(kAlmanacs + "sample.sem"));
  SkySettings settings;
  settings.systems = {GnssSystem::kGalileo, GnssSystem::kGps};
  Sky sky(settings, records, kMorning);
  ASSERT_EQ(sky.Satellites().size(), 5u + 24u);
  EXPECT_EQ(sky.Satellites()[4].id, 31);
  EXPECT_EQ(sky.Satellites()[5].system, GnssSystem::kGalileo);
  // Right under PRN 12 at the almanac's time.
  const double epoch = 2208 * 604800.0 + 405504.0;
  const EcefMetres at = PositionAt(sky.Satellites()[3].elements, epoch);
  double lat = 0, lon = 0, h = 0;
  GeographicLib::Geocentric::WGS84().Reverse(at.x, at.y, at.z, lat, lon, h);
  SkyView view;
  sky.Compute({lat, lon, 0}, 315964800000 + std::llround((epoch - 18) * 1000), view);
  const auto prn12 = std::find_if(view.satellites.begin(), view.satellites.end(),
                                  [](const SatelliteInView& s) { return s.id == 12; });
  ASSERT_NE(prn12, view.satellites.end());
  EXPECT_NEAR(prn12->elevationDegrees, 90.0, 0.01);
  EXPECT_FALSE(prn12->healthy);
  EXPECT_FALSE(prn12->used);
  const auto healthy = std::count_if(view.satellites.begin(), view.satellites.end(),
                                     [](const SatelliteInView& s) { return s.healthy; });
  EXPECT_EQ(view.usedCount, std::min<int>(static_cast<int>(healthy), SkyView::kMostUsed));
}

// The sample almanac with line `line` (from 1) replaced by `text`, or taken out when text is null.
std::string Edited(const std::string& file, int line, const char* text) {
  std::vector<std::string> lines = test::Split(test::ReadFile(kAlmanacs + file), "\n");
  if (text != nullptr) lines[static_cast<std::size_t>(line - 1)] = text;
  if (text == nullptr) lines.erase(lines.begin() + line - 1);
  std::string joined;
  for (const std::string& l : lines) joined += l + "\n";
  return joined;
}

TEST(Almanac, EveryProblemNamesItsLine) {
  const std::string yuma = test::ReadFile(kAlmanacs + "sample.yuma");
  const std::string sem = test::ReadFile(kAlmanacs + "sample.sem");
  const std::pair<std::string, std::string> cases[] = {
      {"", "the almanac is empty"},
      {"\n \r\n", "the almanac is empty"},
      {"\nAlmanac of week 160\n",
       "line 2: not a GPS almanac: YUMA begins with a line of stars, SEM with a number"},
      {Edited("sample.yuma", 2, "ID:  40"), "line 2: PRN '40' is not a GPS PRN (1 to 32)"},
      {Edited("sample.yuma", 3, "Health:  0x0"), "line 3: '0x0' is not a whole number"},
      {Edited("sample.yuma", 3, nullptr), "line 3: 'Health:' was expected"},
      {Edited("sample.yuma", 4, "Eccentricity:  1.5"),
       "line 4: eccentricity '1.5' is not that of an orbit (0 to below 1)"},
      {Edited("sample.yuma", 5, "Time of Applicability(s):  604800"),
       "line 5: time of applicability '604800' is not within a week (0 to 604799 s)"},
      {Edited("sample.yuma", 6, "Orbital Inclination(rad):  -0.9"),
       "line 6: inclination '-0.9' is not from 0 to 180 degrees"},
      {Edited("sample.yuma", 8, "SQRT(A)  (m 1/2):  2000"),
       "line 8: SQRT(A) '2000' gives no orbit clear of the Earth"},
      {Edited("sample.yuma", 11, "Mean Anom(rad):  1.2.3"), "line 11: '1.2.3' is not a number"},
      {Edited("sample.yuma", 15, "PRN 02 follows"),
       "line 15: a line of stars that starts a satellite was expected"},
      {Edited("sample.yuma", 17, "ID:  1"), "line 17: PRN 1 is given twice"},
      {yuma.substr(0, yuma.find("Orbital")),
       "line 5: the file ends where 'Orbital Inclination:' was expected"},
      {Edited("sample.sem", 1, "0 EMPTY.ALM"),
       "line 1: the number of satellites (1 to 32) was expected, not '0'"},
      {Edited("sample.sem", 2, "160"), "line 2: 2 values expected, 1 found"},
      {Edited("sample.sem", 2, "x160 405504"), "line 2: 'x160' is not a whole number"},
      {Edited("sample.sem", 7, "1E-2 0.0 -2.5E-09"), "line 7: 4 values expected, 3 found"},
      {Edited("sample.sem", 7, "0.0 0.8 -2.5E-09 5153.6"),
       "line 7: inclination '0.8' is not from 0 to 180 degrees"},
      {Edited("sample.sem", 6, "SVN"), "line 6: 'SVN' is not a whole number"},
      {Edited("sample.sem", 1, "6 HAND-MADE.ALM"),
       "line 49: the file ends before the satellites the first line announces"},
      {Edited("sample.sem", 1, "4 HAND-MADE.ALM"),
       "line 40: more than the 4 satellites the first line announces"},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<AlmanacRecord> records(1);
    std::string problem;
    EXPECT_FALSE(ParseAlmanac(text, records, problem)) << expected;
    EXPECT_EQ(problem, expected);
    EXPECT_TRUE(records.empty());
  }
}

TEST(Almanac, AFileThatCannotBeReadSaysWhy) {
  test::TempDir dir;
  std::vector<AlmanacRecord> records;
  std::string problem;
  std::error_code reason;
  EXPECT_TRUE(ReadAlmanacFile(kAlmanacs + "sample.yuma", records, problem, reason));
  EXPECT_EQ(records.size(), 5u);
  EXPECT_FALSE(reason);
  EXPECT_FALSE(ReadAlmanacFile(dir.File("absent.alm"), records, problem, reason));
  EXPECT_EQ(problem, "cannot open the almanac '" + dir.File("absent.alm") + "'");
  EXPECT_EQ(reason, std::errc::no_such_file_or_directory);
  test::WriteFile(dir.File("big.alm"), std::string(kLargestAlmanacBytes + 1, '\n'));
  EXPECT_FALSE(ReadAlmanacFile(dir.File("big.alm"), records, problem, reason));
  EXPECT_EQ(problem,
            "the almanac '" + dir.File("big.alm") + "' is larger than 1 MiB: not an almanac");
  test::WriteFile(dir.File("bad.alm"), "4 X\n");
  EXPECT_FALSE(ReadAlmanacFile(dir.File("bad.alm"), records, problem, reason));
  EXPECT_EQ(problem, "almanac '" + dir.File("bad.alm") +
                         "', line 1: the file ends before the satellites the first line announces");
}

}  // namespace
}  // namespace wayloom
