// Micro-benchmarks of the pieces every point goes through: building its two sentences, reading its
// POI line, choosing the next point of a closest-order track, and a receiver's fixes with their
// sentences.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "track/closest_index.h"
#include "track/closest_search.h"
#include "track/fix_sentences.h"
#include "track/nmea.h"
#include "track/number_text.h"
#include "track/poi_file.h"
#include "track/receiver.h"

namespace wayloom {
namespace {

std::vector<GeoPoint> SpreadPoints(std::size_t count) {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> lat(36.0, 70.0);
  std::uniform_real_distribution<double> lon(-10.0, 30.0);
  std::vector<GeoPoint> points(count);
  for (GeoPoint& p : points) p = {lat(random), lon(random)};
  return points;
}

void SentencePairOfOnePoint(benchmark::State& state) {
  SentencePair pair;
  double clockMs = 3600000;
  for (auto _ : state) {
    pair.Build(clockMs, "55.953300", "-3.188300", 35.0, 12.0);
    benchmark::DoNotOptimize(pair.Rmc().data());
    clockMs += 1000;
  }
  state.SetItemsProcessed(state.iterations() * 2);  // sentences
}
BENCHMARK(SentencePairOfOnePoint);

void ExtraPointSentencePair(benchmark::State& state) {
  // Extra points carry "%.5f" texts and a course and speed of their own.
  SentencePair pair;
  std::string latitude;
  std::string longitude;
  double lat = 55.95330;
  for (auto _ : state) {
    latitude.clear();
    longitude.clear();
    AppendFixed(latitude, lat, 5);
    AppendFixed(longitude, -3.18830, 5);
    pair.Build(3600000, latitude, longitude, 194.39, 359.999);
    benchmark::DoNotOptimize(pair.Gga().data());
    lat += 0.00001;
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(ExtraPointSentencePair);

void PoiLineParsing(benchmark::State& state) {
  const std::string line = "-3.188300,55.953300,Edinburgh Princes Street\n";
  PoiView node;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParsePoiLine(line, node));
    benchmark::DoNotOptimize(node.szDescription.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PoiLineParsing);

void CoordinateParsing(benchmark::State& state) {
  const std::string_view texts[] = {"55.953300", "-3.188300", "48.1173", "11.5166667"};
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(ParseDecimal(texts[i++ & 3]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CoordinateParsing);

void PlainClosestSearch(benchmark::State& state) {
  const std::vector<GeoPoint> points = SpreadPoints(static_cast<std::size_t>(state.range(0)));
  const GeoPoint origin{50.0, 8.0};
  for (auto _ : state) benchmark::DoNotOptimize(FindClosest(points, origin));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PlainClosestSearch)->Arg(1000)->Arg(100000);

void IndexedClosestSearch(benchmark::State& state) {
  // One search and take per iteration, along a whole closest-order tour.
  const std::vector<GeoPoint> points = SpreadPoints(static_cast<std::size_t>(state.range(0)));
  ClosestPointIndex index(points);
  GeoPoint at{50.0, 8.0};
  for (auto _ : state) {
    if (index.Empty()) {
      state.PauseTiming();
      index = ClosestPointIndex(points);
      state.ResumeTiming();
    }
    at = points[index.TakeClosest(at)];
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(IndexedClosestSearch)->Arg(1000)->Arg(100000);

void ReceiverFixesWithDefaultSentences(benchmark::State& state) {
  // At 30 kn, 1 Hz, along a long stretch; each fix in RMC, GGA, GSA, GSV (three) and VTG.
  ReceiverMotion motion;
  motion.speedKnots = 30.0;
  motion.speedMetresPerSecond = 30.0 * 1852.0 / 3600.0;
  std::vector<SentenceKind> kinds;
  std::string problem;
  ParseSentenceList(kDefaultSentences, kinds, problem);
  FixSentences sentences(kinds, CalendarDate{});
  FixStream stream({{55.9533, -3.1883}, {-33.8568, 151.2153}}, motion, 3600000);
  std::size_t count = 0;
  Fix fix;
  for (auto _ : state) {
    if (!stream.Next(fix)) {
      stream.StartOver();
      stream.Next(fix);
    }
    benchmark::DoNotOptimize(sentences.Build(fix).data());
    count += sentences.Count();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(count));  // sentences
}
BENCHMARK(ReceiverFixesWithDefaultSentences);

}  // namespace
}  // namespace wayloom

BENCHMARK_MAIN();
