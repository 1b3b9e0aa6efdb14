// For test scripts: GeographicLib's inverse problem on positions a reader of our tracks reports.
// Reads lines that start with a latitude and a longitude (decimal degrees) and writes each back
// followed by the geodesic distance (metres) and azimuth (0 to 360 degrees) to the next line's
// position, and the shortest way there through a point of POIFILE ("-" without one); the last line
// gets "- - -". Then a line "point N METRES" for each point of POIFILE: its nearest position.
// Usage: wayloom_geodesic_judge [POIFILE] < POSITIONS
#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

struct Position {
  double lat = 0.0;
  double lon = 0.0;
  std::string line;
};

double Metres(const Position& a, const Position& b, double& azimuth) {
  double metres = 0.0;
  double azimuthAtB = 0.0;
  GeographicLib::Geodesic::WGS84().Inverse(a.lat, a.lon, b.lat, b.lon, metres, azimuth, azimuthAtB);
  if (azimuth < 0) azimuth += 360;
  return metres;
}

// The positions of in: "LAT LON ..." lines, or "LON,LAT,..." lines of a POI file.
std::vector<Position> Read(std::istream& in, bool poiFile) {
  std::vector<Position> positions;
  for (std::string line; std::getline(in, line);) {
    std::string text = line;
    if (poiFile) std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream fields(text);
    Position p{0.0, 0.0, line};
    if (fields >> (poiFile ? p.lon : p.lat) >> (poiFile ? p.lat : p.lon)) positions.push_back(p);
  }
  return positions;
}

int main(int argc, char* argv[]) {
  std::ifstream poiFile(argc > 1 ? argv[1] : "");
  const std::vector<Position> points = Read(poiFile, true);
  const std::vector<Position> read = Read(std::cin, false);
  double azimuth = 0.0;
  double ignored = 0.0;
  for (std::size_t i = 0; i + 1 < read.size(); ++i) {
    const double metres = Metres(read[i], read[i + 1], azimuth);
    double via = 1e300;
    for (const Position& p : points) {
      via = std::min(via, Metres(read[i], p, ignored) + Metres(p, read[i + 1], ignored));
    }
    std::printf("%s %.6f %.6f %s\n", read[i].line.c_str(), metres, azimuth,
                points.empty() ? "-" : std::to_string(via).c_str());
  }
  if (!read.empty()) std::printf("%s - - -\n", read.back().line.c_str());
  for (std::size_t k = 0; k < points.size(); ++k) {
    double nearest = 1e300;
    for (const Position& p : read) nearest = std::min(nearest, Metres(points[k], p, ignored));
    std::printf("point %zu %.6f\n", k + 1, nearest);
  }
  return 0;
}
