#include "motion/table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace wayloom {
namespace {

// Rows are stored in blocks of this size; a longer row gets a block of its own.
constexpr std::size_t kBlockBytes = 1 << 20;
// The top bit of a row's length: its text is packed.
constexpr std::uint32_t kPackedBit = 0x80000000u;

// Packed texts: four bits a character for the digits, comma, point and cell separator, the most
// of what sentences and coordinates hold, and two for each of sixteen pieces they are made of, so
// that a sentence takes some 28 bytes instead of 70. Any other byte takes three codes. No piece
// starts with a byte that has a code of its own, so those bytes never need a comparison. Which
// pieces these are matters for the size and speed only: every text packs and unpacks exactly.
enum Code : unsigned { kComma = 10, kPoint, kSeparator, kPiece, kByte, kEnd };
// clang-format off
constexpr std::array<std::string_view, 16> kPieces = {
    "$GPGGA,", "$GPRMC,", "E,1,07,1.25,00121,M,047,M,,*", "W,1,07,1.25,00121,M,047,M,,*",
    "A,", "A", "B", "C", "D", "E", "F", "N", "S", "W", "*", "-"};
// clang-format on

// For each byte, the pieces that start with it (at most two), the longer first; kNoPiece after
// the last.
constexpr unsigned char kNoPiece = 0xFF;
using PieceChoice = std::array<unsigned char, 2>;
constexpr std::array<PieceChoice, 256> PiecesByFirstByte() {
  std::array<PieceChoice, 256> table{};
  for (PieceChoice& choice : table) choice = {kNoPiece, kNoPiece};
  for (unsigned p = 0; p < kPieces.size(); ++p) {
    PieceChoice& choice = table[static_cast<unsigned char>(kPieces[p][0])];
    choice[choice[0] == kNoPiece ? 0 : 1] = static_cast<unsigned char>(p);
  }
  return table;
}
constexpr std::array<PieceChoice, 256> kPiecesStartingWith = PiecesByFirstByte();

// For each byte, its own code, or kByte for a byte that has none.
constexpr std::array<unsigned char, 256> CodesByByte() {
  std::array<unsigned char, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte) table[byte] = kByte;
  for (unsigned digit = 0; digit <= 9; ++digit)
    table['0' + digit] = static_cast<unsigned char>(digit);
  table[','] = kComma;
  table['.'] = kPoint;
  table['\0'] = kSeparator;
  return table;
}
constexpr std::array<unsigned char, 256> kCodeOf = CodesByByte();
// The same for the bytes no piece starts with; kByte for the others.
constexpr std::array<unsigned char, 256> PlainCodesByByte() {
  std::array<unsigned char, 256> table = CodesByByte();
  for (std::string_view piece : kPieces) table[static_cast<unsigned char>(piece[0])] = kByte;
  return table;
}
constexpr std::array<unsigned char, 256> kPlainCodeOf = PlainCodesByByte();

// Writes codes two to a byte, the first in the high half, into a buffer with room for them and
// eight bytes more; gathers sixteen codes before it stores them.
class NibbleWriter {
 public:
  explicit NibbleWriter(char* out) : out_(out) {}
  void Put(unsigned code) {
    codes_ = codes_ << 4u | code;
    if (++count_ == 16) Flush();
  }
  // Two codes, the first in the high half of pair.
  void PutTwo(unsigned pair) {
    if (count_ == 15) {
      Put(pair >> 4u);
      Put(pair & 15u);
      return;
    }
    codes_ = codes_ << 8u | pair;
    count_ += 2;
    if (count_ == 16) Flush();
  }
  // Pads the last byte; returns the end of the codes.
  char* Finish() {
    if (count_ % 2 != 0) Put(kEnd);
    if (count_ == 0) return out_;
    const unsigned bytes = count_ / 2;
    codes_ <<= 4u * (16 - count_);
    Flush();
    return out_ - 8 + bytes;
  }

 private:
  void Flush() {
    for (unsigned k = 0; k < 8; ++k) out_[k] = static_cast<char>(codes_ >> (56 - 8 * k));
    out_ += 8;
    codes_ = 0;
    count_ = 0;
  }

  char* out_;
  std::uint64_t codes_ = 0;
  unsigned count_ = 0;
};

// A plain loop: the pieces are short and most comparisons end at their second byte.
bool StartsWith(std::string_view text, std::string_view piece) {
  if (text.size() < piece.size()) return false;
  for (std::size_t k = 1; k < piece.size(); ++k) {
    if (text[k] != piece[k]) return false;
  }
  return true;  // the first byte is known to match
}

// Packs text into out, which it resizes.
void Pack(std::string_view text, std::string& out) {
  out.resize(text.size() / 2 * 3 + 2 + 8);  // three codes a byte at the most
  NibbleWriter writer(out.data());
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (kPlainCodeOf[c] != kByte) {  // most bytes: a digit, often two in a row
      const unsigned next = at + 1 < text.size()
                                ? unsigned{kPlainCodeOf[static_cast<unsigned char>(text[at + 1])]}
                                : unsigned{kByte};
      if (next != kByte) {
        writer.PutTwo(unsigned{kPlainCodeOf[c]} << 4u | next);
        at += 2;
      } else {
        writer.Put(kPlainCodeOf[c]);
        ++at;
      }
      continue;
    }
    bool matched = false;
    for (const unsigned char p : kPiecesStartingWith[c]) {
      if (p == kNoPiece) break;
      if (StartsWith(text.substr(at), kPieces[p])) {
        writer.Put(kPiece);
        writer.Put(p);
        at += kPieces[p].size();
        matched = true;
        break;
      }
    }
    if (matched) continue;
    writer.Put(kCodeOf[c]);
    if (kCodeOf[c] == kByte) {
      writer.Put(c >> 4u);
      writer.Put(c & 15u);
    }
    ++at;
  }
  out.resize(static_cast<std::size_t>(writer.Finish() - out.data()));
}

void Unpack(std::string_view packed, std::string& out) {
  out.clear();
  const std::size_t codes = 2 * packed.size();
  const auto code = [packed](std::size_t k) {
    const auto byte = static_cast<unsigned char>(packed[k / 2]);
    return k % 2 == 0 ? byte >> 4u : byte & 15u;
  };
  for (std::size_t k = 0; k < codes; ++k) {
    const unsigned c = code(k);
    if (c <= 9) {
      out.push_back(static_cast<char>('0' + c));
    } else if (c == kComma) {
      out.push_back(',');
    } else if (c == kPoint) {
      out.push_back('.');
    } else if (c == kSeparator) {
      out.push_back('\0');
    } else if (c == kPiece) {
      out += kPieces[code(++k)];
    } else if (c == kByte) {
      out.push_back(static_cast<char>(code(k + 1) << 4u | code(k + 2)));
      k += 2;
    }  // kEnd pads the last byte
  }
}

// Start and length of a cell inside a row's text; npos when the row has fewer cells.
struct CellSpan {
  std::size_t start;
  std::size_t length;
};

CellSpan FindCell(std::string_view row, std::size_t column) {
  std::size_t start = 0;
  for (std::size_t c = 0; c < column; ++c) {
    const std::size_t end = row.find('\0', start);
    if (end == std::string_view::npos) return {std::string_view::npos, 0};
    start = end + 1;
  }
  const std::size_t end = row.find('\0', start);
  if (end == std::string_view::npos) return {std::string_view::npos, 0};
  return {start, end - start};
}

// Cell texts must not hold the separator; a NUL ends a text as it would in a C string. A row is
// kept to what a block can count.
std::string_view CellText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, std::numeric_limits<std::uint32_t>::max() / 8);
}

}  // namespace

void Table::DeleteAllRows() {
  rows_.clear();
  blocks_.clear();
}

std::size_t Table::MemoryBytes() const {
  std::size_t bytes = rows_.capacity() * sizeof(RowSpan) + blocks_.capacity() * sizeof(Block);
  for (const Block& block : blocks_) bytes += block.capacity;
  return bytes;
}

std::string Table::RowText(const std::vector<Block>& blocks, RowSpan span) {
  const std::string_view stored(blocks[span.block].bytes.get() + span.start,
                                span.length & ~kPackedBit);
  if ((span.length & kPackedBit) == 0) return std::string(stored);
  std::string text;
  Unpack(stored, text);
  return text;
}

Table::RowSpan Table::Store(std::string_view rowText) {
  Pack(rowText, packed_);
  const bool packed = packed_.size() < rowText.size();
  const std::string_view bytes = packed ? std::string_view(packed_) : rowText;
  if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < bytes.size()) {
    const std::size_t capacity = std::max(bytes.size(), kBlockBytes);
    blocks_.push_back(
        Block{std::make_unique<char[]>(capacity), static_cast<std::uint32_t>(capacity), 0});
  }
  Block& block = blocks_.back();
  const RowSpan span{static_cast<std::uint32_t>(blocks_.size() - 1), block.used,
                     static_cast<std::uint32_t>(bytes.size()) | (packed ? kPackedBit : 0)};
  std::memcpy(block.bytes.get() + block.used, bytes.data(), bytes.size());
  block.used += static_cast<std::uint32_t>(bytes.size());
  return span;
}

void Table::DeleteFirstColumn() {
  if (columns_.empty()) return;
  columns_.erase(columns_.begin());
  std::vector<Block> old;
  old.swap(blocks_);
  for (RowSpan& row : rows_) {
    const std::string cells = RowText(old, row);
    const std::size_t end = cells.find('\0');
    row = Store(end == std::string::npos ? std::string_view()
                                         : std::string_view(cells).substr(end + 1));
  }
}

void Table::AddColumn(std::size_t index, std::string_view title) {
  index = std::min(index, columns_.size());
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(index),
                  TableColumn{std::string(title)});
}

void Table::InsertRow(std::size_t index, std::string_view text) {
  index = std::min(index, rows_.size());
  newRow_.assign(CellText(text));
  newRow_.push_back('\0');
  const RowSpan row = Store(newRow_);
  if (index == rows_.size()) {
    rows_.push_back(row);
  } else {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  }
}

void Table::SetCell(std::size_t row, std::size_t column, std::string_view text) {
  if (row >= rows_.size()) return;
  std::string cells = RowText(row);
  CellSpan found = FindCell(cells, column);
  while (found.start == std::string::npos) {  // pad with empty cells up to the column
    cells.push_back('\0');
    found = FindCell(cells, column);
  }
  cells.replace(found.start, found.length, CellText(text));
  // The row stored last gives its room back, so that a row filled cell by cell leaves nothing
  // behind; any other row's old text stays unused until all rows are deleted.
  const RowSpan old = rows_[row];
  Block& block = blocks_[old.block];
  if (old.block + 1 == blocks_.size() && old.start + (old.length & ~kPackedBit) == block.used) {
    block.used = old.start;
  }
  rows_[row] = Store(cells);
}

std::string Table::Cell(std::size_t row, std::size_t column) const {
  if (row >= rows_.size()) return {};
  const std::string cells = RowText(row);
  const CellSpan span = FindCell(cells, column);
  if (span.start == std::string::npos) return {};
  return cells.substr(span.start, span.length);
}

}  // namespace wayloom
