#include "track/poi_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "track/number_text.h"

namespace wayloom {
namespace {

// Reads a file character by character through a block buffer, turning CR LF into LF (a lone CR
// stays), and hands out line pieces the way fgets with a 299-character buffer would.
class LinePieceReader {
 public:
  explicit LinePieceReader(std::FILE* file) : file_(file) {}

  bool AtEnd() const { return atEnd_; }
  bool Failed() const { return failed_; }

  // Replaces piece with up to kLinePieceLimit characters, ending after a line feed. Reaching the
  // end of the file sets AtEnd(); a read error sets Failed().
  void ReadPiece(std::string& piece) {
    piece.clear();
    while (piece.size() < kLinePieceLimit) {
      if (position_ == length_ && !Refill()) return;
      // Copy up to the next line feed or carriage return in one go.
      const char* start = buffer_ + position_;
      const std::size_t room = std::min(length_ - position_, kLinePieceLimit - piece.size());
      const char* stop = FindLineBreak(start, room);
      if (stop == nullptr) {
        piece.append(start, room);
        position_ += room;
        continue;
      }
      piece.append(start, static_cast<std::size_t>(stop - start));
      position_ += static_cast<std::size_t>(stop - start) + 1;
      if (*stop == '\n') {
        piece.push_back('\n');
        return;
      }
      if (Peek() == '\n') {  // CR LF reads as LF
        ++position_;
        piece.push_back('\n');
        return;
      }
      piece.push_back('\r');  // a lone CR is an ordinary character
    }
  }

 private:
  static const char* FindLineBreak(const char* start, std::size_t size) {
    const void* lineFeed = std::memchr(start, '\n', size);
    const std::size_t searchCr =
        lineFeed ? static_cast<std::size_t>(static_cast<const char*>(lineFeed) - start) : size;
    const void* carriageReturn = std::memchr(start, '\r', searchCr);
    return static_cast<const char*>(carriageReturn ? carriageReturn : lineFeed);
  }

  int Peek() {
    if (position_ == length_ && !Refill()) return EOF;
    return static_cast<unsigned char>(buffer_[position_]);
  }

  bool Refill() {
    if (atEnd_ || failed_) return false;
    length_ = std::fread(buffer_, 1, sizeof buffer_, file_);
    position_ = 0;
    if (length_ > 0) return true;
    if (std::ferror(file_)) {
      failed_ = true;
    } else {
      atEnd_ = true;
    }
    return false;
  }

  std::FILE* file_;
  char buffer_[64 * 1024];
  std::size_t length_ = 0;
  std::size_t position_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
};

// The size of a regular file in bytes; 0 when it cannot be told (a pipe, a device). Paths are UTF-8
// on every platform, as the file functions take them.
std::size_t FileSize(const std::string& path) {
  try {
    const std::filesystem::path name = std::filesystem::u8path(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) return 0;
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    return error ? 0 : static_cast<std::size_t>(size);
  } catch (const std::exception&) {  // a name that is no UTF-8
    return 0;
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The next strtok-style token: skips commas, then runs to the next comma. Empty when none is left.
std::string_view NextToken(std::string_view line, std::size_t& position) {
  while (position < line.size() && line[position] == ',') ++position;
  const std::size_t start = position;
  while (position < line.size() && line[position] != ',') ++position;
  return line.substr(start, position - start);
}

bool IsUsableCoordinate(std::string_view token) {
  const double value = ParseDecimal(token);
  return value != 0.0 && std::isfinite(value);
}

}  // namespace

void PoiList::StartWithBlankTail() {
  nodes_.clear();
  text_.clear();
  nodes_.push_back(Node{0, 0, 0, 0, 0});
}

void PoiList::AppendPoint(const PoiView& node) {
  const std::size_t textSize = text_.size();
  nodes_.push_back(Node{textSize + node.szLon.size() + node.szLat.size() +
                            node.szDescription.size() + node.szExtra.size(),
                        0, 0, 0, 0});
  try {
    text_ += node.szLon;
    text_ += node.szLat;
    text_ += node.szDescription;
    text_ += node.szExtra;
  } catch (const std::bad_alloc&) {
    nodes_.pop_back();
    text_.resize(textSize);
    throw;
  }
  Node& filled = nodes_[nodes_.size() - 2];
  filled.lonLength = static_cast<std::uint8_t>(node.szLon.size());
  filled.latLength = static_cast<std::uint8_t>(node.szLat.size());
  filled.descriptionLength = static_cast<std::uint8_t>(node.szDescription.size());
  filled.extraLength = static_cast<std::uint8_t>(node.szExtra.size());
}

void PoiList::ReserveForFile(std::size_t fileBytes) {
  // Every point takes at least four bytes of the file ("1,1" and its line end) and never more text
  // than the file holds. Capacity that is never written costs address space, not memory.
  try {
    text_.reserve(fileBytes);
    nodes_.reserve(fileBytes / 4 + 2);
  } catch (const std::bad_alloc&) {
    // Then the list grows as it is read.
  }
}

PoiView PoiList::operator[](std::size_t index) const {
  const Node& node = nodes_[index];
  const std::string_view text(text_);
  std::size_t at = node.start;
  PoiView view;
  view.szLon = text.substr(at, node.lonLength);
  at += node.lonLength;
  view.szLat = text.substr(at, node.latLength);
  at += node.latLength;
  view.szDescription = text.substr(at, node.descriptionLength);
  at += node.descriptionLength;
  view.szExtra = text.substr(at, node.extraLength);
  return view;
}

bool PoiList::operator==(const PoiList& other) const {
  if (size() != other.size()) return false;
  for (std::size_t i = 0; i < size(); ++i) {
    if (!((*this)[i] == other[i])) return false;
  }
  return true;
}

bool ParsePoiLine(std::string_view piece, PoiView& node) {
  // Line texts are C strings: a NUL byte ends the line.
  std::string_view line = piece.substr(0, piece.find('\0'));
  if (line.size() > 2) line.remove_suffix(1);  // the line feed, or the last character of the file

  std::size_t position = 0;
  const std::string_view first = NextToken(line, position);
  const std::string_view second = NextToken(line, position);
  if (second.empty()) return false;
  if (!IsUsableCoordinate(first) || !IsUsableCoordinate(second)) return false;

  // Fields count every comma, empty pieces included.
  std::string_view* const fields[] = {&node.szLon, &node.szLat, &node.szDescription, &node.szExtra};
  const std::size_t widths[] = {PoiNode::kCoordinateWidth, PoiNode::kCoordinateWidth,
                                PoiNode::kTextWidth, PoiNode::kTextWidth};
  std::size_t start = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    if (start > line.size()) {
      *fields[k] = std::string_view();
      continue;
    }
    std::size_t end = line.find(',', start);
    if (end == std::string_view::npos) end = line.size();
    *fields[k] = line.substr(start, std::min(end - start, widths[k]));
    start = end + 1;
  }
  return true;
}

PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list) {
  try {
    list.StartWithBlankTail();
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kNoMemoryForList;
  }

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return PoiReadStatus::kCannotOpen;
  list.ReserveForFile(FileSize(path));

  try {
    auto reader = std::make_unique<LinePieceReader>(file.get());
    std::string piece;
    PoiView point;
    while (!reader->AtEnd()) {
      reader->ReadPiece(piece);
      if (reader->Failed()) return PoiReadStatus::kReadError;
      if (!ParsePoiLine(piece, point)) continue;
      list.AppendPoint(point);
    }
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kOutOfMemory;  // the list still ends in its blank tail
  }
  return PoiReadStatus::kOk;
}

}  // namespace wayloom
