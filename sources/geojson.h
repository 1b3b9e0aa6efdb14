// The GeoJSON reader (RFC 7946): a FeatureCollection, a Feature or a bare geometry. Each
// LineString or MultiLineString feature is a line (a MultiLineString's lines one after the
// other), and the Point and MultiPoint features together are one more path; other geometries are
// left alone. A position's third number is its elevation. A feature's properties give its name,
// desc or description, time, speed and dwell, and a line's coordTimes the times of its points.
#pragma once

namespace wayloom::source_reading {

struct ReadContext;

// Lists the paths of the file and reads the chosen one.
void ReadGeoJson(ReadContext& context);

}  // namespace wayloom::source_reading
