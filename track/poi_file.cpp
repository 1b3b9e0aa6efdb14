#include "poi_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "number_text.h"

namespace wayloom {
namespace {

// Reads a file character by character through a block buffer, turning CR LF into LF (a lone CR
// stays), and hands out line pieces the way fgets with a 299-character buffer would.
class LinePieceReader {
 public:
  explicit LinePieceReader(std::FILE* file) : file_(file) {}

  bool AtEnd() const { return atEnd_; }
  bool Failed() const { return failed_; }

  // Replaces piece with up to kLinePieceLimit characters, ending after a line feed. Reaching the end
  // of the file sets AtEnd(); a read error sets Failed().
  void ReadPiece(std::string& piece) {
    piece.clear();
    while (piece.size() < kLinePieceLimit) {
      int c = Next();
      if (c == EOF) return;
      if (c == '\r' && Peek() == '\n') c = Next();
      piece.push_back(static_cast<char>(c));
      if (c == '\n') return;
    }
  }

 private:
  int Next() {
    if (position_ == length_ && !Refill()) return EOF;
    return static_cast<unsigned char>(buffer_[position_++]);
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

bool ParsePoiLine(std::string_view piece, PoiNode& node) {
  // Line texts are C strings: a NUL byte ends the line.
  std::string_view line = piece.substr(0, piece.find('\0'));
  if (line.size() > 2) line.remove_suffix(1);  // the line feed, or the last character of the file

  std::size_t position = 0;
  const std::string_view first = NextToken(line, position);
  const std::string_view second = NextToken(line, position);
  if (second.empty()) return false;
  if (!IsUsableCoordinate(first) || !IsUsableCoordinate(second)) return false;

  // Fields count every comma, empty pieces included.
  std::string* const fields[] = {&node.szLon, &node.szLat, &node.szDescription, &node.szExtra};
  const std::size_t widths[] = {PoiNode::kCoordinateWidth, PoiNode::kCoordinateWidth,
                                PoiNode::kTextWidth, PoiNode::kTextWidth};
  std::size_t start = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    if (start > line.size()) {
      fields[k]->clear();
      continue;
    }
    std::size_t end = line.find(',', start);
    if (end == std::string_view::npos) end = line.size();
    fields[k]->assign(line.substr(start, std::min(end - start, widths[k])));
    start = end + 1;
  }
  return true;
}

PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list) {
  list.clear();
  try {
    list.emplace_back();  // the blank tail
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kNoMemoryForList;
  }

  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return PoiReadStatus::kCannotOpen;

  try {
    auto reader = std::make_unique<LinePieceReader>(file.get());
    std::string piece;
    PoiNode point;
    while (!reader->AtEnd()) {
      reader->ReadPiece(piece);
      if (reader->Failed()) return PoiReadStatus::kReadError;
      if (!ParsePoiLine(piece, point)) continue;
      list.emplace_back();  // the new blank tail; the old one takes the point
      try {
        list[list.size() - 2] = point;
      } catch (const std::bad_alloc&) {
        list.pop_back();
        list.back() = PoiNode{};
        throw;
      }
    }
  } catch (const std::bad_alloc&) {
    return PoiReadStatus::kOutOfMemory;  // the list still ends in its blank tail
  }
  return PoiReadStatus::kOk;
}

}  // namespace wayloom
