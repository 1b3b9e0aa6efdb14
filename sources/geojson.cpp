#include "sources/geojson.h"

#include <simdjson.h>

#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "sources/reading.h"

namespace wayloom::source_reading {
namespace {

namespace od = simdjson::ondemand;

// What a feature's properties say of its points.
struct Properties {
  std::string_view name;
  std::string_view description;
  std::string_view time;
  std::string_view speed;
  std::string_view dwell;
  std::size_t timesGiven = 0;  // coordTimes set on the points of the chosen line
};

// The first byte at which text stops being UTF-8; its size when it is UTF-8 throughout.
std::size_t FirstInvalidUtf8(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80       ? 1
                               : lead >> 5 == 6  ? 2
                               : lead >> 4 == 14 ? 3
                               : lead >> 3 == 30 ? 4
                                                 : 0;
    if (length == 0 || at + length > text.size()) return at;
    for (std::size_t i = 1; i < length; ++i) {
      if (static_cast<unsigned char>(text[at + i]) >> 6 != 2) return at;
    }
    at += length;
  }
  return at;
}

// "malformed JSON: " and the parser's message, in the words of the other messages.
std::string MalformedJson(simdjson::error_code error) {
  std::string what = simdjson::error_message(error);
  if (what.size() > 1 && what[0] >= 'A' && what[0] <= 'Z' && what[1] >= 'a' && what[1] <= 'z') {
    what[0] = static_cast<char>(what[0] - 'A' + 'a');
  }
  if (!what.empty() && what.back() == '.') what.pop_back();
  return "malformed JSON: " + what;
}

// Walks the file in file order, giving every path a number as it is met; lists them, or reads
// the points of one of them.
class GeoJsonWalk {
 public:
  GeoJsonWalk(ReadContext& context, od::document& document, PointSink* sink, std::size_t chosen)
      : context_(context), document_(document), sink_(sink), chosen_(chosen) {}

  // Walks every value of the document, so that all of it is known to be well-formed JSON before
  // fields are looked up out of order (which the parser may do only in a document it has gone
  // through), and no deeper than kMaxSourceDepth.
  void Validate() {
    od::json_type type;
    Check(document_.type().get(type));
    if (type != od::json_type::object) {
      Refuse("a GeoJSON text is one object, not an array or a value");
    }
    od::object root;
    Check(document_.get_object().get(root));
    ValidateObject(root, 1);
    const char* after = nullptr;
    if (document_.current_location().get(after) == simdjson::SUCCESS) {
      Refuse("malformed JSON: more after the object");
    }
    document_.rewind();
  }

  void Root() {
    od::object root;
    Check(document_.get_object().get(root));
    const std::string kind = TypeOf(root);
    if (kind == "FeatureCollection") {
      od::array features;
      Expect(root.find_field_unordered("features").get_array().get(features),
             "a FeatureCollection's features are an array");
      for (auto item : features) {
        od::object feature;
        Expect(item.get_object().get(feature), "a feature is an object");
        Feature(feature);
      }
    } else if (kind == "Feature") {
      Feature(root);
    } else {
      Geometry(root, kind, Properties{});
    }
  }

 private:
  [[noreturn]] void Refuse(std::string what) { throw SourceError{Here(), std::move(what)}; }
  [[noreturn]] void RefuseAt(std::string_view token, std::string what) {
    throw SourceError{Offset(token), std::move(what)};
  }
  std::size_t Offset(std::string_view token) const {
    return static_cast<std::size_t>(token.data() - context_.bytes.begin());
  }

  std::size_t Here() {
    const char* at = nullptr;
    if (document_.current_location().get(at) != simdjson::SUCCESS) return context_.bytes.size;
    return static_cast<std::size_t>(at - context_.bytes.begin());
  }

  // The JSON text itself is wrong.
  void Check(simdjson::error_code error) {
    if (error == simdjson::INCOMPLETE_ARRAY_OR_OBJECT) {
      throw SourceError{context_.bytes.size, MalformedJson(error)};  // the text ends too soon
    }
    if (error != simdjson::SUCCESS) Refuse(MalformedJson(error));
  }
  // The JSON is well formed as far as it was read, but not what GeoJSON has there.
  void Expect(simdjson::error_code error, const char* what) {
    if (error == simdjson::INCORRECT_TYPE || error == simdjson::NO_SUCH_FIELD) Refuse(what);
    Check(error);
  }

  void ValidateObject(od::object& object, int depth) {
    for (auto field : object) {
      std::string_view key;
      Check(field.unescaped_key().get(key));
      od::value value;
      Check(field.value().get(value));
      ValidateValue(value, depth + 1);
    }
  }

  void ValidateValue(od::value& value, int depth) {
    if (depth > kMaxSourceDepth) {
      Refuse("JSON nested deeper than " + std::to_string(kMaxSourceDepth) + " levels");
    }
    od::json_type type;
    Check(value.type().get(type));
    switch (type) {
      case od::json_type::object: {
        od::object object;
        Check(value.get_object().get(object));
        return ValidateObject(object, depth);
      }
      case od::json_type::array: {
        od::array array;
        Check(value.get_array().get(array));
        for (auto element : array) {
          od::value item;
          Check(element.get(item));
          ValidateValue(item, depth + 1);
        }
        return;
      }
      case od::json_type::number:
        return Check(value.get_double().error());
      case od::json_type::string:
        return Check(value.get_string().error());
      case od::json_type::boolean:
        return Check(value.get_bool().error());
      case od::json_type::null:
        break;
    }
    bool null = false;
    Check(value.is_null().get(null));
    if (!null) Refuse("malformed JSON: not a value");
  }

  std::string TypeOf(od::object& object) {
    std::string_view type;
    Expect(object.find_field_unordered("type").get_string().get(type),
           "a GeoJSON object has a \"type\" string");
    return std::string(type);
  }

  // The number a new path gets; listing, it is added to the list.
  bool Emitting(PathKind kind, std::string_view name, std::size_t count) {
    const std::size_t number = next_++;
    if (!sink_) context_.read.paths.push_back(SourcePath{std::string(name), kind, count});
    return sink_ && number == chosen_;
  }

  void Feature(od::object& feature) {
    od::value geometryValue;
    simdjson::error_code error = feature.find_field_unordered("geometry").get(geometryValue);
    if (error == simdjson::NO_SUCH_FIELD) return;
    Check(error);
    if (geometryValue.is_null()) return;
    od::object geometry;
    Expect(geometryValue.get_object().get(geometry), "a geometry is an object");
    const std::string kind = TypeOf(geometry);
    const bool line = kind == "LineString" || kind == "MultiLineString";
    if (!line && kind != "Point" && kind != "MultiPoint") return;
    // The properties may stand before or after the geometry: they are read first.
    Properties properties;
    const bool emitting = sink_ && (line ? next_ == chosen_ : PointsNumber() == chosen_);
    od::value propertiesValue;
    error = feature.find_field_unordered("properties").get(propertiesValue);
    if (error != simdjson::NO_SUCH_FIELD) {
      Check(error);
      if (!propertiesValue.is_null()) ReadProperties(propertiesValue, line && emitting, properties);
    }
    Check(feature.find_field_unordered("geometry").get_object().get(geometry));
    Geometry(geometry, kind, properties);
  }

  std::size_t PointsNumber() { return pointsNumber_ ? *pointsNumber_ : next_; }

  // Where the property named key goes; null for one that is not a point's text.
  static std::string_view* PropertyText(std::string_view key, Properties& properties) {
    const struct {
      std::string_view key;
      std::string_view Properties::*text;
    } kTexts[] = {
        {"name", &Properties::name},
        {"desc", &Properties::description},
        {"description", &Properties::description},
        {"time", &Properties::time},
        {"speed", &Properties::speed},
        {"dwell", &Properties::dwell},
    };
    for (const auto& entry : kTexts) {
      if (entry.key == key) return &(properties.*entry.text);
    }
    return nullptr;
  }

  void ReadProperties(od::value& value, bool lineTimes, Properties& properties) {
    od::object object;
    Expect(value.get_object().get(object), "a feature's properties are an object");
    for (auto field : object) {
      std::string_view key;
      Check(field.unescaped_key().get(key));
      std::string_view* const text = PropertyText(key, properties);
      od::value item;
      Check(field.value().get(item));
      if (text) {
        *text = Scalar(item);
      } else if (key == "coordTimes" && lineTimes) {
        CoordTimes(item, properties);
      }
    }
  }

  // A string's text, or a number's as written; empty for null.
  std::string_view Scalar(od::value& item) {
    od::json_type type;
    Check(item.type().get(type));
    if (type == od::json_type::number) return Trim(item.raw_json_token());
    if (type == od::json_type::null) return {};
    std::string_view text;
    Expect(item.get_string().get(text), "a property of a point is a string or a number");
    return text;
  }

  // An array of times, or for a MultiLineString an array of arrays of them.
  void CoordTimes(od::value& value, Properties& properties) {
    od::array times;
    Expect(value.get_array().get(times), "coordTimes are an array of times");
    for (auto element : times) {
      od::value item;
      Check(element.get(item));
      od::json_type type;
      Check(item.type().get(type));
      if (type == od::json_type::array) {
        CoordTimes(item, properties);
        continue;
      }
      const std::size_t offset =
          static_cast<std::size_t>(item.raw_json_token().data() - context_.bytes.begin());
      std::string_view time;
      Expect(item.get_string().get(time), "coordTimes are strings");
      sink_->SetTime(properties.timesGiven++, time, offset);
    }
  }

  void Geometry(od::object& geometry, const std::string& kind, const Properties& properties) {
    const bool line = kind == "LineString" || kind == "MultiLineString";
    if (!line && kind != "Point" && kind != "MultiPoint") return;
    od::array coordinates;
    if (kind == "Point") {
      od::value position;
      Expect(geometry.find_field_unordered("coordinates").get(position),
             "a geometry has coordinates");
      return PointGeometry(position, properties);
    }
    od::value coordinatesValue;
    Expect(geometry.find_field_unordered("coordinates").get(coordinatesValue),
           "a geometry has coordinates");
    const std::string_view coordinatesToken = coordinatesValue.raw_json_token();
    Expect(coordinatesValue.get_array().get(coordinates), "a geometry's coordinates are an array");
    if (kind == "MultiPoint") {
      for (auto element : coordinates) {
        od::value position;
        Check(element.get(position));
        PointGeometry(position, properties);
      }
      return;
    }
    std::size_t count = 0;
    if (!sink_) count = CountPositions(coordinates, kind == "MultiLineString");
    if (!Emitting(PathKind::kLine, properties.name, count)) return;
    const std::size_t first = sink_->Count();
    if (kind == "LineString") {
      Positions(coordinates, Properties{});
    } else {
      for (auto element : coordinates) {
        od::array part;
        Expect(element.get_array().get(part), "a MultiLineString's lines are arrays");
        Positions(part, Properties{});
      }
    }
    const std::size_t points = sink_->Count() - first;
    if (properties.timesGiven != 0 && properties.timesGiven != points) {
      RefuseAt(coordinatesToken, std::to_string(properties.timesGiven) + " coordTimes for " +
                                     std::to_string(points) + " points");
    }
  }

  std::size_t CountPositions(od::array& coordinates, bool multi) {
    std::size_t count = 0;
    if (!multi) {
      Check(coordinates.count_elements().get(count));
      return count;
    }
    for (auto element : coordinates) {
      od::array part;
      Expect(element.get_array().get(part), "a MultiLineString's lines are arrays");
      std::size_t partCount = 0;
      Check(part.count_elements().get(partCount));
      count += partCount;
    }
    return count;
  }

  void Positions(od::array& positions, const Properties& properties) {
    for (auto element : positions) {
      od::value position;
      Check(element.get(position));
      AddPosition(position, properties);
    }
  }

  void PointGeometry(od::value& position, const Properties& properties) {
    if (!pointsNumber_) {
      pointsNumber_ = next_;
      Emitting(PathKind::kPoints, "", 0);
    }
    if (!sink_) {
      ++context_.read.paths[*pointsNumber_].pointCount;
      return;
    }
    if (*pointsNumber_ == chosen_) AddPosition(position, properties);
  }

  // [longitude, latitude] or [longitude, latitude, elevation]; more numbers are left alone.
  void AddPosition(od::value& value, const Properties& properties) {
    od::array numbers;
    const std::string_view positionToken = value.raw_json_token();
    Expect(value.get_array().get(numbers), "a position is an array of numbers");
    PointTexts point;
    point.name = properties.name;
    point.description = properties.description;
    point.time = properties.time;
    point.speed = properties.speed;
    point.dwell = properties.dwell;
    std::string_view* const fields[] = {&point.longitude, &point.latitude, &point.elevation};
    std::size_t count = 0;
    for (auto element : numbers) {
      od::value number;
      Check(element.get(number));
      const std::string_view text = number.raw_json_token();
      double ignored = 0.0;  // read as a double, so that anything else is refused here
      Expect(number.get_double().get(ignored), "a position is an array of numbers");
      if (count < 3) *fields[count] = Trim(text);
      if (count == 0) point.offset = static_cast<std::size_t>(text.data() - context_.bytes.begin());
      ++count;
    }
    if (count < 2) RefuseAt(positionToken, "a position has a longitude and a latitude");
    sink_->Add(point);
  }

  ReadContext& context_;
  od::document& document_;
  PointSink* sink_;  // null while listing
  std::size_t chosen_;
  std::size_t next_ = 0;
  std::optional<std::size_t> pointsNumber_;
};

}  // namespace

void ReadGeoJson(ReadContext& context) {
  const FileBytes& bytes = context.bytes;
  // A UTF-8 byte-order mark (which some writers put first) is no JSON.
  const std::size_t bom = bytes.View().substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  od::parser parser(kMaxSourceBytes);
  // Room for two levels beyond the limit: the walk below refuses a value past kMaxSourceDepth
  // itself, before the parser's own depth check (an assertion in its checked builds) is reached.
  if (parser.allocate(bytes.size + 1, kMaxSourceDepth + 2) != simdjson::SUCCESS) {
    throw std::bad_alloc();
  }
  od::document document;
  const simdjson::error_code error =
      parser.iterate(bytes.begin() + bom, bytes.size - bom, bytes.size - bom + FileBytes::kPadding)
          .get(document);
  if (error != simdjson::SUCCESS) {
    // Errors found before any value is read come without a place: the bad byte or the end.
    const std::size_t offset = error == simdjson::UTF8_ERROR ? FirstInvalidUtf8(bytes.View())
                               : error == simdjson::INCOMPLETE_ARRAY_OR_OBJECT ? bytes.size
                                                                               : 0;
    throw SourceError{offset, MalformedJson(error)};
  }
  GeoJsonWalk(context, document, nullptr, 0).Validate();
  GeoJsonWalk(context, document, nullptr, 0).Root();
  const std::size_t chosen = ChooseOrRefuse(context);
  if (context.read.paths.empty()) return;
  document.rewind();
  PointSink sink(context.list, context.read.details, context.places, bytes.View(),
                 context.read.paths[chosen].pointCount);
  GeoJsonWalk(context, document, &sink, chosen).Root();
  sink.Finish();
}

}  // namespace wayloom::source_reading
