// Route files: how a file's kind is told, the same points and details from every reader, the
// paths of a file and the choice among them, and malformed files refused with their place.

#include "sources/reading.h"
#include "sources/route_writer.h"
#include "sources/source.h"
#include "tests/test_support.h"

namespace wayloom::test {
namespace {

std::string Number(double value) { return std::isnan(value) ? "-" : FormatFixed(value, 2); }

// The points read, one line each: texts, then the details the file has (t= time in UTC ms, e=
// elevation, s= speed, d= dwell; a column the file lacks is left out) and @ the point's line.
std::string Describe(const PoiList& list, const PointDetails& details) {
  std::string out;
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    const PoiView point = list[i];
    out.append(point.szLon).append(" ").append(point.szLat).append(" [");
    out.append(point.szDescription).append("] [").append(point.szExtra).append("]");
    if (!details.timesUtcMs.empty()) {
      const std::int64_t time = details.timesUtcMs[i];
      out += " t=" + (time == PointDetails::kNoTime ? "-" : std::to_string(time));
    }
    if (!details.elevationsMetres.empty()) out += " e=" + Number(details.elevationsMetres[i]);
    if (!details.speedsMetresPerSecond.empty()) {
      out += " s=" + Number(details.speedsMetresPerSecond[i]);
    }
    if (!details.dwellsSeconds.empty()) out += " d=" + Number(details.dwellsSeconds[i]);
    if (!details.lines.empty()) out += " @" + std::to_string(details.lines[i]);
    out += "\n";
  }
  return out;
}

// A route as written, one line a point, its missing details as "-".
std::string Describe(const std::vector<RouteFilePoint>& points) {
  std::string out;
  for (const RouteFilePoint& p : points) {
    out += p.longitude + " " + p.latitude + " [" + p.name + "] [" + p.description +
           "] e=" + Number(p.elevationMetres) + " s=" + Number(p.speedMetresPerSecond) +
           " d=" + Number(p.dwellSeconds) + " t=" + std::to_string(p.timeUtcMs) + "\n";
  }
  return out;
}

std::string DescribePaths(const SourceRead& read) {
  std::string out;
  for (const SourcePath& path : read.paths) {
    out += "[" + path.name + "] " + PathKindName(path.kind) + " " +
           std::to_string(path.pointCount) + "; ";
  }
  return out;
}

class Sources : public ::testing::Test {
 protected:
  // Writes bytes to a file of that name in the test's folder and reads it.
  SourceStatus Read(const std::string& name, const std::string& bytes,
                    const std::string& path = "") {
    WriteFile(dir_.File(name), bytes);
    SourceOptions options;
    options.path = path;
    return ReadSource(dir_.File(name), options, list_, read_);
  }
  std::string Message() const {  // the message without the folder
    const std::string prefix = dir_.Path() + "/";
    return read_.message.rfind(prefix, 0) == 0 ? read_.message.substr(prefix.size())
                                               : read_.message;
  }

  TempDir dir_;
  PoiList list_;
  SourceRead read_;
};

TEST(SourceRecognition, TheContentTellsTheKindAndPoiFilesStayPoiFiles) {
  const std::pair<std::optional<SourceKind>, std::vector<std::string>> cases[] = {
      // Files the POI file reader reads today keep it, heading lines and all; the header is the
      // first line alone; UTF-16: the POI file reader says why it gives no points; <html> is a
      // heading line of a POI file for all that can be told.
      {SourceKind::kPoiFile,
       {"longitude,latitude,description\n-3.1883,55.9533,Edinburgh\n", "lon,lat,desc\n8.5,50.5,x\n",
        "lng,latitude,notes,more\n", "-3.1883,55.9533,lat lon name time\n", "lat\nlon\n", "",
        "\xFF\xFE-\x00", "<html><body>", "<POI list>\n-3.1883,55.9533,Edinburgh\n",
        "{ a comment }\n"}},
      // A header the POI file's layout cannot mean.
      {SourceKind::kCsv,
       {"lat,lon\n50.5,8.5\n", "Latitude,Longitude,Description\n", "lon,lat,name\n",
        "lon,lat,time\n", "lon,lat,alt\n", "longitude;latitude\n", "\"lat\",\"lon\"\r\n",
        "\xEF\xBB\xBF LAT , LON \n", "id,lng,lat,Name\n"}},
      // XML by its root element, JSON by its first character; a zip archive (KMZ) is none.
      {SourceKind::kGpx,
       {"<?xml version=\"1.0\"?>\n<!-- a comment -->\n<gpx version=\"1.1\">",
        "\xEF\xBB\xBF<gpx:gpx xmlns:gpx=\"x\"><wpt"}},
      {SourceKind::kKml, {"  <kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document>"}},
      {SourceKind::kGeoJson, {"\n {\"type\": \"FeatureCollection\"", "[[[", "{}"}},
      {std::nullopt,
       {"<?xml version=\"1.0\"?><html><body>", std::string("PK\x03\x04\x14\x00", 6)}}};
  for (const auto& [kind, heads] : cases) {
    for (const std::string& head : heads) EXPECT_EQ(RecogniseSource(head), kind) << head;
  }
}

TEST_F(Sources, PoiFilesReadExactlyAsThePoiFileReaderReadsThem) {
  const std::string files[] = {WAYLOOM_TEST_DATA "/worked.txt", WAYLOOM_TEST_DATA "/mixed.txt",
                               WAYLOOM_TEST_DATA "/three_points.csv",
                               WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv"};
  for (const std::string& file : files) {
    PoiList expected;
    ASSERT_EQ(ReadPoiFile(file, expected), PoiReadStatus::kOk);
    ASSERT_EQ(ReadSource(file, SourceOptions{}, list_, read_), SourceStatus::kOk) << file;
    EXPECT_EQ(read_.kind, SourceKind::kPoiFile) << file;
    EXPECT_EQ(list_, expected) << file;
    EXPECT_EQ(DescribePaths(read_), "[] points " + std::to_string(expected.size() - 1) + "; ");
    EXPECT_TRUE(read_.details.lines.empty() && read_.details.timesUtcMs.empty());
  }
}

// Three points as each reader takes them: Princes St (Edinburgh) at 08:00:00Z, 45.5 m, 12.5 m/s,
// 30 s; Haymarket at 08:01:00.250Z, 50 m, nothing more; Inverness (End) at 09:30+01:00, -2 m,
// 0 m/s, 0 s. Each format gives what it can carry, and the lines its points stand on.
TEST_F(Sources, EveryReaderGivesThePointsTheirTextsAndTheirDetails) {
  const std::string t1 = "t=1767254400000", t2 = "t=1767254460250", t3 = "t=1767256200000";
  const struct {
    std::string name;
    std::string bytes;
    std::string points;
  } cases[] = {
      {"gpx10.gpx",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<gpx version=\"1.0\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
       "<trk><name>Walk</name><trkseg>\n"
       "<trkpt lat=\"55.9533\" lon=\"-3.1883\"><ele>45.5</ele><time>2026-01-01T08:00:00Z</time>"
       "<name>Princes St</name><desc>Edinburgh</desc><speed>12.5</speed></trkpt>\n"
       "<trkpt lat=\"55.944\" lon=\"-3.262\"><ele>50</ele><time>2026-01-01T08:01:00.250Z</time>"
       "<name> Haymarket </name></trkpt>\n"
       "</trkseg><trkseg>\n"
       "<trkpt lat=\" 57.477\" lon=\"-4.243\"><ele>-2</ele>\n<time>2026-01-01T09:30:00+01:00</time>"
       "<name>Inverness</name><desc>End</desc><speed>0</speed></trkpt>\n"
       "</trkseg></trk></gpx>\n",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 s=12.50 @4\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 s=- @5\n" +  //
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 s=0.00 @7\n"},
      {"gpx11.gpx",
       "<gpx version=\"1.1\" creator=\"t\" xmlns=\"http://www.topografix.com/GPX/1/1\">\r\n"
       "<metadata><name>not a point</name></metadata>\r\n"
       "<wpt lat=\"55.9533\" lon=\"-3.1883\"><ele>45.5</ele><time>2026-01-01T08:00:00Z</time>"
       "<name>Princes St</name><desc>Edinburgh</desc></wpt>\r\n"
       "<wpt lat=\"55.944\" lon=\"-3.262\"><ele>50</ele><time>2026-01-01T08:01:00.250Z</time>"
       "<name>Haymarket</name></wpt>\r\n"
       "<wpt lat=\"57.477\" lon=\"-4.243\"><ele>-2</ele><time>2026-01-01T09:30:00+01:00</time>"
       "<name><![CDATA[Inverness]]></name><desc>End</desc></wpt>\r\n</gpx>",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 @3\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 @4\n" +  //
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 @5\n"},
      {"placemarks.kml",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\"><Document><Folder>\n"
       "<Placemark><name>Princes St</name><description>Edinburgh</description>"
       "<TimeStamp><when>2026-01-01T08:00:00Z</when></TimeStamp>\n"
       "<ExtendedData><Data name=\"speed\"><value>12.5</value></Data>"
       "<Data name=\"dwell\"><value>30</value></Data></ExtendedData>\n"
       "<Point><coordinates>-3.1883,55.9533,45.5</coordinates></Point></Placemark>\n"
       "<Placemark><name>Haymarket</name><TimeStamp><when>2026-01-01T08:01:00.250Z</when>"
       "</TimeStamp><Point><coordinates>\n -3.262,55.944,50 </coordinates></Point></Placemark>\n"
       "<Placemark><name>Inverness</name><description><![CDATA[End]]></description>"
       "<TimeStamp><when>2026-01-01T09:30:00+01:00</when></TimeStamp><ExtendedData><SchemaData>"
       "<SimpleData name=\"speed\">0</SimpleData><SimpleData name=\"dwell\">0</SimpleData>"
       "</SchemaData></ExtendedData>\n"
       "<MultiGeometry><Point><coordinates>-4.243,57.477,-2</coordinates></Point>"
       "</MultiGeometry></Placemark>\n</Folder></Document></kml>\n",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 s=12.50 d=30.00 @5\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 s=- d=- @6\n" +
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 s=0.00 d=0.00 @9\n"},
      {"track.kml",
       "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
       "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
       "<Placemark><name>Walk</name><gx:Track>\n"
       "<when>2026-01-01T08:00:00Z</when>\n<when>2026-01-01T08:01:00.250Z</when>\n"
       "<when>2026-01-01T09:30:00+01:00</when>\n"
       "<gx:coord>-3.1883 55.9533 45.5</gx:coord>\n<gx:coord>-3.262  55.944 50</gx:coord>\n"
       "<gx:coord>-4.243 57.477 -2</gx:coord>\n"
       "<ExtendedData><SchemaData schemaUrl=\"#s\"><gx:SimpleArrayData name=\"speed\">"
       "<gx:value>12.5</gx:value><gx:value/><gx:value>0</gx:value></gx:SimpleArrayData>"
       "</SchemaData></ExtendedData>\n</gx:Track></Placemark></kml>\n",
       "-3.1883 55.9533 [] [] " + t1 + " e=45.50 s=12.50 @6\n" +  //
           "-3.262 55.944 [] [] " + t2 + " e=50.00 s=- @7\n" +    //
           "-4.243 57.477 [] [] " + t3 + " e=-2.00 s=0.00 @8\n"},
      {"points.geojson",
       "{\"type\": \"FeatureCollection\", \"features\": [\n"
       "{\"type\": \"Feature\", \"properties\": {\"name\": \"Princes St\", \"desc\": "
       "\"Edinburgh\", "
       "\"time\": \"2026-01-01T08:00:00Z\", \"speed\": 12.5, \"dwell\": 30, \"other\": [1, {}]}, "
       "\"geometry\": {\"type\": \"Point\", \"coordinates\": [-3.1883, 55.9533, 45.5]}},\n"
       "{\"type\": \"Feature\", \"geometry\": {\"coordinates\": [-3.262, 55.944, 50], \"type\": "
       "\"Point\"}, \"properties\": {\"name\": \"Haymarket\", \"time\": "
       "\"2026-01-01T08:01:00.250Z\", \"desc\": null}},\n"
       "{\"type\": \"Feature\", \"properties\": {\"name\": \"Inverness\", \"description\": "
       "\"End\", "
       "\"time\": \"2026-01-01T09:30:00+01:00\", \"speed\": \"0\", \"dwell\": 0}, \"geometry\": "
       "{\"type\": \"MultiPoint\", \"coordinates\": [[-4.243, 57.477, -2]]}},\n"
       "{\"type\": \"Feature\", \"geometry\": {\"type\": \"Polygon\", \"coordinates\": [[[0, "
       "0]]]}}\n"
       "]}\n",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 s=12.50 d=30.00 @2\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 s=- d=- @3\n" +
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 s=0.00 d=0.00 @4\n"},
      {"line.json",
       "\xEF\xBB\xBF{\"type\": \"Feature\", \"properties\": {\"name\": \"Walk\", \"coordTimes\": "
       "[[\"2026-01-01T08:00:00Z\", \"2026-01-01T08:01:00.250Z\"], "
       "[\"2026-01-01T09:30:00+01:00\"]]},\n"
       "\"geometry\": {\"type\": \"MultiLineString\", \"coordinates\": "
       "[[[-3.1883, 55.9533, 45.5], [-3.262, 55.944, 50]],\n[[-4.243, 57.477, -2, 7]]]}}",
       "-3.1883 55.9533 [] [] " + t1 + " e=45.50 @2\n" +    //
           "-3.262 55.944 [] [] " + t2 + " e=50.00 @2\n" +  //
           "-4.243 57.477 [] [] " + t3 + " e=-2.00 @3\n"},
      {"comma.csv",
       "name,lat,lon,ele,time,speed,dwell,desc,notes\n"
       "Princes St,55.9533,-3.1883,45.5,2026-01-01T08:00:00Z,12.5,30,Edinburgh,x\n"
       "Haymarket,55.944,-3.262,50,2026-01-01T08:01:00.250Z,,,\n"
       "\"Inverness\",57.477 , -4.243,-2,2026-01-01 09:30:00+01:00,0,0,\"End\",\"a, \"\"b\"\"\"\n",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 s=12.50 d=30.00 @2\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 s=- d=- @3\n" +
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 s=0.00 d=0.00 @4\n"},
      {"semicolon.txt",
       "\xEF\xBB\xBFLatitude;Longitude;Name;Description;Alt;Time;Speed;Dwell\r\n"
       "55,9533;-3,1883;\"Princes St\";\"Edinburgh\";45,5;2026-01-01T08:00:00Z;12,5;30\r\n"
       "\r\n"
       "55.944;-3.262;Haymarket;;50;2026-01-01T08:01:00.250Z;;\r\n"
       "57,477;-4,243;Inverness;\"End\";-2;2026-01-01T09:30:00+0100;0;0",
       "-3.1883 55.9533 [Princes St] [Edinburgh] " + t1 + " e=45.50 s=12.50 d=30.00 @2\n" +
           "-3.262 55.944 [Haymarket] [] " + t2 + " e=50.00 s=- d=- @4\n" +
           "-4.243 57.477 [Inverness] [End] " + t3 + " e=-2.00 s=0.00 d=0.00 @5\n"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Read(c.name, c.bytes), SourceStatus::kOk) << c.name << ": " << read_.message;
    EXPECT_EQ(Describe(list_, read_.details), c.points) << c.name;
    EXPECT_TRUE(list_.back().IsBlank()) << c.name;
    EXPECT_TRUE(read_.details.AllTimed()) << c.name;
  }
}

// A file with several wrong points is refused for the first of them; a detail some points lack
// is missing (NaN) for them alone.
TEST_F(Sources, TheFirstWrongPointIsNamedAndMissingDetailsStayMissing) {
  const std::string start = "<gpx><trk><trkseg>\n<trkpt lat=\"1\" lon=\"2\"/>\n";
  const std::string wrong = "<trkpt lat=\"1\" lon=\"x\"/>\n";
  const std::string right = "<trkpt lat=\"3\" lon=\"4\"><ele>5</ele></trkpt>\n";
  const std::string end = "</trkseg></trk></gpx>";
  ASSERT_EQ(Read("both.gpx", start + wrong + right + wrong + end), SourceStatus::kRefused);
  EXPECT_EQ(Message(), "both.gpx:3:21: longitude \"x\" is no number");
  ASSERT_EQ(Read("right.gpx", start + right + start.substr(19) + right + end), SourceStatus::kOk);
  EXPECT_EQ(Describe(list_, read_.details),
            "2 1 [] [] e=- @2\n4 3 [] [] e=5.00 @3\n2 1 [] [] e=- @4\n4 3 [] [] e=5.00 @5\n");
}

TEST_F(Sources, TextsTheListCannotHoldWholeAreMadeToFitAndNamesFallBackOnDesc) {
  ASSERT_EQ(Read("long.csv",
                 "lat,lon,desc\n"
                 "55.953312345678901,-3.18830000000001,Only a desc\n"
                 "5.59533e1,-179.123456789012345,\n"),
            SourceStatus::kOk)
      << read_.message;
  EXPECT_EQ(Describe(list_, read_.details),
            "-3.18830000000 55.95331234568 [Only a desc] [Only a desc] @2\n"
            "-179.123456789 55.95330000000 [] [] @3\n");
}

TEST_F(Sources, AKindAskedForWinsAndMissingFilesAndStopsAreToldAsForPoiFiles) {
  const std::string sample = WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv";
  SourceOptions asCsv;
  asCsv.kind = SourceKind::kCsv;
  ASSERT_EQ(ReadSource(sample, asCsv, list_, read_), SourceStatus::kOk);
  EXPECT_EQ(read_.kind, SourceKind::kCsv);
  ASSERT_EQ(list_.size(), 32u);
  const std::string first =
      "-3.1883 55.9533 [Edinburgh Princes Street] [Edinburgh Princes Street] @2\n";
  EXPECT_EQ(Describe(list_, read_.details).substr(0, first.size()), first);

  SourceOptions asPoi;
  asPoi.kind = SourceKind::kPoiFile;
  WriteFile(dir_.File("a.gpx"), "<gpx>\n<wpt lat=\"1\" lon=\"2\"/>\n</gpx>\n");
  ASSERT_EQ(ReadSource(dir_.File("a.gpx"), asPoi, list_, read_), SourceStatus::kOk);
  EXPECT_EQ(list_.size(), 1u);

  SourceOptions stopped;
  stopped.stopRequested = [] { return true; };
  EXPECT_EQ(ReadSource(dir_.File("a.gpx"), stopped, list_, read_), SourceStatus::kStopped);
  EXPECT_EQ(list_.size(), 1u);
  // A large file is read a block at a time, and a stop asked for meanwhile ends it there.
  std::string big = "<gpx>\n";
  while (big.size() < 2500000) big += "<wpt lat=\"1\" lon=\"2\"/>\n";
  WriteFile(dir_.File("big.gpx"), big + "</gpx>\n");
  int asked = 0;
  SourceOptions later;
  later.stopRequested = [&asked] { return ++asked > 1; };
  EXPECT_EQ(ReadSource(dir_.File("big.gpx"), later, list_, read_), SourceStatus::kStopped);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(list_.size(), 1u);
  EXPECT_EQ(ReadSource(dir_.File("missing.gpx"), SourceOptions{}, list_, read_),
            SourceStatus::kCannotOpen);
  EXPECT_EQ(read_.error, std::errc::no_such_file_or_directory);
}

// A file with several paths: the first track, else the first route or line, else the points;
// a name or a number from 1 chooses another.
TEST_F(Sources, TheFirstTrackIsReadUnlessAnotherPathIsChosenByNameOrNumber) {
  const std::string gpx =
      "<gpx version=\"1.1\">\n<wpt lat=\"1\" lon=\"2\"/>\n"
      "<rte><name>R</name><rtept lat=\"3\" lon=\"4\"/><rtept lat=\"5\" lon=\"6\"/></rte>\n"
      "<wpt lat=\"7\" lon=\"8\"/>\n"
      "<trk><name>T1</name><trkseg><trkpt lat=\"9\" lon=\"10\"/></trkseg></trk>\n"
      "<trk><name>2</name><trkseg/><trkseg><trkpt lat=\"11\" lon=\"12\"/>"
      "<trkpt lat=\"13\" lon=\"14\"/></trkseg></trk>\n</gpx>\n";
  const std::string gpxPaths = "[] points 2; [R] route 2; [T1] track 1; [2] track 2; ";
  const std::string kml =
      "<kml><Document><Placemark><name>P</name><Point><coordinates>1,2</coordinates></Point>"
      "</Placemark><Folder><Placemark><name>L</name><LineString><coordinates>3,4 5,6"
      "</coordinates></LineString></Placemark></Folder></Document></kml>";
  const std::string geojson =
      "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"geometry\":"
      "{\"type\":\"Point\",\"coordinates\":[1,2]},\"properties\":{\"name\":\"P\"}},"
      "{\"type\":\"Feature\",\"geometry\":null},{\"type\":\"Feature\",\"geometry\":{\"type\":"
      "\"LineString\",\"coordinates\":[[3,4],[5,6]]},\"properties\":{\"name\":\"L\",\"coordTimes\":"
      "[\"2026-01-01T08:00:00Z\",\"2026-01-01T08:00:01Z\"]}}]}";
  const struct {
    std::string name;
    std::string bytes;
    std::string path;
    std::string paths;
    std::size_t chosen;
    std::string points;
  } cases[] = {
      {"a.gpx", gpx, "", gpxPaths, 2, "10 9 [] [] @5\n"},
      {"a.gpx", gpx, "2", gpxPaths, 3, "12 11 [] [] @6\n14 13 [] [] @6\n"},  // the name first
      {"a.gpx", gpx, "1", gpxPaths, 0, "2 1 [] [] @2\n8 7 [] [] @4\n"},
      {"a.gpx", gpx, "R", gpxPaths, 1, "4 3 [] [] @3\n6 5 [] [] @3\n"},
      {"a.gpx", gpx, "3", gpxPaths, 2, "10 9 [] [] @5\n"},
      {"b.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"/><rte><rtept lat=\"3\" lon=\"4\"/></rte></gpx>", "",
       "[] points 1; [] route 1; ", 1, "4 3 [] [] @1\n"},
      {"e.gpx", "<gpx><trk><name>E</name><trkseg/></trk></gpx>", "", "[E] track 0; ", 0, ""},
      {"n.gpx", "<gpx version=\"1.1\"/>", "", "", 0, ""},
      {"a.kml", kml, "", "[] points 1; [L] line 2; ", 1, "3 4 [] [] @1\n5 6 [] [] @1\n"},
      {"a.kml", kml, "1", "[] points 1; [L] line 2; ", 0, "1 2 [P] [] @1\n"},
      {"a.json", geojson, "", "[] points 1; [L] line 2; ", 1,
       "3 4 [] [] t=1767254400000 @1\n5 6 [] [] t=1767254401000 @1\n"},
      {"a.json", geojson, "1", "[] points 1; [L] line 2; ", 0, "1 2 [P] [] @1\n"},
      {"a.csv", "lat,lon\n2,1\n", "1", "[] points 1; ", 0, "1 2 [] [] @2\n"},
      {"q.csv", "\"la\"\"t\",lat,\"lon\"\n9,1,2\n", "", "[] points 1; ", 0, "2 1 [] [] @2\n"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Read(c.name, c.bytes, c.path), SourceStatus::kOk) << c.name << " " << c.path;
    EXPECT_EQ(DescribePaths(read_), c.paths) << c.name << " " << c.path;
    EXPECT_EQ(read_.chosen, c.chosen) << c.name << " " << c.path;
    EXPECT_EQ(Describe(list_, read_.details), c.points) << c.name << " " << c.path;
  }
  ASSERT_EQ(Read("a.gpx", gpx, "5"), SourceStatus::kRefused);
  EXPECT_EQ(Message(),
            "a.gpx: no path \"5\": the file's paths are 1 \"\" (points, 2 points), 2 \"R\" (route, "
            "2 points), 3 \"T1\" (track, 1 point), 4 \"2\" (track, 2 points)");
  ASSERT_EQ(Read("n.gpx", "<gpx/>", "1"), SourceStatus::kRefused);
  EXPECT_EQ(Message(), "n.gpx: no path \"1\": the file's paths are none");
  // A POI file is one path of points: the first, and no other.
  ASSERT_EQ(Read("p.txt", "1,2\n3,4\n", "1"), SourceStatus::kOk);
  ASSERT_EQ(Read("p.txt", "1,2\n3,4\n", "2"), SourceStatus::kRefused);
  EXPECT_EQ(Message(), "p.txt: no path \"2\": the file's paths are 1 \"\" (points, 2 points)");
  EXPECT_EQ(list_.size(), 1u);
}

TEST(SourceTimes, Iso8601TimesReadAsUtcMillisecondsOrNotAtAll) {
  // clang-format off
  const struct {
    std::string text;
    std::int64_t utcMs;  // -1: refused
  } cases[] = {
      {"1970-01-01T00:00:00Z", 0},          {"1970-01-01 00:00:01z", 1000},
      {"1970-01-01t00:00:00.5Z", 500},      {"1970-01-01T00:00:00.123456Z", 123},
      {"1970-01-01T00:00:00,25Z", 250},     {"1970-01-01T01:00:00+01:00", 0},
      {"1970-01-01T00:00:00-0130", 5400000}, {"1970-01-02T00:00:00+24", -1},
      {"1969-12-31T23:59:59Z", -1000},      {"2026-01-01T08:00:00Z", 1767254400000},
      {"2025-02-29T12:00:00Z", -1},         {"2026-01-01T24:00:00Z", -1},
      {"2026-01-01T08:00Z", -1},            {"2026-01-01T08:00:00.Z", -1},
      {"2026-01-01T08:00:00Zulu", -1},      {"2026-01-01T08:00:00+1", -1},
      {"", -1}};
  // clang-format on
  for (const auto& c : cases) {
    std::int64_t utcMs = -1;
    const bool read = source_reading::ParseIsoTime(c.text, utcMs);
    EXPECT_EQ(read ? utcMs : -1, c.utcMs) << c.text;
  }
}

// Every malformed file is refused whole with FILE:LINE:COLUMN and what is wrong; nothing of it is
// kept, and no entity is ever expanded.
TEST_F(Sources, MalformedFilesAreRefusedNamingTheirPlace) {
  const std::string laughs =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
      " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
      " <!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">\n]>\n"
      "<gpx><wpt lat=\"1\" lon=\"2\"><name>&lol2;</name></wpt></gpx>\n";
  const std::string external =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [<!ENTITY secret SYSTEM \"file:///etc/passwd\">]>\n"
      "<gpx><wpt lat=\"1\" lon=\"2\"><name>&secret;</name></wpt></gpx>\n";
  const std::string deep = std::string(10000, '[') + std::string(10000, ']');
  std::string deepKml = "<kml>";
  for (int i = 0; i < 70; ++i) deepKml += "<Folder>";
  for (int i = 0; i < 70; ++i) deepKml += "</Folder>";
  deepKml += "</kml>";
  const struct {
    std::string name;
    std::string bytes;
    std::string message;
  } cases[] = {
      {"cut.gpx", "<gpx>\n<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/>",
       "cut.gpx:2:37: malformed XML: the file ends before its elements are closed (is it cut "
       "short?)"},
      {"nesting.gpx", "<gpx>\n<trk><trkseg></trk></trkseg>\n</gpx>",
       "nesting.gpx:2:16: malformed XML: start-end tags mismatch"},
      {"latitude.gpx", "<gpx>\n  <wpt lat=\"5x\" lon=\"2\"/></gpx>",
       "latitude.gpx:2:13: latitude \"5x\" is no number"},
      {"south.gpx", "<gpx>\n<rte><rtept lat=\"-90.5\" lon=\"2\"/></rte></gpx>",
       "south.gpx:2:18: latitude -90.5 lies off the Earth: latitudes run from -90 to 90"},
      {"east.kml",
       "<kml><Placemark><LineString><coordinates>1,2\n 180.001,3</coordinates></LineString>"
       "</Placemark></kml>",
       "east.kml:2:2: longitude 180.001 lies off the Earth: longitudes run from -180 to 180"},
      {"nolat.gpx", "<gpx><trk><trkseg>\n<trkpt lon=\"2\"/></trkseg></trk></gpx>",
       "nolat.gpx:2:1: a point without a latitude"},
      {"time.gpx", "<gpx><wpt lat=\"1\" lon=\"2\">\n<time>yesterday</time></wpt></gpx>",
       "time.gpx:2:7: time \"yesterday\" is no ISO 8601 date and time (such as "
       "2026-01-01T08:00:00Z)"},
      {"ele.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><ele>1,5</ele></wpt></gpx>",
       "ele.gpx:1:32: elevation \"1,5\" is no number"},
      {"speed.gpx", "<gpx><wpt lat=\"1\" lon=\"2\"><speed>-3</speed></wpt></gpx>",
       "speed.gpx:1:34: speed -3 is negative"},
      {"laughs.gpx", laughs,
       "laughs.gpx:2:11: a document type that declares entities: entities are not expanded, and "
       "route files need none"},
      {"external.gpx", external,
       "external.gpx:2:11: a document type that declares entities: entities are not expanded, "
       "and route files need none"},
      {"other.xml", "<?xml version=\"1.0\"?>\n<svg/>",
       "other.xml:2:2: an XML document whose root element is <svg>, neither GPX (<gpx>) nor KML "
       "(<kml>): the kinds read are GPX, KML, GeoJSON, CSV with a header line and POI files "
       "(longitude,latitude,description lines)"},
      {"track.kml",
       "<kml><Placemark><Track><when>2026-01-01T08:00:00Z</when></Track></Placemark></kml>",
       "track.kml:1:17: a track with 1 <when> and 0 <gx:coord>: one of each a point"},
      {"deep.kml", deepKml, "deep.kml:1:518: elements nested deeper than 64 levels"},
      {"deep.json", deep, "deep.json:1:1: a GeoJSON text is one object, not an array or a value"},
      {"deeper.json",
       "{\"type\": \"Feature\", \"properties\": {\"x\": " + deep + "}, \"geometry\": null}",
       "deeper.json:1:103: JSON nested deeper than 64 levels"},
      {"more.json", "{\"type\":\"Point\",\"coordinates\":[1,2]} {\"x\":1}",
       "more.json:1:38: malformed JSON: more after the object"},
      {"cut.json", "{\"type\": \"LineString\", \"coordinates\": [[1, 2], [3",
       "cut.json:1:50: malformed JSON: JSON document ended early in the middle of an object or "
       "array"},
      {"short.json", "{\"type\": \"LineString\",\n \"coordinates\": [[1, 2], [3]]}",
       "short.json:2:26: a position has a longitude and a latitude"},
      {"string.json", "{\"type\": \"Point\", \"coordinates\": [\"1\", 2]}",
       "string.json:1:35: a position is an array of numbers"},
      {"features.json", "{\"type\": \"FeatureCollection\", \"features\": {}}",
       "features.json:1:43: a FeatureCollection's features are an array"},
      {"times.json",
       "{\"type\": \"Feature\", \"properties\": {\"coordTimes\": [\"2026-01-01T08:00:00Z\"]}, "
       "\"geometry\": {\"type\": \"LineString\", \"coordinates\": [[1, 2], [3, 4]]}}",
       "times.json:1:127: 1 coordTimes for 2 points"},
      {"utf8.json", "{\"type\": \"Point\",\n \"coordinates\": [1, 2], \"x\": \"\xC3\x28\"}",
       "utf8.json:2:31: malformed JSON: the input is not valid UTF-8"},
      {"quote.csv", "lat,lon,name\n1,2,\"open\n3,4,x\n",
       "quote.csv:2:5: a quoted field is not closed"},
      {"after.csv", "lat,lon,name\n1,2,\"a\"b\n",
       "after.csv:2:8: text after a quoted field's "
       "closing quote"},
      {"number.csv", "lat;lon\n1;2\n1.5.5;2\n", "number.csv:3:1: latitude \"1.5.5\" is no number"},
      {"empty.csv", "time,lat,lon\n2026-01-01T08:00:00Z,,2\n",
       "empty.csv:2:1: a point without a "
       "latitude"},
      {"archive.kmz", std::string("PK\x03\x04 rest of a zip"),
       "archive.kmz: a zip archive (a KMZ file?): the kinds read are GPX, KML, GeoJSON, CSV with a "
       "header line and POI files (longitude,latitude,description lines); unzip a KMZ file and "
       "read the doc.kml inside"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Read(c.name, c.bytes), SourceStatus::kRefused) << c.name;
    EXPECT_EQ(Message(), c.message) << c.name;
    EXPECT_EQ(list_.size(), 1u) << c.name;
    EXPECT_TRUE(read_.details.lines.empty() && read_.paths.empty()) << c.name;
  }
}

// The track of source in one of the four kinds, written by a fresh engine as the command line
// runs it; the messages it showed go to messages.
std::string EngineTrack(const TempDir& dir, const std::string& source, bool reorder, bool extra,
                        std::vector<std::string>* messages = nullptr) {
  ScriptedPrompter prompter;
  FixedOptionStates options;
  options.reorder = reorder;
  options.extraPoints = extra;
  TrackEngine engine(prompter, options);
  engine.SetSourceMustBeRead(true);
  engine.SetKeepTables(false);
  engine.m_strSourceFile = source;
  engine.m_strDestFile = dir.File("track.nmea");
  prompter.answers.assign(1, true);
  engine.CreateTrack();
  if (messages) *messages = prompter.messages;
  return ReadFile(engine.m_strDestFile);
}

// A route written in each kind reads back as the same points with the details the kind holds;
// points a kind cannot hold as they are are refused, naming them.
TEST_F(Sources, RoutesWrittenReadBackAsTheSamePoints) {
  const double none = std::nan("");
  const std::vector<RouteFilePoint> route = {
      {"-3.1883", "55.9533", "Princes St", "", 47.5, none, 30.0, 1772845200000},
      {"-3.2620", "55.944", "Haymarket", "tram \"stop\"", none, 4.25, none, 1772845260500},
      {"-3.3", "56.0", "Forth", "no time", 12.0, none, none, PointDetails::kNoTime},
  };
  std::vector<RouteFilePoint> quoted = route;
  quoted[0].name = "Princes St, east end";
  const struct {
    RouteFileKind kind;
    std::vector<RouteFilePoint> points;
    std::vector<std::string> leftOut;
    std::string problem;
  } cases[] = {
      {RouteFileKind::kCsv, quoted, {}, ""},
      {RouteFileKind::kGpx, quoted, {"speeds", "dwells"}, ""},
      {RouteFileKind::kPoiFile, route, {"elevations", "times", "speeds", "dwells"}, ""},
      {RouteFileKind::kPoiFile, quoted, {}, "point 1: a comma or a line break cannot go"},
      {RouteFileKind::kPoiFile, {{"0", "1", "a", ""}}, {}, "point 1: a POI file cannot hold it"},
      {RouteFileKind::kPoiFile, {{"1", "2", std::string(80, 'x'), ""}}, {}, "a POI file cannot"},
      {RouteFileKind::kGpx,
       {{"1", "2", "a", ""}, {"1", "x", "b", ""}},
       {},
       "point 2: its longitude and latitude must be numbers"},
      {RouteFileKind::kCsv, {{"181", "2", "a", ""}}, {}, "point 1: lies off the Earth"},
  };
  for (const auto& c : cases) {
    const RouteFileText file = MakeRouteFile(c.points, c.kind, "A9");
    const std::string context = std::to_string(static_cast<int>(c.kind)) + " " + c.problem;
    if (!c.problem.empty()) {
      EXPECT_NE(file.problem.find(c.problem), std::string::npos) << context << file.problem;
      EXPECT_TRUE(file.text.empty()) << context;
      continue;
    }
    EXPECT_EQ(file.leftOut, c.leftOut) << context;
    ASSERT_EQ(Read("route", file.text), SourceStatus::kOk) << context << read_.message;
    std::vector<RouteFilePoint> expected = c.points;
    for (RouteFilePoint& point : expected) {
      if (c.kind != RouteFileKind::kCsv) point.speedMetresPerSecond = point.dwellSeconds = none;
      if (c.kind == RouteFileKind::kPoiFile) {
        point.elevationMetres = none;
        point.timeUtcMs = PointDetails::kNoTime;
      }
    }
    EXPECT_EQ(Describe(RouteFilePoints(list_, read_.details)), Describe(expected)) << context;
  }
}

// GPSBabel's GPX 1.0 and 1.1 waypoints, route and timed track, its KML (points, a track as a
// line, a gx:Track) and GeoJSON (points, a line) of the sample, and the sample with named
// columns, give the sample's own tracks, in every kind.
TEST(SampleAsRouteFiles, GivesTheSamplesTracksInAllFourKinds) {
  TempDir dir;
  const std::string sample = WAYLOOM_EXAMPLES "/a9-edinburgh-inverness.csv";
  const std::string files[] = {
      "a9-waypoints.gpx10.gpx", "a9-route.gpx10.gpx", "a9-track.gpx10.gpx",
      "a9-waypoints.gpx11.gpx", "a9-route.gpx11.gpx", "a9-track.gpx11.gpx",
      "a9-waypoints.kml",       "a9-track-line.kml",  "a9-track.kml",
      "a9-waypoints.geojson",   "a9-track.geojson",   "a9-columns.csv",
  };
  for (const bool reorder : {false, true}) {
    for (const bool extra : {false, true}) {
      const std::string expected = EngineTrack(dir, sample, reorder, extra);
      ASSERT_GT(TrackLines(expected).size(), 60u);
      for (const std::string& file : files) {
        std::vector<std::string> messages;
        const std::string track =
            EngineTrack(dir, WAYLOOM_TEST_DATA "/sources/" + file, reorder, extra, &messages);
        EXPECT_TRUE(track == expected)
            << file << (reorder ? " closest" : "") << (extra ? " extra" : "");
        EXPECT_TRUE(messages.empty()) << file;
      }
    }
  }
}

}  // namespace
}  // namespace wayloom::test
