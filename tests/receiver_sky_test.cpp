// Receiver mode under a real sky, read back from the command line's sentences as a reader reads
// them: each fix's GGA, GSA and GSV describe one sky, whose DOPs the textbook formula (written in
// the tests, not taken from the product) finds in GSA; an outage loses the fix and the fix comes
// back where the receiver really is. (That satellites rise and set is the sky's test, and gpsd's.)
#include <map>

#include "tests/test_support.h"

namespace wayloom {
namespace {

const std::string kSample = std::string(WAYLOOM_EXAMPLES) + "/a9-edinburgh-inverness.csv";
const std::string kData = WAYLOOM_TEST_DATA "/";

using SatelliteKey = std::pair<int, int>;  // system (0 GPS, 1 GLONASS, 2 Galileo, 3 BeiDou), id

struct InView {
  int elevation = 0;
  int azimuth = 0;
  std::string signal;  // empty: no signal
};

// One fix as its sentences tell it.
struct FixReport {
  std::vector<std::string> lines;
  bool valid = false;  // RMC status A
  std::string ggaCount;
  std::string ggaHdop;
  std::map<SatelliteKey, InView> inView;
  std::vector<SatelliteKey> used;                   // as the GSA sentences list them
  std::vector<std::vector<std::string>> gsaFields;  // of each GSA sentence
};

int SystemOfTalker(std::string_view talker) {
  const std::string_view talkers[] = {"GP", "GL", "GA", "GB"};
  const auto* found = std::find(std::begin(talkers), std::end(talkers), talker);
  return found == std::end(talkers) ? -1 : static_cast<int>(found - std::begin(talkers));
}

// The fields of a sentence without its checksum; the first is "$GPGSA" and the like.
std::vector<std::string> Fields(const std::string& line) {
  return test::Split(std::string_view(line).substr(0, line.find('*')));
}

void ReadGsv(const std::vector<std::string>& fields, FixReport& fix) {
  const int system = SystemOfTalker(fields[0].substr(1, 2));
  ASSERT_GE(system, 0) << fields[0];
  // Four fields a satellite after the first four; 4.1 adds the signal ID at the end.
  for (std::size_t i = 4; i + 4 <= fields.size(); i += 4) {
    fix.inView[{system, std::stoi(fields[i])}] = {std::stoi(fields[i + 1]),
                                                  std::stoi(fields[i + 2]), fields[i + 3]};
  }
}

void ReadGsa(const std::vector<std::string>& fields, FixReport& fix) {
  // 4.1 names the system by the system ID after the DOPs as well as by the talker.
  const int system = SystemOfTalker(fields[0].substr(1, 2));
  ASSERT_GE(system, 0) << fields[0];
  if (fields.size() == 19) {
    EXPECT_EQ(std::stoi(fields[18]), system + 1) << fields[0];
  }
  for (std::size_t i = 3; i < 15; ++i) {
    if (!fields[i].empty()) fix.used.push_back({system, std::stoi(fields[i])});
  }
  fix.gsaFields.push_back(fields);
}

// The fixes of a track, each starting at its RMC sentence.
std::vector<FixReport> ReadFixes(const std::string& track) {
  std::vector<FixReport> fixes;
  for (const std::string& line : test::TrackLines(track)) {
    const std::vector<std::string> fields = Fields(line);
    const std::string type = fields[0].substr(3);
    if (type == "RMC") {
      fixes.emplace_back();
      fixes.back().valid = fields[2] == "A";
    }
    if (fixes.empty()) continue;
    FixReport& fix = fixes.back();
    fix.lines.push_back(line);
    if (type == "GGA") {
      fix.ggaCount = fields[7];
      fix.ggaHdop = fields[8];
    } else if (type == "GSV") {
      ReadGsv(fields, fix);
    } else if (type == "GSA") {
      ReadGsa(fields, fix);
    }
  }
  return fixes;
}

std::string Track(std::vector<std::string> options, const std::string& source = kSample) {
  std::vector<std::string> arguments{"--quiet", "--date", "2026-03-07", "--sentences",
                                     "RMC,GGA,GSA,GSV,VTG,GLL"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  arguments.insert(arguments.end(), {source, "-"});
  const test::CliRun run = test::InvokeCli(arguments);
  EXPECT_EQ(run.status, kExitOk) << run.err;
  return run.out;
}

// Whether a printed DOP is the computed one, rounded to two decimals (99.99 stands for any above).
bool PrintedAs(const std::string& printed, double dop) {
  const double value = ParseDecimal(printed);
  return value == 99.99 ? dop >= 99.985 : std::fabs(value - dop) <= 0.005 + 1e-9;
}

void ExpectOneSky(const FixReport& fix) {
  ASSERT_TRUE(fix.valid);
  EXPECT_EQ(std::stoi(fix.ggaCount), static_cast<int>(fix.used.size()));
  std::vector<std::array<double, 2>> directions;
  for (const SatelliteKey& key : fix.used) {
    const auto seen = fix.inView.find(key);
    ASSERT_NE(seen, fix.inView.end()) << key.first << " " << key.second << " used, not in view";
    EXPECT_FALSE(seen->second.signal.empty()) << key.second << " used without a signal";
    directions.push_back({1.0 * seen->second.elevation, 1.0 * seen->second.azimuth});
  }
  const std::vector<double> dops = test::TextbookDops(directions);  // HDOP, VDOP, PDOP
  ASSERT_EQ(dops.size(), 3u) << fix.lines[0];
  EXPECT_TRUE(PrintedAs(fix.ggaHdop, dops[0])) << fix.ggaHdop << " " << dops[0];
  for (const std::vector<std::string>& gsa : fix.gsaFields) {
    EXPECT_EQ(gsa[2], "3");
    EXPECT_TRUE(PrintedAs(gsa[15], dops[2]) && PrintedAs(gsa[16], dops[0]) &&
                PrintedAs(gsa[17], dops[1]))
        << gsa[15] << "," << gsa[16] << "," << gsa[17] << " for " << dops[2] << "," << dops[0]
        << "," << dops[1];
  }
}

// The satellites that GSA lists, at their GSV directions, give GSA's and GGA's DOPs: for one
// system and four, both versions, an almanac, a high mask, and near the pole.
TEST(ReceiverSky, EachFixsDopsAreTheGeometryOfTheSatellitesGsaListsAtTheirGsvDirections) {
  test::TempDir dir;
  test::WriteFile(dir.File("pole.csv"), "0.1,89.5\n120,89.5\n-120,89.5\n0.1,89.5\n");
  const struct {
    std::vector<std::string> options;
    std::string source;
    std::size_t systems;
  } cases[] = {
      {{"--speed", "30", "--period", "60"}, kSample, 1},
      {{"--speed", "30", "--period", "60", "--systems", "gps,glonass,galileo,beidou", "--nmea",
        "4.1"},
       kSample,
       4},
      {{"--speed", "30", "--period", "60", "--systems", "beidou,glonass", "--mask", "15"},
       kSample,
       2},
      {{"--speed", "30", "--period", "60", "--almanac", kData + "almanac/sample.yuma", "--systems",
        "galileo,gps", "--nmea", "4.1"},
       kSample,
       2},
      {{"--speed", "300", "--period", "20", "--systems", "gps,galileo"}, dir.File("pole.csv"), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    const std::vector<FixReport> fixes = ReadFixes(Track(c.options, c.source));
    ASSERT_GT(fixes.size(), 50u);
    std::set<std::string> dops;
    for (const FixReport& fix : fixes) {
      ASSERT_EQ(fix.gsaFields.size(), c.systems);
      ExpectOneSky(fix);
      dops.insert(fix.gsaFields[0][15]);
    }
    EXPECT_GT(dops.size(), 3u);  // the geometry changes along the track
  }
}

// Each outage loses the fix for exactly its time and nothing else changes: every other fix, the
// noise included, is the fix of the track without outages, so the fix comes back where the
// receiver really is. A lost fix keeps its time, date and satellites in view, without signals.
TEST(ReceiverSky, AnOutageLosesTheFixForItsTimeAndTheFixReturnsWhereTheReceiverIs) {
  const std::vector<std::string> base = {"--speed", "30",        "--noise",
                                         "5",       "--systems", "gps,galileo"};
  const struct {
    std::vector<std::string> outages;
    std::vector<std::pair<int, int>> lostSeconds;  // from, to (excluded)
    const char* nmea;
  } cases[] = {
      {{"30+20"}, {{30, 50}}, "2.3"},
      {{"0+5", "100+0.5"}, {{0, 5}, {100, 101}}, "4.1"},
      {{"10+10", "15+10"}, {{10, 25}}, "2.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outages[0]);
    std::vector<std::string> options = base;
    options.insert(options.end(), {"--nmea", c.nmea});
    const std::vector<FixReport> whole = ReadFixes(Track(options));
    for (const std::string& outage : c.outages) options.insert(options.end(), {"--outage", outage});
    const std::vector<FixReport> broken = ReadFixes(Track(options));
    ASSERT_EQ(broken.size(), whole.size());
    std::size_t lost = 0;
    for (std::size_t i = 0; i < whole.size(); ++i) {
      const bool inOutage = std::any_of(c.lostSeconds.begin(), c.lostSeconds.end(), [i](auto span) {
        return static_cast<int>(i) >= span.first && static_cast<int>(i) < span.second;
      });
      if (!inOutage) {
        EXPECT_EQ(broken[i].lines, whole[i].lines) << i;
        continue;
      }
      ++lost;
      const FixReport& fix = broken[i];
      EXPECT_FALSE(fix.valid);
      EXPECT_EQ(Fields(fix.lines[0]).size(), Fields(whole[i].lines[0]).size());
      EXPECT_EQ(Fields(fix.lines[0])[1], Fields(whole[i].lines[0])[1]);  // the time goes on
      EXPECT_EQ(Fields(fix.lines[0])[9], Fields(whole[i].lines[0])[9]);  // and the date
      EXPECT_EQ(Fields(fix.lines[0])[3], "");
      EXPECT_EQ(Fields(fix.lines[1])[6], "0");  // GGA's quality
      EXPECT_TRUE(fix.used.empty());
      for (const auto& gsa : fix.gsaFields) EXPECT_EQ(gsa[2], "1");
      ASSERT_EQ(fix.inView.size(), whole[i].inView.size());
      for (const auto& [key, seen] : fix.inView) {
        EXPECT_EQ(seen.signal, "");
        EXPECT_EQ(seen.elevation, whole[i].inView.at(key).elevation);
      }
      for (const std::string& line : fix.lines) {
        const std::string type = line.substr(3, 3);
        if (type == "VTG" || type == "GLL" || type == "RMC") {
          const std::vector<std::string> fields = Fields(line);
          EXPECT_EQ(fields[type == "RMC" ? 12 : fields.size() - 1], "N") << line;
        }
      }
    }
    std::size_t expected = 0;
    for (const auto& [from, to] : c.lostSeconds) expected += static_cast<std::size_t>(to - from);
    EXPECT_EQ(lost, expected);
  }
}

}  // namespace
}  // namespace wayloom
