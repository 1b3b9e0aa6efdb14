#include "table.h"

#include <algorithm>
#include <limits>

namespace wayloom {
namespace {

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

// Cell texts must not hold the separator; a NUL ends a text as it would in a C string. A text is
// kept to what a row's length can count.
std::string_view CellText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, std::numeric_limits<std::uint32_t>::max() / 2);
}

}  // namespace

bool Table::PointsIntoText(std::string_view text) const {
  const char* begin = text_.data();
  return text.data() >= begin && text.data() < begin + text_.size();
}

void Table::DeleteAllRows() {
  rows_.clear();
  text_.clear();
  wasted_ = 0;
}

void Table::DeleteFirstColumn() {
  if (columns_.empty()) return;
  columns_.erase(columns_.begin());
  std::string text;
  text.reserve(text_.size() - wasted_);
  for (RowSpan& row : rows_) {
    const std::string_view cells = std::string_view(text_).substr(row.start, row.length);
    const std::size_t end = cells.find('\0');
    const std::string_view rest =
        end == std::string_view::npos ? std::string_view() : cells.substr(end + 1);
    row = RowSpan{text.size(), static_cast<std::uint32_t>(rest.size())};
    text += rest;
  }
  text_ = std::move(text);
  wasted_ = 0;
}

void Table::AddColumn(std::size_t index, std::string_view title, int widthPixels) {
  index = std::min(index, columns_.size());
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(index),
                  TableColumn{std::string(title), widthPixels});
}

void Table::InsertRow(std::size_t index, std::string_view text) {
  if (PointsIntoText(text)) return InsertRow(index, std::string(text));  // text_ may move
  index = std::min(index, rows_.size());
  const std::string_view cell = CellText(text);
  const RowSpan row{text_.size(), static_cast<std::uint32_t>(cell.size() + 1)};
  text_ += cell;
  text_.push_back('\0');
  if (index == rows_.size()) {
    rows_.push_back(row);
  } else {
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), row);
  }
}

void Table::AppendRow(std::initializer_list<std::string_view> cells) {
  for (std::string_view cell : cells) {
    if (PointsIntoText(cell)) {  // text_ may move: take copies first
      const std::vector<std::string> copies(cells.begin(), cells.end());
      AppendRow(copies.empty() ? std::string_view() : std::string_view(copies[0]));
      for (std::size_t c = 1; c < copies.size(); ++c) SetCell(rows_.size() - 1, c, copies[c]);
      return;
    }
  }
  RowSpan row{text_.size(), 0};
  for (std::string_view cell : cells) {
    cell = CellText(cell);
    text_ += cell;
    text_.push_back('\0');
    row.length += static_cast<std::uint32_t>(cell.size() + 1);
  }
  if (cells.size() == 0) {
    text_.push_back('\0');
    row.length = 1;
  }
  rows_.push_back(row);
}

void Table::MoveRowToEnd(std::size_t row) {
  RowSpan& span = rows_[row];
  if (span.start + span.length == text_.size()) return;
  const std::size_t start = text_.size();
  text_.append(text_, span.start, span.length);
  wasted_ += span.length;
  span.start = start;
}

void Table::SetCell(std::size_t row, std::size_t column, std::string_view text) {
  if (row >= rows_.size()) return;
  if (PointsIntoText(text)) return SetCell(row, column, std::string(text));  // text_ may move
  const std::string_view cell = CellText(text);
  MoveRowToEnd(row);
  RowSpan& span = rows_[row];
  CellSpan found = FindCell(RowText(row), column);
  while (found.start == std::string_view::npos) {  // pad with empty cells up to the column
    text_.push_back('\0');
    ++span.length;
    found = FindCell(RowText(row), column);
  }
  text_.replace(span.start + found.start, found.length, cell);
  span.length = static_cast<std::uint32_t>(span.length - found.length + cell.size());
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
  if (wasted_ < 4096 || wasted_ < text_.size() / 2) return;
  std::string text;
  text.reserve(text_.size() - wasted_);
  for (RowSpan& row : rows_) {
    const std::size_t start = text.size();
    text.append(text_, row.start, row.length);
    row.start = start;
  }
  text_ = std::move(text);
  wasted_ = 0;
}

}  // namespace wayloom
