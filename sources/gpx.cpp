#include "sources/gpx.h"

#include <pugixml.hpp>
#include <string_view>
#include <vector>

#include "sources/reading.h"

namespace wayloom::source_reading {
namespace {

bool Is(const pugi::xml_node& node, std::string_view name) {
  return LocalName(node.name()) == name;
}

std::size_t CountChildren(const pugi::xml_node& parent, std::string_view name) {
  std::size_t count = 0;
  for (const pugi::xml_node child : parent.children()) count += Is(child, name) ? 1U : 0U;
  return count;
}

std::string_view NameOf(const pugi::xml_node& path) {
  for (const pugi::xml_node child : path.children()) {
    if (Is(child, "name")) return child.child_value();
  }
  return {};
}

// The points of a path: the waypoints are the root's wpt elements, a route's its rtept, a track's
// the trkpt of each of its trkseg.
struct GpxPath {
  pugi::xml_node element;  // the root for the waypoints, else the rte or trk
  PathKind kind;
};

PointTexts PointOf(const pugi::xml_node& point, const char* base) {
  PointTexts texts;
  texts.longitude = point.attribute("lon").value();
  texts.latitude = point.attribute("lat").value();
  for (const pugi::xml_node field : point.children()) {
    const std::string_view name = LocalName(field.name());
    std::string_view* const text = name == "ele"     ? &texts.elevation
                                   : name == "time"  ? &texts.time
                                   : name == "name"  ? &texts.name
                                   : name == "desc"  ? &texts.description
                                   : name == "speed" ? &texts.speed
                                                     : nullptr;
    if (text) *text = field.child_value();
  }
  // The element's name follows its '<'.
  texts.offset = static_cast<std::size_t>(point.name() - base) - 1;
  return texts;
}

}  // namespace

void ReadGpx(const pugi::xml_node& root, ReadContext& context) {
  std::vector<GpxPath> gpxPaths;
  std::vector<SourcePath>& paths = context.read.paths;
  std::size_t waypointsPath = paths.size();  // none yet
  for (const pugi::xml_node child : root.children()) {
    const std::string_view name = LocalName(child.name());
    if (name == "wpt") {
      if (waypointsPath == paths.size()) {
        waypointsPath = paths.size();
        paths.push_back(SourcePath{"", PathKind::kPoints, 0});
        gpxPaths.push_back(GpxPath{root, PathKind::kPoints});
      }
      ++paths[waypointsPath].pointCount;
    } else if (name == "rte") {
      paths.push_back(
          SourcePath{std::string(NameOf(child)), PathKind::kRoute, CountChildren(child, "rtept")});
      gpxPaths.push_back(GpxPath{child, PathKind::kRoute});
    } else if (name == "trk") {
      std::size_t count = 0;
      for (const pugi::xml_node segment : child.children()) {
        if (Is(segment, "trkseg")) count += CountChildren(segment, "trkpt");
      }
      paths.push_back(SourcePath{std::string(NameOf(child)), PathKind::kTrack, count});
      gpxPaths.push_back(GpxPath{child, PathKind::kTrack});
    }
  }
  const std::size_t chosen = ChooseOrRefuse(context);
  if (paths.empty()) return;

  PointSink sink(context.list, context.read.details, context.places, context.bytes.View(),
                 paths[chosen].pointCount);
  const GpxPath& path = gpxPaths[chosen];
  std::vector<pugi::xml_node> points;
  points.reserve(paths[chosen].pointCount);
  const auto collect = [&points](const pugi::xml_node& parent, std::string_view name) {
    for (const pugi::xml_node child : parent.children()) {
      if (Is(child, name)) points.push_back(child);
    }
  };
  if (path.kind == PathKind::kPoints) {
    collect(path.element, "wpt");
  } else if (path.kind == PathKind::kRoute) {
    collect(path.element, "rtept");
  } else {
    for (const pugi::xml_node segment : path.element.children()) {
      if (Is(segment, "trkseg")) collect(segment, "trkpt");
    }
  }
  const char* const base = context.bytes.begin();
  AddPoints(
      points.size(), [&points, base](std::size_t i) { return PointOf(points[i], base); },
      context.halvesFromPoints, sink);
  sink.Finish();
}

}  // namespace wayloom::source_reading
