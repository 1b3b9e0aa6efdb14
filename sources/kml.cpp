#include "sources/kml.h"

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "sources/reading.h"

namespace wayloom::source_reading {
namespace {

bool Is(const pugi::xml_node& node, std::string_view name) {
  return LocalName(node.name()) == name;
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view name) {
  for (const pugi::xml_node child : parent.children()) {
    if (Is(child, name)) return child;
  }
  return {};
}

// What a placemark says of its points.
struct PlacemarkTexts {
  std::string_view name;
  std::string_view description;
  std::string_view time;
  std::string_view speed;
  std::string_view dwell;
};

// ExtendedData's <Data name="speed"><value>, or its <SchemaData><SimpleData name="speed">.
void ReadExtendedData(const pugi::xml_node& data, PlacemarkTexts& texts) {
  const auto take = [&texts](std::string_view name, std::string_view value) {
    if (name == "speed") texts.speed = value;
    if (name == "dwell") texts.dwell = value;
  };
  for (const pugi::xml_node item : data.children()) {
    if (Is(item, "Data")) take(item.attribute("name").value(), Child(item, "value").child_value());
    if (!Is(item, "SchemaData")) continue;
    for (const pugi::xml_node simple : item.children()) {
      if (Is(simple, "SimpleData")) take(simple.attribute("name").value(), simple.child_value());
    }
  }
}

PlacemarkTexts TextsOf(const pugi::xml_node& placemark) {
  PlacemarkTexts texts;
  texts.name = Child(placemark, "name").child_value();
  texts.description = Child(placemark, "description").child_value();
  texts.time = Child(Child(placemark, "TimeStamp"), "when").child_value();
  ReadExtendedData(Child(placemark, "ExtendedData"), texts);
  return texts;
}

// The next whitespace-separated word of text from at on; empty at the end.
std::string_view NextWord(std::string_view text, std::size_t& at) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t start = text.find_first_not_of(kBlanks, at);
  if (start == std::string_view::npos) {
    at = text.size();
    return {};
  }
  const std::size_t end = std::min(text.find_first_of(kBlanks, start), text.size());
  at = end;
  return text.substr(start, end - start);
}

// Splits longitude,latitude[,altitude].
void SplitTuple(std::string_view tuple, PointTexts& point) {
  std::string_view* const fields[] = {&point.longitude, &point.latitude, &point.elevation};
  std::size_t start = 0;
  for (std::string_view* field : fields) {
    if (start > tuple.size()) break;
    std::size_t end = tuple.find(',', start);
    if (end == std::string_view::npos) end = tuple.size();
    *field = tuple.substr(start, end - start);
    start = end + 1;
  }
}

// Walks the document in file order, giving every path a number as it is met; lists them, or
// reads the points of one of them.
class KmlWalk {
 public:
  KmlWalk(ReadContext& context, PointSink* sink, std::size_t chosen)
      : context_(context), sink_(sink), chosen_(chosen) {}

  void Container(const pugi::xml_node& node, int depth) {
    if (depth > kMaxSourceDepth) {
      throw SourceError{Offset(node.name()) - 1, "elements nested deeper than " +
                                                     std::to_string(kMaxSourceDepth) + " levels"};
    }
    for (const pugi::xml_node child : node.children()) {
      if (Is(child, "Placemark")) {
        const PlacemarkTexts texts = TextsOf(child);
        for (const pugi::xml_node geometry : child.children()) Geometry(geometry, texts, depth + 1);
      } else if (Is(child, "Document") || Is(child, "Folder")) {
        Container(child, depth + 1);
      }
    }
  }

 private:
  std::size_t Offset(const char* text) const {
    return static_cast<std::size_t>(text - context_.bytes.begin());
  }

  // The number of a new path; listing, it is added to the list.
  bool Emitting(PathKind kind, std::string_view name, std::size_t count) {
    const std::size_t number = next_++;
    if (!sink_) context_.read.paths.push_back(SourcePath{std::string(name), kind, count});
    return sink_ && number == chosen_;
  }

  void Geometry(const pugi::xml_node& geometry, const PlacemarkTexts& texts, int depth) {
    if (depth > kMaxSourceDepth) {
      throw SourceError{
          Offset(geometry.name()) - 1,
          "elements nested deeper than " + std::to_string(kMaxSourceDepth) + " levels"};
    }
    const std::string_view name = LocalName(geometry.name());
    if (name == "Point") {
      PointOfPlacemark(geometry, texts);
    } else if (name == "LineString") {
      Line(geometry, texts);
    } else if (name == "Track") {
      Track(geometry, texts);
    } else if (name == "MultiGeometry" || name == "MultiTrack") {
      for (const pugi::xml_node part : geometry.children()) Geometry(part, texts, depth + 1);
    }
  }

  void PointOfPlacemark(const pugi::xml_node& point, const PlacemarkTexts& placemark) {
    if (!pointsPath_) {
      pointsPath_ = true;
      pointsNumber_ = next_;
      Emitting(PathKind::kPoints, "", 0);
    }
    if (!sink_) {
      ++context_.read.paths[pointsNumber_].pointCount;
      return;
    }
    if (pointsNumber_ != chosen_) return;
    std::size_t at = 0;
    PointTexts texts{};
    SplitTuple(NextWord(Child(point, "coordinates").child_value(), at), texts);
    texts.name = placemark.name;
    texts.description = placemark.description;
    texts.time = placemark.time;
    texts.speed = placemark.speed;
    texts.dwell = placemark.dwell;
    texts.offset = Offset(point.name()) - 1;
    sink_->Add(texts);
  }

  void Line(const pugi::xml_node& line, const PlacemarkTexts& texts) {
    const std::string_view text = Child(line, "coordinates").child_value();
    std::size_t count = 0;
    std::size_t at = 0;
    while (!NextWord(text, at).empty()) ++count;
    if (!Emitting(PathKind::kLine, texts.name, count)) return;
    at = 0;
    for (std::string_view tuple = NextWord(text, at); !tuple.empty(); tuple = NextWord(text, at)) {
      PointTexts point{};
      SplitTuple(tuple, point);
      point.offset = Offset(tuple.data());
      sink_->Add(point);
    }
  }

  // gx:Track: the i-th when goes with the i-th gx:coord, and so do the i-th values of its
  // ExtendedData's speed and dwell arrays.
  void Track(const pugi::xml_node& track, const PlacemarkTexts& texts) {
    std::vector<pugi::xml_node> whens;
    std::vector<pugi::xml_node> coords;
    for (const pugi::xml_node child : track.children()) {
      if (Is(child, "when")) whens.push_back(child);
      if (Is(child, "coord")) coords.push_back(child);
    }
    if (!whens.empty() && whens.size() != coords.size()) {
      throw SourceError{Offset(track.name()) - 1,
                        "a track with " + std::to_string(whens.size()) + " <when> and " +
                            std::to_string(coords.size()) + " <gx:coord>: one of each a point"};
    }
    if (!Emitting(PathKind::kTrack, texts.name, coords.size())) return;
    std::vector<pugi::xml_node> speeds;
    std::vector<pugi::xml_node> dwells;
    for (const pugi::xml_node data : Child(Child(track, "ExtendedData"), "SchemaData").children()) {
      if (!Is(data, "SimpleArrayData")) continue;
      const std::string_view name = data.attribute("name").value();
      std::vector<pugi::xml_node>* values = name == "speed"   ? &speeds
                                            : name == "dwell" ? &dwells
                                                              : nullptr;
      for (const pugi::xml_node value : data.children()) {
        if (values && Is(value, "value")) values->push_back(value);
      }
    }
    for (std::size_t i = 0; i < coords.size(); ++i) {
      PointTexts point{};
      // longitude latitude altitude, between spaces
      const std::string_view coord = coords[i].child_value();
      std::size_t at = 0;
      point.longitude = NextWord(coord, at);
      point.latitude = NextWord(coord, at);
      point.elevation = NextWord(coord, at);
      if (!whens.empty()) point.time = whens[i].child_value();
      if (i < speeds.size()) point.speed = speeds[i].child_value();
      if (i < dwells.size()) point.dwell = dwells[i].child_value();
      point.offset = Offset(coords[i].name()) - 1;
      sink_->Add(point);
    }
  }

  ReadContext& context_;
  PointSink* sink_;  // null while listing
  std::size_t chosen_;
  std::size_t next_ = 0;
  bool pointsPath_ = false;
  std::size_t pointsNumber_ = 0;
};

}  // namespace

void ReadKml(const pugi::xml_node& root, ReadContext& context) {
  KmlWalk(context, nullptr, 0).Container(root, 0);
  const std::size_t chosen = ChooseOrRefuse(context);
  if (context.read.paths.empty()) return;
  PointSink sink(context.list, context.read.details, context.places, context.bytes.View(),
                 context.read.paths[chosen].pointCount);
  KmlWalk(context, &sink, chosen).Container(root, 0);
  sink.Finish();
}

}  // namespace wayloom::source_reading
