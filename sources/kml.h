// The KML reader (KML 2.2): placemarks in the document and its folders. Each gx:Track (its when
// and gx:coord lists, one after the other or interleaved) is a track, each LineString a line, and
// the Point placemarks together are one more path. Coordinates are longitude,latitude[,altitude];
// a placemark's name, description, TimeStamp and ExtendedData speed and dwell go with its point,
// and a track's gx:SimpleArrayData speed and dwell with each of its points. KMZ (zipped KML) is
// not read.
#pragma once

namespace pugi {
class xml_node;
}

namespace wayloom::source_reading {

struct ReadContext;

// Lists the paths of the document whose root element is root and reads the chosen one.
void ReadKml(const pugi::xml_node& root, ReadContext& context);

}  // namespace wayloom::source_reading
