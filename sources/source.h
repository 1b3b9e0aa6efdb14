// Sources: the files a route is read from. Read this header first.
//
// A source gives the points of one path of a file, in file order, as the POI list the tracks are
// made from (longitude and latitude texts as the file writes them, the point's name as its
// description, its desc as the fourth text), and, where the file has them, each point's details
// in columns beside the list: time, elevation, speed, dwell, and the point's line in its file.
//
// Kinds read, each by a reader in a file named after it:
//   POI file   poi_file.h: longitude,latitude,description lines, with their old rules, unchanged
//   CSV        csv.h: a header line naming its columns, RFC 4180 quoting, comma or semicolon
//   GPX        gpx.h: GPX 1.0 and 1.1 tracks, routes and waypoints
//   KML        kml.h: KML 2.2 placemarks: Point, LineString, gx:Track
//   GeoJSON    geojson.h: RFC 7946 features: Point, MultiPoint, LineString, MultiLineString
//
// A file's kind is told by its content, whatever its name (RecogniseSource): an XML document (one
// with an XML declaration, or a <gpx> or <kml> root) is GPX or KML by its root element, a JSON text
// (a { or [ followed by what can begin a member or element) is GeoJSON, and a first line that names
// columns is a CSV header when the POI file's layout cannot mean it: latitude before longitude, a
// semicolon between the names, or a column the POI file has not (name, time, speed, dwell, ele,
// alt). Everything else is a POI file, read exactly as it always was (heading lines such as
// "longitude,latitude,description", "[Edinburgh]" or "<my places>" included).
//
// A file may hold several paths (tracks, routes, lines, and its waypoints or points as one
// path). The first track is read, else the first route or line, else the points; an option picks
// another by its name or its number from 1, and the result lists them all for a front end to offer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "sources/poi_file.h"

namespace wayloom {

enum class SourceKind { kPoiFile, kCsv, kGpx, kKml, kGeoJson };
// "POI file", "CSV", "GPX", "KML", "GeoJSON".
const char* SourceKindName(SourceKind kind);

// What the first bytes of a file (up to 64 KiB are looked at) say its kind is: see above. Nothing
// for a file that is none of the kinds read: an XML document with a declaration and a root other
// than <gpx> or <kml>, or a zip archive (a KMZ file); ReadSource refuses those, saying which kinds
// are read.
std::optional<SourceKind> RecogniseSource(std::string_view head);

// The kinds of path, in the order the default choice prefers them.
enum class PathKind { kTrack, kRoute, kLine, kPoints };
// "track", "route", "line", "points".
const char* PathKindName(PathKind kind);

struct SourcePath {
  std::string name;  // as the file names it; may be empty
  PathKind kind = PathKind::kPoints;
  std::size_t pointCount = 0;
};

// The details of the points read, a column each, indexed as the POI list (its blank tail left
// out). A column is empty when no point has that detail, so a file without them costs nothing;
// otherwise it holds a value for every point: kNoTime or NaN where a point has none.
struct PointDetails {
  static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
  std::vector<std::int64_t> timesUtcMs;  // UTC milliseconds since 1970-01-01
  std::vector<double> elevationsMetres;
  std::vector<double> speedsMetresPerSecond;
  std::vector<double> dwellsSeconds;
  // The line each point stands on in its file, from 1 (a route file has fewer than 2^31 lines);
  // empty for a POI file.
  std::vector<std::uint32_t> lines;

  // Every point has a time (a path that can be played in its own time).
  bool AllTimed() const;
};

struct SourceOptions {
  // Read as this kind, whatever the content says (for a CSV file the rule does not take).
  std::optional<SourceKind> kind;
  // The path to read: a name the file gives one, else its number from 1; empty for the default.
  std::string path;
  // Asked while the file is read; true ends the reading (kStopped).
  std::function<bool()> stopRequested;
};

enum class SourceStatus {
  kOk,
  kCannotOpen,       // error says why; the list is the blank tail alone
  kReadError,        // error says why; a POI file keeps the points read before, others none
  kOutOfMemory,      // a POI file keeps the points read before, others none
  kNoMemoryForList,  // not even the blank tail could be made: there is no list
  kStopped,          // a stop was asked for; a POI file keeps the points read before, others none
  kRefused,          // message says what is wrong and where; the list is the blank tail alone
};

struct SourceRead {
  SourceKind kind = SourceKind::kPoiFile;
  std::vector<SourcePath> paths;  // every path of the file, in file order
  std::size_t chosen = 0;         // the path read, an index into paths (when there are paths)
  PointDetails details;
  // kRefused: "FILE:LINE:COLUMN: what is wrong" (or "FILE: what is wrong" when no place in the
  // file is to blame).
  std::string message;
  std::error_code error;            // kCannotOpen, kReadError: the system's reason
  bool utf16ByteOrderMark = false;  // a POI file starting with one (it gives no points)
};

// The largest route file read (other than a POI file, which is read line by line): 2 GiB.
constexpr std::uint64_t kMaxSourceBytes = std::uint64_t{1} << 31;
// How deep KML folders and geometries, and a GeoJSON file's arrays and objects anywhere in it, may
// nest; deeper is refused.
constexpr int kMaxSourceDepth = 64;

// Reads the chosen path of the file at fileName into list (emptied first; it ends in its blank
// tail, except after kNoMemoryForList) and read. A POI file (a regular file of that kind, or any
// file that is not a regular file, such as a pipe, unless options.kind names another kind) is
// read by ReadPoiFile with every rule and status of its own; a pipe of another kind is read whole.
SourceStatus ReadSource(const std::string& fileName, const SourceOptions& options, PoiList& list,
                        SourceRead& read);

}  // namespace wayloom
