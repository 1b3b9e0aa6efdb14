#include "table.h"

#include <algorithm>

namespace wayloom {
namespace {

// Start and length of a cell inside a row string; npos when the row has fewer cells.
struct CellSpan {
  std::size_t start;
  std::size_t length;
};

CellSpan FindCell(const std::string& row, std::size_t column) {
  std::size_t start = 0;
  for (std::size_t c = 0; c < column; ++c) {
    const std::size_t end = row.find('\0', start);
    if (end == std::string::npos) return {std::string::npos, 0};
    start = end + 1;
  }
  const std::size_t end = row.find('\0', start);
  if (end == std::string::npos) return {std::string::npos, 0};
  return {start, end - start};
}

// Cell texts must not hold the separator; a NUL ends a text as it would in a C string.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

void Table::DeleteFirstColumn() {
  if (columns_.empty()) return;
  columns_.erase(columns_.begin());
  for (std::string& row : rows_) {
    const std::size_t end = row.find('\0');
    row.erase(0, end == std::string::npos ? row.size() : end + 1);
  }
}

void Table::AddColumn(std::size_t index, std::string_view title, int widthPixels) {
  index = std::min(index, columns_.size());
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(index),
                  TableColumn{std::string(title), widthPixels});
}

void Table::InsertRow(std::size_t index, std::string_view text) {
  index = std::min(index, rows_.size());
  std::string row(UpToNul(text));
  row.push_back('\0');
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
}

void Table::SetCell(std::size_t row, std::size_t column, std::string_view text) {
  if (row >= rows_.size()) return;
  std::string& cells = rows_[row];
  CellSpan span = FindCell(cells, column);
  while (span.start == std::string::npos) {  // pad with empty cells up to the column
    cells.push_back('\0');
    span = FindCell(cells, column);
  }
  cells.replace(span.start, span.length, UpToNul(text));
}

std::string_view Table::Cell(std::size_t row, std::size_t column) const {
  if (row >= rows_.size()) return {};
  const std::string& cells = rows_[row];
  const CellSpan span = FindCell(cells, column);
  if (span.start == std::string::npos) return {};
  return std::string_view(cells).substr(span.start, span.length);
}

void Table::DeleteRow(std::size_t row) {
  if (row >= rows_.size()) return;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
}

}  // namespace wayloom
