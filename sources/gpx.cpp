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

std::string_view NameOf(const pugi::xml_node& path) {
  for (const pugi::xml_node child : path.children()) {
    if (Is(child, "name")) return child.child_value();
  }
  return {};
}

// The point elements of each path, gathered as the paths are listed: the waypoints are the
// root's wpt elements, a route's its rtept, a track's the trkpt of each of its trkseg.
using PointElements = std::vector<pugi::xml_node>;

void Gather(const pugi::xml_node& parent, std::string_view name, PointElements& points) {
  for (const pugi::xml_node child : parent.children()) {
    if (Is(child, name)) points.push_back(child);
  }
}

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
  std::vector<SourcePath>& paths = context.read.paths;
  std::vector<PointElements> elements;  // of each path, as listed
  std::size_t waypointsPath = 0;
  bool waypoints = false;
  for (const pugi::xml_node child : root.children()) {
    const std::string_view name = LocalName(child.name());
    if (name == "wpt") {
      if (!waypoints) {
        waypoints = true;
        waypointsPath = paths.size();
        paths.push_back(SourcePath{"", PathKind::kPoints, 0});
        elements.emplace_back();
      }
      elements[waypointsPath].push_back(child);
      continue;
    }
    if (name != "rte" && name != "trk") continue;
    const bool route = name == "rte";
    paths.push_back(
        SourcePath{std::string(NameOf(child)), route ? PathKind::kRoute : PathKind::kTrack, 0});
    elements.emplace_back();
    if (route) Gather(child, "rtept", elements.back());
    for (const pugi::xml_node segment : child.children()) {
      if (!route && Is(segment, "trkseg")) Gather(segment, "trkpt", elements.back());
    }
  }
  for (std::size_t i = 0; i < paths.size(); ++i) paths[i].pointCount = elements[i].size();
  const std::size_t chosen = ChooseOrRefuse(context);
  if (paths.empty()) return;

  const PointElements& points = elements[chosen];
  PointSink sink(context.list, context.read.details, context.places, context.bytes.View(),
                 points.size());
  for (const pugi::xml_node& point : points) sink.Add(PointOf(point, context.bytes.begin()));
  sink.Finish();
}

}  // namespace wayloom::source_reading
