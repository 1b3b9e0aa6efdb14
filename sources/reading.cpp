#include "sources/reading.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/calendar.h"
#include "base/number_text.h"

namespace wayloom::source_reading {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// Grows bytes to hold at least needed bytes and the padding, keeping what it holds.
void Reserve(FileBytes& bytes, std::size_t& capacity, std::size_t needed) {
  if (needed <= capacity) return;
  const std::size_t grown = std::max(needed, 2 * capacity);
  std::unique_ptr<char[]> data(new char[grown + FileBytes::kPadding]);
  if (bytes.size > 0) std::memcpy(data.get(), bytes.data.get(), bytes.size);
  bytes.data = std::move(data);
  capacity = grown;
}

std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string quoted = "\"";
  quoted.append(text.substr(0, kShown));
  if (text.size() > kShown) quoted += "...";
  return quoted + "\"";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads count digits at text[at]; false unless they are all there.
bool ReadDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// The zone of an ISO 8601 time from text[at] to its end, as minutes east of UTC.
bool ReadZone(std::string_view text, std::size_t at, int& eastMinutes) {
  eastMinutes = 0;
  if (at == text.size()) return true;  // no zone: UTC
  if ((text[at] == 'Z' || text[at] == 'z') && at + 1 == text.size()) return true;
  if (text[at] != '+' && text[at] != '-') return false;
  int hours = 0;
  int minutes = 0;
  const std::size_t rest = text.size() - at - 1;
  const bool ok = rest == 2 ? ReadDigits(text, at + 1, 2, hours)
                  : rest == 4
                      ? ReadDigits(text, at + 1, 2, hours) && ReadDigits(text, at + 3, 2, minutes)
                  : rest == 5 ? ReadDigits(text, at + 1, 2, hours) && text[at + 3] == ':' &&
                                    ReadDigits(text, at + 4, 2, minutes)
                              : false;
  if (!ok || hours > 23 || minutes > 59) return false;
  eastMinutes = (text[at] == '-' ? -1 : 1) * (hours * 60 + minutes);
  return true;
}

void Refuse(std::size_t offset, std::string what) { throw SourceError{offset, std::move(what)}; }

// Makes column hold a value for every point before index, missing where none was given, then
// value for the point at index. A new column makes room for every point at once.
template <typename T>
void Put(std::vector<T>& column, std::size_t index, T value, T missing, std::size_t expected) {
  if (column.empty()) column.reserve(std::max(expected, index + 1));
  if (column.size() < index) column.resize(index, missing);
  if (column.size() == index) {
    column.push_back(value);
  } else {
    column[index] = value;
  }
}

}  // namespace

SourceStatus LoadFile(const std::string& path, const std::function<bool()>& stopRequested,
                      FileBytes& bytes, std::error_code& error, std::string& message) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::error_code(errno != 0 ? errno : ENOENT, std::generic_category());
    return SourceStatus::kCannotOpen;
  }
  bytes = FileBytes{};
  std::size_t capacity = 0;
  // A regular file's size is known: one allocation, and one read more to see its end.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long end = std::ftell(file.get());
    if (end > 0 && static_cast<std::uint64_t>(end) <= kMaxSourceBytes) {
      Reserve(bytes, capacity, static_cast<std::size_t>(end) + 1);
    }
    std::rewind(file.get());
  }
  for (;;) {
    if (stopRequested && stopRequested()) return SourceStatus::kStopped;
    if (bytes.size > kMaxSourceBytes) {
      message = path + ": larger than the 2 GiB a route file may have";
      return SourceStatus::kRefused;
    }
    if (capacity - bytes.size < 1) Reserve(bytes, capacity, bytes.size + kBlockBytes);
    const std::size_t wanted = std::min(kBlockBytes, capacity - bytes.size);
    errno = 0;
    const std::size_t got = std::fread(bytes.data.get() + bytes.size, 1, wanted, file.get());
    bytes.size += got;
    if (got == wanted) continue;
    if (std::ferror(file.get())) {
      error = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
      return SourceStatus::kReadError;
    }
    break;
  }
  if (bytes.size > kMaxSourceBytes) {
    message = path + ": larger than the 2 GiB a route file may have";
    return SourceStatus::kRefused;
  }
  if (!bytes.data) Reserve(bytes, capacity, 1);
  std::memset(bytes.data.get() + bytes.size, 0, FileBytes::kPadding);
  return SourceStatus::kOk;
}

namespace {

// A bit for every line feed among 8 bytes: each byte that is a line feed becomes 0, the high bit
// of every byte is set where it is not 0 (without carries from one byte into the next), and a
// multiplication gathers the eight flags into the top byte.
std::uint64_t LineFeedBits(const unsigned char* bytes) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, 8);
  word ^= 0x0A0A0A0A0A0A0A0AULL;
  const std::uint64_t zeroBytes = ~(((word & kLow7) + kLow7) | word) & ~kLow7;
  return ((zeroBytes >> 7) * 0x0102040810204080ULL) >> 56;
}

}  // namespace

TextPlaces::TextPlaces(std::string_view text)
    : feeds_(text.size() / 64 + 1, 0), size_(text.size()) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t whole = text.size() / 8 * 8;
  for (std::size_t at = 0; at < whole; at += 8) {
    feeds_[at / 64] |= LineFeedBits(bytes + at) << (at % 64);
  }
  for (std::size_t at = whole; at < text.size(); ++at) {
    feeds_[at / 64] |= std::uint64_t{bytes[at] == '\n'} << (at % 64);
  }
}

std::uint64_t TextPlaces::Line(std::size_t offset, Cursor& cursor) const {
  offset = std::min(offset, size_);
  if (offset < cursor.offset) cursor = Cursor{};
  cursor.line += CountLineFeeds(cursor.offset, offset);
  cursor.offset = offset;
  return cursor.line;
}

std::uint64_t TextPlaces::CountLineFeeds(std::size_t from, std::size_t to) const {
  if (from >= to) return 0;
  // The bits set, counted in parallel within the word (no processor instruction is assumed).
  const auto count = [](std::uint64_t bits) {
    bits -= (bits >> 1) & 0x5555555555555555ULL;
    bits = (bits & 0x3333333333333333ULL) + ((bits >> 2) & 0x3333333333333333ULL);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (bits * 0x0101010101010101ULL) >> 56;
  };
  const std::uint64_t below = (std::uint64_t{1} << (to % 64)) - 1;  // the bits before to
  const std::size_t first = from / 64;
  const std::size_t last = to / 64;
  if (first == last) return count(feeds_[first] & below & (~std::uint64_t{0} << (from % 64)));
  std::uint64_t feeds = count(feeds_[first] >> (from % 64));
  for (std::size_t word = first + 1; word < last; ++word) feeds += count(feeds_[word]);
  return feeds + count(feeds_[last] & below);
}

Place TextPlaces::At(std::size_t offset) const {
  offset = std::min(offset, size_);
  // Back to the line feed before, a word at a time past words without one.
  std::size_t start = offset;
  while (start > 0) {
    if (start % 64 == 0 && feeds_[start / 64 - 1] == 0) {
      start -= 64;
    } else if (IsLineFeed(start - 1)) {
      break;
    } else {
      --start;
    }
  }
  Cursor cursor;
  return Place{Line(offset, cursor), offset - start + 1};
}

PointSink::PointSink(PoiList& list, PointDetails& details, const TextPlaces& places,
                     std::string_view file, std::size_t expectedPoints)
    : list_(list), details_(details), places_(places), file_(file), expected_(expectedPoints) {
  list_.ReserveForFile(file.size());
  details_.lines.reserve(expectedPoints);
}

std::size_t PointSink::OffsetOf(std::string_view field, std::size_t fallback) const {
  const char* const start = file_.data();
  if (field.data() >= start && field.data() <= start + file_.size()) {
    return static_cast<std::size_t>(field.data() - start);
  }
  return fallback;
}

// The text a coordinate keeps: as written, unless the POI list could not hold it whole (longer
// than its 14 characters) or the engine would read it otherwise (an exponent): then the value
// printed with as many decimals as fit, which is finer than a tenth of a millimetre.
std::string_view PointSink::CoordinateText(std::string_view text, double value,
                                           std::string& storage) const {
  if (text.size() <= PoiNode::kCoordinateWidth &&
      std::none_of(text.begin(), text.end(), [](char c) { return c == 'e' || c == 'E'; })) {
    return text;
  }
  const int integerPart = std::fabs(value) >= 100.0 ? 3 : std::fabs(value) >= 10.0 ? 2 : 1;
  const int decimals =
      static_cast<int>(PoiNode::kCoordinateWidth) - integerPart - 1 - (value < 0 ? 1 : 0);
  storage = FormatFixed(value, decimals);
  return storage;
}

void PointSink::Add(const PointTexts& point) {
  double longitude = 0.0;
  double latitude = 0.0;
  const std::string_view lonText = Trim(point.longitude);
  const std::string_view latText = Trim(point.latitude);
  if (lonText.empty()) Refuse(point.offset, "a point without a longitude");
  if (latText.empty()) Refuse(point.offset, "a point without a latitude");
  if (!ParseNumber(lonText, longitude)) {
    Refuse(OffsetOf(lonText, point.offset), "longitude " + Quoted(lonText) + " is no number");
  }
  if (!ParseNumber(latText, latitude)) {
    Refuse(OffsetOf(latText, point.offset), "latitude " + Quoted(latText) + " is no number");
  }
  if (!(std::fabs(latitude) <= 90.0)) {
    Refuse(
        OffsetOf(latText, point.offset),
        "latitude " + std::string(latText) + " lies off the Earth: latitudes run from -90 to 90");
  }
  if (!(std::fabs(longitude) <= 180.0)) {
    Refuse(OffsetOf(lonText, point.offset),
           "longitude " + std::string(lonText) +
               " lies off the Earth: longitudes run from -180 to 180");
  }
  const std::size_t index = count_;
  const std::string_view timeText = Trim(point.time);
  if (!timeText.empty()) SetTime(index, timeText, OffsetOf(timeText, point.offset));
  const struct {
    std::string_view text;
    std::vector<double>& column;
    const char* what;
    bool mayBeNegative;
  } numbers[] = {
      {Trim(point.elevation), details_.elevationsMetres, "elevation", true},
      {Trim(point.speed), details_.speedsMetresPerSecond, "speed", false},
      {Trim(point.dwell), details_.dwellsSeconds, "dwell", false},
  };
  for (const auto& number : numbers) {
    if (number.text.empty()) continue;
    double value = 0.0;
    const std::size_t offset = OffsetOf(number.text, point.offset);
    if (!ParseNumber(number.text, value)) {
      Refuse(offset, std::string(number.what) + " " + Quoted(number.text) + " is no number");
    }
    if (value < 0.0 && !number.mayBeNegative) {
      Refuse(offset, std::string(number.what) + " " + std::string(number.text) + " is negative");
    }
    Put(number.column, index, value, std::nan(""), expected_);
  }

  const std::string_view name = Trim(point.name);
  const std::string_view description = Trim(point.description);
  list_.AppendPoint(PoiView{CoordinateText(lonText, longitude, lonStorage_),
                            CoordinateText(latText, latitude, latStorage_),
                            name.empty() ? description : name, description});
  details_.lines.push_back(static_cast<std::uint32_t>(places_.Line(point.offset, cursor_)));
  ++count_;
}

void PointSink::SetTime(std::size_t index, std::string_view time, std::size_t offset) {
  std::int64_t utcMs = 0;
  if (!ParseIsoTime(Trim(time), utcMs)) {
    Refuse(offset, "time " + Quoted(Trim(time)) +
                       " is no ISO 8601 date and time (such as 2026-01-01T08:00:00Z)");
  }
  Put(details_.timesUtcMs, index, utcMs, PointDetails::kNoTime, expected_);
}

void PointSink::Finish() {
  const auto fill = [this](auto& column, auto missing) {
    if (!column.empty()) column.resize(count_, missing);
  };
  fill(details_.timesUtcMs, PointDetails::kNoTime);
  fill(details_.elevationsMetres, std::nan(""));
  fill(details_.speedsMetresPerSecond, std::nan(""));
  fill(details_.dwellsSeconds, std::nan(""));
}

bool ParseIsoTime(std::string_view text, std::int64_t& utcMs) {
  CalendarDate date;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (text.size() < 19 || !ParseIsoDate(text.substr(0, 10), date)) return false;
  const char t = text[10];
  if ((t != 'T' && t != 't' && t != ' ') || !ReadDigits(text, 11, 2, hour) || text[13] != ':' ||
      !ReadDigits(text, 14, 2, minute) || text[16] != ':' || !ReadDigits(text, 17, 2, second) ||
      hour > 23 || minute > 59 || second > 60) {
    return false;
  }
  std::size_t at = 19;
  int millis = 0;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    const std::size_t first = ++at;
    while (at < text.size() && IsDigit(text[at])) {
      if (at - first < 3) millis = millis * 10 + (text[at] - '0');
      ++at;
    }
    if (at == first) return false;
    for (std::size_t kept = at - first; kept < 3; ++kept) millis *= 10;
  }
  int eastMinutes = 0;
  if (!ReadZone(text, at, eastMinutes)) return false;
  const std::int64_t seconds = DaysFromDate(date) * 86400 + hour * 3600 + minute * 60 + second -
                               std::int64_t{eastMinutes} * 60;
  utcMs = seconds * 1000 + millis;
  return true;
}

bool ParseNumber(std::string_view text, double& value) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::size_t digits = 0;
  while (at < text.size() && IsDigit(text[at])) ++at, ++digits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && IsDigit(text[at])) ++at, ++digits;
  }
  if (digits == 0) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    const std::size_t exponentStart = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    if (at == exponentStart) return false;
  }
  if (at != text.size()) return false;
  value = ParseDecimal(text);
  return std::isfinite(value);
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view LocalName(const char* name) {
  // One pass over a short name: where it ends, and where its last colon is.
  const char* start = name;
  const char* at = name;
  for (; *at != '\0'; ++at) {
    if (*at == ':') start = at + 1;
  }
  return std::string_view(start, static_cast<std::size_t>(at - start));
}

bool ChoosePath(const std::vector<SourcePath>& paths, const std::string& wanted,
                std::size_t& chosen, std::string& message) {
  if (wanted.empty()) {
    auto found = std::find_if(paths.begin(), paths.end(),
                              [](const SourcePath& path) { return path.kind == PathKind::kTrack; });
    if (found == paths.end()) {
      found = std::find_if(paths.begin(), paths.end(), [](const SourcePath& path) {
        return path.kind == PathKind::kRoute || path.kind == PathKind::kLine;
      });
    }
    chosen = found == paths.end() ? 0 : static_cast<std::size_t>(found - paths.begin());
    return true;
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].name == wanted) {
      chosen = i;
      return true;
    }
  }
  std::size_t number = 0;
  const bool digits = wanted.size() <= 9 && std::all_of(wanted.begin(), wanted.end(), IsDigit);
  for (const char c : wanted) number = digits ? number * 10 + static_cast<std::size_t>(c - '0') : 0;
  if (digits && number >= 1 && number <= paths.size()) {
    chosen = number - 1;
    return true;
  }
  message = "no path " + Quoted(wanted) + ": the file's paths are";
  if (paths.empty()) message += " none";
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::size_t count = paths[i].pointCount;
    message += (i == 0 ? " " : ", ") + std::to_string(i + 1) + " " + Quoted(paths[i].name) + " (" +
               PathKindName(paths[i].kind) + ", " + std::to_string(count) +
               (count == 1 ? " point)" : " points)");
  }
  return false;
}

std::size_t ChooseOrRefuse(ReadContext& context) {
  std::string message;
  if (!ChoosePath(context.read.paths, context.wantedPath, context.read.chosen, message)) {
    Refuse(kNoPlace, message);
  }
  return context.read.chosen;
}

}  // namespace wayloom::source_reading
