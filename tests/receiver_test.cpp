// Receiver mode: motion along the route, its sentences, its noise, and its command line.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/GeodesicLine.hpp>

#include "motion/receiver.h"
#include "motion/sky.h"
#include "route/route.h"
#include "sentences/fix_sentences.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

const std::string kSample = std::string(WAYLOOM_EXAMPLES) + "/a9-edinburgh-inverness.csv";
constexpr double kDegree = 3.14159265358979323846 / 180.0;

std::vector<Fix> Travel(const std::vector<GeoPoint>& route, double knots, double period,
                        double dwell = 0.0, double noise = 0.0, std::uint64_t seed = 1) {
  FixStream stream(route, {knots, knots * 1852.0 / 3600.0, period, dwell, noise, seed}, 3600000);
  std::vector<Fix> fixes;
  for (Fix fix; stream.Next(fix);) fixes.push_back(fix);
  return fixes;
}

// Metres from a to b on the ellipsoid; the azimuth there (0 to 360) in azimuth.
double Metres(double latA, double lonA, double latB, double lonB, double& azimuth) {
  double metres = 0.0;
  double azimuthAtB = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(latA, lonA, latB, lonB, metres, azimuth, azimuthAtB);
  if (azimuth < 0) azimuth += 360.0;
  return metres;
}

// The receiver-mode reference tracks of tests/data/references, made again through the command line
// with their options: default sentences, noise with a seed and every sentence kind in closest
// order, dwell across midnight and the year's end, and a route over the antimeridian.
TEST(ReceiverCli, EveryReceiverReferenceTrackIsMadeAgainByteForByte) {
  const std::string data = WAYLOOM_TEST_DATA "/";
  std::ifstream list(data + "references");
  int compared = 0;
  for (std::string line; std::getline(list, line);) {
    std::istringstream fields(line);
    std::string source, kind, step, period, reference;
    if (!(fields >> source >> kind >> step >> period >> reference) || kind != "receiver") continue;
    std::vector<std::string> arguments{"--quiet", "--period", period};
    for (std::string option; fields >> option;) arguments.push_back(option);
    arguments.insert(arguments.end(), {data + source, "-"});
    const test::CliRun run = test::InvokeCli(arguments);
    EXPECT_EQ(run.status, kExitOk) << reference << ": " << run.err;
    EXPECT_EQ(run.out, test::ReadFile(data + reference)) << reference;
    ++compared;
  }
  EXPECT_EQ(compared, 9);
}

// GPSBabel's timed tracks of the sample (a point a minute from 2026-01-01 08:00 UTC) played in
// their own time: a fix every period up to the first tick at or after the last point's time, each
// where the recorded positions interpolated along the geodesic put it then (the reference tracks
// of tests/data/timed.csv pin the speeds and courses).
TEST(ReceiverCli, ARealProducersTimedTracksPlayInTheirRecordedTime) {
  std::vector<GeoPoint> a9;
  for (const std::string& line : test::Split(test::ReadFile(kSample), "\n")) {
    if (line.size() > 1 && line[0] != 'l')
      a9.push_back({ParseDecimal(test::Split(line)[1]), ParseDecimal(line)});
  }
  test::TempDir dir;
  for (const char* file : {"a9-track.gpx10.gpx", "a9-track.gpx11.gpx", "a9-track.kml"}) {
    const test::CliRun run = test::InvokeCli(
        {"--timed", "--yes", "--period", "7", "--sentences", "RMC", "--gpx", dir.File("t.gpx"),
         WAYLOOM_TEST_DATA "/sources/" + std::string(file), "-"});
    const std::vector<std::string> fixes = test::TrackLines(run.out);
    ASSERT_EQ(fixes.size(), 259u) << file << run.err;  // 0 s to 1806 s, the first at or after 1800
    EXPECT_NE(test::ReadFile(dir.File("t.gpx")).find("<time>2026-01-01T08:30:06Z</time>"),
              std::string::npos);
    for (std::size_t k = 0; k < fixes.size(); ++k) {
      const std::vector<std::string> f = test::Split(fixes[k]);
      const double seconds = 7.0 * static_cast<double>(k);
      EXPECT_EQ(f[1] + "," + f[9], test::TimeField(28800e3 + seconds * 1000) + "010126");
      const auto i = static_cast<std::size_t>(std::min(seconds / 60, 29.0));
      const GeographicLib::GeodesicLine line = GeographicLib::Geodesic::WGS84().InverseLine(
          a9[i].latitude, a9[i].longitude, a9[i + 1].latitude, a9[i + 1].longitude);
      double lat = 0.0, lon = 0.0, azimuth = 0.0;
      line.Position(std::min(1.0, seconds / 60 - static_cast<double>(i)) * line.Distance(), lat,
                    lon, azimuth);
      const double fixLat = ParseDecimal(f[3].substr(0, 2)) + ParseDecimal(f[3].substr(2)) / 60;
      const double fixLon = -ParseDecimal(f[5].substr(0, 3)) - ParseDecimal(f[5].substr(3)) / 60;
      EXPECT_LT(Metres(lat, lon, fixLat, fixLon, azimuth), 0.02) << fixes[k];
    }
  }
}

TEST(Receiver, MovesSpeedTimesPeriodAlongTheGeodesicPassingEveryPoint) {
  struct Case {
    std::vector<GeoPoint> route;
    double knots, period, dwell;
  };
  const Case cases[] = {
      {{{55.95, -3.19}, {56.1, -3.4}, {56.1, -3.2}, {57.47, -4.22}}, 300, 7, 0},
      {{{10.0, 179.9999}, {10.0, -179.9999}}, 54, 1, 0},  // 22 m, the short way
      {{{89.9, 0.0}, {89.9, 180.0}}, 100, 10, 0},         // over the pole
      {{{55.95, -3.19}, {56.0, -3.19}, {56.0, -3.0}}, 60, 5, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route[1].longitude);
    const std::vector<Fix> fixes = Travel(c.route, c.knots, c.period, c.dwell);
    const double spacing = c.knots * 1852.0 / 3600.0 * c.period;
    std::size_t standing = 0;
    std::size_t shortGaps = 0;  // across a point the chord is shorter than the path
    for (std::size_t i = 0; i + 1 < fixes.size(); ++i) {
      const Fix& a = fixes[i];
      const Fix& b = fixes[i + 1];
      // Every fix on the period's grid, the last one too.
      EXPECT_EQ(b.clockMs, 3600000.0 + std::round(static_cast<double>(i + 1) * c.period * 1000));
      EXPECT_EQ(a.speedKnots, a.speedKnots == 0.0 ? 0.0 : c.knots);
      double azimuth = 0.0;
      const double metres = Metres(a.latitude, a.longitude, b.latitude, b.longitude, azimuth);
      if (a.speedKnots == 0.0) {
        ++standing;  // keeping the course it arrived with
        EXPECT_NEAR(a.courseDegrees, fixes[i > 0 ? i - 1 : 0].courseDegrees, 0.01) << i;
      } else if (metres > spacing * 0.999999) {
        EXPECT_LE(metres, spacing * 1.000001) << i;
        EXPECT_NEAR(std::remainder(azimuth - a.courseDegrees, 360.0), 0.0, 0.001) << i;
      } else {
        ++shortGaps;
      }
    }
    EXPECT_LE(shortGaps, c.route.size());
    EXPECT_NEAR(static_cast<double>(standing),
                static_cast<double>(c.route.size()) * c.dwell / c.period, 1.0);
    for (const GeoPoint& p : c.route) {
      double nearest = 1e300;
      double azimuth = 0.0;
      for (const Fix& f : fixes) {
        nearest =
            std::min(nearest, Metres(p.latitude, p.longitude, f.latitude, f.longitude, azimuth));
      }
      EXPECT_LE(nearest, spacing / 2) << p.latitude << "," << p.longitude;
    }
    // At rest on the last point, at the first tick after arriving (or the last of the dwell).
    EXPECT_EQ(fixes.back().latitude, c.route.back().latitude);
    EXPECT_EQ(fixes.back().longitude, c.route.back().longitude);
    EXPECT_EQ(fixes.back().speedKnots, 0.0);
    if (c.dwell == 0) {
      const Fix& before = fixes[fixes.size() - 2];
      EXPECT_FALSE(before.latitude == c.route.back().latitude &&
                   before.longitude == c.route.back().longitude);
    }
    // A point repeated adds no time, not even its dwell.
    std::vector<GeoPoint> twice;
    for (const GeoPoint& p : c.route) twice.insert(twice.end(), {p, p});
    EXPECT_EQ(Travel(twice, c.knots, c.period, c.dwell).size(), fixes.size());
  }
  EXPECT_EQ(Travel(cases[1].route, 54, 1).size(), 2u);
}

// A route file's details: a point's speed for the stretch from it (a point at rest keeps the set
// speed), its dwell on top of the set one, elevations interpolated along each stretch (a point
// without one takes the one before it); details beyond what a receiver takes are refused, naming
// the point and its line. Each case lists the runs of reported speed (knots x fixes) and the
// altitudes of the first fix, the eighth and the last.
TEST(Receiver, ARouteFilesSpeedsDwellsAndElevationsChangeItsMotionPointByPoint) {
  const double none = std::nan("");
  // 110.6 m apart along the meridian, visited from the last point of the file to the first.
  ReceiverRoute route{{{0.0, 0.0}, {0.001, 0.0}, {0.002, 0.0}}, {2, 1, 0}, {}};
  const struct {
    PointDetails read;  // indexed as the file: the route's points backwards
    std::string expected;
  } cases[] = {
      {{}, "19.44x23 0.00x1 | 121.0 121.0 121.0"},
      {{{}, {}, {none, none, 20.0}, {}, {}}, "38.88x6 19.44x11 0.00x1 | 121.0 121.0 121.0"},
      {{{}, {}, {none, 0.001, 20.0}, {}, {}}, "38.88x6 19.44x11 0.00x1 | 121.0 121.0 121.0"},
      {{{}, {}, {}, {2.0, 5.0, none}, {}}, "19.44x12 0.00x5 19.44x11 0.00x2 | 121.0 121.0 121.0"},
      {{{}, {none, 100.0, none}, {}, {}, {}}, "19.44x23 0.00x1 | 100.0 100.0 100.0"},
      {{{}, {110.0, 100.0, 90.0}, {}, {}, {}}, "19.44x23 0.00x1 | 90.0 96.3 110.0"},
      {{{}, {}, {600000.0, none, none}, {}, {7, 8, 9}},
       "point 1 (line 7): speed 600000.000 m/s is beyond the 1000000 knots a receiver travels at"},
  };
  for (const auto& c : cases) {
    std::string described = TakeRouteDetails(c.read, route);
    if (described.empty()) {
      FixStream stream(route.points, {10.0 * 3600.0 / 1852.0, 10.0, 1.0, 0.0, 0.0, 1}, 0,
                       route.details);
      std::vector<Fix> fixes;
      for (Fix fix; stream.Next(fix);) fixes.push_back(fix);
      for (std::size_t i = 0, run = 1; i < fixes.size(); ++i, ++run) {
        if (i + 1 < fixes.size() && fixes[i + 1].speedKnots == fixes[i].speedKnots) continue;
        described += FormatFixed(fixes[i].speedKnots, 2) + "x" + std::to_string(run) + " ";
        run = 0;
      }
      described += "|";
      for (const std::size_t i : {std::size_t{0}, std::size_t{7}, fixes.size() - 1}) {
        described += " " + FormatFixed(fixes[i].altitudeMetres, 1);
      }
    }
    EXPECT_EQ(described, c.expected);
  }
}

// Over a pole, between antipodal points and along meridians the geodesic's azimuth can be -0: no
// course may print as -0.000, nor any other field carry a sign (the hemispheres are letters).
TEST(ReceiverCli, NoNegativeZeroOrOtherSignInAnySentence) {
  const char* const routes[] = {
      "0.1,89.9|180,89.9", "10,-89.9|-170,-89.9", "10,0.5|-170,-0.5",          "-170,-0.5|10,0.5",
      "20,10|-160,-10",    "5,0.5|5,10|5,0.5",    "179.9999,0.5|-179.9999,0.5"};
  test::TempDir dir;
  for (const char* route : routes) {
    std::string pois = route;
    std::replace(pois.begin(), pois.end(), '|', '\n');
    test::WriteFile(dir.File("route.csv"), pois + "\n");
    for (const char* noise : {"0", "5"}) {
      const test::CliRun run = test::InvokeCli(
          {"--speed", "900", "--period", "600", "--noise", noise, "--date", "2026-03-07",
           "--systems", "gps,glonass,galileo,beidou", "--nmea", "4.1", "--sentences",
           "RMC,GGA,GLL,VTG,GSA,GSV,ZDA,GNS", dir.File("route.csv"), "-"});
      ASSERT_EQ(run.status, kExitOk) << route << run.err;
      EXPECT_EQ(run.out.find('-'), std::string::npos)
          << route << " noise " << noise << ": "
          << run.out.substr(run.out.rfind('\n', run.out.find('-')) + 1, 90);
    }
  }
}

TEST(Receiver, ClosestOrderVisitsThePointsAsTheClosestOrderTrackDoes) {
  PoiList list;
  ASSERT_EQ(ReadPoiFile(std::string(WAYLOOM_TEST_DATA) + "/mixed.txt", list), PoiReadStatus::kOk);
  const std::vector<std::string> track =
      test::TrackLines(test::ReadFile(std::string(WAYLOOM_TEST_DATA) + "/mixed.closest.nmea"));
  const std::vector<GeoPoint> route = MakeReceiverRoute(list, true).points;
  ASSERT_EQ(2 * route.size(), track.size());
  for (std::size_t i = 0; i < route.size(); ++i) {
    std::string position;
    position += test::LatitudeField(FormatFixed(route[i].latitude, 15));
    position += test::LongitudeField(FormatFixed(route[i].longitude, 15));
    EXPECT_EQ(track[2 * i].substr(18, position.size()), position) << i;
  }
}

TEST(Route, TakesEveryPositionOnTheEarthAndNoOther) {
  EXPECT_EQ(RouteProblem({{90.0, 180.0}, {-90.0, -180.0}}), "");
  for (const GeoPoint& off : {GeoPoint{90.0001, 0.0}, GeoPoint{0.0, -180.0001}}) {
    EXPECT_NE(RouteProblem({{50.0, 8.0}, off}).find("point 2 of the route"), std::string::npos);
  }
}

// A sky of two systems' satellites in view and one system's none, by hand; its DOPs beyond what
// sentences print.
SkyView HandMadeSky(const std::vector<GnssSystem>& systems, bool lost) {
  const SatelliteInView all[] = {{GnssSystem::kGps, 2, 9.0, 12.0, 9, 12, 28, true, false},
                                 {GnssSystem::kGps, 5, 72.0, 48.0, 72, 48, 46, true, true},
                                 {GnssSystem::kGps, 13, 58.0, 301.0, 58, 301, 44, true, true},
                                 {GnssSystem::kGps, 15, 41.0, 132.0, 41, 132, 42, true, true},
                                 {GnssSystem::kGps, 18, 34.0, 226.0, 34, 226, 40, true, true},
                                 {GnssSystem::kGlonass, 70, 45.0, 100.0, 45, 100, 43, true, true},
                                 {GnssSystem::kGalileo, 11, 20.0, 200.0, 20, 200, 38, true, false}};
  SkyView sky;
  for (SatelliteInView satellite : all) {
    if (std::find(systems.begin(), systems.end(), satellite.system) == systems.end()) continue;
    if (lost) satellite.signalDbHz = 0, satellite.used = false;
    sky.usedCount += satellite.used ? 1 : 0;
    sky.satellites.push_back(satellite);
  }
  sky.hasFix = !lost;
  sky.hdop = lost ? 0.0 : 1.234;
  sky.vdop = lost ? 0.0 : 123.4;  // printed as receivers cap it
  sky.pdop = lost ? 0.0 : 123.406;
  return sky;
}

TEST(ReceiverSentences, EachKindInTheOrderAskedForItsSystemsVersionAndSky) {
  std::vector<SentenceKind> kinds;
  std::string problem;
  for (const char* bad : {"", "RMC,,GGA", "RMC,XYZ", "GGA,gga"}) {
    EXPECT_FALSE(ParseSentenceList(bad, kinds, problem)) << bad;
  }
  const std::vector<GnssSystem> four = {GnssSystem::kBeidou, GnssSystem::kGps, GnssSystem::kGalileo,
                                        GnssSystem::kGlonass};
  // clang-format off
  const struct {
    const char* kinds;
    std::vector<GnssSystem> systems;
    NmeaVersion version;
    bool lost;
    std::vector<const char*> expected;  // each without its checksum
    double altitudeMetres = kReportedAltitudeMetres;
  } cases[] = {
      {"rmc,GGA,GLL,VTG,GSA,GSV,ZDA,GNS", {GnssSystem::kGps}, NmeaVersion::k23, false,
       {"$GPRMC,010203.004,A,3351.40800,S,15112.91800,E,30.00,7.500,010127,,,A*",
        "$GPGGA,010203.004,3351.40800,S,15112.91800,E,1,04,1.23,00121,M,047,M,,*",
        "$GPGLL,3351.40800,S,15112.91800,E,010203.004,A,A*", "$GPVTG,7.500,T,,M,30.00,N,55.56,K,A*",
        "$GPGSA,A,3,05,13,15,18,,,,,,,,,99.99,1.23,99.99*",
        "$GPGSV,2,1,05,02,09,012,28,05,72,048,46,13,58,301,44,15,41,132,42*",
        "$GPGSV,2,2,05,18,34,226,40*", "$GPZDA,010203.004,01,01,2027,00,00*",
        "$GPGNS,010203.004,3351.40800,S,15112.91800,E,AN,04,1.23,00121,047,,*"}},
      {"RMC,GSA,GSV,GNS", four, NmeaVersion::k41, false,
       {"$GNRMC,010203.004,A,3351.40800,S,15112.91800,E,30.00,7.500,010127,,,A,S*",
        "$GPGSA,A,3,05,13,15,18,,,,,,,,,99.99,1.23,99.99,1*",
        "$GLGSA,A,3,70,,,,,,,,,,,,99.99,1.23,99.99,2*",
        "$GAGSA,A,3,,,,,,,,,,,,,99.99,1.23,99.99,3*", "$GBGSA,A,3,,,,,,,,,,,,,99.99,1.23,99.99,4*",
        "$GPGSV,2,1,05,02,09,012,28,05,72,048,46,13,58,301,44,15,41,132,42,1*",
        "$GPGSV,2,2,05,18,34,226,40,1*", "$GLGSV,1,1,01,70,45,100,43,1*",
        "$GAGSV,1,1,01,11,20,200,38,7*", "$GBGSV,1,1,00,1*",
        "$GNGNS,010203.004,3351.40800,S,15112.91800,E,AANN,05,1.23,00121,047,,,S*"}},
      {"RMC,GGA,GLL,VTG,GSA,GSV,ZDA,GNS", four, NmeaVersion::k23, true,
       {"$GNRMC,010203.004,V,,,,,,,010127,,,N*", "$GNGGA,010203.004,,,,,0,00,,,,,,,*",
        "$GNGLL,,,,,010203.004,V,N*", "$GNVTG,,T,,M,,N,,K,N*", "$GPGSA,A,1,,,,,,,,,,,,,,,*",
        "$GLGSA,A,1,,,,,,,,,,,,,,,*", "$GAGSA,A,1,,,,,,,,,,,,,,,*", "$GBGSA,A,1,,,,,,,,,,,,,,,*",
        "$GPGSV,2,1,05,02,09,012,,05,72,048,,13,58,301,,15,41,132,*", "$GPGSV,2,2,05,18,34,226,*",
        "$GLGSV,1,1,01,70,45,100,*", "$GAGSV,1,1,01,11,20,200,*", "$GBGSV,1,1,00*",
        "$GNZDA,010203.004,01,01,2027,00,00*", "$GNGNS,010203.004,,,,,NNNN,00,,,,,*"}},
      {"GSA,RMC", {GnssSystem::kGalileo, GnssSystem::kGps}, NmeaVersion::k23, false,
       {"$GPGSA,A,3,05,13,15,18,,,,,,,,,99.99,1.23,99.99*",
        "$GAGSA,A,3,,,,,,,,,,,,,99.99,1.23,99.99*",
        "$GNRMC,010203.004,A,3351.40800,S,15112.91800,E,30.00,7.500,010127,,,A*"}},
      {"GGA,GNS,RMC,GSA,GSV", {GnssSystem::kGlonass}, NmeaVersion::k41, true,
       {"$GLGGA,010203.004,,,,,0,00,,,,,,,*", "$GLGNS,010203.004,,,,,NN,00,,,,,,V*",
        "$GLRMC,010203.004,V,,,,,,,010127,,,N,V*", "$GLGSA,A,1,,,,,,,,,,,,,,,,2*",
        "$GLGSV,1,1,01,70,45,100,,1*"}},
      // A route file's elevation, to a decimetre and never -0.0.
      {"GGA,GNS",
       {GnssSystem::kGps},
       NmeaVersion::k23,
       false,
       {"$GPGGA,010203.004,3351.40800,S,15112.91800,E,1,04,1.23,0.0,M,047,M,,*",
        "$GPGNS,010203.004,3351.40800,S,15112.91800,E,AN,04,1.23,0.0,047,,*"},
       -0.04},
  };
  // clang-format on
  // 01:02:03.004 the next day, 33 51.408' S, 151 12.918' E.
  Fix fix{86400000 + 3723004, -33.856800001, 151.2153, 30.0, 7.5};
  for (const auto& c : cases) {
    fix.altitudeMetres = c.altitudeMetres;
    ASSERT_TRUE(ParseSentenceList(c.kinds, kinds, problem)) << problem;
    FixSentences sentences({kinds, c.systems, c.version}, CalendarDate{2026, 12, 31});
    const std::vector<std::string> lines =
        test::TrackLines(std::string(sentences.Build(fix, HandMadeSky(c.systems, c.lost))));
    ASSERT_EQ(lines.size(), c.expected.size()) << c.kinds;
    ASSERT_EQ(sentences.Count(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].substr(0, lines[i].size() - 2), c.expected[i]);
      EXPECT_TRUE(test::ChecksumHolds(lines[i])) << lines[i];
      EXPECT_EQ(sentences.Sentence(i), lines[i]);
    }
  }
}

TEST(ReceiverNoise, SmoothReproducibleAndOfTheSetSize) {
  const std::vector<GeoPoint> route = {{0.0, 10.0}, {0.0, 10.5}};  // on the equator, eastward
  const std::vector<Fix> clean = Travel(route, 30, 1);
  const std::vector<Fix> noisy = Travel(route, 30, 1, 0, 5.0, 7);
  ASSERT_EQ(clean.size(), noisy.size());
  double squares = 0.0;
  double stepSquares = 0.0;
  for (std::size_t i = 1; i < clean.size(); ++i) {
    const double north = (noisy[i].latitude - clean[i].latitude) * 110574.0;
    const double before = (noisy[i - 1].latitude - clean[i - 1].latitude) * 110574.0;
    squares += north * north;
    stepSquares += (north - before) * (north - before);
  }
  const auto n = static_cast<double>(clean.size());
  EXPECT_NEAR(std::sqrt(squares / n), 5.0, 1.0);
  EXPECT_LT(std::sqrt(stepSquares / n), 2.0);  // white noise of 5 m would jump 7 m a second
  EXPECT_EQ(Travel(route, 30, 1, 0, 5.0, 7)[500].latitude, noisy[500].latitude);
  EXPECT_NE(Travel(route, 30, 1, 0, 5.0, 8)[500].latitude, noisy[500].latitude);
}

// With noise the reported velocity is the true one less the position error over the correlation
// time (the rate at which the error fades): as inexact as the position and heading where it drifts,
// also while standing still.
TEST(ReceiverNoise, SpeedAndCourseCarryTheDriftOfThePositionError) {
  const std::vector<GeoPoint> route = {{50.0, 8.0}, {50.1, 8.2}, {50.1, 8.0}};
  const std::vector<Fix> clean = Travel(route, 30, 1, 20);
  const std::vector<Fix> noisy = Travel(route, 30, 1, 20, 5.0, 7);
  ASSERT_EQ(clean.size(), noisy.size());
  constexpr double kKnot = 1852.0 / 3600.0;
  std::size_t standing = 0;
  for (std::size_t i = 0; i < clean.size(); ++i) {
    double azimuth = 0.0;
    const double error = Metres(clean[i].latitude, clean[i].longitude, noisy[i].latitude,
                                noisy[i].longitude, azimuth);
    const double course = clean[i].courseDegrees * kDegree;
    const double east = clean[i].speedKnots * kKnot * std::sin(course) -
                        error * std::sin(azimuth * kDegree) / ReceiverNoise::kCorrelationSeconds;
    const double north = clean[i].speedKnots * kKnot * std::cos(course) -
                         error * std::cos(azimuth * kDegree) / ReceiverNoise::kCorrelationSeconds;
    EXPECT_NEAR(noisy[i].speedKnots, std::sqrt(east * east + north * north) / kKnot, 1e-6) << i;
    double expected = std::atan2(east, north) / kDegree;
    if (expected < 0.0) expected += 360.0;
    EXPECT_NEAR(std::remainder(noisy[i].courseDegrees - expected, 360.0), 0.0, 1e-5) << i;
    if (clean[i].speedKnots == 0.0) {
      ++standing;
      EXPECT_GT(noisy[i].speedKnots, 0.0) << i;
    }
  }
  EXPECT_GT(standing, 40u);
}

// Each setting's check is the settings table's; here a few reach the command line, which writes
// nothing for them.
TEST(ReceiverCli, RefusesBadValuesBeforeWritingAnythingAndReadsSpeedUnits) {
  test::TempDir dir;
  for (const char* refused :
       {"--speed 0", "--dwell 5", "--speed 1 --extra", "--speed 1 --udp 127.0.0.1:0"}) {
    std::istringstream words(refused);
    std::vector<std::string> arguments{std::istream_iterator<std::string>(words), {}};
    arguments.insert(arguments.end(), {kSample, dir.File("track.nmea")});
    EXPECT_EQ(test::InvokeCli(arguments).status, 2) << refused;
    EXPECT_FALSE(std::filesystem::exists(dir.File("track.nmea"))) << refused;
  }
  for (const char* speed : {"55.56 km/h", "34.5234mph"}) {  // 30 knots
    const test::CliRun good =
        test::InvokeCli({"--speed", speed, "--date", "2026-03-07", kSample, "-"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out.substr(0, 76),
              "$GPRMC,010000.000,A,5557.19800,N,00311.29800,W,30.00,257.356,070326,,,A*7C\r\n");
  }
}

// Sources and settings at the edges, each with one outcome and a clear message (the summary counts
// points read, fixes and sentences written): one point is a receiver standing there; a point
// without a coordinate or an almanac that does not read is refused with its line, before DEST is
// touched; a track that would pass the last date RMC's two-digit year carries ends there, and says
// so.
TEST(ReceiverCli, EdgesOfTheSourceTheAlmanacAndTheDateHaveOneOutcomeEach) {
  test::TempDir dir;
  std::string badAlmanac = test::ReadFile(WAYLOOM_TEST_DATA "/almanac/sample.yuma");
  badAlmanac.replace(badAlmanac.find("Health:"), 7, "Hearth:");
  test::WriteFile(dir.File("bad.alm"), badAlmanac);
  const std::string dest = dir.File("t.nmea");
  // A receiver standing at its point: at rest, its fix made at once.
  const std::string atRest = "$GPRMC,010000.000,A,5557.00000,N,00311.40000,W,0.00,0.000,070326";
  // clang-format off
  const struct {
    std::string pois;
    std::vector<std::string> options;
    int status;
    std::string message;
    std::size_t fixes;    // RMC sentences in DEST; none: DEST not made
    std::string inTrack;  // and a text they hold
  } cases[] = {
      {"-3.19,55.95,Edinburgh\n", {}, kExitOk, "1 points read, 1 fixes, ", 1, atRest},
      {"-3.19,55.95,Edinburgh\n", {"--dwell", "2"}, kExitOk,
       "1 points read, 3 fixes, 21 sentences written to", 3, atRest},
      {"longitude,latitude\n", {}, kExitOk, "no track: 0 points read", 0, ""},
      {"-3.19,55.95\n,56.0,-3.2,Nowhere\n", {}, kExitError,
       "point 2 (line 2) has no longitude: a receiver needs both coordinates of every point\n" +
           dir.File("pois.csv"), 0, ""},
      {"longitude,latitude\n-3.19,55.95\n-3.2,,56.1,Somewhere\n", {"--reorder"}, kExitError,
       "point 2 (line 3) has no latitude", 0, ""},
      {"-3.19,55.95\n", {"--almanac", dir.File("none.alm")}, kExitError,
       "cannot open the almanac '" + dir.File("none.alm") + "'\nno such file or folder", 0, ""},
      {"-3.19,55.95\n", {"--almanac", dir.File("bad.alm")}, kExitError,
       "line 3: 'Health:' was expected", 0, ""},
      {"-3.19,55.95\n", {"--almanac", WAYLOOM_TEST_DATA "/almanac/sample.sem"}, kExitOk,
       "1 points read, 1 fixes, ", 1, "$GPRMC,010000.000,"},
      {"-3.19,55.95\n-3.2,55.96\n", {"--date", "2079-12-31", "--start", "23:59:58"}, kExitOk,
       "the track ends at 2079-12-31 23:59:59.999 UTC", 2, "$GPRMC,235959.000,A,"},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pois + ::testing::PrintToString(c.options));
    test::WriteFile(dir.File("pois.csv"), c.pois);
    std::filesystem::remove(dest);
    std::vector<std::string> arguments = {"--speed", "30", "--date", "2026-03-07"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.insert(arguments.end(), {dir.File("pois.csv"), dest});
    const test::CliRun run = test::InvokeCli(arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    if (c.status != kExitOk) {
      EXPECT_FALSE(std::filesystem::exists(dest));
      continue;
    }
    EXPECT_EQ(run.err.find("no track") == std::string::npos, c.fixes > 0) << run.err;
    const std::string track = test::ReadFile(dest);
    std::size_t fixes = 0;
    for (const std::string& line : test::TrackLines(track)) fixes += line.find("RMC,") == 3;
    EXPECT_EQ(fixes, c.fixes);
    EXPECT_NE(track.find(c.inTrack), std::string::npos) << track;
  }
}

TEST(ReceiverCli, SendsEachFixAsOneDatagramHoldingExactlyItsSentencesEvenToBroadcast) {
  // To the loopback network's broadcast address: a broadcast that never leaves the machine.
  const int listener = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(0x7FFFFFFF);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  test::TempDir dir;
  const test::CliRun run = test::InvokeCli(
      {"--speed", "2000", "--period", "10", "--speedup", "1e6", "--quiet", "--udp",
       "127.255.255.255:" + std::to_string(ntohs(address.sin_port)), kSample, dir.File("t.nmea")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string joined;
  std::size_t datagrams = 0;
  char buffer[4096];
  for (ssize_t got; (got = recv(listener, buffer, sizeof buffer, MSG_DONTWAIT)) > 0; ++datagrams) {
    const std::string datagram(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(datagram.rfind("$GPRMC,"), 0u);  // one fix, whole
    joined += datagram;
  }
  close(listener);
  EXPECT_GT(datagrams, 5u);
  EXPECT_EQ(joined, test::ReadFile(dir.File("t.nmea")));
}

// A source without points is no track, looped or not: the command ends at once.
TEST(ReceiverCli, ALoopOverNoPointsEndsAtOnce) {
  test::TempDir dir;
  test::WriteFile(dir.File("none.csv"), "longitude,latitude,description\n");
  test::CliProcess cli(dir,
                       {"--speed", "30", "--loop", "--udp", "127.0.0.1:9", dir.File("none.csv")});
  EXPECT_EQ(cli.Wait(), kExitOk) << cli.Err();
  EXPECT_NE(cli.Err().find("no track: 0 points"), std::string::npos) << cli.Err();
}

}  // namespace
}  // namespace wayloom
