// The track engine as the window and the command line drive it: the reference tracks, the track
// clock, the tracks of each order, and files that are missing, in the way or failing.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "track/track_engine.h"

namespace wayloom {
namespace {

using test::ReadFile;
using test::TrackLines;
using test::WriteFile;

const std::string kData = WAYLOOM_TEST_DATA "/";

// Each point of a track as "hhmmss latitude longitude speed course" from its RMC sentence, with a
// "|" after each.
std::string Fixes(const std::string& track) {
  std::string fixes;
  for (const std::string& line : TrackLines(track)) {
    const std::vector<std::string> f = test::Fields(line);
    if (f[0] != "$GPRMC") continue;
    fixes += f[1].substr(0, 6) + " " + f[3] + " " + f[5] + " " + f[7] + " " + f[8] + "|";
  }
  return fixes;
}

class Recorder : public TrackListener {
 public:
  void OnSentencePair(double clockMs, std::string_view gga, std::string_view rmc) override {
    clocks.push_back(clockMs);
    bytes.append(gga).append("\r\n").append(rmc).append("\r\n");
  }
  std::vector<double> clocks;
  std::string bytes;
};

class Engine : public ::testing::Test {
 protected:
  Engine() { Fresh(); }
  // A fresh engine, as a new window has, writing track.nmea from pois.csv in the test's folder.
  TrackEngine& Fresh(bool reorder = false, bool extraPoints = false) {
    engine_.emplace(prompter_, options_);
    engine_->m_strSourceFile = dir_.File("pois.csv");
    engine_->m_strDestFile = dir_.File("track.nmea");
    options_.reorder = reorder;
    options_.extraPoints = extraPoints;
    return *engine_;
  }
  // Writes pois and creates the track of a fresh engine (answering Yes to an overwrite question).
  std::string Track(const std::string& pois, bool reorder = false, bool extraPoints = false,
                    const std::string& step = "100", const std::string& period = "1") {
    Fresh(reorder, extraPoints);
    engine_->m_strStepDistance = step;
    engine_->m_strTimePeriod = period;
    prompter_.answers.assign(1, true);
    WriteFile(engine_->m_strSourceFile, pois);
    engine_->CreateTrack();
    return ReadFile(engine_->m_strDestFile);
  }

  test::TempDir dir_;
  test::ScriptedPrompter prompter_;
  test::FixedOptionStates options_;
  std::optional<TrackEngine> engine_;
};

// tests/data/references lists every reference track with the settings that make it. "worked" is A
// (50.0, 8.0), B (50.002, 8.003) and C (50.0, 8.003): C lies nearer to A than B does, and B and C
// are joined along a meridian. "mixed" lies in the southern and western hemispheres, with a
// repeated point and stretches along both axes and in all four quadrants.
TEST_F(Engine, EveryReferenceTrackIsWrittenHeardListedAndThePointsShownAgain) {
  std::ifstream list(kData + "references");
  std::set<std::string> listed;
  for (std::string line; std::getline(list, line);) {
    std::istringstream fields(line);
    std::string source, kind, step, period, reference;
    if (line.empty() || line[0] == '#' ||
        !(fields >> source >> kind >> step >> period >> reference))
      continue;
    listed.insert(reference);
    TrackEngine& engine = Fresh(kind.find("closest") == 0, kind.find("extra") != std::string::npos);
    Recorder recorder;
    engine.SetTrackListener(&recorder);
    engine.m_strSourceFile = kData + source;
    engine.m_strStepDistance = step;
    engine.m_strTimePeriod = period;
    prompter_.answers.assign(1, true);
    engine.CreateTrack();

    const std::string track = ReadFile(engine.m_strDestFile);
    EXPECT_EQ(track, ReadFile(kData + reference)) << reference;
    EXPECT_EQ(recorder.bytes, track) << reference;
    const std::vector<std::string> lines = TrackLines(track);
    ASSERT_EQ(engine.NmeaTable().RowCount(), lines.size());
    ASSERT_EQ(recorder.clocks.size() * 2, lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      ASSERT_EQ(engine.NmeaTable().Cell(i, 0), lines[i]);
      std::string time;
      AppendTimeField(recorder.clocks[i / 2], time);
      ASSERT_EQ(lines[i].substr(7, 11), time) << lines[i];
    }
    const std::size_t points = engine.PoiPoints()->size() - 1;
    ASSERT_EQ(engine.SourceTable().RowCount(), points + 1) << reference;
    for (std::size_t row = 0; row <= points; ++row) {
      const PoiView point = (*engine.PoiPoints())[row];
      const std::string_view cells[] = {point.szLat, point.szLon, point.szDescription, ""};
      for (std::size_t column = 0; column < 4; ++column)
        EXPECT_EQ(engine.SourceTable().Cell(row, column), cells[column]) << row;
    }
  }
  EXPECT_TRUE(prompter_.messages.empty());
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    if (entry.path().extension() == ".nmea") {
      EXPECT_EQ(listed.count(entry.path().filename().string()), 1u) << entry.path();
    }
  }
  std::string columns;
  for (const Table* table : {&engine_->SourceTable(), &engine_->NmeaTable()}) {
    for (std::size_t c = 0; c < table->ColumnCount(); ++c)
      columns += table->Column(c).title + " " + std::to_string(table->Column(c).widthPixels) + "|";
  }
  EXPECT_EQ(columns, "Latitude 100|Longitude 100|Description 260|Distance 95|NMEA strings 500|");
}

TEST_F(Engine, TracksKeepTheirClockFollowTheirOrderAndFillEachStretch) {
  const struct {
    const char *pois, *kind, *step, *period, *fixes;
  } cases[] = {
      // Points one period apart, a period of 0 taken as 1 s, negative periods going back.
      {"8,50\n8.1,50\n8.2,50\n", "", "", "-2000",
       "010000 5000.0000 00800.0000 35.00 12.000|002640 5000.0000 00806.0000 35.00 12.000|"
       "235320 5000.0000 00812.0000 35.00 12.000|"},
      // Closest order: each time the nearest point left, one period later.
      {"1.0,45.0\n1.3,45.0\n1.1,45.0\n1.2,45.0\n", "closest", "", "2",
       "010000 4500.0000 00100.0000 35.00 12.000|010002 4500.0000 00106.0000 35.00 12.000|"
       "010004 4500.0000 00112.0000 35.00 12.000|010006 4500.0000 00118.0000 35.00 12.000|"},
      // An empty longitude counts as here, so it comes next; from its 0 every point is here.
      {"2.0,45.0\n2.3,45.0\n2.1,45.0\n,45.5,2.2\n", "closest", "100", "0",
       "010000 4500.0000 00200.0000 35.00 12.000|010001 4530.0000 00000.0000 35.00 12.000|"
       "010002 4500.0000 00218.0000 35.00 12.000|010003 4500.0000 00206.0000 35.00 12.000|"},
      // The worked stretch: an empty step taken as 100 m, a period of 0 as 1 s, and two periods
      // from a point of the file to the first extra point.
      {"8.0,50.0\n8.003,50.002\n", "extra", "", "0",
       "010000 5000.0000 00800.0000 35.00 12.000|010002 5000.0462 00800.0696 780.05 49.421|"
       "010003 5000.0930 00800.1398 780.05 49.421|010004 5000.1200 00800.1800 780.05 49.421|"},
      // A negative step moves each axis 1 metre a time; the latitude arrives first.
      {"8.0,50.0\n8.00003,50.00002\n", "extra", "-5", "1",
       "010000 5000.0000 00800.0000 35.00 12.000|010002 5000.0006 00800.0006 7.80 26.565|"
       "010003 5000.0012 00800.0012 7.80 26.565|010004 5000.0012 00800.0018 7.80 26.565|"
       "010005 5000.0012 00800.0018 7.80 26.565|"},
      // A step longer than the stretch: no extra point, but its course and speed.
      {"8.0,50.0\n8.003,50.002\n", "extra", "803", "1",
       "010000 5000.0000 00800.0000 35.00 12.000|010002 5000.1200 00800.1800 780.05 49.421|"},
      // The same point twice: speed 0, the course kept.
      {"8.0,50.0\n8.0,50.0\n", "extra", "100", "1",
       "010000 5000.0000 00800.0000 35.00 12.000|010002 5000.0000 00800.0000 0.00 12.000|"},
      // No stretch to an empty coordinate, beyond the pole, or from beyond 180 degrees.
      {"8.0,50.0\n,8.003,50.002\n8.0,95.0\n-181,50\n8.1,50.1\n", "extra", "1", "1",
       "010000 5000.0000 00800.0000 35.00 12.000|010001 0800.1800 00000.0000 35.00 12.000|"
       "010002 9500.0000 00800.0000 35.00 12.000|010003 5000.0000 18100.0000 35.00 12.000|"
       "010004 5006.0000 00806.0000 35.00 12.000|"},
      // A target on the pole is reached.
      {"8.0,89.999\n8.0,90.0\n", "extra", "100", "1",
       "010000 8959.9400 00800.0000 35.00 12.000|010002 9000.0000 00800.0000 216.25 0.000|"}};
  for (const auto& c : cases) {
    const std::string kind = c.kind;
    EXPECT_EQ(Fixes(Track(c.pois, kind == "closest", kind == "extra", c.step, c.period)), c.fixes)
        << c.pois;
  }
  // The course of a stretch is its bearing, in every direction.
  const char* const courses[][2] = {{"8.0,45.01", "0.000|"},   {"8.01,45.01", "35.286|"},
                                    {"8.01,45.0", "90.000|"},  {"8.01,44.99", "144.723|"},
                                    {"8.0,44.99", "180.000|"}, {"7.99,44.99", "215.277|"},
                                    {"7.99,45.0", "270.000|"}, {"7.99,45.01", "324.714|"}};
  for (const auto& c : courses) {
    const std::string fixes = Fixes(Track(std::string("8.0,45.0\n") + c[0] + "\n", false, true));
    EXPECT_EQ(fixes.substr(fixes.rfind(' ') + 1), c[1]) << c[0];
  }
  EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(Engine, AbsDifferenceIsTheSizeOfTheDifferenceAndReportsNonNumbers) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const double cases[][4] = {{0, 5, 5, 0},   {5, 0, 5, 0},     {-3, 2, 5, 0}, {2, -3, 5, 0},
                             {-2, -7, 5, 0}, {inf, inf, 0, 1}, {nan, 1, 0, 1}};
  for (const auto& c : cases) {
    prompter_.messages.clear();
    EXPECT_EQ(engine_->AbsDifference(c[0], c[1]), c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(prompter_.messages.size(), c[3]) << c[0] << " " << c[1];
  }
  EXPECT_EQ(prompter_.messages.front(), "Error in Difference sub result is negative");
}

TEST_F(Engine, FewerThanTwoPointsGiveAnEmptyTrackFile) {
  for (const char* pois : {"", "8.0,50.0,alone\n", "heading only\n"}) {
    for (const bool extra : {false, true}) {
      EXPECT_EQ(Track(pois, extra, extra), "") << pois;
      EXPECT_TRUE(std::filesystem::exists(engine_->m_strDestFile));
      EXPECT_EQ(engine_->NmeaTable().ColumnCount(), 1u);
      EXPECT_EQ(engine_->LastTrack().outcome, TrackOutcome::kWritten);
    }
  }
}

TEST_F(Engine, SourcesThatCannotBeReadAreReportedAndStillGiveATrack) {
  Track("8.0,50.0\n8.1,50.1\n");
  const std::string longName(5000, 'n');
  engine_->m_strSourceFile = dir_.File(longName);
  engine_->m_strDestFile = dir_.File("missing folder/" + longName);
  engine_->CreateTrack();
  EXPECT_EQ(prompter_.messages, (std::vector<std::string>{
                                    "Error can't open the input file\n" + engine_->m_strSourceFile,
                                    "Error can't open output file \n" + engine_->m_strDestFile}));
  EXPECT_EQ(engine_->LastTrack().outcome, TrackOutcome::kOpenFailed);
  EXPECT_EQ(engine_->NmeaTable().RowCount(), 4u);  // the last track's sentences stay listed
  ASSERT_EQ(engine_->SourceTable().RowCount(), 1u);
  EXPECT_EQ(engine_->SourceTable().Cell(0, 0), "");

  prompter_.messages.clear();
  engine_->m_strSourceFile = dir_.Path();  // a folder: it opens, and the first read fails
  engine_->m_strDestFile = dir_.File("track.nmea");
  prompter_.answers = {true};
  engine_->CreateTrack();
  EXPECT_EQ(prompter_.messages,
            std::vector<std::string>{"Error reading the input file\n" + dir_.Path()});
  EXPECT_EQ(ReadFile(engine_->m_strDestFile), "");

  engine_->FreePoiList();
  engine_->FillSourceTable();
  EXPECT_EQ(engine_->SourceTable().Cell(0, 0), "Poi list is empty");
}

TEST_F(Engine, AsksBeforeOverwritingAnythingAndNoLeavesItAsItWas) {
  WriteFile(dir_.File("track.nmea"), "precious\r\n");
  std::filesystem::create_symlink(dir_.File("target.nmea"), dir_.File("link.nmea"));
  for (const char* dest : {"track.nmea", "link.nmea"}) {  // a link to nowhere exists too
    Fresh().m_strDestFile = dir_.File(dest);
    WriteFile(engine_->m_strSourceFile, "8.0,50.0\n8.1,50.1\n");
    prompter_.questions.clear();
    prompter_.answers = {false};
    engine_->CreateTrack();
    EXPECT_EQ(prompter_.questions,
              std::vector<std::string>{"The output file already exists\noverwrite ?"});
    EXPECT_EQ(engine_->LastTrack().outcome, TrackOutcome::kDeclined);
  }
  EXPECT_EQ(ReadFile(dir_.File("track.nmea")), "precious\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("target.nmea")));
  EXPECT_TRUE(prompter_.messages.empty());
  prompter_.answers = {true};
  engine_->CreateTrack();
  EXPECT_EQ(TrackLines(ReadFile(dir_.File("target.nmea"))).size(), 4u);
}

TEST_F(Engine, AFullDiskIsReportedNotTakenForSuccess) {
  std::string pois;
  for (int i = 1; i <= 20000; ++i) pois += "8." + std::to_string(i) + ",50.5,p\n";
  WriteFile(engine_->m_strSourceFile, pois);
  engine_->m_strDestFile = "/dev/full";
  prompter_.answers = {true};
  engine_->CreateTrack();
  EXPECT_EQ(prompter_.messages, std::vector<std::string>{"Error writing output file \n/dev/full"});
  EXPECT_EQ(engine_->LastTrack().outcome, TrackOutcome::kWriteFailed);
  EXPECT_LT(engine_->LastTrack().sentencesWritten, 40000u);  // ended early
}

TEST_F(Engine, WithoutAFileATrackAsksNothingAndCanContinueTheClockWithADate) {
  Recorder first;
  Fresh().SetTrackListener(&first);
  engine_->m_strSourceFile = kData + "worked.txt";
  WriteFile(engine_->m_strDestFile, "not a track");
  engine_->SetWriteTrackFile(false);
  engine_->CreateTrack();
  EXPECT_TRUE(prompter_.questions.empty());
  EXPECT_EQ(ReadFile(engine_->m_strDestFile), "not a track");
  ASSERT_EQ(first.clocks.size(), 3u);
  EXPECT_EQ(engine_->LastTrack().nextClockMs, first.clocks.back() + 1000);

  // Again, dated, the clock going on from the first track: the same positions three seconds later.
  Recorder second;
  engine_->SetTrackListener(&second);
  engine_->SetRmcDate(CalendarDate{2026, 3, 7});
  engine_->SetTrackStartMs(engine_->LastTrack().nextClockMs);
  engine_->CreateTrack();
  const std::vector<std::string> before = TrackLines(first.bytes), after = TrackLines(second.bytes);
  ASSERT_EQ(after.size(), 6u);
  for (std::size_t i = 0; i < 6; i += 2) {
    EXPECT_EQ(second.clocks[i / 2], first.clocks[i / 2] + 3000);
    EXPECT_EQ(after[i].substr(17, 25), before[i].substr(17, 25));
    EXPECT_NE(after[i + 1].find(",070326,,*"), std::string::npos) << after[i + 1];
  }
}

#if !defined(__SANITIZE_ADDRESS__)
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
  const auto& list = engine.PoiPoints();
  const bool kept = list && list->size() > 1 && list->back().IsBlank() && (*list)[0].szLon == "8.5";
  std::_Exit(kept && prompter.messages.size() == 1 &&
                     prompter.messages[0].rfind("Argh! Out of memory making the POI list.\n", 0) ==
                         0
                 ? 0
                 : 1);
}

TEST(EngineMemory, RunningOutOfMemoryKeepsThePointsReadSoFar) {
  test::TempDir dir;
  std::ofstream out(dir.File("many.csv"));
  for (int i = 0; i < 600000; ++i) out << "8.5,50.5,a description long enough for the heap\n";
  out.close();
  // A fresh process, so that memory freed by earlier tests cannot serve the list.
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(LoadUnderMemoryCap(dir.File("many.csv")), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace wayloom
