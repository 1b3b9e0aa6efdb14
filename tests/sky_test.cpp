// The sky over the receiver: orbits against their published figures, look angles against
// GeographicLib, dilutions of precision against the textbook formula worked out here, skies at
// the poles and on the antimeridian, a sky held for a few seconds.
#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/LocalCartesian.hpp>
#include <array>
#include <map>
#include <random>

#include "motion/sky.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
const std::int64_t kMorning = UtcMsOf({2026, 3, 7}, 10 * 3600000);
const std::vector<GnssSystem> kGps = {GnssSystem::kGps};
const std::vector<GnssSystem> kFourSystems = {GnssSystem::kGps, GnssSystem::kGlonass,
                                              GnssSystem::kGalileo, GnssSystem::kBeidou};
using Directions = std::vector<std::array<double, 2>>;  // elevation, azimuth in degrees

Sky MakeSky(std::vector<GnssSystem> systems, double mask = 5.0) {
  SkySettings settings;
  settings.systems = std::move(systems);
  settings.elevationMaskDegrees = mask;
  return Sky(settings);
}

TEST(Sky, DopsOfGeometriesWorkedByHand) {
  const std::pair<Directions, std::vector<double>> cases[] = {
      // from block-diagonal G^T G
      {{{90, 0}, {0, 0}, {0, 120}, {0, 240}},
       {std::sqrt(4.0 / 3), std::sqrt(4.0 / 3), std::sqrt(8.0 / 3)}},
      {{{90, 0}, {0, 0}, {0, 90}, {0, 180}, {0, 270}}, {1.0, std::sqrt(1.25), 1.5}},
      {{{90, 0}, {30, 0}, {30, 90}, {30, 180}, {30, 270}},
       {std::sqrt(4.0 / 3), std::sqrt(5.0), std::sqrt(19.0 / 3)}},
      {{{30, 0}, {30, 72}, {30, 144}, {30, 216}, {30, 288}}, {}},  // all on one cone
      {{{40, 10}, {40, 10}, {70, 200}, {70, 200}}, {}},            // two directions twice
      {{{30, 0}, {30, 90}, {30, 180}, {30.00001, 270}}, {}},       // as good as one cone
  };
  for (const auto& [directions, expected] : cases) {
    std::vector<LineOfSight> lines;
    for (const auto& [el, az] : directions) lines.push_back(LineOfSightOf(el, az));
    const Dops dops = DopsOf(lines);
    ASSERT_EQ(dops.solvable, !expected.empty()) << directions.size();
    if (!dops.solvable) continue;
    EXPECT_NEAR(dops.horizontal, expected[0], 1e-9);
    EXPECT_NEAR(dops.vertical, expected[1], 1e-9);
    EXPECT_NEAR(dops.position, expected[2], 1e-9);
  }
}

// Places and moments the sky is checked at: ordinary, at and beside both poles, on and across the
// antimeridian, far south, at the end of 2009.
const std::array<double, 3> kMoments[] = {
    // latitude, longitude, ms after kMorning
    {55.95, -3.19, 0},      {0, 0, 3.6e6},         {90, 0, 0},
    {89.99999, 0, 0},       {-90, 123, 7.2e6},     {-90, -60, 0},
    {-33.86, 151.21, 0},    {64, 180, 5000},       {64, -180, 5000},
    {-12.5, -179.99999, 0}, {-12.5, 179.99999, 0}, {40, -100, -5.1e11},
};

// The DOPs are the textbook ones of the used satellites at their printed look angles; with more in
// view than it can use, no twelve drawn at random have better geometry than the twelve chosen.
TEST(Sky, DopsAreTheTextbookGeometryOfTheUsedSatellitesAsGsvPrintsThem) {
  std::mt19937_64 random(1);
  for (const auto& systems : {kGps, kFourSystems}) {
    Sky sky = MakeSky(systems);
    for (const auto& [lat, lon, later] : kMoments) {
      SkyView view;
      sky.Compute({lat, lon, 100.0}, kMorning + static_cast<std::int64_t>(later), view);
      Directions printed, exact, all;
      for (const SatelliteInView& s : view.satellites) {
        EXPECT_EQ(s.elevationWholeDegrees, std::lround(s.elevationDegrees));
        EXPECT_EQ(s.azimuthWholeDegrees, std::lround(s.azimuthDegrees) % 360);
        all.push_back({1.0 * s.elevationWholeDegrees, 1.0 * s.azimuthWholeDegrees});
        if (!s.used) continue;
        printed.push_back(all.back());
        exact.push_back({s.elevationDegrees, s.azimuthDegrees});
      }
      ASSERT_TRUE(view.hasFix) << lat << " " << lon;
      const std::vector<double> dops = test::TextbookDops(printed);
      EXPECT_NEAR(view.hdop, dops[0], 1e-9);
      EXPECT_NEAR(view.vdop, dops[1], 1e-9);
      EXPECT_NEAR(view.pdop, dops[2], 1e-9);
      EXPECT_NEAR(view.pdop, test::TextbookDops(exact)[2], 0.04 * view.pdop);  // a few percent
      if (systems.size() == 1) continue;
      ASSERT_GT(all.size(), 12u);
      for (int draw = 0; draw < 200; ++draw) {
        for (std::size_t i = 0; i < 12; ++i)
          std::swap(all[i], all[i + random() % (all.size() - i)]);
        const std::vector<double> drawn =
            test::TextbookDops(Directions(all.begin(), all.begin() + 12));
        EXPECT_GE(drawn.empty() ? 1e9 : drawn[2], view.pdop) << lat << " " << lon;
      }
    }
  }
}

TEST(Sky, ElevationsAndAzimuthsAgreeWithGeographicLib) {
  Sky sky = MakeSky(kFourSystems);
  for (const auto& [lat, lon, later] : kMoments) {
    const std::int64_t utcMs = kMorning + static_cast<std::int64_t>(later);
    SkyView view;
    sky.Compute({lat, lon, 250.0}, utcMs, view);
    const GeographicLib::LocalCartesian local(lat, lon, 250.0);
    std::size_t seen = 0;
    for (const SatelliteOrbit& satellite : sky.Satellites()) {
      const EcefMetres at = PositionAt(satellite.elements, GpsSecondsFromUtcMs(utcMs));
      double sLat = 0, sLon = 0, h = 0, east = 0, north = 0, up = 0;
      GeographicLib::Geocentric::WGS84().Reverse(at.x, at.y, at.z, sLat, sLon, h);
      local.Forward(sLat, sLon, h, east, north, up);
      const double elevation = std::atan2(up, std::hypot(east, north)) / kDegree;
      const double azimuth = std::atan2(east, north) / kDegree;
      const auto found = std::find_if(view.satellites.begin(), view.satellites.end(), [&](auto& s) {
        return s.system == satellite.system && s.id == satellite.id;
      });
      ASSERT_EQ(found != view.satellites.end(), elevation >= 5.0) << lat << " " << satellite.id;
      if (found == view.satellites.end()) continue;
      ++seen;
      EXPECT_NEAR(found->elevationDegrees, elevation, 1e-6);
      EXPECT_NEAR(std::remainder(found->azimuthDegrees - azimuth, 360.0), 0.0, 1e-6);
      EXPECT_TRUE(found->azimuthDegrees >= 0.0 && found->azimuthDegrees < 360.0);
    }
    EXPECT_EQ(seen, view.satellites.size());
  }
}

// The Earth-fixed longitude (0 to 360 degrees) of the ascending node of a satellite's plane at t:
// the plane through its place then and a minute later, turned back by the Earth's rotation.
double NodeLongitude(const OrbitElements& orbit, double t) {
  const EcefMetres a = PositionAt(orbit, t);
  const EcefMetres later = PositionAt(orbit, t + 60);
  const double turn = 7.2921151467e-5 * 60;
  const EcefMetres b{later.x * std::cos(turn) - later.y * std::sin(turn),
                     later.x * std::sin(turn) + later.y * std::cos(turn), later.z};
  return std::fmod(std::atan2(a.y * b.z - a.z * b.y, a.x * b.z - a.z * b.x) / kDegree + 360, 360);
}

// Radius, inclination, draconic period (as precisely as published), ids, planes equally spaced;
// in a Walker pattern 24/3/1 each plane's satellites cross the equator 1/24 of a turn before those
// of the plane west of it.
TEST(Sky, ConstellationsFlyTheirPublishedOrbits) {
  struct Published {
    GnssSystem system;
    double radiusKm, inclination, period, periodTolerance;
    int planes, firstId;
  };
  const Published systems[] = {
      {GnssSystem::kGps, 26559.7, 55.0, 11 * 3600 + 58 * 60, 30, 6, 1},
      {GnssSystem::kGlonass, 25510.0, 64.8, 11 * 3600 + 15 * 60 + 44, 1, 3, 65},
      {GnssSystem::kGalileo, 29600.1, 56.0, 14 * 3600 + 4 * 60 + 45, 5, 3, 1},
      {GnssSystem::kBeidou, 27906.1, 55.0, 12 * 3600 + 53 * 60, 30, 3, 19},
  };
  const double start = GpsSecondsFromUtcMs(kMorning);
  for (const Published& published : systems) {
    SCOPED_TRACE(NamesOf(published.system).talker);
    const std::vector<SatelliteOrbit> orbits = NominalConstellation(published.system);
    ASSERT_EQ(orbits.size(), 24u);
    EXPECT_EQ(orbits[0].id, published.firstId);
    std::map<int, std::vector<double>> crossingsByPlane;  // into 1/8 turn, by node longitude
    double period = 0.0;                                  // draconic, measured
    for (const SatelliteOrbit& satellite : orbits) {
      std::vector<double> crossings;  // of the ascending node
      double highest = 0.0;
      for (double t = start; t < start + 2.1 * published.period; t += 10) {
        const EcefMetres at = PositionAt(satellite.elements, t);
        const EcefMetres before = PositionAt(satellite.elements, t - 10);
        const double radius = std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z);
        EXPECT_NEAR(radius / 1000.0, published.radiusKm, 1.0);
        highest = std::max(highest, std::asin(at.z / radius) / kDegree);
        if (before.z < 0 && at.z >= 0) crossings.push_back(t - 10 * at.z / (at.z - before.z));
      }
      EXPECT_NEAR(highest, published.inclination, 0.01);
      ASSERT_GE(crossings.size(), 2u);
      period = crossings[1] - crossings[0];
      EXPECT_NEAR(period, published.period, published.periodTolerance);
      const int node =
          static_cast<int>(std::lround(NodeLongitude(satellite.elements, start))) % 360;
      crossingsByPlane[node].push_back(std::fmod(crossings[0] - start, period / 8));
    }
    ASSERT_EQ(crossingsByPlane.size(), static_cast<std::size_t>(published.planes));
    const auto& [firstNode, firstCrossings] = *crossingsByPlane.begin();
    int west = crossingsByPlane.rbegin()->first - 360;
    for (const auto& [node, crossings] : crossingsByPlane) {
      EXPECT_EQ(node - west, 360 / published.planes);
      west = node;
      if (published.planes != 3) continue;
      for (const double c : crossings) EXPECT_NEAR(c, crossings[0], 2.0);
      const double ahead = std::fmod(firstCrossings[0] - crossings[0] + period, period / 8);
      EXPECT_NEAR(ahead, std::fmod((node - firstNode) / 120 * period / 24, period / 8), 20.0);
    }
  }
}

bool SameView(const SkyView& a, const SkyView& b) {
  const auto same = [](const SatelliteInView& x, const SatelliteInView& y) {
    return x.id == y.id && x.elevationDegrees == y.elevationDegrees &&
           x.azimuthDegrees == y.azimuthDegrees && x.signalDbHz == y.signalDbHz && x.used == y.used;
  };
  return a.utcMs == b.utcMs && a.hdop == b.hdop && a.vdop == b.vdop && a.pdop == b.pdop &&
         std::equal(a.satellites.begin(), a.satellites.end(), b.satellites.begin(),
                    b.satellites.end(), same);
}

// A held sky is the one computed at the last multiple of five seconds, whatever came before; a
// receiver that jumps far gets its new place's sky at once.
TEST(Sky, TheSameTimeAndPlaceGiveTheSameSkyHeldForFiveSeconds) {
  Sky early = MakeSky(kFourSystems);
  Sky late = MakeSky(kFourSystems);
  const ReceiverPlace place{51.5, -0.1, 30}, far{52.5, -0.1, 30};
  const std::int64_t cell = kMorning + 55000;
  early.At(place, cell - 20000);  // a history before the cell
  SkyView computed;
  late.Compute(place, cell, computed);
  for (const std::int64_t ms : {cell, cell + 1000, cell + 4999}) {
    EXPECT_TRUE(SameView(early.At(place, ms), computed)) << ms;
    EXPECT_TRUE(SameView(late.At(place, ms), computed)) << ms;
  }
  EXPECT_EQ(early.At(place, cell + 5000).utcMs, cell + 5000);
  late.Compute(far, cell + 5000, computed);
  EXPECT_TRUE(SameView(early.At(far, cell + 5100), computed));
}

// Higher masks see fewer; signals grow with elevation; a receiver uses at most twelve.
TEST(Sky, MasksSignalsAndTheNumberUsedAreAReceivers) {
  for (const auto& systems : {kGps, kFourSystems}) {
    std::size_t inViewBefore = 1000;
    for (const double mask : {0.0, 5.0, 10.0, 30.0, 60.0}) {
      Sky sky = MakeSky(systems, mask);
      SkyView view;
      sky.Compute({47.0, 8.0, 400}, kMorning, view);
      EXPECT_LE(view.satellites.size(), inViewBefore);
      inViewBefore = view.satellites.size();
      Directions bySignal;  // elevation, signal
      for (const SatelliteInView& s : view.satellites) {
        EXPECT_GE(s.elevationDegrees, mask);
        bySignal.push_back({s.elevationDegrees, 1.0 * s.signalDbHz});
      }
      std::sort(bySignal.begin(), bySignal.end());
      for (std::size_t i = 1; i < bySignal.size(); ++i) {
        EXPECT_LE(bySignal[i - 1][1], bySignal[i][1]);
      }
      const int inView = static_cast<int>(view.satellites.size());
      EXPECT_EQ(view.usedCount, std::min(inView, SkyView::kMostUsed)) << mask;
      EXPECT_EQ(view.hasFix, view.usedCount >= 4) << mask;
      EXPECT_EQ(view.hdop > 0.0, view.hasFix) << mask;
    }
    EXPECT_LT(inViewBefore, systems.size() == 1 ? 4u : 12u);  // GPS alone: no fix above 60
  }
}

TEST(Sky, GpsTimeRunsAheadOfUtcByTheLeapSeconds) {
  const std::pair<std::int64_t, double> cases[] = {
      {UtcMsOf({1980, 1, 6}, 0), 0},  {UtcMsOf({1981, 6, 30}, 86399999), 0},
      {UtcMsOf({1981, 7, 1}, 0), 1},  {UtcMsOf({2016, 12, 31}, 86399000), 17},
      {UtcMsOf({2017, 1, 1}, 0), 18}, {kMorning, 18},
  };
  for (const auto& [utcMs, leapSeconds] : cases) {
    EXPECT_DOUBLE_EQ(GpsSecondsFromUtcMs(utcMs) - static_cast<double>(utcMs - 315964800000) / 1000,
                     leapSeconds)
        << utcMs;
  }
}

}  // namespace
}  // namespace wayloom
