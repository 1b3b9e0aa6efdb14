#include "track/track_engine.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/test_support.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::TrackLines;
using test::WriteFile;

class Engine : public ::testing::Test {
 protected:
  Engine() {
    engine_.m_strSourceFile = dir_.File("pois.csv");
    engine_.m_strDestFile = dir_.File("track.nmea");
  }

  // Writes the POI file, creates a track and returns the track file's lines.
  std::vector<std::string> Track(const std::string& pois) {
    WriteFile(engine_.m_strSourceFile, pois);
    engine_.CreateTrack();
    return TrackLines(ReadFile(engine_.m_strDestFile));
  }

  // The time field of every GGA line.
  static std::vector<std::string> Times(const std::vector<std::string>& lines) {
    std::vector<std::string> times;
    for (const std::string& line : lines) {
      if (line.rfind("$GPGGA,", 0) == 0) times.push_back(line.substr(7, 10));
    }
    return times;
  }

  test::TempDir dir_;
  test::ScriptedPrompter prompter_;
  test::FixedOptionStates options_;
  TrackEngine engine_{prompter_, options_};
};

constexpr const char* kThreePoints =
    "longitude,latitude,description\n"
    "11.5166667,48.1173,Munich\n"
    "-0.125,51.5,London\n"
    "151.2153,-33.8568,Sydney Opera House\n";

TEST_F(Engine, WritesTheFileOrderTrackAsTheReferenceFile) {
  WriteFile(engine_.m_strSourceFile, ReadFile(WAYLOOM_TEST_DATA "/three_points.csv"));
  engine_.CreateTrack();
  EXPECT_EQ(ReadFile(engine_.m_strDestFile), ReadFile(WAYLOOM_TEST_DATA "/three_points.nmea"));
  EXPECT_TRUE(prompter_.messages.empty());
  EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kWritten);
  EXPECT_EQ(engine_.LastTrack().pointsRead, 3u);
  EXPECT_EQ(engine_.LastTrack().sentencesWritten, 6u);
}

TEST_F(Engine, ListsEverySentenceInTheOutputTableAndShowsThePointsAgain) {
  const std::vector<std::string> lines = Track(kThreePoints);
  const Table& nmea = engine_.NmeaTable();
  ASSERT_EQ(nmea.ColumnCount(), 1u);
  EXPECT_EQ(nmea.Column(0).title, "NMEA strings");
  EXPECT_EQ(nmea.Column(0).widthPixels, 500);
  ASSERT_EQ(nmea.RowCount(), lines.size());
  for (std::size_t row = 0; row < lines.size(); ++row) EXPECT_EQ(nmea.Cell(row, 0), lines[row]);

  const Table& source = engine_.SourceTable();
  ASSERT_EQ(source.ColumnCount(), 4u);
  const char* titles[] = {"Latitude", "Longitude", "Description", "Distance"};
  const int widths[] = {100, 100, 260, 95};
  for (std::size_t column = 0; column < 4; ++column) {
    EXPECT_EQ(source.Column(column).title, titles[column]);
    EXPECT_EQ(source.Column(column).widthPixels, widths[column]);
  }
  ASSERT_EQ(source.RowCount(), 4u);  // three points and the blank last row
  EXPECT_EQ(source.Cell(2, 0), "-33.8568");
  EXPECT_EQ(source.Cell(2, 1), "151.2153");
  EXPECT_EQ(source.Cell(2, 2), "Sydney Opera House");
  EXPECT_EQ(source.Cell(2, 3), "");  // the reference position (0, 0) counts as absent
  for (std::size_t column = 0; column < 4; ++column) EXPECT_EQ(source.Cell(3, column), "");

  EXPECT_EQ(engine_.LastLatitudeText(), "-33.8568");
  EXPECT_EQ(engine_.LastLongitudeText(), "151.2153");
}

TEST_F(Engine, FillsTheSameSourceTableEveryTimeAndSaysWhenThereIsNoList) {
  Track(kThreePoints);
  engine_.FillSourceTable();
  EXPECT_EQ(engine_.SourceTable().ColumnCount(), 4u);
  EXPECT_EQ(engine_.SourceTable().RowCount(), 4u);

  engine_.FreePoiList();
  engine_.FillSourceTable();
  ASSERT_EQ(engine_.SourceTable().RowCount(), 1u);
  EXPECT_EQ(engine_.SourceTable().Cell(0, 0), "Poi list is empty");
}

TEST_F(Engine, StampsPointsOnePeriodApartFromOneOClock) {
  const std::string fivePoints = "8,50,a\n8.1,50,b\n8.2,50,c\n8.3,50,d\n8.4,50,e\n";
  const struct {
    const char* period;
    std::vector<std::string> times;
  } cases[] = {
      {"1", {"010000.000", "010001.000", "010002.000", "010003.000", "010004.000"}},
      {"0", {"010000.000", "010001.000", "010002.000", "010003.000", "010004.000"}},
      {"", {"010000.000", "010001.000", "010002.000", "010003.000", "010004.000"}},
      {"abc", {"010000.000", "010001.000", "010002.000", "010003.000", "010004.000"}},
      {"0.5", {"010000.000", "010000.500", "010001.000", "010001.500", "010002.000"}},
      {"-2", {"010000.000", "005958.000", "005956.000", "005954.000", "005952.000"}},
      {"0.0001", {"010000.000", "010000.000", "010000.000", "010000.000", "010000.000"}},
      {"3600", {"010000.000", "020000.000", "030000.000", "040000.000", "050000.000"}},
      {"-2000", {"010000.000", "002640.000", "235320.000", "232000.000", "224640.000"}},
  };
  for (const auto& c : cases) {
    engine_.m_strTimePeriod = c.period;
    prompter_.answers = {true};
    EXPECT_EQ(Times(Track(fivePoints)), c.times) << "period \"" << c.period << '"';
  }
}

TEST_F(Engine, FewerThanTwoPointsGiveAnEmptyTrackFile) {
  for (const char* pois : {"", "8.0,50.0,alone\n", "heading only\n"}) {
    prompter_.answers = {true};
    EXPECT_TRUE(Track(pois).empty()) << pois;
    EXPECT_TRUE(std::filesystem::exists(engine_.m_strDestFile));
    EXPECT_EQ(engine_.NmeaTable().ColumnCount(), 1u);
    EXPECT_EQ(engine_.NmeaTable().RowCount(), 0u);
    EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kWritten);
  }
}

TEST_F(Engine, MissingSourceIsReportedAndStillGivesAnEmptyTrack) {
  engine_.m_strSourceFile = dir_.File("no such file.csv");
  engine_.CreateTrack();
  ASSERT_EQ(prompter_.messages.size(), 1u);
  EXPECT_EQ(prompter_.messages[0], "Error can't open the input file\n" + engine_.m_strSourceFile);
  EXPECT_EQ(ReadFile(engine_.m_strDestFile), "");
  ASSERT_EQ(engine_.SourceTable().RowCount(), 1u);
  EXPECT_EQ(engine_.SourceTable().Cell(0, 0), "");
}

TEST_F(Engine, UnreadableSourceKeepsThePointsReadBeforeTheError) {
  engine_.m_strSourceFile = dir_.Path();  // a folder: it opens, and the first read fails
  if (!test::OpensAsFile(dir_.Path())) GTEST_SKIP() << "a folder does not open as a file here";
  engine_.CreateTrack();
  ASSERT_EQ(prompter_.messages.size(), 1u);
  EXPECT_EQ(prompter_.messages[0], "Error reading the input file\n" + dir_.Path());
  ASSERT_TRUE(engine_.PoiPoints().has_value());
  EXPECT_EQ(engine_.PoiPoints()->size(), 1u);
}

TEST_F(Engine, AsksBeforeOverwritingAndNoLeavesTheFileAsItWas) {
  WriteFile(engine_.m_strDestFile, "precious\r\n");
  prompter_.answers = {false};
  Track(kThreePoints);
  ASSERT_EQ(prompter_.questions.size(), 1u);
  EXPECT_EQ(prompter_.questions[0], "The output file already exists\noverwrite ?");
  EXPECT_EQ(ReadFile(engine_.m_strDestFile), "precious\r\n");
  EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kDeclined);
  EXPECT_TRUE(prompter_.messages.empty());

  prompter_.answers = {true};
  EXPECT_EQ(Track(kThreePoints).size(), 6u);
  EXPECT_EQ(prompter_.questions.size(), 2u);
}

TEST_F(Engine, AsksEvenWhenTheExistingDestinationCannotBeOpened) {
  // A link to nowhere cannot be opened for reading, yet writing through it would create a file.
  const std::string target = dir_.File("target.nmea");
  std::error_code error;
  std::filesystem::create_symlink(target, engine_.m_strDestFile, error);
  if (error) GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
  prompter_.answers = {false};
  Track(kThreePoints);
  EXPECT_EQ(prompter_.questions.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(Engine, DestinationThatCannotBeOpenedIsReportedAndTheOutputTableKept) {
  Track(kThreePoints);
  const std::size_t rowsBefore = engine_.NmeaTable().RowCount();
  engine_.m_strDestFile = dir_.File("missing folder/track.nmea");
  engine_.CreateTrack();
  ASSERT_EQ(prompter_.messages.size(), 1u);
  EXPECT_EQ(prompter_.messages[0], "Error can't open output file \n" + engine_.m_strDestFile);
  EXPECT_EQ(engine_.NmeaTable().RowCount(), rowsBefore);
  EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kOpenFailed);
}

TEST_F(Engine, AFullDiskIsReportedNotTakenForSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  std::string pois;
  for (int i = 1; i <= 20000; ++i) pois += "8." + std::to_string(i) + ",50.5,p\n";
  WriteFile(engine_.m_strSourceFile, pois);
  engine_.m_strDestFile = "/dev/full";
  prompter_.answers = {true};
  engine_.CreateTrack();
  ASSERT_EQ(prompter_.messages.size(), 1u);
  EXPECT_EQ(prompter_.messages[0], "Error writing output file \n/dev/full");
  EXPECT_EQ(engine_.LastTrack().outcome, TrackOutcome::kWriteFailed);
  EXPECT_LT(engine_.LastTrack().sentencesWritten, 40000u);  // ended early
}

TEST_F(Engine, LongPathsAndHugeCoordinatesAreHandledWhole) {
  const std::string longName(5000, 'n');
  engine_.m_strSourceFile = dir_.File(longName);
  engine_.m_strDestFile = dir_.File(longName + ".nmea");
  engine_.CreateTrack();
  ASSERT_EQ(prompter_.messages.size(), 2u);
  EXPECT_EQ(prompter_.messages[0], "Error can't open the input file\n" + engine_.m_strSourceFile);
  EXPECT_EQ(prompter_.messages[1], "Error can't open output file \n" + engine_.m_strDestFile);

  prompter_.messages.clear();
  engine_.m_strSourceFile = dir_.File("pois.csv");
  engine_.m_strDestFile = dir_.File("track.nmea");
  const std::vector<std::string> lines = Track("8.0,1e300,far north\n1e-300,50.0,tiny\n");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].find("$GPGGA,010000.000,1000000000000000052504760255204420248704468581"), 0u);
  EXPECT_NE(lines[2].find(",5000.0000,N,00000.0000,E,"), std::string::npos) << lines[2];
}

TEST_F(Engine, PlanarOffsetIsFlatEarthMetresFromTheCurrentPosition) {
  double east = -1;
  double north = -1;
  engine_.SetCurrentPosition(48.0, 2.0);
  ASSERT_TRUE(engine_.PlanarOffset(2.001, 48.001, east, north));
  EXPECT_NEAR(north, 110.946, 0.001);
  EXPECT_NEAR(east, 111.319, 0.001);
  EXPECT_EQ(north, (48.001 - 48.0) * 110945.90800966838);

  engine_.SetCurrentPosition(48.0, 179.5);
  ASSERT_TRUE(engine_.PlanarOffset(-179.5, 48.0, east, north));
  EXPECT_EQ(east, -359 * 111319.14001027387);  // no wrap at the date line

  const double zeroCases[][4] = {{0, 2, 48, 2}, {2, 0, 48, 2}, {2, 48, 0, 2}, {2, 48, 48, 0}};
  for (const auto& c : zeroCases) {
    engine_.SetCurrentPosition(c[2], c[3]);
    EXPECT_FALSE(engine_.PlanarOffset(c[0], c[1], east, north));
    EXPECT_EQ(east, 0.0);
    EXPECT_EQ(north, 0.0);
  }
}

TEST_F(Engine, WritesTheSameBytesUnderADecimalCommaLocale) {
  engine_.m_strTimePeriod = "0.25";
  Track(kThreePoints);
  const std::string inC = ReadFile(engine_.m_strDestFile);
  if (!test::UseGermanLocale()) GTEST_SKIP() << "no German locale is installed";
  prompter_.answers = {true};
  Track(kThreePoints);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ReadFile(engine_.m_strDestFile), inC);
}

#if defined(_WIN32)
TEST(EngineMemory, RunningOutOfMemoryKeepsThePointsReadSoFar) {
  GTEST_SKIP() << "Windows has no address-space cap (setrlimit) to run out of memory under";
}
#elif !defined(__SANITIZE_ADDRESS__)
// Loads pois with this process capped at a little more address space than it uses now. Exits 0 when
// the shortage was reported and the points read before it kept, in a list that ends in its tail.
[[noreturn]] void LoadUnderMemoryCap(const std::string& pois) {
  test::ScriptedPrompter prompter;
  test::FixedOptionStates options;
  TrackEngine engine(prompter, options);
  engine.m_strSourceFile = pois;
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (24 << 20);
  const rlimit cap{limit, limit};
  setrlimit(RLIMIT_AS, &cap);
  engine.LoadPoiFile();
  const bool reported =
      prompter.messages.size() == 1 &&
      prompter.messages[0] ==
          "Argh! Out of memory making the POI list.\nThe nearby POI list will be incomplete.";
  const auto& list = engine.PoiPoints();
  const bool kept = list && list->size() > 1 && list->back().IsBlank() && (*list)[0].szLon == "8.5";
  if (!(reported && kept)) {
    std::fprintf(stderr, "messages %zu [%s], list %zu\n", prompter.messages.size(),
                 prompter.messages.empty() ? "" : prompter.messages[0].c_str(),
                 list ? list->size() : 0);
  }
  std::_Exit(reported && kept ? 0 : 1);
}

TEST(EngineMemory, RunningOutOfMemoryKeepsThePointsReadSoFar) {
  test::TempDir dir;
  const std::string pois = dir.File("many.csv");
  {
    std::ofstream out(pois);
    for (int i = 0; i < 600000; ++i) out << "8.5,50.5,a description long enough for the heap\n";
  }
  // A fresh process, so that memory freed by earlier tests cannot serve the list.
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(LoadUnderMemoryCap(pois), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace wayloom
