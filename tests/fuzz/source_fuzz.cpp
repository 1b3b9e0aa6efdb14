// A libFuzzer target for one reader of sources/ (chosen by WAYLOOM_FUZZ_KIND when it is built):
// any bytes, read as that kind, must give a refusal or a list, never a crash, a hang or a list
// that breaks its own rules. The input goes through a file, as every source does.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "sources/source.h"

namespace {

const std::string& InputFile() {
  static const std::string path = "/tmp/wayloom-fuzz-" + std::to_string(getpid());
  return path;
}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(InputFile().c_str(), "wb");
  if (!file) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return 0;

  wayloom::SourceOptions options;
  options.kind = wayloom::SourceKind::WAYLOOM_FUZZ_KIND;
  wayloom::PoiList list;
  wayloom::SourceRead read;
  const wayloom::SourceStatus status = wayloom::ReadSource(InputFile(), options, list, read);
  Require(!list.empty() && list.back().IsBlank());
  const std::size_t points = list.size() - 1;
  if (status == wayloom::SourceStatus::kRefused) {
    Require(points == 0 && !read.message.empty() && read.paths.empty());
    return 0;
  }
  Require(status == wayloom::SourceStatus::kOk);
  const wayloom::PointDetails& details = read.details;
  for (const std::size_t column :
       {details.timesUtcMs.size(), details.elevationsMetres.size(),
        details.speedsMetresPerSecond.size(), details.dwellsSeconds.size(), details.lines.size()}) {
    Require(column == 0 || column == points);
  }
  if (points > 0)
    Require(read.chosen < read.paths.size() && read.paths[read.chosen].pointCount == points);
  for (const double speed : details.speedsMetresPerSecond) Require(std::isnan(speed) || speed >= 0);
  return 0;
}
