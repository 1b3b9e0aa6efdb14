#include "outputs/timed_track.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include <cerrno>
#include <cmath>
#include <pugixml.hpp>
#include <system_error>

#include "base/calendar.h"
#include "base/number_text.h"
#include "platform/platform.h"

namespace wayloom {
namespace {

constexpr int kCoordinateDecimals = 7;  // about a centimetre
constexpr int kElevationDecimals = 2;
// Stands where the points go in the printed skeleton of a document.
constexpr const char* kPointsMark = "points";
constexpr const char* kIndent = "  ";

// Collects what pugixml prints.
class TextWriter : public pugi::xml_writer {
 public:
  explicit TextWriter(std::string& text) : text_(text) {}
  void write(const void* data, std::size_t size) override {
    text_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& text_;
};

std::string Print(const pugi::xml_node& node, unsigned depth) {
  std::string text;
  TextWriter writer(text);
  node.print(writer, kIndent, pugi::format_default, pugi::encoding_utf8, depth);
  return text;
}

// A longitude from -180 (included) to 180 (left out), as GPX wants it: 180 is written as -180.
std::string LongitudeText(double longitude) {
  std::string text = FormatFixed(longitude, kCoordinateDecimals);
  if (text == FormatFixed(180.0, kCoordinateDecimals)) text.insert(0, "-");
  return text;
}

// Splits the printed skeleton at the line of the points' mark: what comes before it, and after.
void SplitAtMark(const std::string& skeleton, std::string& head, std::string& tail) {
  const std::string mark = std::string("<!--") + kPointsMark + "-->";
  const std::size_t at = skeleton.find(mark);
  const std::size_t lineStart = skeleton.rfind('\n', at) + 1;
  const std::size_t lineEnd = skeleton.find('\n', at);
  head = skeleton.substr(0, lineStart);
  tail = skeleton.substr(lineEnd + 1);
}

pugi::xml_node AddDeclaration(pugi::xml_document& document) {
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  return declaration;
}

std::string GpxSkeleton(const std::string& trackName) {
  pugi::xml_document document;
  AddDeclaration(document);
  pugi::xml_node gpx = document.append_child("gpx");
  gpx.append_attribute("version") = "1.1";
  gpx.append_attribute("creator") = "Wayloom";
  gpx.append_attribute("xmlns") = "http://www.topografix.com/GPX/1/1";
  gpx.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
  gpx.append_attribute("xsi:schemaLocation") =
      "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd";
  pugi::xml_node track = gpx.append_child("trk");
  track.append_child("name").text() = trackName.c_str();
  track.append_child("trkseg").append_child(pugi::node_comment).set_value(kPointsMark);
  return Print(document, 0);
}

std::string KmlSkeleton(const std::string& trackName) {
  pugi::xml_document document;
  AddDeclaration(document);
  pugi::xml_node kml = document.append_child("kml");
  kml.append_attribute("xmlns") = "http://www.opengis.net/kml/2.2";
  kml.append_attribute("xmlns:gx") = "http://www.google.com/kml/ext/2.2";
  pugi::xml_node folder = kml.append_child("Document");
  folder.append_child("name").text() = trackName.c_str();
  pugi::xml_node placemark = folder.append_child("Placemark");
  placemark.append_child("name").text() = trackName.c_str();
  pugi::xml_node track = placemark.append_child("gx:Track");
  track.append_child("altitudeMode").text() = "absolute";
  track.append_child(pugi::node_comment).set_value(kPointsMark);
  return Print(document, 0);
}

// A temporary file for the KML coordinates, removed when closed. Windows' C library makes its
// temporary files in the root folder of the drive, which a user may not write to: a file in the
// user's temporary folder is taken there instead.
std::FILE* OpenScratchFile() {
  std::FILE* file = std::tmpfile();
#ifdef _WIN32
  if (!file) {
    char folder[MAX_PATH + 1];
    char name[MAX_PATH + 1];
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "wlm", 0, name) == 0)
      return nullptr;
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    file = fd < 0 ? nullptr : _fdopen(fd, "w+b");
  }
#endif
  return file;
}

}  // namespace

// One point's nodes, made once and given new values for every point.
struct TimedTrackWriter::Xml {
  pugi::xml_document point;
  pugi::xml_attribute latitude, longitude;  // GPX
  pugi::xml_text elevation, time;           // GPX; time is KML's when too
  pugi::xml_node gpxPoint, when, coord;
};

TimedTrackWriter::TimedTrackWriter(TimedTrackFormat format)
    : format_(format), xml_(std::make_unique<Xml>()) {
  Xml& xml = *xml_;
  if (format_ == TimedTrackFormat::kGpx) {
    xml.gpxPoint = xml.point.append_child("trkpt");
    xml.latitude = xml.gpxPoint.append_attribute("lat");
    xml.longitude = xml.gpxPoint.append_attribute("lon");
    xml.elevation = xml.gpxPoint.append_child("ele").text();
    xml.time = xml.gpxPoint.append_child("time").text();
  } else {
    xml.when = xml.point.append_child("when");
    xml.time = xml.when.text();
    xml.coord = xml.point.append_child("gx:coord");
  }
}

TimedTrackWriter::~TimedTrackWriter() {
  if (file_) Close();
}

bool TimedTrackWriter::Fail(const std::string& what) {
  const std::error_code reason(errno, std::generic_category());
  error_ = what + "\n" + ReasonText(reason);
  if (coords_) std::fclose(coords_);
  if (file_) std::fclose(file_);
  coords_ = nullptr;
  file_ = nullptr;
  return false;
}

bool TimedTrackWriter::Put(std::FILE* file, const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) return true;
  return Fail("cannot write " + path_);
}

bool TimedTrackWriter::Open(const std::string& path, const std::string& trackName) {
  if (file_) Close();
  path_ = path;
  error_.clear();
  points_ = 0;
  errno = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return Fail("cannot create " + path);
  if (format_ == TimedTrackFormat::kKml) {
    coords_ = OpenScratchFile();
    if (!coords_) return Fail("cannot make a temporary file for the coordinates of " + path);
  }
  std::string head;
  SplitAtMark(format_ == TimedTrackFormat::kGpx ? GpxSkeleton(trackName) : KmlSkeleton(trackName),
              head, tail_);
  return Put(file_, head);
}

bool TimedTrackWriter::Write(const TimedPoint& point) {
  if (!file_) return false;
  if (!(std::fabs(point.latitude) <= 90.0) || !(std::fabs(point.longitude) <= 180.0) ||
      !std::isfinite(point.elevationMetres)) {
    error_ = "a point off the Earth cannot be written to " + path_;
    return false;
  }
  std::string time;
  if (!AppendIsoUtcTime(time, point.utcMs)) {
    error_ = "a time outside the years 0 to 9999 cannot be written to " + path_;
    return false;
  }
  Xml& xml = *xml_;
  const std::string latitude = FormatFixed(point.latitude, kCoordinateDecimals);
  const std::string longitude = LongitudeText(point.longitude);
  const std::string elevation = FormatFixed(point.elevationMetres, kElevationDecimals);
  xml.time = time.c_str();
  ++points_;
  if (format_ == TimedTrackFormat::kGpx) {
    xml.latitude = latitude.c_str();
    xml.longitude = longitude.c_str();
    xml.elevation = elevation.c_str();
    return Put(file_, Print(xml.gpxPoint, 3));
  }
  xml.coord.text() = (longitude + " " + latitude + " " + elevation).c_str();
  return Put(file_, Print(xml.when, 4)) && Put(coords_, Print(xml.coord, 4));
}

bool TimedTrackWriter::Close() {
  if (!file_) return error_.empty();
  if (coords_) {
    errno = 0;
    std::rewind(coords_);
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, coords_)) > 0) {
      if (std::fwrite(buffer, 1, n, file_) != n) return Fail("cannot write " + path_);
    }
    if (std::ferror(coords_)) return Fail("cannot read back the coordinates of " + path_);
    std::fclose(coords_);
    coords_ = nullptr;
  }
  if (!Put(file_, tail_)) return false;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) return Fail("cannot write " + path_);
  return true;
}

}  // namespace wayloom
