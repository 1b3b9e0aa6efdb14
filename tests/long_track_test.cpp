// Tracks long enough to be formatted in many batches, on several threads: the sentences must come
// out whole and in track order, and a stop must end the track exactly where it was asked for.

#include "motion/fix_batches.h"
#include "tests/test_support.h"

namespace wayloom {
namespace {

// Asks for a stop once the given number of sentence pairs has been written.
class StopAfter : public ProgressMonitor {
 public:
  explicit StopAfter(std::size_t pairs) : left_(pairs) {}
  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return --left_ == 0; }

 private:
  std::size_t left_;
};

// The field of a sentence after the given number of commas.
std::string Field(const std::string& sentence, int commas) {
  std::size_t start = 0;
  for (int i = 0; i < commas; ++i) start = sentence.find(',', start) + 1;
  return sentence.substr(start, sentence.find(',', start) - start);
}

double MsOfDay(const std::string& time) {
  return std::stod(time.substr(0, 2)) * 3600000 + std::stod(time.substr(2, 2)) * 60000 +
         std::stod(time.substr(4)) * 1000;
}

TEST(LongTrack, ComesOutInOrderAcrossBatchesAndStopsExactlyWhereAsked) {
  // A zig-zag of 600 points, about 70 extra points between two: some 43,000 sentence pairs, each
  // stretch with a course of its own.
  test::TempDir dir;
  std::string pois;
  for (int i = 0; i < 600; ++i) {
    pois += FormatFixed(8 + 1e-6 * i * i, 6) + "," + (i % 2 ? "50.01" : "50.0") + ",p\n";
  }
  test::WriteFile(dir.File("pois.csv"), pois);
  test::ScriptedPrompter prompter;
  test::FixedOptionStates options;
  options.extraPoints = true;
  const auto track = [&](ProgressMonitor* monitor, double& course) {
    TrackEngine engine(prompter, options);
    engine.m_strSourceFile = dir.File("pois.csv");
    engine.m_strDestFile = dir.File(monitor ? "stopped.nmea" : "whole.nmea");
    engine.m_strStepDistance = "10";
    engine.SetProgressMonitor(monitor);
    engine.CreateTrack();
    course = engine.Course();
    return test::TrackLines(test::ReadFile(engine.m_strDestFile));
  };

  double course = 0;
  const std::vector<std::string> whole = track(nullptr, course);
  ASSERT_GT(whole.size() / 2, 4 * FixBatch::kCapacity);
  for (std::size_t i = 0; i < whole.size(); i += 2) {
    ASSERT_EQ(whole[i].substr(0, 7), "$GPGGA,") << i;
    ASSERT_EQ(Field(whole[i + 1], 0), "$GPRMC") << i;
    ASSERT_EQ(Field(whole[i], 1), Field(whole[i + 1], 1)) << i;
    if (i == 0) continue;
    // One period from pair to pair, two after a point of the file.
    const double stepMs = MsOfDay(Field(whole[i], 1)) - MsOfDay(Field(whole[i - 2], 1));
    ASSERT_TRUE(stepMs == 1000 || stepMs == 2000) << i << ": " << stepMs;
  }

  const std::size_t stopPairs = 12345;
  StopAfter stop(stopPairs);
  const std::vector<std::string> stopped = track(&stop, course);
  ASSERT_EQ(stopped.size(), 2 * stopPairs);
  EXPECT_TRUE(std::equal(stopped.begin(), stopped.end(), whole.begin()));
  // The course carried on is that of the last pair written, not of the stretches formatted ahead.
  EXPECT_EQ(FormatFixed(course, 3), Field(stopped.back(), 8));
  EXPECT_TRUE(prompter.messages.empty());
}

}  // namespace
}  // namespace wayloom
