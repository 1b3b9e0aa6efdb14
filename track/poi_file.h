// The POI file reader: text lines of longitude, latitude, description and an optional fourth text,
// separated by commas.
//
// A line is a point when its first two non-empty comma pieces both read as non-zero, finite numbers;
// other lines (headings, comments, blank lines) are skipped without a word. The texts are then taken
// from the line's pieces with empty pieces counted, and kept exactly as read, cut to their widths.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

// The POI list: the points in file order followed by exactly one blank node (the blank tail), which
// stands for no point and shows as the empty last row of the source table.
using PoiList = std::vector<PoiNode>;

// Lines are read in pieces of at most this many characters (after CR LF has become LF), as a
// 299-character line buffer reads them; each piece is a line of its own.
constexpr std::size_t kLinePieceLimit = 298;

// Applies the line rules to one piece as read (with its line feed, if it has one): drops the last
// character of a piece longer than two, tests it, and fills node. False when the line is no point.
bool ParsePoiLine(std::string_view piece, PoiNode& node);

enum class PoiReadStatus {
  kOk,
  kCannotOpen,      // the list is the blank tail alone
  kReadError,       // the points read before the error stay
  kOutOfMemory,     // the points read before the shortage stay; the line being read is lost
  kNoMemoryForList  // not even the blank tail could be made: there is no list
};

// Reads the file at path into list (emptied first). The list always ends in its blank tail, except
// after kNoMemoryForList, when it is left empty.
PoiReadStatus ReadPoiFile(const std::string& path, PoiList& list);

}  // namespace wayloom
