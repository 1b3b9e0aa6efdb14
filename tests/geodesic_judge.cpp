// For test scripts: GeographicLib's inverse problem on positions a reader of our tracks reports.
// Reads lines that start with a latitude and a longitude (decimal degrees) and writes each line
// back followed by the WGS84 geodesic distance (metres) and azimuth (0 to 360 degrees) to the
// position on the next line, and the shortest path to it through a point of POIFILE (when given,
// "-" without); the last line gets "- - -". Then, for each point of POIFILE, a line
// "point N NEAREST" with the distance to the nearest position read.
// Usage: wayloom_geodesic_judge [POIFILE] < POSITIONS
#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Position {
  double lat;
  double lon;
  std::string line;
};

double Metres(const Position& a, const Position& b, double* azimuth = nullptr) {
  double metres = 0.0;
  double azi1 = 0.0;
  double azi2 = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(a.lat, a.lon, b.lat, b.lon, metres, azi1, azi2);
  if (azimuth) *azimuth = azi1 < 0 ? azi1 + 360 : azi1;
  return metres;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<Position> points;  // of the POI file: longitude,latitude,...
  if (argc > 1) {
    std::ifstream poi(argv[1]);
    for (std::string line; std::getline(poi, line);) {
      std::istringstream fields(line);
      fields.imbue(std::locale::classic());
      Position p{0.0, 0.0, {}};
      char comma = 0;
      if (fields >> p.lon >> comma >> p.lat) points.push_back(p);
    }
  }
  std::vector<Position> read;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream fields(line);
    fields.imbue(std::locale::classic());
    Position p{0.0, 0.0, line};
    if (fields >> p.lat >> p.lon) read.push_back(p);
  }
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (i + 1 == read.size()) {
      std::printf("%s - - -\n", read[i].line.c_str());
      break;
    }
    double azimuth = 0.0;
    const double metres = Metres(read[i], read[i + 1], &azimuth);
    std::string via = "-";
    if (!points.empty()) {
      double shortest = 1e300;
      for (const Position& p : points) {
        shortest = std::min(shortest, Metres(read[i], p) + Metres(p, read[i + 1]));
      }
      via = std::to_string(shortest);
    }
    std::printf("%s %.6f %.6f %s\n", read[i].line.c_str(), metres, azimuth, via.c_str());
  }
  for (std::size_t k = 0; k < points.size(); ++k) {
    double nearest = 1e300;
    for (const Position& p : read) nearest = std::min(nearest, Metres(points[k], p));
    std::printf("point %zu %.6f\n", k + 1, nearest);
  }
  return 0;
}
