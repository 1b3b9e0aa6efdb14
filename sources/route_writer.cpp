#include "sources/route_writer.h"

#include <cmath>
#include <pugixml.hpp>
#include <sstream>
#include <string_view>

#include "base/calendar.h"
#include "base/number_text.h"
#include "sources/reading.h"

namespace wayloom {
namespace {

constexpr int kDetailDecimals = 3;  // a millimetre, a millimetre a second, a millisecond

// Thrown by the checks below, caught by MakeRouteFile.
struct Refusal {
  std::string what;
};

std::string PointLabel(std::size_t index) { return "point " + std::to_string(index + 1); }

// The coordinates must read back as a place on the Earth, in every kind.
void CheckPlace(const RouteFilePoint& point, std::size_t index) {
  double longitude = 0.0;
  double latitude = 0.0;
  if (!source_reading::ParseNumber(source_reading::Trim(point.longitude), longitude) ||
      !source_reading::ParseNumber(source_reading::Trim(point.latitude), latitude)) {
    throw Refusal{PointLabel(index) + ": its longitude and latitude must be numbers"};
  }
  if (!(std::fabs(longitude) <= 180.0 && std::fabs(latitude) <= 90.0)) {
    throw Refusal{PointLabel(index) + ": lies off the Earth"};
  }
}

// A detail as the readers read it: a plain decimal, its trailing zeros left out.
std::string DetailText(double value) {
  std::string text = FormatFixed(value, kDetailDecimals);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string TimeText(std::int64_t utcMs, std::size_t index) {
  std::string text;
  if (!AppendIsoUtcTime(text, utcMs)) {
    throw Refusal{PointLabel(index) + ": its time lies outside the years 0 to 9999"};
  }
  return text;
}

// Which details any point has.
struct DetailsPresent {
  bool elevation = false, time = false, speed = false, dwell = false;
};

DetailsPresent PresentIn(const std::vector<RouteFilePoint>& points) {
  DetailsPresent present;
  for (const RouteFilePoint& point : points) {
    present.elevation |= !std::isnan(point.elevationMetres);
    present.time |= point.timeUtcMs != PointDetails::kNoTime;
    present.speed |= !std::isnan(point.speedMetresPerSecond);
    present.dwell |= !std::isnan(point.dwellSeconds);
  }
  return present;
}

// A POI file: a heading line, then longitude,latitude,name[,description] lines. Each line is
// judged by the POI file's own line rules, so that a point is written only when it reads back as
// the same texts.
std::string PoiFileText(const std::vector<RouteFilePoint>& points) {
  std::string text = "longitude,latitude,description\r\n";
  for (std::size_t i = 0; i < points.size(); ++i) {
    const RouteFilePoint& point = points[i];
    for (const std::string* piece :
         {&point.longitude, &point.latitude, &point.name, &point.description}) {
      if (piece->find_first_of(",\r\n") != std::string::npos) {
        throw Refusal{PointLabel(i) +
                      ": a comma or a line break cannot go in a POI file: save as CSV or GPX"};
      }
    }
    std::string line = point.longitude + "," + point.latitude + "," + point.name;
    if (!point.description.empty()) line += "," + point.description;
    line += "\n";
    PoiView read;
    if (line.size() > kLinePieceLimit || !ParsePoiLine(line, read) ||
        !(read == PoiView{point.longitude, point.latitude, point.name, point.description})) {
      throw Refusal{PointLabel(i) +
                    ": a POI file cannot hold it as it is (a coordinate of 0, a coordinate "
                    "longer than 14 characters or a text longer than 79): save as CSV or GPX"};
    }
    line.insert(line.size() - 1, "\r");
    text += line;
  }
  return text;
}

// A CSV field, quoted when it holds a separator, a quote or a line break (RFC 4180).
void AppendField(std::string& line, const std::string& field) {
  constexpr const char* kQuoted = ",;\"\r\n";
  if (!line.empty()) line += ',';
  if (field.find_first_of(kQuoted) == std::string::npos) {
    line += field;
    return;
  }
  line += '"';
  for (const char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string CsvText(const std::vector<RouteFilePoint>& points, const DetailsPresent& present) {
  std::string header = "lat,lon,name,desc";
  if (present.elevation) header += ",ele";
  if (present.time) header += ",time";
  if (present.speed) header += ",speed";
  if (present.dwell) header += ",dwell";
  std::string text = header + "\r\n";
  const auto optional = [](double value) { return std::isnan(value) ? "" : DetailText(value); };
  for (std::size_t i = 0; i < points.size(); ++i) {
    const RouteFilePoint& point = points[i];
    std::string line;
    for (const std::string* field :
         {&point.latitude, &point.longitude, &point.name, &point.description}) {
      AppendField(line, *field);
    }
    if (present.elevation) AppendField(line, optional(point.elevationMetres));
    if (present.time) {
      AppendField(line,
                  point.timeUtcMs == PointDetails::kNoTime ? "" : TimeText(point.timeUtcMs, i));
    }
    if (present.speed) AppendField(line, optional(point.speedMetresPerSecond));
    if (present.dwell) AppendField(line, optional(point.dwellSeconds));
    text += line + "\r\n";
  }
  return text;
}

// A GPX 1.1 route: an rtept a point, with its ele, time, name and desc (the schema's order).
std::string GpxText(const std::vector<RouteFilePoint>& points, const std::string& routeName) {
  pugi::xml_document document;
  pugi::xml_node declaration = document.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "UTF-8";
  pugi::xml_node gpx = document.append_child("gpx");
  gpx.append_attribute("version") = "1.1";
  gpx.append_attribute("creator") = "Wayloom";
  gpx.append_attribute("xmlns") = "http://www.topografix.com/GPX/1/1";
  pugi::xml_node route = gpx.append_child("rte");
  if (!routeName.empty()) route.append_child("name").text() = routeName.c_str();
  for (std::size_t i = 0; i < points.size(); ++i) {
    const RouteFilePoint& point = points[i];
    pugi::xml_node node = route.append_child("rtept");
    node.append_attribute("lat") = std::string(source_reading::Trim(point.latitude)).c_str();
    node.append_attribute("lon") = std::string(source_reading::Trim(point.longitude)).c_str();
    if (!std::isnan(point.elevationMetres)) {
      node.append_child("ele").text() = DetailText(point.elevationMetres).c_str();
    }
    if (point.timeUtcMs != PointDetails::kNoTime) {
      node.append_child("time").text() = TimeText(point.timeUtcMs, i).c_str();
    }
    if (!point.name.empty()) node.append_child("name").text() = point.name.c_str();
    if (!point.description.empty()) node.append_child("desc").text() = point.description.c_str();
  }
  // pugixml prints the text itself; the stream only collects it, so no locale touches it.
  std::ostringstream text;
  document.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  return text.str();
}

}  // namespace

RouteFileText MakeRouteFile(const std::vector<RouteFilePoint>& points, RouteFileKind kind,
                            const std::string& routeName) {
  RouteFileText file;
  const DetailsPresent present = PresentIn(points);
  const bool detailed = kind == RouteFileKind::kCsv;
  if (present.elevation && kind == RouteFileKind::kPoiFile) file.leftOut.push_back("elevations");
  if (present.time && kind == RouteFileKind::kPoiFile) file.leftOut.push_back("times");
  if (present.speed && !detailed) file.leftOut.push_back("speeds");
  if (present.dwell && !detailed) file.leftOut.push_back("dwells");
  try {
    for (std::size_t i = 0; i < points.size(); ++i) CheckPlace(points[i], i);
    switch (kind) {
      case RouteFileKind::kPoiFile:
        file.text = PoiFileText(points);
        break;
      case RouteFileKind::kCsv:
        file.text = CsvText(points, present);
        break;
      case RouteFileKind::kGpx:
        file.text = GpxText(points, routeName);
        break;
    }
  } catch (const Refusal& refusal) {
    file.text.clear();
    file.problem = refusal.what;
  }
  return file;
}

std::vector<RouteFilePoint> RouteFilePoints(const PoiList& list, const PointDetails& details) {
  std::vector<RouteFilePoint> points(list.PointCount());
  const auto has = [](const auto& column, std::size_t i) { return i < column.size(); };
  for (std::size_t i = 0; i < points.size(); ++i) {
    const PoiView node = list[i];
    RouteFilePoint& point = points[i];
    point.longitude = node.szLon;
    point.latitude = node.szLat;
    point.name = node.szDescription;
    point.description = node.szExtra;
    if (has(details.elevationsMetres, i)) point.elevationMetres = details.elevationsMetres[i];
    if (has(details.speedsMetresPerSecond, i)) {
      point.speedMetresPerSecond = details.speedsMetresPerSecond[i];
    }
    if (has(details.dwellsSeconds, i)) point.dwellSeconds = details.dwellsSeconds[i];
    if (has(details.timesUtcMs, i)) point.timeUtcMs = details.timesUtcMs[i];
  }
  return points;
}

}  // namespace wayloom
