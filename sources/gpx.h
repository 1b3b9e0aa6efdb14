// The GPX reader (GPX 1.0 and 1.1): each track (trk, its trkseg segments one after another) and
// each route (rte) is a path, and the waypoints (wpt) together are one more. A point is its lat
// and lon attributes, with ele, time, name, desc and GPX 1.0's speed where it has them.
#pragma once

namespace pugi {
class xml_node;
}

namespace wayloom::source_reading {

struct ReadContext;

// Lists the paths of the document whose root element is root and reads the chosen one.
void ReadGpx(const pugi::xml_node& root, ReadContext& context);

}  // namespace wayloom::source_reading
