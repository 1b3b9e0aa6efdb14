// The CSV reader: a header line names the columns, in any order and any case: lat or latitude,
// lon, lng or longitude (these two are needed), name, desc or description, ele or alt (metres),
// time (ISO 8601), speed (metres per second), dwell (seconds); other columns are left alone.
// Fields are separated by commas or by semicolons (the header tells which) and may be quoted as
// RFC 4180 has it: "a ""quoted"" field, with commas". In a semicolon file, numbers may have a
// decimal comma. Blank lines are skipped; every other line is a point.
#pragma once

#include <string_view>

namespace wayloom::source_reading {

struct ReadContext;

// Whether the first line of head is a CSV header the POI file's layout cannot mean: it names a
// latitude and a longitude column, and the latitude comes first, or the names are separated by
// semicolons, or a column is named name, time, speed, dwell, ele or alt.
bool IsCsvHeader(std::string_view head);

// Reads the file's points (one path) under the header's column names.
void ReadCsv(ReadContext& context);

}  // namespace wayloom::source_reading
