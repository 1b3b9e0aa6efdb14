// The track engine as the window and the command line drive it: the reference tracks, the track
// clock, the tracks of each order, and files that are missing, in the way or failing.
#ifndef _WIN32
#include <sys/resource.h>

#include <unistd.h>
#include <csignal>
#endif

#include "tests/test_support.h"

namespace wayloom::test {

const std::string kData = WAYLOOM_TEST_DATA "/";

// Each point of a track as "hhmmss latitude longitude speed course", from its RMC sentence.
std::string Fixes(const std::string& track) {
  std::string fixes;
  for (const std::string& line : TrackLines(track)) {
    const std::vector<std::string> f = Split(line);
    if (f[0] != "$GPRMC") continue;
    fixes += f[1].substr(0, 6) + " " + f[3] + " " + f[5] + " " + f[7] + " " + f[8] + "\n";
  }
  return fixes;
}

class Recorder : public FixListener {
 public:
  void OnFix(const Fix& fix, const SentenceLines& sentences) override {
    clocks.push_back(fix.clockMs);
    bytes.append(sentences.Text());
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
    recorder_ = Recorder();
    engine_->SetTrackListener(&recorder_);
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

  TempDir dir_;
  ScriptedPrompter prompter_;
  FixedOptionStates options_;
  std::optional<TrackEngine> engine_;
  Recorder recorder_;  // hears every track
};

// tests/data/references lists every reference track with the settings that make it. "worked" is A
// (50.0, 8.0), B (50.002, 8.003) and C (50.0, 8.003): C lies nearer to A than B does, and B and C
// are joined along a meridian. "mixed" lies in the southern and western hemispheres, with a
// repeated point and stretches along both axes and in all four quadrants.
TEST_F(Engine, EveryReferenceTrackIsWrittenHeardListedAndThePointsShownAgain) {
  std::ifstream list(kData + "references");
  std::set<std::string> listed;
  std::string distances;  // of the source table's rows, for the file-order track of each file
  for (std::string line; std::getline(list, line);) {
    std::istringstream fields(line);
    std::string source, kind, step, period, reference;
    if (line.empty() || line[0] == '#' ||
        !(fields >> source >> kind >> step >> period >> reference))
      continue;
    listed.insert(reference);
    if (kind == "receiver") continue;  // the receiver's own golden test reads these
    const std::string track = Track(ReadFile(kData + source), kind.find("closest") == 0,
                                    kind.find("extra") != std::string::npos, step, period);
    EXPECT_EQ(track, ReadFile(kData + reference)) << reference;
    EXPECT_EQ(recorder_.bytes, track) << reference;
    const TrackEngine& engine = *engine_;
    const std::vector<std::string> lines = TrackLines(track);
    ASSERT_EQ(engine.NmeaTable().RowCount(), lines.size());
    ASSERT_EQ(recorder_.clocks.size() * 2, lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      ASSERT_EQ(engine.NmeaTable().Cell(i, 0), lines[i]);
      ASSERT_EQ(lines[i].substr(7, 11), TimeField(recorder_.clocks[i / 2])) << lines[i];
    }
    const std::size_t points = engine.PoiPoints()->PointCount();
    ASSERT_EQ(engine.SourceTable().RowCount(), points + 1) << reference;
    for (std::size_t row = 0; row <= points; ++row) {
      const PoiView point = (*engine.PoiPoints())[row];
      const std::string_view cells[] = {point.szLat, point.szLon, point.szDescription};
      for (std::size_t column = 0; column < 3; ++column)
        EXPECT_EQ(engine.SourceTable().Cell(row, column), cells[column]) << row;
    }
    // Distances are measured from the first point, flat as the closest order measures them.
    for (std::size_t row = 0; row <= points && kind == "plain"; ++row) {
      distances += (row == 0 ? source + ":" : "") + engine.SourceTable().Cell(row, 3) + "|";
    }
  }
  EXPECT_EQ(distances.substr(0, distances.find("mixed")),
            "three_points.csv:0.000 km|1349.188 km|18015.302 km||worked.txt:0.000 km|0.401 km|"
            "0.334 km||");
  EXPECT_TRUE(prompter_.messages.empty());
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    if (entry.path().extension() == ".nmea") {
      EXPECT_EQ(listed.count(entry.path().filename().string()), 1u) << entry.path();
    }
  }
  std::string columns;
  for (const TableRows* table :
       std::initializer_list<const TableRows*>{&engine_->SourceTable(), &engine_->NmeaTable()}) {
    for (std::size_t c = 0; c < table->ColumnCount(); ++c) columns += table->Column(c).title + "|";
  }
  EXPECT_EQ(columns, "Latitude|Longitude|Description|Distance|NMEA strings|");
}

// tests/data/stretches: short tracks, each point as expected; the file says what each one shows.
TEST_F(Engine, ShortTracksKeepTheirClockFollowTheirOrderAndFillEachStretch) {
  std::ifstream cases(kData + "stretches");
  std::string line, kind, step, period, pois, fixes;
  const auto check = [&] {
    if (pois.empty()) return;
    EXPECT_EQ(Fixes(Track(pois, kind == "closest", kind == "extra", step, period)), fixes) << pois;
    EXPECT_TRUE(prompter_.messages.empty());
  };
  while (std::getline(cases, line)) {
    if (line.rfind("track ", 0) == 0) {
      check();
      std::istringstream(line.substr(6)) >> kind >> step >> period >> pois;
      std::replace(pois.begin(), pois.end(), '|', '\n');
      pois += '\n';
      fixes.clear();
    } else if (!line.empty() && line[0] != '#') {
      fixes += line + "\n";
    }
  }
  check();
  EXPECT_GT(fixes.size(), 500u);
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
  if (!OpensAsFile(dir_.Path())) GTEST_SKIP() << "a folder does not open as a file here";
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

// A route file that is malformed is refused with its place, before the destination is touched.
TEST_F(Engine, AMalformedRouteFileIsShownWithItsPlaceAndTheDestinationLeftAlone) {
  WriteFile(dir_.File("track.nmea"), "kept");
  Fresh().SetSourceMustBeRead(true);
  WriteFile(engine_->m_strSourceFile, "<gpx>\n<wpt lat=\"1\" lon=\"2\">");
  engine_->CreateTrack();
  EXPECT_EQ(ReadFile(engine_->m_strDestFile), "kept");
  EXPECT_EQ(prompter_.messages,
            std::vector<std::string>{engine_->m_strSourceFile +
                                     ":2:21: malformed XML: the file ends before its elements are "
                                     "closed (is it cut short?)"});
}

#ifndef _WIN32
// A write that fails (here at a file-size limit) leaves the file cut back to its last whole line,
// and the output table lists just those lines.
TEST_F(Engine, AFailedWriteListsWhatTheFileHolds) {
  std::string pois;
  for (int i = 100; i < 300; ++i) pois += "8." + std::to_string(i) + ",50.0,p\n";
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit cap{8192, saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &cap);
  Track(pois);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  const std::vector<std::string> lines = TrackLines(ReadFile(engine_->m_strDestFile));
  EXPECT_EQ(engine_->LastTrack().outcome, TrackOutcome::kWriteFailed);
  ASSERT_TRUE(lines.size() > 100 && lines.size() < 400) << lines.size();
  ASSERT_EQ(engine_->NmeaTable().RowCount(), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(engine_->NmeaTable().Cell(i, 0), lines[i]);
}
#endif

TEST_F(Engine, AsksBeforeOverwritingAnythingAndNoLeavesItAsItWas) {
  WriteFile(dir_.File("track.nmea"), "precious\r\n");
  std::error_code error;
  std::filesystem::create_symlink(dir_.File("target.nmea"), dir_.File("link.nmea"), error);
  if (error) GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
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

#if defined(_WIN32)
TEST(EngineMemory, RunningOutOfMemoryKeepsThePointsReadSoFar) {
  GTEST_SKIP() << "Windows has no address-space cap (setrlimit) to run out of memory under";
}
#elif !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Loads pois with this process capped at a little more address space than it uses now. Exits 0 when
// the shortage was reported and the points read before it kept, in a list that ends in its tail.
[[noreturn]] void LoadUnderMemoryCap(const std::string& pois) {
  ScriptedPrompter prompter;
  FixedOptionStates options;
  TrackEngine engine(prompter, options);
  engine.m_strSourceFile = pois;
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const auto limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (24 << 20);
  const rlimit cap{limit, limit};
  setrlimit(RLIMIT_AS, &cap);
  engine.LoadPoiFile();
  const auto& list = engine.PoiPoints();
  const bool kept = list && list->size() > 1 && list->back().IsBlank() && (*list)[0].szLon == "8.5";
  const bool said =
      prompter.messages.size() == 1 &&
      prompter.messages[0].rfind("Argh! Out of memory making the POI list.\n", 0) == 0;
  std::_Exit(kept && said ? 0 : 1);
}

TEST(EngineMemory, RunningOutOfMemoryKeepsThePointsReadSoFar) {
  TempDir dir;
  std::ofstream out(dir.File("many.csv"));
  for (int i = 0; i < 600000; ++i) out << "8.5,50.5,a description long enough for the heap\n";
  out.close();
  // A fresh process, so that memory freed by earlier tests cannot serve the list.
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(LoadUnderMemoryCap(dir.File("many.csv")), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace wayloom::test
