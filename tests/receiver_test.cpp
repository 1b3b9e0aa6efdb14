// Receiver mode: motion along the route, its sentences, its noise, and its command line.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "track/fix_sentences.h"
#include "track/nmea.h"
#include "track/number_text.h"
#include "track/receiver.h"
#include "track/route.h"

namespace wayloom {
namespace {

using test::InvokeCli;
using test::TempDir;

std::vector<Fix> Travel(const std::vector<GeoPoint>& route, double knots, double period,
                        double dwell = 0.0, double noise = 0.0, std::uint64_t seed = 1) {
  ReceiverMotion motion;
  motion.speedKnots = knots;
  motion.speedMetresPerSecond = knots * 1852.0 / 3600.0;
  motion.periodSeconds = period;
  motion.dwellSeconds = dwell;
  motion.noiseMetres = noise;
  motion.seed = seed;
  FixStream stream(route, motion, 3600000);
  std::vector<Fix> fixes;
  for (Fix fix; stream.Next(fix);) fixes.push_back(fix);
  return fixes;
}

double Metres(double lat1, double lon1, double lat2, double lon2, double* azimuth = nullptr) {
  double s12 = 0.0;
  double azi1 = 0.0;
  double azi2 = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12, azi1, azi2);
  if (azimuth) *azimuth = azi1 < 0 ? azi1 + 360.0 : azi1;
  return s12;
}

TEST(Receiver, MovesSpeedTimesPeriodAlongTheGeodesicAndPassesEveryPoint) {
  struct Case {
    const char* what;
    std::vector<GeoPoint> route;
    double knots, period, dwell;
    std::size_t fixes;  // expected count, 0: not checked
  };
  const Case cases[] = {
      {"a few stretches",
       {{55.95, -3.19}, {56.1, -3.4}, {56.1, -3.2}, {57.47, -4.22}},
       300,
       7,
       0,
       0},
      {"the short way across 180", {{10.0, 179.9999}, {10.0, -179.9999}}, 54, 1, 0, 2},
      {"over the pole", {{89.9, 0.0}, {89.9, 180.0}}, 100, 10, 0, 0},
      {"a repeated point", {{55.95, -3.19}, {55.95, -3.19}, {56.0, -3.19}}, 60, 5, 0, 0},
      {"dwelling 20 s", {{55.95, -3.19}, {56.0, -3.19}, {56.0, -3.0}}, 60, 5, 20, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Fix> fixes = Travel(c.route, c.knots, c.period, c.dwell);
    ASSERT_GE(fixes.size(), 2u);
    if (c.fixes) {
      EXPECT_EQ(fixes.size(), c.fixes);
    }
    const double spacing = c.knots * 1852.0 / 3600.0 * c.period;
    std::size_t standing = 0;
    std::size_t shortGaps = 0;  // across a point, where the chord is shorter than the path
    for (std::size_t i = 0; i + 1 < fixes.size(); ++i) {
      const Fix& a = fixes[i];
      const Fix& b = fixes[i + 1];
      const bool last = i + 2 == fixes.size();
      EXPECT_TRUE(last ? b.clockMs - a.clockMs <= std::llround(c.period * 1000)
                       : b.clockMs - a.clockMs == std::llround(c.period * 1000))
          << i;
      EXPECT_EQ(a.speedKnots, a.speedKnots == 0.0 ? 0.0 : c.knots);
      if (a.speedKnots == 0.0) {
        ++standing;
        continue;
      }
      double azimuth = 0.0;
      const double metres = Metres(a.latitude, a.longitude, b.latitude, b.longitude, &azimuth);
      EXPECT_LE(metres, spacing * 1.000001) << i;
      if (metres > spacing * 0.999999) {
        EXPECT_NEAR(std::remainder(azimuth - a.courseDegrees, 360.0), 0.0, 0.001) << i;
      } else {
        ++shortGaps;
      }
    }
    EXPECT_LE(shortGaps, c.route.size());
    EXPECT_NEAR(static_cast<double>(standing), 3 * c.dwell / c.period, 1.0);
    for (const GeoPoint& p : c.route) {
      double nearest = 1e300;
      for (const Fix& f : fixes) {
        nearest = std::min(nearest, Metres(p.latitude, p.longitude, f.latitude, f.longitude));
      }
      EXPECT_LE(nearest, spacing / 2) << p.latitude << "," << p.longitude;
    }
    EXPECT_EQ(fixes.back().latitude, c.route.back().latitude);
  }
}

TEST(Receiver, ARepeatedPointAddsNoTimeNotEvenItsDwell) {
  const GeoPoint a{55.95, -3.19};
  const GeoPoint b{56.0, -3.19};
  EXPECT_EQ(Travel({a, a, b, b}, 60, 5, 20).size(), Travel({a, b}, 60, 5, 20).size());
}

TEST(Receiver, ClosestOrderVisitsThePointsAsTheClosestOrderTrackDoes) {
  PoiList list;
  ASSERT_EQ(ReadPoiFile(std::string(WAYLOOM_TEST_DATA) + "/mixed.txt", list), PoiReadStatus::kOk);
  const std::vector<std::string> track =
      test::TrackLines(test::ReadFile(std::string(WAYLOOM_TEST_DATA) + "/mixed.closest.nmea"));
  const std::vector<GeoPoint> route = VisitingOrder(list, true);
  ASSERT_EQ(2 * route.size(), track.size());
  for (std::size_t i = 0; i < route.size(); ++i) {
    std::string position;
    FormatLatitude(FormatFixed(route[i].latitude, 15), position);
    FormatLongitude(FormatFixed(route[i].longitude, 15), position);
    EXPECT_EQ(track[2 * i].substr(18, position.size()), position) << i;
  }
  const std::vector<GeoPoint> fileOrder = VisitingOrder(list, false);
  EXPECT_FALSE(std::equal(route.begin(), route.end(), fileOrder.begin(),
                          [](const GeoPoint& a, const GeoPoint& b) {
                            return a.latitude == b.latitude && a.longitude == b.longitude;
                          }));
}

TEST(ReceiverSentences, EachKindInTheOrderAskedDatedByTheFixsDay) {
  std::vector<SentenceKind> kinds;
  std::string problem;
  ASSERT_TRUE(ParseSentenceList("zda,RMC,GGA,GLL,VTG,GSA,GSV", kinds, problem));
  CalendarDate date;
  date.year = 2026, date.month = 12, date.day = 31;
  FixSentences sentences(kinds, date);
  Fix fix;
  fix.clockMs = 86400000 + 3723004;  // 01:02:03.004 the next day
  fix.latitude = -33.856800001;
  fix.longitude = 151.2153;
  fix.speedKnots = 30.0;
  fix.courseDegrees = 7.5;
  const std::string text(sentences.Build(fix));
  const char* const expected[] = {
      "$GPZDA,010203.004,01,01,2027,00,00*",
      "$GPRMC,010203.004,A,3351.40800,S,15112.91800,E,30.00,7.500,010127,,*",
      "$GPGGA,010203.004,3351.40800,S,15112.91800,E,1,07,1.25,00121,M,047,M,,*",
      "$GPGLL,3351.40800,S,15112.91800,E,010203.004,A,A*",
      "$GPVTG,7.500,T,,M,30.00,N,55.56,K,A*",
      "$GPGSA,A,3,05,13,15,18,20,24,29,,,,,,2.19,1.25,1.80*",
      "$GPGSV,3,1,10,05,72,048,46,13,58,301,44,15,41,132,42,18,34,226,40*",
      "$GPGSV,3,2,10,20,27,071,38,24,19,178,36,29,23,265,37,02,09,012,28*",
      "$GPGSV,3,3,10,10,06,340,24,31,04,110,21*"};
  const std::vector<std::string> lines = test::TrackLines(text);
  ASSERT_EQ(lines.size(), std::size(expected));
  ASSERT_EQ(sentences.Count(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, lines[i].size() - 2), expected[i]);
    EXPECT_TRUE(test::ChecksumHolds(lines[i])) << lines[i];
    EXPECT_EQ(sentences.Sentence(i), lines[i]);
  }
  for (const char* bad : {"", "RMC,,GGA", "RMC,XYZ", "GGA,gga"}) {
    EXPECT_FALSE(ParseSentenceList(bad, kinds, problem)) << bad;
  }
}

TEST(ReceiverNoise, SmoothReproducibleAndOfTheSetSize) {
  const std::vector<GeoPoint> route = {{0.0, 10.0}, {0.0, 10.5}};  // on the equator, eastward
  const std::vector<Fix> clean = Travel(route, 30, 1);
  const std::vector<Fix> noisy = Travel(route, 30, 1, 0, 5.0, 7);
  ASSERT_EQ(clean.size(), noisy.size());
  double sumSquares = 0.0;
  double stepSquares = 0.0;
  double northBefore = 0.0;
  for (std::size_t i = 0; i < clean.size(); ++i) {
    const double north = (noisy[i].latitude - clean[i].latitude) * 110574.0;
    sumSquares += north * north;
    if (i > 0) stepSquares += (north - northBefore) * (north - northBefore);
    northBefore = north;
  }
  EXPECT_NEAR(std::sqrt(sumSquares / static_cast<double>(clean.size())), 5.0, 1.0);
  // White noise of 5 m would jump about 7 m from second to second.
  EXPECT_LT(std::sqrt(stepSquares / static_cast<double>(clean.size())), 2.0);
  EXPECT_EQ(Travel(route, 30, 1, 0, 5.0, 7)[500].latitude, noisy[500].latitude);
  EXPECT_NE(Travel(route, 30, 1, 0, 5.0, 8)[500].latitude, noisy[500].latitude);
}

TEST(ReceiverCli, RefusesBadValuesBeforeWritingAnything) {
  TempDir dir;
  const std::string source = std::string(WAYLOOM_EXAMPLES) + "/a9-edinburgh-inverness.csv";
  const std::string dest = dir.File("track.nmea");
  const std::vector<std::vector<std::string>> cases = {
      {"--speed", "0"},
      {"--speed", "-3"},
      {"--speed", "inf"},
      {"--speed", "30 knots"},
      {"--speed", "0", "--dwell", "5"},
      {"--speed", "30", "--period", "0"},
      {"--speed", "30", "--period", "-1"},
      {"--speed", "30", "--sentences", "RMC,GSX"},
      {"--speed", "30", "--start", "24:00:00"},
      {"--speed", "30", "--start", "12:60:00"},
      {"--speed", "30", "--date", "2026-02-29"},
      {"--speed", "30", "--extra"},
      {"--speed", "30", "--step", "50"},
      {"--speed", "30", "--noise", "-1"},
      {"--speed", "30", "--udp", "127.0.0.1:0"},
      {"--dwell", "5"},
      {"--speed", "30", "--start", "now", "--date", "2026-03-07"},
  };
  for (std::vector<std::string> arguments : cases) {
    arguments.push_back(source);
    arguments.push_back(dest);
    const test::CliRun run = InvokeCli(arguments);
    EXPECT_EQ(run.status, 2) << arguments[0] << " " << arguments[1] << ": " << run.err;
    EXPECT_FALSE(std::ifstream(dest).good()) << arguments[1];
  }
  const test::CliRun good =
      InvokeCli({"--speed", "55.56 km/h", "--date", "2026-03-07", "--quiet", source, "-"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out.substr(0, 74),
            "$GPRMC,010000.000,A,5557.19800,N,00311.29800,W,30.00,257.356,070326,,*11\r\n");
}

TEST(ReceiverCli, SendsEachFixAsOneDatagramHoldingExactlyItsSentencesEvenToBroadcast) {
  // The loopback network's broadcast address: a broadcast that never leaves the machine.
  const int listener = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(0x7FFFFFFF);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string udp = "127.255.255.255:" + std::to_string(ntohs(address.sin_port));

  TempDir dir;
  const std::string source = std::string(WAYLOOM_EXAMPLES) + "/a9-edinburgh-inverness.csv";
  const test::CliRun run = InvokeCli({"--speed", "2000", "--period", "10", "--udp", udp,
                                      "--speedup", "1e6", "--quiet", source, dir.File("t.nmea")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string joined;
  std::size_t datagrams = 0;
  char buffer[4096];
  for (ssize_t got; (got = recv(listener, buffer, sizeof buffer, MSG_DONTWAIT)) > 0; ++datagrams) {
    const std::string datagram(buffer, static_cast<std::size_t>(got));
    EXPECT_EQ(datagram.rfind("$GPRMC,", 0), 0u);
    EXPECT_EQ(datagram.find("$GPRMC,", 1), std::string::npos);
    joined += datagram;
  }
  close(listener);
  EXPECT_GT(datagrams, 5u);
  EXPECT_EQ(joined, test::ReadFile(dir.File("t.nmea")));
}

}  // namespace
}  // namespace wayloom
