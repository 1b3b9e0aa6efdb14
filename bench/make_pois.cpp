// Writes a deterministic POI file for the benchmarks: points spread over Europe, or gathered in
// clusters around a few hundred centres as real POI collections are, or one of the shapes that are
// hard for a closest-point search: every point at one place, a few places repeated, a lattice of
// equal distances, points on one line, spread points behind one far outlier. The same arguments
// give the same file on every machine (a fixed linear congruential generator, fixed-point
// printing).
//
// Usage: make_pois KIND COUNT FILE   (KIND: see kKinds)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  // A uniform number in [0, 1) from the upper bits of a 64-bit LCG (Knuth's MMIX constants).
  double Next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }
  double Between(double low, double high) { return low + (high - low) * Next(); }

 private:
  std::uint64_t state_;
};

// Europe, roughly: 36 to 70 degrees north, 10 west to 30 east.
constexpr double kSouth = 36.0, kNorth = 70.0, kWest = -10.0, kEast = 30.0;

// Micro-degrees as text with six decimals, without the C library's locale-dependent printing.
void PrintMicroDegrees(std::FILE* out, double degrees) {
  long long micro = static_cast<long long>(degrees * 1e6 + (degrees < 0 ? -0.5 : 0.5));
  if (micro < 0) {
    std::fputc('-', out);
    micro = -micro;
  }
  std::fprintf(out, "%lld.%06lld", micro / 1000000, micro % 1000000);
}

const char* const kKinds[] = {"spread",  "clustered", "identical", "places",
                              "lattice", "line",      "outlier"};

}  // namespace

int main(int argc, char** argv) {
  std::string_view kind = argc == 4 ? argv[1] : "";
  const bool known = std::find(std::begin(kKinds), std::end(kKinds), kind) != std::end(kKinds);
  if (!known) {
    std::fprintf(stderr, "usage: make_pois KIND COUNT FILE\nKIND:");
    for (const char* name : kKinds) std::fprintf(stderr, " %s", name);
    std::fprintf(stderr, "\n");
    return 2;
  }
  const long count = std::strtol(argv[2], nullptr, 10);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (!out || count <= 0) {
    std::fprintf(stderr, "make_pois: cannot write %s\n", argv[3]);
    return 1;
  }
  Random random(kind == "clustered" ? 2 : 1);
  constexpr int kCentres = 300;
  double centreLat[kCentres];
  double centreLon[kCentres];
  for (int c = 0; c < kCentres; ++c) {
    centreLat[c] = random.Between(kSouth + 1, kNorth - 1);
    centreLon[c] = random.Between(kWest + 1, kEast - 1);
  }
  // A square lattice of 0.01-degree steps just large enough for every point to have a place.
  long side = 1;
  while (side * side < count) ++side;
  // The header line a CSV reader needs; Wayloom skips it like any line that is no point.
  std::fputs("Longitude,Latitude,Description\n", out);
  for (long i = 0; i < count; ++i) {
    double lat = 0.0;
    double lon = 0.0;
    if (kind == "spread" || kind == "line" || kind == "outlier") {
      lat = random.Between(kSouth, kNorth);
      lon = random.Between(kWest, kEast);
    }
    if (kind == "clustered") {
      const int c = static_cast<int>(random.Next() * kCentres);
      lat = centreLat[c] + random.Between(-0.05, 0.05);  // within about 5 km of the centre
      lon = centreLon[c] + random.Between(-0.08, 0.08);
    } else if (kind == "identical") {
      lat = centreLat[0];
      lon = centreLon[0];
    } else if (kind == "places") {
      const int c = static_cast<int>(random.Next() * 5);
      lat = centreLat[c];
      lon = centreLon[c];
    } else if (kind == "lattice") {
      const long cell = static_cast<long>(random.Next() * static_cast<double>(side * side));
      lat = 45.0 + 0.01 * static_cast<double>(cell / side);
      lon = 2.0 + 0.01 * static_cast<double>(cell % side);
    } else if (kind == "line") {
      lat = 47.0;
    } else if (kind == "outlier" && i == 0) {
      lat = -45.0;  // the track starts on the other side of the Earth
      lon = 170.0;
    }
    PrintMicroDegrees(out, lon);
    std::fputc(',', out);
    PrintMicroDegrees(out, lat);
    std::fprintf(out, ",POI %ld\n", i + 1);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
