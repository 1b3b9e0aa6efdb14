#include "track/table.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace wayloom {
namespace {

// Rows are stored in blocks of this size; a longer row gets a block of its own.
constexpr std::size_t kBlockBytes = 1 << 20;

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
  wasted_ = 0;
  stored_ = 0;
}

std::size_t Table::MemoryBytes() const {
  std::size_t bytes = rows_.capacity() * sizeof(RowSpan) + blocks_.capacity() * sizeof(Block);
  for (const Block& block : blocks_) bytes += block.capacity;
  return bytes;
}

char* Table::Allocate(std::size_t length, RowSpan& span) {
  if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < length) {
    const std::size_t capacity = std::max(length, kBlockBytes);
    blocks_.push_back(
        Block{std::make_unique<char[]>(capacity), static_cast<std::uint32_t>(capacity), 0});
  }
  Block& block = blocks_.back();
  span = RowSpan{static_cast<std::uint32_t>(blocks_.size() - 1), block.used,
                 static_cast<std::uint32_t>(length)};
  block.used += static_cast<std::uint32_t>(length);
  stored_ += length;
  return block.bytes.get() + span.start;
}

Table::RowSpan Table::Store(std::string_view rowText) {
  RowSpan span{};
  char* out = Allocate(rowText.size(), span);
  std::memcpy(out, rowText.data(), rowText.size());
  return span;
}

void Table::DeleteFirstColumn() {
  if (columns_.empty()) return;
  columns_.erase(columns_.begin());
  std::vector<Block> old;
  old.swap(blocks_);
  wasted_ = 0;
  stored_ = 0;
  for (RowSpan& row : rows_) {
    const std::string_view cells(old[row.block].bytes.get() + row.start, row.length);
    const std::size_t end = cells.find('\0');
    row = Store(end == std::string_view::npos ? std::string_view() : cells.substr(end + 1));
  }
}

void Table::AddColumn(std::size_t index, std::string_view title, int widthPixels) {
  index = std::min(index, columns_.size());
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(index),
                  TableColumn{std::string(title), widthPixels});
}

void Table::InsertRow(std::size_t index, std::string_view text) {
  index = std::min(index, rows_.size());
  const std::string_view cell = CellText(text);
  RowSpan row{};
  char* out = Allocate(cell.size() + 1, row);
  std::memcpy(out, cell.data(), cell.size());
  out[cell.size()] = '\0';
  if (index == rows_.size()) {
    rows_.push_back(row);
  } else {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  }
}

void Table::AppendRow(std::initializer_list<std::string_view> cells) {
  std::size_t length = 0;
  for (std::string_view cell : cells) length += CellText(cell).size() + 1;
  if (cells.size() == 0) length = 1;  // a row always has its cell 0
  RowSpan row{};
  char* out = Allocate(length, row);
  for (std::string_view cell : cells) {
    cell = CellText(cell);
    std::memcpy(out, cell.data(), cell.size());
    out += cell.size();
    *out++ = '\0';
  }
  if (cells.size() == 0) *out = '\0';
  rows_.push_back(row);
}

void Table::SetCell(std::size_t row, std::size_t column, std::string_view text) {
  if (row >= rows_.size()) return;
  // The row is written anew at the end of the storage; its old text becomes waste.
  std::string cells(RowText(row));
  CellSpan found = FindCell(cells, column);
  while (found.start == std::string::npos) {  // pad with empty cells up to the column
    cells.push_back('\0');
    found = FindCell(cells, column);
  }
  cells.replace(found.start, found.length, CellText(text));
  wasted_ += rows_[row].length;
  rows_[row] = Store(cells);
  CompactIfWasteful();
}

std::string_view Table::Cell(std::size_t row, std::size_t column) const {
  if (row >= rows_.size()) return {};
  const std::string_view cells = RowText(row);
  const CellSpan span = FindCell(cells, column);
  if (span.start == std::string_view::npos) return {};
  return cells.substr(span.start, span.length);
}

void Table::DeleteRow(std::size_t row) {
  if (row >= rows_.size()) return;
  wasted_ += rows_[row].length;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  CompactIfWasteful();
}

void Table::CompactIfWasteful() {
  if (wasted_ < kBlockBytes || wasted_ < stored_ / 2) return;
  std::vector<Block> old;
  old.swap(blocks_);
  wasted_ = 0;
  stored_ = 0;
  for (RowSpan& row : rows_) {
    row = Store(std::string_view(old[row.block].bytes.get() + row.start, row.length));
  }
}

}  // namespace wayloom
