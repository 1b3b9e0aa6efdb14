#include "sources/source.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <pugixml.hpp>

#include "sources/csv.h"
#include "sources/geojson.h"
#include "sources/gpx.h"
#include "sources/kml.h"
#include "sources/reading.h"

namespace wayloom {
namespace {

using source_reading::FileBytes;
using source_reading::LocalName;
using source_reading::ReadContext;
using source_reading::SourceError;
using source_reading::TextPlaces;

constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr const char* kKindsRead =
    "the kinds read are GPX, KML, GeoJSON, CSV with a header line "
    "and POI files (longitude,latitude,description lines)";

// The root element of an XML document as far as its first bytes show it ("" when they show none):
// what was parsed before the head ends stays, and the root comes right after the prolog.
std::string RootOfHead(std::string_view head) {
  pugi::xml_document document;
  document.load_buffer(head.data(), head.size(), pugi::parse_minimal, pugi::encoding_utf8);
  return document.document_element().name();
}

// The kind an XML document is by its root element; nothing for a root of no kind read.
std::optional<SourceKind> KindOfRoot(const char* rootName) {
  const std::string_view name = LocalName(rootName);
  if (name == "gpx") return SourceKind::kGpx;
  if (name == "kml") return SourceKind::kKml;
  return std::nullopt;
}

// What the first bytes look like. A POI file may begin with any heading line, so a text is taken
// for XML only with an XML declaration or a <gpx> or <kml> root, and for JSON only when what
// follows its first bracket can begin a member or an element; anything else stays a POI file.
enum class Shape { kText, kXml, kJson, kZip };

Shape ShapeOf(std::string_view head) {
  if (head.substr(0, 4) == std::string_view("PK\x03\x04", 4)) return Shape::kZip;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = head.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return Shape::kText;
  if (head[first] == '<') {
    const bool xml = head.substr(first, 5) == "<?xml" || KindOfRoot(RootOfHead(head).c_str());
    return xml ? Shape::kXml : Shape::kText;
  }
  const std::size_t second = head.find_first_not_of(kBlanks, first + 1);
  const char next = second == std::string_view::npos ? '\0' : head[second];
  if (head[first] == '{' && (next == '"' || next == '}')) return Shape::kJson;
  if (head[first] == '[' && next != '\0' &&
      std::string_view("[{]\"-0123456789tfn").find(next) != std::string_view::npos) {
    return Shape::kJson;
  }
  return Shape::kText;
}

// The parse leaves line ends and attribute values as they stand, so that every offset into the
// text stays where the file has it. Entities are never expanded beyond XML's own five and
// character references: the parser knows no others, and a document type declaration that
// declares any is refused below. The document type is kept only to be looked at.
constexpr unsigned kXmlOptions =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_embed_pcdata | pugi::parse_doctype;

std::string Lowered(const char* text) {
  std::string lowered = text;
  for (char& c : lowered) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lowered;
}

void ParseXml(FileBytes& bytes, pugi::xml_document& document) {
  const pugi::xml_parse_result result =
      document.load_buffer_inplace(bytes.begin(), bytes.size, kXmlOptions, pugi::encoding_utf8);
  if (!result) {
    std::string what = result.description();
    if (!what.empty() && what[0] >= 'A' && what[0] <= 'Z') {
      what[0] = static_cast<char>(what[0] - 'A' + 'a');
    }
    const auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
    // A document cut short shows as an element left open at the very end.
    if (offset + 1 >= bytes.size && result.status == pugi::status_end_element_mismatch) {
      what = "the file ends before its elements are closed (is it cut short?)";
    }
    throw SourceError{offset, "malformed XML: " + what};
  }
  for (const pugi::xml_node node : document.children()) {
    if (node.type() != pugi::node_doctype) continue;
    if (node.value()[0] != '\0' && Lowered(node.value()).find("<!entity") != std::string::npos) {
      throw SourceError{static_cast<std::size_t>(node.value() - bytes.begin()),
                        "a document type that declares entities: entities are not expanded, and "
                        "route files need none"};
    }
  }
}

void ReadXml(FileBytes& bytes, ReadContext& context) {
  pugi::xml_document document;
  ParseXml(bytes, document);
  const pugi::xml_node root = document.document_element();
  const std::optional<SourceKind> kind = KindOfRoot(root.name());
  if (!kind) {
    throw SourceError{root ? static_cast<std::size_t>(root.name() - bytes.begin()) : 0,
                      std::string("an XML document whose root element is <") + root.name() +
                          ">, neither GPX (<gpx>) nor KML (<kml>): " + kKindsRead};
  }
  context.read.kind = *kind;
  if (*kind == SourceKind::kGpx) {
    source_reading::ReadGpx(root, context);
  } else {
    source_reading::ReadKml(root, context);
  }
}

std::string Message(const std::string& fileName, const TextPlaces& places,
                    const SourceError& error) {
  if (error.offset == source_reading::kNoPlace) return fileName + ": " + error.what;
  const source_reading::Place place = places.At(error.offset);
  return fileName + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": " +
         error.what;
}

bool IsRegularFile(const std::string& fileName) {
  try {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(fileName), error);
  } catch (const std::exception&) {  // a name that is no UTF-8
    return false;
  }
}

// The first bytes of a regular file; empty when it cannot be read (the reader then says why).
std::string ReadHead(const std::string& fileName) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return {};
  std::string head(kHeadBytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file.get()));
  return head;
}

SourceStatus ReadPoi(const std::string& fileName, const SourceOptions& options, PoiList& list,
                     SourceRead& read) {
  PoiReadDetails details;
  details.stopRequested = options.stopRequested;
  const PoiReadStatus status = ReadPoiFile(fileName, list, details);
  read.error = details.error;
  read.utf16ByteOrderMark = details.utf16ByteOrderMark;
  if (list.size() > 1) read.paths.push_back(SourcePath{"", PathKind::kPoints, list.size() - 1});
  std::string unchosen;
  switch (status) {
    case PoiReadStatus::kOk:
      // A POI file is one path: a path asked for by name or by a number other than 1 is not there.
      if (source_reading::ChoosePath(read.paths, options.path, read.chosen, unchosen)) {
        return SourceStatus::kOk;
      }
      read.message = fileName + ": " + unchosen;
      try {
        list.StartWithBlankTail();
      } catch (const std::bad_alloc&) {
        return SourceStatus::kNoMemoryForList;
      }
      return SourceStatus::kRefused;
    case PoiReadStatus::kCannotOpen:
      return SourceStatus::kCannotOpen;
    case PoiReadStatus::kReadError:
      return SourceStatus::kReadError;
    case PoiReadStatus::kOutOfMemory:
      return SourceStatus::kOutOfMemory;
    case PoiReadStatus::kNoMemoryForList:
      return SourceStatus::kNoMemoryForList;
    case PoiReadStatus::kStopped:
      break;
  }
  return SourceStatus::kStopped;
}

// Reads a file of the new kinds whole and hands it to its reader.
SourceStatus ReadRouteFile(const std::string& fileName, const SourceOptions& options,
                           SourceKind kind, Shape shape, PoiList& list, SourceRead& read) {
  FileBytes bytes;
  const SourceStatus loaded =
      source_reading::LoadFile(fileName, options.stopRequested, bytes, read.error, read.message);
  if (loaded != SourceStatus::kOk) return loaded;
  const TextPlaces places(bytes.View());
  ReadContext context{bytes, places, fileName, options.path, list, read};
  read.kind = kind;
  try {
    if (shape == Shape::kXml) {
      ReadXml(bytes, context);
    } else if (kind == SourceKind::kGeoJson) {
      source_reading::ReadGeoJson(context);
    } else {
      source_reading::ReadCsv(context);
    }
  } catch (const SourceError& error) {
    read.message = Message(fileName, places, error);
    return SourceStatus::kRefused;
  }
  if (options.stopRequested && options.stopRequested()) return SourceStatus::kStopped;
  return SourceStatus::kOk;
}

}  // namespace

const char* SourceKindName(SourceKind kind) {
  switch (kind) {
    case SourceKind::kCsv:
      return "CSV";
    case SourceKind::kGpx:
      return "GPX";
    case SourceKind::kKml:
      return "KML";
    case SourceKind::kGeoJson:
      return "GeoJSON";
    case SourceKind::kPoiFile:
      break;
  }
  return "POI file";
}

const char* PathKindName(PathKind kind) {
  switch (kind) {
    case PathKind::kTrack:
      return "track";
    case PathKind::kRoute:
      return "route";
    case PathKind::kLine:
      return "line";
    case PathKind::kPoints:
      break;
  }
  return "points";
}

bool PointDetails::AllTimed() const {
  return !timesUtcMs.empty() &&
         std::find(timesUtcMs.begin(), timesUtcMs.end(), kNoTime) == timesUtcMs.end();
}

std::optional<SourceKind> RecogniseSource(std::string_view head) {
  head = head.substr(0, kHeadBytes);
  switch (ShapeOf(head)) {
    case Shape::kZip:
      return std::nullopt;
    case Shape::kJson:
      return SourceKind::kGeoJson;
    case Shape::kXml:
      return KindOfRoot(RootOfHead(head).c_str());
    case Shape::kText:
      break;
  }
  return source_reading::IsCsvHeader(head) ? SourceKind::kCsv : SourceKind::kPoiFile;
}

SourceStatus ReadSource(const std::string& fileName, const SourceOptions& options, PoiList& list,
                        SourceRead& read) {
  read = SourceRead{};
  try {
    list.StartWithBlankTail();
  } catch (const std::bad_alloc&) {
    return SourceStatus::kNoMemoryForList;
  }
  // Pipes and devices are read once, as they come: their kind cannot be told from a first look
  // without losing what was looked at, so they are POI files unless a kind is asked for.
  const bool regular = IsRegularFile(fileName);
  if (options.kind == SourceKind::kPoiFile || (!regular && !options.kind)) {
    return ReadPoi(fileName, options, list, read);
  }
  const std::string head = regular ? ReadHead(fileName) : std::string();
  const Shape shape = ShapeOf(head);
  if (shape == Shape::kZip && !options.kind) {
    read.message = fileName + ": a zip archive (a KMZ file?): " + kKindsRead +
                   "; unzip a KMZ file and read the doc.kml inside";
    return SourceStatus::kRefused;
  }
  SourceKind kind = options.kind.value_or(SourceKind::kPoiFile);
  if (!options.kind) {
    kind = shape == Shape::kXml                ? SourceKind::kGpx
           : shape == Shape::kJson             ? SourceKind::kGeoJson
           : source_reading::IsCsvHeader(head) ? SourceKind::kCsv
                                               : SourceKind::kPoiFile;
  }
  if (kind == SourceKind::kPoiFile) return ReadPoi(fileName, options, list, read);
  const Shape readAs = kind == SourceKind::kGpx || kind == SourceKind::kKml ? Shape::kXml
                       : kind == SourceKind::kGeoJson                       ? Shape::kJson
                                                                            : Shape::kText;
  SourceStatus status = SourceStatus::kOutOfMemory;
  try {
    status = ReadRouteFile(fileName, options, kind, readAs, list, read);
  } catch (const std::bad_alloc&) {
    status = SourceStatus::kOutOfMemory;
  }
  if (status != SourceStatus::kOk) {
    // A file of these kinds is read whole or not at all.
    const SourceKind readKind = read.kind;
    std::string message = std::move(read.message);
    const std::error_code error = read.error;
    read = SourceRead{};
    read.kind = readKind;
    read.message = std::move(message);
    read.error = error;
    try {
      list.StartWithBlankTail();
    } catch (const std::bad_alloc&) {
      return SourceStatus::kNoMemoryForList;
    }
  }
  return status;
}

}  // namespace wayloom
