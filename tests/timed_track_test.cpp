// Timed track files: the GPX and KML documents as written, GPSBabel reading every time and position
// back (of the writer's points, and of the command line's tracks against their RMC sentences), the
// GPX validated against the GPX 1.1 schema by xmllint, points that cannot be written, and a track
// stopped halfway.
#include "outputs/timed_track.h"
#include "job/settings.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

// The points, each with the "Date,Time" and "Latitude,Longitude,Altitude" GPSBabel's unicsv gives:
// past midnight, with and without milliseconds, south and west, 180 degrees written as -180.
const struct {
  TimedPoint point;
  const char* unicsv;
} kPoints[] = {
    {{1772927999250, 55.9533, -3.1883, 121.0}, "55.953300,-3.188300,121.0,2026/03/07,23:59:59.250"},
    {{1772928000000, -33.8568, 151.2153, -1.5}, "-33.856800,151.215300,-1.5,2026/03/08,00:00:00"},
    {{1772928001000, 0.5, 180.0, 0.0}, "0.500000,-180.000000,0.0,2026/03/08,00:00:01"}};

std::string WriteTrack(TimedTrackFormat format, const std::string& path) {
  TimedTrackWriter writer(format);
  EXPECT_TRUE(writer.Open(path, "A9 & <north>")) << writer.Error();
  for (const auto& row : kPoints) EXPECT_TRUE(writer.Write(row.point)) << writer.Error();
  EXPECT_TRUE(writer.Close()) << writer.Error();
  return ReadFile(path);
}

bool Installed(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Every time first, then every coordinate, in the order of the points (GPSBabel and xmllint below
// judge the rest).
TEST(TimedTrack, KmlHoldsEveryTimeThenEveryCoordinate) {
  TempDir dir;
  const std::string kml = WriteTrack(TimedTrackFormat::kKml, dir.File("t.kml"));
  const std::string track = kml.substr(kml.find("<gx:Track>"));
  EXPECT_EQ(
      track,
      "<gx:Track>\n        <altitudeMode>absolute</altitudeMode>\n"
      "        <when>2026-03-07T23:59:59.250Z</when>\n        <when>2026-03-08T00:00:00Z</when>\n"
      "        <when>2026-03-08T00:00:01Z</when>\n"
      "        <gx:coord>-3.1883000 55.9533000 121.00</gx:coord>\n"
      "        <gx:coord>151.2153000 -33.8568000 -1.50</gx:coord>\n"
      "        <gx:coord>-180.0000000 0.5000000 0.00</gx:coord>\n"
      "      </gx:Track>\n    </Placemark>\n  </Document>\n</kml>\n");
}

TEST(TimedTrack, GpsbabelReadsBackEveryTimeAndPosition) {
  if (!Installed("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  TempDir dir;
  for (const auto& [format, name, type] : {std::tuple{TimedTrackFormat::kGpx, "t.gpx", "gpx"},
                                           {TimedTrackFormat::kKml, "t.kml", "kml"}}) {
    WriteTrack(format, dir.File(name));
    const std::string command = std::string("gpsbabel -t -i ") + type + " -f " + dir.File(name) +
                                " -o unicsv,utc=0 -F " + dir.File("back.csv");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::vector<std::string> lines = Split(ReadFile(dir.File("back.csv")), "\r\n");
    ASSERT_GE(lines.size(), 4u) << type;
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(lines[i + 1], std::to_string(i + 1) + "," + kPoints[i].unicsv) << type;
    }
  }
}

// The GPX 1.1 schema's rules for what the writer uses (no Debian package ships the schema): the
// namespace, version 1.1 and a creator, a track's name before its segments, a point's lat
// (-90 to 90) and lon (-180 up to 180, 180 left out), its ele (a decimal) before its time (a
// dateTime).
constexpr const char* kGpxSchema = R"(<?xml version="1.0" encoding="UTF-8"?>
<schema xmlns="http://www.w3.org/2001/XMLSchema" xmlns:g="http://www.topografix.com/GPX/1/1"
 targetNamespace="http://www.topografix.com/GPX/1/1" elementFormDefault="qualified">
 <element name="gpx"><complexType><sequence><element name="trk" minOccurs="0" maxOccurs="unbounded">
  <complexType><sequence><element name="name" type="string" minOccurs="0"/>
   <element name="trkseg" minOccurs="0" maxOccurs="unbounded"><complexType><sequence>
    <element name="trkpt" type="g:wptType" minOccurs="0" maxOccurs="unbounded"/>
  </sequence></complexType></element></sequence></complexType></element></sequence>
  <attribute name="version" type="string" use="required" fixed="1.1"/>
  <attribute name="creator" type="string" use="required"/></complexType></element>
 <complexType name="wptType"><sequence><element name="ele" type="decimal" minOccurs="0"/>
  <element name="time" type="dateTime" minOccurs="0"/></sequence>
  <attribute name="lat" use="required"><simpleType><restriction base="decimal">
   <minInclusive value="-90.0"/><maxInclusive value="90.0"/></restriction></simpleType></attribute>
  <attribute name="lon" use="required"><simpleType><restriction base="decimal">
   <minInclusive value="-180.0"/><maxExclusive value="180.0"/></restriction></simpleType></attribute>
 </complexType>
</schema>
)";

TEST(TimedTrack, GpxValidatesAgainstTheGpx11Schema) {
  if (!Installed("xmllint")) GTEST_SKIP() << "xmllint is not installed";
  TempDir dir;
  WriteFile(dir.File("gpx.xsd"), kGpxSchema);
  WriteTrack(TimedTrackFormat::kGpx, dir.File("t.gpx"));
  const std::string command = "xmllint --noout --schema " + dir.File("gpx.xsd") + " " +
                              dir.File("t.gpx") + " 2>" + dir.File("lint.txt");
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(dir.File("lint.txt"));
}

TEST(TimedTrack, PointsThatCannotBeWrittenAreRefusedAndTheFileStaysWhole) {
  TempDir dir;
  const struct {
    TimedPoint point;
    const char* error;
  } rows[] = {{{0, 90.5, 0.0, 0.0}, "a point off the Earth"},
              {{0, 0.0, std::nan(""), 0.0}, "a point off the Earth"},
              {{0, 0.0, 0.0, HUGE_VAL}, "a point off the Earth"},
              {{253402300800000, 0.0, 0.0, 0.0}, "outside the years 0 to 9999"},  // 10000-01-01
              {{-62167219200001, 0.0, 0.0, 0.0}, "outside the years 0 to 9999"}};
  for (const auto format : {TimedTrackFormat::kGpx, TimedTrackFormat::kKml}) {
    TimedTrackWriter writer(format);
    ASSERT_TRUE(writer.Open(dir.File("t"), "t"));
    for (const auto& row : rows) {
      EXPECT_FALSE(writer.Write(row.point));
      EXPECT_NE(writer.Error().find(row.error), std::string::npos) << writer.Error();
    }
    EXPECT_TRUE(writer.Write({-62167219200000, 1.0, 2.0, 3.0})) << writer.Error();  // 0000-01-01
    EXPECT_EQ(writer.PointsWritten(), 1u);
    writer.Close();
    const std::string text = ReadFile(dir.File("t"));
    EXPECT_NE(text.find("0000-01-01T00:00:00Z"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 7),
              format == TimedTrackFormat::kGpx ? "</gpx>\n" : "</kml>\n");
  }
  TimedTrackWriter full(TimedTrackFormat::kGpx);
  ASSERT_TRUE(full.Open("/dev/full", "t"));
  EXPECT_FALSE(full.Close());
  EXPECT_NE(full.Error().find("no space left on the device"), std::string::npos) << full.Error();
}

// Each RMC sentence of a track as GPSBabel's unicsv gives a point: "LAT,LON,121.0,YYYY/MM/DD,TIME".
std::vector<std::string> RmcPoints(const std::string& track) {
  std::vector<std::string> points;
  for (const std::string& line : TrackLines(track)) {
    const std::vector<std::string> f = Split(line);
    if (f[0] != "$GPRMC") continue;
    const auto degrees = [](const std::string& field, std::size_t digits, const std::string& side) {
      const double value =
          ParseDecimal(field.substr(0, digits)) + ParseDecimal(field.substr(digits)) / 60.0;
      return FormatFixed(side == "S" || side == "W" ? -value : value, 6);
    };
    std::string time = f[1].substr(0, 2) + ":" + f[1].substr(2, 2) + ":" + f[1].substr(4, 2);
    if (f[1].substr(7) != "000") time += f[1].substr(6);
    points.push_back(degrees(f[3], 2, f[4]) + "," + degrees(f[5], 3, f[6]) + ",121.0,20" +
                     f[9].substr(4, 2) + "/" + f[9].substr(2, 2) + "/" + f[9].substr(0, 2) + "," +
                     time);
  }
  return points;
}

// The command line's --gpx and --kml beside DEST: GPSBabel reads from each file every fix of DEST
// at its time and date (the date of clock 0 and the clock, across midnight either way) and place.
TEST(TimedTrack, GpsbabelReadsTheCommandLinesFilesAsTheTrackItWrote) {
  if (!Installed("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  TempDir dir;
  const std::vector<std::string> rows[] = {
      {"--date", "2026-03-07", "--period", "-1800.25", WAYLOOM_TEST_DATA "/three_points.csv"},
      {"--speed", "3000", "--date", "2026-12-31", "--start", "23:59:58", "--sentences", "GGA,RMC",
       WAYLOOM_TEST_DATA "/worked.txt"}};
  for (const std::vector<std::string>& row : rows) {
    std::vector<std::string> arguments = {"--yes", "--gpx", dir.File("t.gpx"), "--kml",
                                          dir.File("t.kml")};
    arguments.insert(arguments.end(), row.begin(), row.end());
    arguments.push_back(dir.File("t.nmea"));
    const CliRun run = InvokeCli(arguments);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const std::vector<std::string> expected = RmcPoints(ReadFile(dir.File("t.nmea")));
    EXPECT_NE(run.err.find(std::to_string(expected.size()) + " fixes written to " +
                           dir.File("t.gpx") + " and " + dir.File("t.kml")),
              std::string::npos)
        << run.err;
    for (const char* type : {"gpx", "kml"}) {
      const std::string command = std::string("gpsbabel -t -i ") + type + " -f " +
                                  dir.File(std::string("t.") + type) + " -o unicsv,utc=0 -F " +
                                  dir.File("back.csv");
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      std::vector<std::string> lines = Split(ReadFile(dir.File("back.csv")), "\r\n");
      lines.erase(lines.begin());  // the heading
      lines.pop_back();            // after the last line end
      ASSERT_EQ(lines.size(), expected.size()) << type << " " << row.back();
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i], std::to_string(i + 1) + "," + expected[i]) << type << " " << row.back();
      }
    }
  }
}

// Asks for a stop once it has heard a number of fixes.
class StopAfter : public ProgressMonitor, public FixListener {
 public:
  explicit StopAfter(int fixes) : fixes_(fixes) {}
  void Report(const TrackProgress&) override {}
  bool StopRequested() override { return fixes_ <= 0; }
  void OnFix(const Fix&, const SentenceLines&) override { --fixes_; }

 private:
  int fixes_;
};

// A track stopped while it is written leaves timed track files that are whole documents holding
// every fix written so far, in the classic tracks and in receiver mode.
TEST(TimedTrack, AStoppedTrackLeavesWholeDocuments) {
  TempDir dir;
  for (const bool receiver : {false, true}) {
    SettingTexts texts;
    texts.date = "2026-03-07";
    if (receiver) texts.speed = "30";
    texts.gpx = dir.File("t.gpx");
    texts.kml = dir.File("t.kml");
    JobSettings settings;
    ASSERT_EQ(CheckSettings(
                  texts, [](Setting) { return std::string("?"); }, settings),
              "");
    settings.source = WAYLOOM_TEST_DATA "/worked.txt";
    ScriptedPrompter prompter;
    prompter.answers = {true, true};
    FixedOptionStates options;
    TrackJob job(prompter, options);
    StopAfter stop(3);
    const JobSummary summary = job.Run(settings, &stop, &stop);
    EXPECT_EQ(summary.outcome, JobOutcome::kStopped) << receiver;
    EXPECT_EQ(summary.timedFixesWritten, 3u) << receiver;
    const std::string gpx = ReadFile(dir.File("t.gpx"));
    const std::string kml = ReadFile(dir.File("t.kml"));
    EXPECT_EQ(Split(gpx, "<trkpt ").size(), 4u) << gpx;
    EXPECT_EQ(Split(kml, "<gx:coord>").size(), 4u) << kml;
    EXPECT_EQ(gpx.substr(gpx.size() - 7) + kml.substr(kml.size() - 7), "</gpx>\n</kml>\n");
  }
}

}  // namespace
}  // namespace wayloom::test
