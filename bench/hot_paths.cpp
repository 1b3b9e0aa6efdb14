// Micro-benchmarks of the pieces every point goes through: building its two sentences, reading its
// POI line, choosing the next point of a closest-order track, a receiver's fixes with their
// sentences, and the sky over the receiver.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "base/number_text.h"
#include "job/receiver_track.h"
#include "motion/receiver.h"
#include "motion/sky.h"
#include "route/closest_index.h"
#include "route/planar_offset.h"
#include "sentences/fix_sentences.h"
#include "sentences/nmea.h"
#include "sources/poi_file.h"
#include "tests/closest_reference.h"

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

// Coordinate texts as a POI file has them: a different point every time.
std::vector<std::string> CoordinateTexts(double lowest, double highest, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> value(lowest, highest);
  std::vector<std::string> texts(4096);
  for (std::string& text : texts) text = FormatFixed(value(random), 6);
  return texts;
}

void SentencePairOfOnePoint(benchmark::State& state) {
  const std::vector<std::string> latitudes = CoordinateTexts(36.0, 70.0, 1);
  const std::vector<std::string> longitudes = CoordinateTexts(-10.0, 30.0, 2);
  char sentences[2 * kSentenceCapacity];
  double clockMs = 3600000;
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string& latitude = latitudes[i % latitudes.size()];
    const std::string& longitude = longitudes[i % longitudes.size()];
    char* end = BuildGga(clockMs, latitude, longitude, sentences);
    end = BuildRmc(clockMs, latitude, longitude, 35.0, 12.0, nullptr, end);
    benchmark::DoNotOptimize(end);
    clockMs += 1000;
    ++i;
  }
  state.SetItemsProcessed(state.iterations() * 2);  // sentences
}
BENCHMARK(SentencePairOfOnePoint);

void ExtraPointSentencePair(benchmark::State& state) {
  // Extra points carry "%.5f" texts and the course and speed of their stretch.
  char sentences[2 * kSentenceCapacity];
  char latitude[kFixedTextCapacity];
  char longitude[kFixedTextCapacity];
  double lat = 55.95330;
  double lon = -3.18830;
  double clockMs = 3600000;
  for (auto _ : state) {
    const std::string_view latText(latitude, WriteFixed(latitude, lat, 5));
    const std::string_view lonText(longitude, WriteFixed(longitude, lon, 5));
    char* end = BuildGga(clockMs, latText, lonText, sentences);
    end = BuildRmc(clockMs, latText, lonText, 194.39, 359.999, nullptr, end);
    benchmark::DoNotOptimize(end);
    lat += 0.00001;
    lon += 0.00002;
    clockMs += 1000;
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

std::vector<GnssSystem> FirstSystems(std::int64_t count) {
  std::vector<GnssSystem> systems = {GnssSystem::kGps, GnssSystem::kGlonass, GnssSystem::kGalileo,
                                     GnssSystem::kBeidou};
  systems.resize(static_cast<std::size_t>(count));
  return systems;
}

void ReceiverFixesWithDefaultSentences(benchmark::State& state) {
  // A receiver's whole fix as the job makes it (ReceiverTrack): the position at 30 kn, 1 Hz, along
  // a long stretch, the sky of one or four systems over it (held 5 s) and the default sentences
  // (RMC, GGA, a GSA and the GSV group of each system, VTG). Items are fixes.
  ReceiverPlan plan;
  plan.motion.speedKnots = 30.0;
  plan.motion.speedMetresPerSecond = 30.0 * 1852.0 / 3600.0;
  std::string problem;
  ParseSentenceList(kDefaultSentences, plan.sentences.kinds, problem);
  plan.sky.systems = FirstSystems(state.range(0));
  plan.sentences.systems = plan.sky.systems;
  plan.date = CalendarDate{2026, 3, 7};
  plan.startMs = 3600000;
  ReceiverRoute route;
  route.points = {{55.9533, -3.1883}, {-33.8568, 151.2153}};
  route.poiIndices = {0, 1};
  ReceiverTrack track(route, plan);
  std::size_t sentences = 0;
  for (auto _ : state) {
    if (!track.Next()) {
      track.StartOver();
      track.Next();
    }
    benchmark::DoNotOptimize(track.Sentences().Text().data());
    sentences += track.Sentences().Count();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["sentences/fix"] =
      static_cast<double>(sentences) / static_cast<double>(state.iterations());
}
BENCHMARK(ReceiverFixesWithDefaultSentences)->Arg(1)->Arg(4);

void ReceiverTimeline(benchmark::State& state) {
  // What a live track under the playback does once before its first fix: the route run through
  // (positions only, no sky, no sentences) to time its round and its points, for the slider and
  // the seeks. Edinburgh to Sydney at 30 kn, 1 Hz: about 1,100,000 fixes. Items are fixes.
  ReceiverPlan plan;
  plan.motion.speedKnots = 30.0;
  plan.motion.speedMetresPerSecond = 30.0 * 1852.0 / 3600.0;
  plan.date = CalendarDate{2026, 3, 7};
  ReceiverRoute route;
  route.points = {{55.9533, -3.1883}, {-33.8568, 151.2153}};
  route.poiIndices = {0, 1};
  const ReceiverTrack track(route, plan);
  TrackTimeline timeline;
  for (auto _ : state) benchmark::DoNotOptimize(track.Timeline(timeline));
  state.SetItemsProcessed(state.iterations() *
                          static_cast<std::int64_t>(timeline.lengthMs / 1000.0 + 1.0));
  state.counters["round s"] = timeline.lengthMs / 1000.0;
}
BENCHMARK(ReceiverTimeline)->Unit(benchmark::kMillisecond);

void SkyComputedAfresh(benchmark::State& state) {
  // One whole computation: positions, the satellites in view, the used twelve and their DOPs;
  // a different place and time (ten seconds on) every time.
  SkySettings settings;
  settings.systems = FirstSystems(state.range(0));
  Sky sky(settings);
  SkyView view;
  std::int64_t utcMs = UtcMsOf({2026, 3, 7}, 0);
  double latitude = -80.0;
  for (auto _ : state) {
    sky.Compute({latitude, 8.0, 0.0}, utcMs, view);
    benchmark::DoNotOptimize(view.pdop);
    utcMs += 10000;
    latitude = latitude < 80.0 ? latitude + 0.01 : -80.0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SkyComputedAfresh)->Arg(1)->Arg(4);

}  // namespace
}  // namespace wayloom

BENCHMARK_MAIN();
