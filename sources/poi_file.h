// The POI file reader: text lines of longitude, latitude, description and an optional fourth text,
// separated by commas.
//
// A line is a point when its first two non-empty comma pieces both read as non-zero, finite
// numbers; other lines (headings, comments, blank lines) are skipped without a word. The texts are
// then taken from the line's pieces with empty pieces counted, and kept exactly as read, cut to
// their widths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/prefetch.h"

namespace wayloom {

struct PoiNode {
  static constexpr std::size_t kCoordinateWidth = 14;
  static constexpr std::size_t kTextWidth = 79;

  std::string szLon;          // piece 0, at most 14 characters
  std::string szLat;          // piece 1, at most 14 characters
  std::string szDescription;  // piece 2, at most 79 characters
  std::string szExtra;        // piece 3, at most 79 characters; kept, shown nowhere

  bool operator==(const PoiNode& other) const {
    return szLon == other.szLon && szLat == other.szLat && szDescription == other.szDescription &&
           szExtra == other.szExtra;
  }
};

// A node of the POI list as stored: views of its four texts, valid while the list is unchanged.
struct PoiView {
  std::string_view szLon;
  std::string_view szLat;
  std::string_view szDescription;
  std::string_view szExtra;

  bool operator==(const PoiView& other) const {
    return szLon == other.szLon && szLat == other.szLat && szDescription == other.szDescription &&
           szExtra == other.szExtra;
  }
  bool operator==(const PoiNode& node) const {
    return *this == PoiView{node.szLon, node.szLat, node.szDescription, node.szExtra};
  }
  bool IsBlank() const { return *this == PoiView{}; }
};

struct PoiHalf;

// The texts of POI nodes, one after another. It grows by appending, without the zero-filling and
// the per-call cost of a string's: a file's texts arrive a few bytes at a time, by the million.
class TextBuffer {
 public:
  TextBuffer() = default;
  TextBuffer(TextBuffer&& other) noexcept { *this = std::move(other); }
  TextBuffer& operator=(TextBuffer&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // Makes room for this many bytes in all. Throws std::bad_alloc when memory runs out.
  void Reserve(std::size_t bytes);
  // Where the next count bytes go, to be written at once; they count from now on. Throws
  // std::bad_alloc, the buffer unchanged, when memory runs out.
  char* Extend(std::size_t count) {
    if (count > capacity_ - size_) Grow(size_ + count);
    char* const at = data_.get() + size_;
    size_ += count;
    return at;
  }
  void Clear() { size_ = 0; }
  std::size_t size() const { return size_; }
  std::string_view View() const { return std::string_view(data_.get(), size_); }

 private:
  void Grow(std::size_t needed);

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The POI list: the points in file order followed by exactly one blank node (the blank tail), which
// stands for no point and shows as the empty last row of the source table. The texts of the nodes
// share one buffer (two, when the file was read in two halves) and a node takes eight bytes beyond
// its texts, so a million points take a few tens of megabytes.
class PoiList {
 public:
  // Makes the list the blank tail alone. May throw std::bad_alloc.
  void StartWithBlankTail();
  // Stores node's texts, cut to the widths of PoiNode, in the blank tail and appends a new blank
  // tail. When memory runs out it throws std::bad_alloc and leaves the list as it was.
  void AppendPoint(const PoiView& node);

  // Makes room for the points of a file of this size, so that reading it moves nothing.
  void ReserveForFile(std::size_t fileBytes);

  // Ask the processor to fetch a node, or the texts of a node fetched before, ahead of their use;
  // they change nothing. Reading points out of file order waits on memory otherwise.
  void PrefetchNode(std::size_t index) const { PrefetchForReading(&nodes_[index]); }
  void PrefetchTexts(std::size_t index) const {
    const Node node = nodes_[index];
    PrefetchForReading(Texts(node).data() + (node & kStartMask));
  }

  std::size_t size() const { return nodes_.size(); }
  bool empty() const { return nodes_.empty(); }
  // The points of the list, its blank tail not counted.
  std::size_t PointCount() const { return nodes_.empty() ? 0 : nodes_.size() - 1; }
  PoiView operator[](std::size_t index) const;
  PoiView back() const { return (*this)[nodes_.size() - 1]; }
  bool operator==(const PoiList& other) const;

 private:
  // A node in one word: where its texts begin, one after the other, in the low bits (in
  // secondText_ when kSecondText is set, else in text_), and
  // above them the lengths of its four texts, of four, four, seven and seven bits.
  using Node = std::uint64_t;
  static constexpr int kStartBits = 42;
  static constexpr std::uint64_t kSecondText = std::uint64_t{1} << (kStartBits - 1);
  static constexpr std::uint64_t kStartMask = kSecondText - 1;  // two terabytes of text in each
  static constexpr int kLengthBits[] = {4, 4, 7, 7};
  static_assert(PoiNode::kCoordinateWidth < 16 && PoiNode::kTextWidth < 128,
                "the lengths of cut texts fit their bits");
  static Node MakeNode(std::uint64_t start, const PoiView& texts);
  static PoiView Cut(const PoiView& node);
  // Appends the points of the second half of a file read in two halves; their texts become
  // secondText_.
  friend struct PoiHalf;
  void AppendHalf(PoiHalf& half);
  std::string_view Texts(Node node) const {
    return (node & kSecondText) != 0 ? secondText_.View() : text_.View();
  }

  std::vector<Node> nodes_;
  TextBuffer text_;
  TextBuffer secondText_;  // the texts of the second half of a file read in two halves
};

// Lines are read in pieces of at most this many characters (after CR LF has become LF), as a
// 299-character line buffer reads them; each piece is a line of its own.
constexpr std::size_t kLinePieceLimit = 298;

// Applies the line rules to one piece as read (with its line feed, if it has one): drops the last
// character of a piece longer than two, tests it, and points node's texts into the piece, cut to
// their widths. False when the line is no point.
bool ParsePoiLine(std::string_view piece, PoiView& node);

enum class PoiReadStatus {
  kOk,
  kCannotOpen,       // the list is the blank tail alone
  kReadError,        // the points read before the error stay
  kOutOfMemory,      // the points read before the shortage stay; the line being read is lost
  kNoMemoryForList,  // not even the blank tail could be made: there is no list
  kStopped,          // a stop was asked for; the points read before it stay
};

// What a reading needs and tells beyond the points.
struct PoiReadDetails {
  // Asked before the file is opened and before every block is read; true ends the reading. A
  // signal that interrupts the opening (of a pipe without a writer) is seen here too.
  std::function<bool()> stopRequested;
  // The system's reason when the file could not be opened or read.
  std::error_code error;
  // The file starts with a UTF-16 byte-order mark: its text cannot read as numbers.
  bool utf16ByteOrderMark = false;
  // A regular file of at least this many bytes is read in two halves at once, split after a line
  // feed near its middle, the second on a thread of its own; the list is the same either way.
  std::size_t halvesFromBytes = std::size_t{1} << 20;
};

// Reads the file at path into list (emptied first). After a stop, a read error or a shortage of
// memory, the list holds the points of the file up to where that happened, in file order. The list
// always ends in its blank tail, except after kNoMemoryForList, when it is left empty. A UTF-8
// byte-order mark at the start of the file (as spreadsheet programs write it) is skipped; the line
// rules apply to what follows.
PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list);
PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list, PoiReadDetails& details);

// The line of the file at path (counted from 1; a long line read in pieces counts once) that holds
// its point pointIndex (counted from 0, as the list counts them): for messages about a point. 0
// when the file no longer reads that far.
std::size_t PoiLineNumber(const std::string& path, std::size_t pointIndex);

}  // namespace wayloom
