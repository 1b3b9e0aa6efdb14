// The benchmark that chose the GeoJSON reader's library: each way of reading a GeoJSON file walks
// every feature's coordinates, takes each number's text as written and its value, and counts the
// points. Run one way per process, under /usr/bin/time -v, for its peak memory:
//
//   json_choice nlohmann-dom|nlohmann-sax|simdjson-ondemand|simdjson-dom FILE
//
// It prints the numbers, the whole part of their sum of the numbers (so that nothing is optimised
// away) and the milliseconds from the file's reading to the last point.

#include <simdjson.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace {

struct Tally {
  long long numbers = 0;
  double sum = 0.0;
  std::size_t textBytes = 0;  // the numbers' texts as written, as a reader keeps them
};

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WalkCoordinates(const nlohmann::json& value, Tally& tally) {
  if (value.is_number()) {
    tally.sum += value.get<double>();
    ++tally.numbers;
    return;
  }
  if (value.is_array()) {
    for (const nlohmann::json& item : value) WalkCoordinates(item, tally);
  }
}

Tally NlohmannDom(const std::string& text) {
  Tally tally;
  const nlohmann::json document = nlohmann::json::parse(text);
  for (const nlohmann::json& feature : document.at("features")) {
    WalkCoordinates(feature.at("geometry").at("coordinates"), tally);
  }
  return tally;
}

// Streaming: numbers come with their texts as written; no tree is built.
struct Sax : nlohmann::json_sax<nlohmann::json> {
  Tally tally;
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t value) override { return Count(static_cast<double>(value)); }
  bool number_unsigned(number_unsigned_t value) override {
    return Count(static_cast<double>(value));
  }
  bool number_float(number_float_t value, const string_t& text) override {
    tally.textBytes += text.size();
    return Count(value);
  }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return true; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return true; }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }
  bool Count(double value) {
    tally.sum += value;
    ++tally.numbers;
    return true;
  }
};

Tally NlohmannSax(const std::string& text) {
  Sax sax;
  nlohmann::json::sax_parse(text, &sax);
  return sax.tally;
}

void WalkOnDemand(simdjson::ondemand::value value, Tally& tally) {
  if (value.type() == simdjson::ondemand::json_type::number) {
    tally.textBytes += std::string_view(value.raw_json_token()).size();
    tally.sum += value.get_double();
    ++tally.numbers;
    return;
  }
  for (simdjson::ondemand::value item : value.get_array()) WalkOnDemand(item, tally);
}

Tally SimdjsonOnDemand(const simdjson::padded_string& text) {
  Tally tally;
  simdjson::ondemand::parser parser;
  simdjson::ondemand::document document = parser.iterate(text);
  for (simdjson::ondemand::object feature : document["features"]) {
    WalkOnDemand(feature["geometry"]["coordinates"], tally);
  }
  return tally;
}

void WalkDom(simdjson::dom::element value, Tally& tally) {
  if (value.is_number()) {
    tally.sum += double(value);
    ++tally.numbers;
    return;
  }
  if (value.is_array()) {
    for (simdjson::dom::element item : value.get_array()) WalkDom(item, tally);
  }
}

Tally SimdjsonDom(const simdjson::padded_string& text) {
  Tally tally;
  simdjson::dom::parser parser;
  const simdjson::dom::element document = parser.parse(text);
  for (simdjson::dom::element feature : document["features"]) {
    WalkDom(feature["geometry"]["coordinates"], tally);
  }
  return tally;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(
        stderr,
        "usage: json_choice nlohmann-dom|nlohmann-sax|simdjson-ondemand|simdjson-dom FILE\n");
    return 2;
  }
  const std::string_view way = argv[1];
  const auto start = std::chrono::steady_clock::now();
  Tally tally;
  if (way == "nlohmann-dom" || way == "nlohmann-sax") {
    const std::string text = ReadFile(argv[2]);
    tally = way == "nlohmann-dom" ? NlohmannDom(text) : NlohmannSax(text);
  } else if (way == "simdjson-ondemand" || way == "simdjson-dom") {
    const simdjson::padded_string text = simdjson::padded_string::load(argv[2]);
    tally = way == "simdjson-dom" ? SimdjsonDom(text) : SimdjsonOnDemand(text);
  } else {
    std::fprintf(stderr, "json_choice: unknown way %s\n", argv[1]);
    return 2;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("%s: %lld numbers, sum %lld, %zu text bytes, %lld ms\n", argv[1], tally.numbers,
              static_cast<long long>(tally.sum), tally.textBytes,
              static_cast<long long>(ms.count()));
  return 0;
}
