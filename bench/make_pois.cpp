// Writes a deterministic POI file for the benchmarks: points spread over Europe, or gathered in
// clusters around a few hundred centres as real POI collections are. The same arguments give the
// same file on every machine (a fixed linear congruential generator, fixed-point printing).
//
// Usage: make_pois spread|clustered COUNT FILE

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 ||
      (std::strcmp(argv[1], "spread") != 0 && std::strcmp(argv[1], "clustered") != 0)) {
    std::fprintf(stderr, "usage: make_pois spread|clustered COUNT FILE\n");
    return 2;
  }
  const bool clustered = std::strcmp(argv[1], "clustered") == 0;
  const long count = std::strtol(argv[2], nullptr, 10);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (!out || count <= 0) {
    std::fprintf(stderr, "make_pois: cannot write %s\n", argv[3]);
    return 1;
  }
  Random random(clustered ? 2 : 1);
  constexpr int kCentres = 300;
  double centreLat[kCentres];
  double centreLon[kCentres];
  for (int c = 0; c < kCentres; ++c) {
    centreLat[c] = random.Between(kSouth + 1, kNorth - 1);
    centreLon[c] = random.Between(kWest + 1, kEast - 1);
  }
  // The header line a CSV reader needs; Wayloom skips it like any line that is no point.
  std::fputs("Longitude,Latitude,Description\n", out);
  for (long i = 0; i < count; ++i) {
    double lat = 0;
    double lon = 0;
    if (clustered) {
      const int c = static_cast<int>(random.Next() * kCentres);
      lat = centreLat[c] + random.Between(-0.05, 0.05);  // within about 5 km of the centre
      lon = centreLon[c] + random.Between(-0.08, 0.08);
    } else {
      lat = random.Between(kSouth, kNorth);
      lon = random.Between(kWest, kEast);
    }
    PrintMicroDegrees(out, lon);
    std::fputc(',', out);
    PrintMicroDegrees(out, lat);
    std::fprintf(out, ",POI %ld\n", i + 1);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
