// What the route-file readers share, inside this stage only: the file's bytes in memory, the
// line and column of a place in them, the refusal that names that place, and the one sink every
// reader hands its points to, which checks and converts what a point carries the same way for
// every format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "sources/source.h"

namespace wayloom::source_reading {

// The whole file in memory, followed by kPadding zero bytes (the JSON parser reads a little past
// the end; the XML parser wants a terminating zero).
struct FileBytes {
  static constexpr std::size_t kPadding = 64;
  std::unique_ptr<char[]> data;
  std::size_t size = 0;

  char* begin() const { return data.get(); }
  std::string_view View() const { return std::string_view(data.get(), size); }
};

// Reads the file at path whole. kStopped when stopRequested said so between two blocks;
// kCannotOpen and kReadError with the system's reason in error; kRefused (with message) when it is
// larger than kMaxSourceBytes.
SourceStatus LoadFile(const std::string& path, const std::function<bool()>& stopRequested,
                      FileBytes& bytes, std::error_code& error, std::string& message);

struct Place {
  std::uint64_t line = 1;    // from 1
  std::uint64_t column = 1;  // bytes from the line's start, from 1
};

// Where every line of a text starts, noted before a parser may change the text in place: one bit
// a byte. It is only read once made, so threads may share it.
class TextPlaces {
 public:
  explicit TextPlaces(std::string_view text);
  // A place to count on from: the line of offsets given in increasing order costs little.
  struct Cursor {
    std::size_t offset = 0;
    std::uint64_t line = 1;
  };
  // The line of the byte at offset, counted on from cursor, which moves there.
  std::uint64_t Line(std::size_t offset, Cursor& cursor) const;
  // Its line and column, for a message.
  Place At(std::size_t offset) const;

 private:
  bool IsLineFeed(std::size_t offset) const { return (feeds_[offset / 64] >> (offset % 64)) & 1U; }
  // The line feeds among the bytes from from up to (not including) to.
  std::uint64_t CountLineFeeds(std::size_t from, std::size_t to) const;
  std::vector<std::uint64_t> feeds_;
  std::size_t size_ = 0;
};

// A file refused: what is wrong, and where (an offset into its bytes).
struct SourceError {
  std::size_t offset;
  std::string what;
};

// The texts of one point as its file writes them (views into the file's bytes where they can be,
// so that a refusal names the field's own place); empty when the point has none.
struct PointTexts {
  std::string_view longitude;
  std::string_view latitude;
  std::string_view name;
  std::string_view description;
  std::string_view time;       // ISO 8601
  std::string_view elevation;  // metres
  std::string_view speed;      // metres per second
  std::string_view dwell;      // seconds
  std::size_t offset = 0;      // where the point starts, for its line and for messages
};

// Takes the points of the chosen path: checks every field (coordinates on the Earth, numbers,
// times), appends the point to the list and its details to their columns. Throws SourceError
// naming the field's place for a field that is wrong, std::bad_alloc when memory runs out.
class PointSink {
 public:
  // expectedPoints: how many points the path has, to make room for them at once.
  PointSink(PoiList& list, PointDetails& details, const TextPlaces& places, std::string_view file,
            std::size_t expectedPoints);
  void Add(const PointTexts& point);
  // Sets the time of a point added before (a GeoJSON line's coordTimes may come after its
  // coordinates); index counts from the first point of this sink.
  void SetTime(std::size_t index, std::string_view time, std::size_t offset);
  std::size_t Count() const { return count_; }
  // Every column that has values gets one for every point.
  void Finish();

 private:
  std::size_t OffsetOf(std::string_view field, std::size_t fallback) const;
  std::string_view CoordinateText(std::string_view text, double value, std::string& storage) const;

  PoiList& list_;
  PointDetails& details_;
  const TextPlaces& places_;
  std::string_view file_;
  std::size_t expected_;
  TextPlaces::Cursor cursor_;
  std::size_t count_ = 0;
  std::string lonStorage_;
  std::string latStorage_;
};

// Reads an ISO 8601 date and time (2026-01-01T08:00:00Z; a space may stand for the T, seconds may
// have a fraction, the zone may be Z, +hh:mm, +hhmm or +hh, or absent for UTC) as UTC milliseconds
// since 1970. False for anything else.
bool ParseIsoTime(std::string_view text, std::int64_t& utcMs);

// A number as data formats write them: an optional sign, digits with an optional point, an
// optional exponent, nothing around it; false for anything else and for an infinite value.
bool ParseNumber(std::string_view text, double& value);

// text without the spaces, tabs, carriage returns and line feeds around it.
std::string_view Trim(std::string_view text);

// The name an element or key goes by without its namespace prefix ("gx:Track" -> "Track").
std::string_view LocalName(const char* name);

// What a reader is given and fills: the file's bytes and their places, the path asked for, the
// list and the result.
struct ReadContext {
  const FileBytes& bytes;
  const TextPlaces& places;
  const std::string& fileName;
  const std::string& wantedPath;
  PoiList& list;
  SourceRead& read;
};

// A SourceError at this offset is about the file as a whole, not a place in it.
constexpr std::size_t kNoPlace = static_cast<std::size_t>(-1);

// Chooses the path to read of context.read.paths (see ChoosePath) and returns its index; throws
// SourceError (kNoPlace) when the option names none of them.
std::size_t ChooseOrRefuse(ReadContext& context);

// The path to read of paths: the one options name (a name the file gives, else a number from 1),
// else the first track, else the first route or line, else the points. False, with message saying
// which paths there are, when the option names none of them.
bool ChoosePath(const std::vector<SourcePath>& paths, const std::string& wanted,
                std::size_t& chosen, std::string& message);

}  // namespace wayloom::source_reading
