// GPS almanacs: the YUMA and SEM forms of one almanac read alike, their satellites stand where
// Kepler's laws put them, an unhealthy one is never used, and every problem names its line.
#include <GeographicLib/Geocentric.hpp>

#include "motion/sky.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

constexpr double kPi = 3.14159265358979323846;
const std::string kAlmanacs = WAYLOOM_TEST_DATA "/almanac/";
const std::int64_t kMarch2026 = UtcMsOf({2026, 3, 7}, 0);
// The samples' week 160 is given modulo 1024: nearest March 2026 it is week 2208, April 2022.
const double kSamplesToa = 2208 * 604800.0 + 405504.0;

std::vector<AlmanacRecord> Parsed(const std::string& file) {
  std::vector<AlmanacRecord> records;
  std::string problem;
  EXPECT_TRUE(ParseAlmanac(test::ReadFile(kAlmanacs + file), records, problem)) << problem;
  return records;
}

// The same satellites in both forms, their places a day apart the same to a millimetre.
TEST(Almanac, YumaAndSemFormsOfOneAlmanacReadAlike) {
  const std::vector<AlmanacRecord> yuma = Parsed("sample.yuma");
  const std::vector<AlmanacRecord> sem = Parsed("sample.sem");
  ASSERT_EQ(yuma.size(), 5u);
  ASSERT_EQ(sem.size(), 5u);
  const std::vector<SatelliteOrbit> fromYuma = OrbitsFromAlmanac(yuma, kSamplesToa);
  const std::vector<SatelliteOrbit> fromSem = OrbitsFromAlmanac(sem, kSamplesToa);
  for (std::size_t i = 0; i < yuma.size(); ++i) {
    EXPECT_EQ(fromSem[i].id, fromYuma[i].id);
    EXPECT_EQ(fromSem[i].healthy, fromYuma[i].healthy);
    for (const double hours : {0, 24}) {
      const EcefMetres a = PositionAt(fromYuma[i].elements, kSamplesToa + hours * 3600);
      const EcefMetres b = PositionAt(fromSem[i].elements, kSamplesToa + hours * 3600);
      EXPECT_LT(std::hypot(a.x - b.x, a.y - b.y, a.z - b.z), 0.001) << fromYuma[i].id;
    }
  }
  EXPECT_EQ(yuma[3].prn, 12);
  EXPECT_EQ(yuma[3].health, 63);
  EXPECT_EQ(sem[4].eccentricity, 0.0093);
}

// Kepler's laws by hand, at eccentric anomalies E whose place is known: radius a(1 - e cos E),
// true anomaly 0, 90 or 180 degrees (90 where cos E = e), height above the equator r sin u sin i
// with u the true anomaly plus the argument of perigee. PRN 1 flies a circle and passes its node at
// the time of applicability, where the Earth has turned its node by the time into the week; PRN
// 2 an ellipse (e 0.01) with its perigee 90 degrees past the node.
TEST(Almanac, SatellitesStandWhereKeplersLawsPutThem) {
  const std::vector<AlmanacRecord> records = Parsed("sample.yuma");
  const std::vector<SatelliteOrbit> orbits =
      OrbitsFromAlmanac(records, GpsSecondsFromUtcMs(kMarch2026));
  ASSERT_EQ(orbits.size(), 5u);
  struct Case {
    std::size_t index;
    double eccentricAnomaly, radius, argumentOfLatitude;  // radius in semi-major axes
  };
  const Case cases[] = {
      {0, 0, 1, 0},
      {0, kPi / 2, 1, kPi / 2},
      {1, 0, 0.99, kPi / 2},
      {1, kPi, 1.01, 1.5 * kPi},
      {1, std::acos(0.01), 1 - 0.01 * 0.01, kPi},
  };
  for (const Case& c : cases) {
    const AlmanacRecord& record = records[c.index];
    const double a = record.sqrtSemiMajorAxis * record.sqrtSemiMajorAxis;
    const double meanMotion = std::sqrt(3.986005e14 / (a * a * a));
    const double e = record.eccentricity;
    const double t =
        kSamplesToa + (c.eccentricAnomaly - e * std::sin(c.eccentricAnomaly)) / meanMotion;
    const EcefMetres at = PositionAt(orbits[c.index].elements, t);
    EXPECT_NEAR(std::sqrt(at.x * at.x + at.y * at.y + at.z * at.z), c.radius * a, 0.01);
    EXPECT_NEAR(at.z,
                c.radius * a * std::sin(c.argumentOfLatitude) * std::sin(record.inclinationRadians),
                0.01);
  }
  const EcefMetres node = PositionAt(orbits[0].elements, kSamplesToa);
  EXPECT_NEAR(std::remainder(std::atan2(node.y, node.x) - 1.0 + 7.2921151467e-5 * 405504, 2 * kPi),
              0, 1e-12);
  EXPECT_EQ(OrbitsFromAlmanac(records, 1000 * 604800.0)[0].elements.epochGpsSeconds,
            1184 * 604800.0 + 405504.0);
}

TEST(Almanac, ItsGpsSatellitesReplaceTheNominalOnesAndTheUnhealthyOneIsNeverUsed) {
  SkySettings settings;
  settings.systems = {GnssSystem::kGalileo, GnssSystem::kGps};
  Sky sky(settings, Parsed("sample.sem"), kMarch2026);
  ASSERT_EQ(sky.Satellites().size(), 5u + 24u);
  EXPECT_EQ(sky.Satellites()[4].id, 31);
  EXPECT_EQ(sky.Satellites()[5].system, GnssSystem::kGalileo);
  // Right under PRN 12 at the time of applicability (GPS time is 18 s ahead of UTC in 2022).
  const EcefMetres at = PositionAt(sky.Satellites()[3].elements, kSamplesToa);
  double lat = 0, lon = 0, h = 0;
  GeographicLib::Geocentric::WGS84().Reverse(at.x, at.y, at.z, lat, lon, h);
  SkyView view;
  sky.Compute({lat, lon, 0}, 315964800000 + std::llround((kSamplesToa - 18) * 1000), view);
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

// A sample almanac with line `line` (from 1) replaced by `text`, or taken out when text is null.
std::string Edited(const std::string& file, std::size_t line, const char* text) {
  std::vector<std::string> lines = test::Split(test::ReadFile(kAlmanacs + file), "\n");
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(line - 1));
  if (text != nullptr) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(line - 1), text);
  std::string joined;
  for (const std::string& l : lines) joined += l + "\n";
  return joined;
}

TEST(Almanac, EveryProblemNamesItsLine) {
  const std::string yuma = test::ReadFile(kAlmanacs + "sample.yuma");
  const std::pair<std::string, std::string> cases[] = {
      {"\n \r\n", "the almanac is empty"},
      {"\nAlmanac of week 160\n",
       "line 2: not a GPS almanac: YUMA begins with a line of stars, SEM with a number"},
      {Edited("sample.yuma", 2, "ID:  40"), "line 2: PRN '40' is not a GPS PRN (1 to 32)"},
      {Edited("sample.yuma", 3, nullptr), "line 3: 'Health:' was expected"},
      {Edited("sample.yuma", 4, "Eccentricity:  1.5"),
       "line 4: eccentricity '1.5' is not that of an orbit (0 to below 1)"},
      {Edited("sample.yuma", 8, "SQRT(A)  (m 1/2):  2000"),
       "line 8: SQRT(A) '2000' gives no orbit clear of the Earth"},
      {Edited("sample.yuma", 15, "PRN 02 follows"),
       "line 15: a line of stars that starts a satellite was expected"},
      {Edited("sample.yuma", 17, "ID:  1"), "line 17: PRN 1 is given twice"},
      {yuma.substr(0, yuma.find("Orbital")),
       "line 5: the file ends where 'Orbital Inclination:' was expected"},
      {Edited("sample.sem", 1, "0 EMPTY.ALM"),
       "line 1: the number of satellites (1 to 32) was expected, not '0'"},
      {Edited("sample.sem", 7, "1E-2 0.0 -2.5E-09"), "line 7: 4 values expected, 3 found"},
      {Edited("sample.sem", 7, "0.0 0.8 -2.5E-09 5153.6"),
       "line 7: inclination '0.8' is not from 0 to 180 degrees"},
      {Edited("sample.sem", 13, "1"), "line 13: PRN 1 is given twice"},
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
  test::WriteFile(dir.File("big.alm"), std::string(kLargestAlmanacBytes + 1, '\n'));
  EXPECT_FALSE(ReadAlmanacFile(dir.File("big.alm"), records, problem, reason));
  EXPECT_EQ(problem,
            "the almanac '" + dir.File("big.alm") + "' is larger than 1 MiB: not an almanac");
}

}  // namespace
}  // namespace wayloom
