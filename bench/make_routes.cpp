// Writes a deterministic route file for the benchmarks: one timed track of COUNT points winding
// north through Scotland, as a GPX 1.1 track (as a GPS logger writes it: each point on lines of its
// own with its elevation and time), a GeoJSON LineString (as a router writes it, with coordTimes),
// a KML gx:Track or a CSV file with a header. The same arguments give the same file on every
// machine: only integers are printed, and no locale is involved.
//
// Usage: make_routes gpx|geojson|kml|csv COUNT FILE

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

// A point of the track: micro-degrees, decimetres, seconds since 2026-01-01T00:00:00Z.
struct Point {
  long long lonMicro;
  long long latMicro;
  long long eleDecimetres;
  long long seconds;
};

Point PointAt(long long i) {
  // About a metre a point, zigzagging a kilometre east and west.
  const long long zig = i % 2000 < 1000 ? i % 1000 : 1000 - i % 1000;
  return Point{-3188300 + zig * 15, 55953300 + i * 9, 1000 + (i % 700), 8 * 3600 + i};
}

void PrintMicro(std::FILE* out, long long micro) {
  if (micro < 0) std::fputc('-', out);
  const long long magnitude = micro < 0 ? -micro : micro;
  std::fprintf(out, "%lld.%06lld", magnitude / 1000000, magnitude % 1000000);
}

void PrintElevation(std::FILE* out, long long decimetres) {
  std::fprintf(out, "%lld.%lld", decimetres / 10, decimetres % 10);
}

// ISO 8601 UTC time of a second of January 2026 (the track lasts under 31 days up to 2.6 million
// points).
void PrintTime(std::FILE* out, long long seconds) {
  std::fprintf(out, "2026-01-%02lldT%02lld:%02lld:%02lldZ", 1 + seconds / 86400,
               seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
}

void WriteGpx(std::FILE* out, long long count) {
  std::fputs(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"make_routes\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk>\n    <name>Benchmark</name>\n    <trkseg>\n",
      out);
  for (long long i = 0; i < count; ++i) {
    const Point p = PointAt(i);
    std::fputs("      <trkpt lat=\"", out);
    PrintMicro(out, p.latMicro);
    std::fputs("\" lon=\"", out);
    PrintMicro(out, p.lonMicro);
    std::fputs("\">\n        <ele>", out);
    PrintElevation(out, p.eleDecimetres);
    std::fputs("</ele>\n        <time>", out);
    PrintTime(out, p.seconds);
    std::fputs("</time>\n      </trkpt>\n", out);
  }
  std::fputs("    </trkseg>\n  </trk>\n</gpx>\n", out);
}

void WriteGeoJson(std::FILE* out, long long count) {
  std::fputs("{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",", out);
  std::fputs("\"geometry\":{\"type\":\"LineString\",\"coordinates\":[\n", out);
  for (long long i = 0; i < count; ++i) {
    const Point p = PointAt(i);
    std::fputc('[', out);
    PrintMicro(out, p.lonMicro);
    std::fputc(',', out);
    PrintMicro(out, p.latMicro);
    std::fputc(',', out);
    PrintElevation(out, p.eleDecimetres);
    std::fputs(i + 1 < count ? "],\n" : "]\n", out);
  }
  std::fputs("]},\"properties\":{\"name\":\"Benchmark\",\"coordTimes\":[\n", out);
  for (long long i = 0; i < count; ++i) {
    std::fputc('"', out);
    PrintTime(out, PointAt(i).seconds);
    std::fputs(i + 1 < count ? "\",\n" : "\"\n", out);
  }
  std::fputs("]}}]}\n", out);
}

void WriteKml(std::FILE* out, long long count) {
  std::fputs(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<kml xmlns=\"http://www.opengis.net/kml/2.2\" "
      "xmlns:gx=\"http://www.google.com/kml/ext/2.2\">\n"
      "<Document><Placemark><name>Benchmark</name><gx:Track>\n",
      out);
  for (long long i = 0; i < count; ++i) {
    std::fputs("<when>", out);
    PrintTime(out, PointAt(i).seconds);
    std::fputs("</when>\n", out);
  }
  for (long long i = 0; i < count; ++i) {
    const Point p = PointAt(i);
    std::fputs("<gx:coord>", out);
    PrintMicro(out, p.lonMicro);
    std::fputc(' ', out);
    PrintMicro(out, p.latMicro);
    std::fputc(' ', out);
    PrintElevation(out, p.eleDecimetres);
    std::fputs("</gx:coord>\n", out);
  }
  std::fputs("</gx:Track></Placemark></Document></kml>\n", out);
}

void WriteCsv(std::FILE* out, long long count) {
  std::fputs("time,lat,lon,ele\n", out);
  for (long long i = 0; i < count; ++i) {
    const Point p = PointAt(i);
    PrintTime(out, p.seconds);
    std::fputc(',', out);
    PrintMicro(out, p.latMicro);
    std::fputc(',', out);
    PrintMicro(out, p.lonMicro);
    std::fputc(',', out);
    PrintElevation(out, p.eleDecimetres);
    std::fputc('\n', out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view format = argc == 4 ? argv[1] : "";
  void (*write)(std::FILE*, long long) = format == "gpx"       ? WriteGpx
                                         : format == "geojson" ? WriteGeoJson
                                         : format == "kml"     ? WriteKml
                                         : format == "csv"     ? WriteCsv
                                                               : nullptr;
  if (write == nullptr) {
    std::fprintf(stderr, "usage: make_routes gpx|geojson|kml|csv COUNT FILE\n");
    return 2;
  }
  const long long count = std::strtoll(argv[2], nullptr, 10);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (!out || count <= 0 || count > 2600000) {
    std::fprintf(stderr, "make_routes: cannot write %s (COUNT: 1 to 2600000)\n", argv[3]);
    if (out) std::fclose(out);
    return 1;
  }
  write(out, count);
  return std::fclose(out) == 0 ? 0 : 1;
}
