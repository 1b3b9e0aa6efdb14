// The closest-order and extra-point tracks, through CreateTrack as the window and the command line
// drive them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "track/extra_points.h"
#include "track/track_engine.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::TrackLines;
using test::WriteFile;

// Each point of a track as "time latitude longitude speed course", from its RMC sentence.
std::vector<std::string> Fixes(const std::string& track) {
  std::vector<std::string> fixes;
  for (const std::string& line : TrackLines(track)) {
    if (line.rfind("$GPRMC,", 0) != 0) continue;
    std::vector<std::string> field(1);
    for (const char c : line) {
      if (c == ',') {
        field.emplace_back();
      } else {
        field.back().push_back(c);
      }
    }
    fixes.push_back(field[1] + " " + field[3] + field[4] + " " + field[5] + field[6] + " " +
                    field[7] + " " + field[8]);
  }
  return fixes;
}

class TrackOrders : public ::testing::Test {
 protected:
  // Creates a track from pois in a fresh engine and returns the track file.
  std::string Track(const std::string& pois, bool reorder, bool extraPoints,
                    const std::string& step = "100", const std::string& period = "1") {
    engine_.emplace(prompter_, options_);
    engine_->m_strSourceFile = dir_.File("pois.csv");
    engine_->m_strDestFile = dir_.File("track.nmea");
    engine_->m_strStepDistance = step;
    engine_->m_strTimePeriod = period;
    prompter_.answers.assign(1, true);
    options_.reorder = reorder;
    options_.extraPoints = extraPoints;
    WriteFile(engine_->m_strSourceFile, pois);
    engine_->CreateTrack();
    return ReadFile(engine_->m_strDestFile);
  }

  test::TempDir dir_;
  test::ScriptedPrompter prompter_;
  test::FixedOptionStates options_;
  std::optional<TrackEngine> engine_;
};

// tests/data/NAME.txt gives NAME.KIND.nmea, byte for byte. "worked" is A (50.0, 8.0), B (50.002,
// 8.003) and C (50.0, 8.003): A to B and A to C are the two worked stretches, C lies nearer to A
// than B does, and B and C are joined along a meridian. "mixed" lies in the southern and western
// hemispheres, with a repeated point and stretches along both axes and in all four quadrants.
TEST_F(TrackOrders, AllFourKindsGiveTheReferenceTracksAndShowEveryPointAgain) {
  const struct {
    const char *name, *step, *period;
  } goldens[] = {{"worked", "100", "1"}, {"mixed", "250", "2"}};
  const struct {
    const char* name;
    bool reorder, extraPoints;
  } kinds[] = {{"plain", false, false},
               {"closest", true, false},
               {"extra", false, true},
               {"closest-extra", true, true}};
  for (const auto& golden : goldens) {
    const std::string base = std::string(WAYLOOM_TEST_DATA "/") + golden.name;
    for (const auto& kind : kinds) {
      const std::string reference = base + "." + kind.name + ".nmea";
      EXPECT_EQ(Track(ReadFile(base + ".txt"), kind.reorder, kind.extraPoints, golden.step,
                      golden.period),
                ReadFile(reference))
          << reference;
      const std::size_t points = engine_->PoiPoints()->size() - 1;
      ASSERT_EQ(engine_->SourceTable().RowCount(), points + 1) << reference;
      EXPECT_EQ(engine_->SourceTable().Cell(points - 1, 2),
                (*engine_->PoiPoints())[points - 1].szDescription);
    }
  }
  EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(TrackOrders, ClosestOrderGoesToTheNearestPointLeftOnePeriodLater) {
  EXPECT_EQ(Fixes(Track("1.0,45.0\n1.3,45.0\n1.1,45.0\n1.2,45.0\n", true, false, "", "2")),
            (std::vector<std::string>{"010000.000 4500.0000N 00100.0000E 35.00 12.000",
                                      "010002.000 4500.0000N 00106.0000E 35.00 12.000",
                                      "010004.000 4500.0000N 00112.0000E 35.00 12.000",
                                      "010006.000 4500.0000N 00118.0000E 35.00 12.000"}));
  // An empty longitude counts as here, so it comes next; from its 0 every point counts as here,
  // and the rest follow in file order.
  EXPECT_EQ(Fixes(Track("2.0,45.0\n2.3,45.0\n2.1,45.0\n,45.5,2.2,no longitude\n", true, false)),
            (std::vector<std::string>{"010000.000 4500.0000N 00200.0000E 35.00 12.000",
                                      "010001.000 4530.0000N 00000.0000E 35.00 12.000",
                                      "010002.000 4500.0000N 00218.0000E 35.00 12.000",
                                      "010003.000 4500.0000N 00206.0000E 35.00 12.000"}));
}

TEST_F(TrackOrders, ExtraPointsFillEachStretch) {
  const struct {
    const char *what, *pois, *step, *period;
    std::vector<std::string> fixes;
  } cases[] = {
      {"the worked stretch, with a period of 0 taken as 1 second",
       "8.0,50.0\n8.003,50.002\n",
       "100",
       "0",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010002.000 5000.0462N 00800.0696E 780.05 49.421",
        "010003.000 5000.0930N 00800.1398E 780.05 49.421",
        "010004.000 5000.1200N 00800.1800E 780.05 49.421"}},
      {"a negative step moves each axis 1 metre a time; the latitude arrives first",
       "8.0,50.0\n8.00003,50.00002\n",
       "-5",
       "1",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010002.000 5000.0006N 00800.0006E 7.80 26.565",
        "010003.000 5000.0012N 00800.0012E 7.80 26.565",
        "010004.000 5000.0012N 00800.0018E 7.80 26.565",
        "010005.000 5000.0012N 00800.0018E 7.80 26.565"}},
      {"a step of twice the stretch: no extra point, course and speed set",
       "8.0,50.0\n8.003,50.002\n",
       "803",
       "1",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010002.000 5000.1200N 00800.1800E 780.05 49.421"}},
      {"the same point twice: speed 0, the course kept",
       "8.0,50.0\n8.0,50.0\n",
       "100",
       "1",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010002.000 5000.0000N 00800.0000E 0.00 12.000"}},
      {"an empty target coordinate: no stretch",
       "8.0,50.0\n,8.003,50.002\n",
       "100",
       "1",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010001.000 0800.1800N 00000.0000E 35.00 12.000"}},
      {"a target beyond the pole: no stretch",
       "8.0,50.0\n8.003,95.0\n",
       "1",
       "1",
       {"010000.000 5000.0000N 00800.0000E 35.00 12.000",
        "010001.000 9500.0000N 00800.1800E 35.00 12.000"}},
      {"a start beyond 180 degrees: no stretch",
       "-181.0,50.0\n8.003,50.002\n",
       "1",
       "1",
       {"010000.000 5000.0000N 18100.0000W 35.00 12.000",
        "010001.000 5000.1200N 00800.1800E 35.00 12.000"}},
      {"a target on the pole is reached",
       "8.0,89.999\n8.0,90.0\n",
       "100",
       "1",
       {"010000.000 8959.9400N 00800.0000E 35.00 12.000",
        "010002.000 9000.0000N 00800.0000E 216.25 0.000"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Fixes(Track(c.pois, false, true, c.step, c.period)), c.fixes) << c.what;
  }
  EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(TrackOrders, TheCourseIsTheBearingOfTheStretch) {
  const struct {
    const char* target;
    double lowest, highest;
  } headings[] = {{"8.0,45.01", 0, 0},     {"8.01,45.01", 1, 89},   {"8.01,45.0", 90, 90},
                  {"8.01,44.99", 91, 179}, {"8.0,44.99", 180, 180}, {"7.99,44.99", 181, 269},
                  {"7.99,45.0", 270, 270}, {"7.99,45.01", 271, 359}};
  for (const auto& heading : headings) {
    Track(std::string("8.0,45.0\n") + heading.target + "\n", false, true);
    EXPECT_GE(engine_->Course(), heading.lowest) << heading.target;
    EXPECT_LE(engine_->Course(), heading.highest) << heading.target;
  }
}

TEST(AbsDifference, IsTheSizeOfTheDifferenceAndZeroForNonNumbers) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double a, b, size;
  } cases[] = {{0, 5, 5}, {5, 0, 5},     {-3, 2, 5},          {-2, -7, 5},
               {2, 2, 0}, {inf, inf, 0}, {std::nan(""), 1, 0}};
  for (const auto& c : cases) EXPECT_EQ(AbsDifference(c.a, c.b), c.size) << c.a << " " << c.b;
}

}  // namespace
}  // namespace wayloom
