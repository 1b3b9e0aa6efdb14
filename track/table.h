// An in-memory table with the operations the track code calls on the window's two list views.
//
// The window shows these tables through a view model; the engine fills and clears them. Rows keep
// their order, inserting or deleting a row moves the later ones, and a cell read back for the track
// writers is cut to at most 18 characters, the width of the cell buffers the track format was made
// with (so a longer text in a cell cannot reach a sentence).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wayloom {

struct TableColumn {
  std::string title;
  int widthPixels = 0;
};

class Table {
 public:
  // Longest cell text ReadCell hands back.
  static constexpr std::size_t kCellReadLimit = 18;

  std::size_t RowCount() const { return rows_.size(); }
  void DeleteAllRows() { rows_.clear(); }

  std::size_t ColumnCount() const { return columns_.size(); }
  const TableColumn& Column(std::size_t index) const { return columns_[index]; }
  // Deletes column 0; the other columns move down by one, and so do the cells of every row.
  void DeleteFirstColumn();
  // Inserts a titled, left-aligned column at index (clamped to the column count).
  void AddColumn(std::size_t index, std::string_view title, int widthPixels);

  // Inserts a row at index whose cell 0 holds text; later rows move down. index == RowCount()
  // appends; a larger index appends too.
  void InsertRow(std::size_t index, std::string_view text);
  // Appends a row whose cell 0 holds text.
  void AppendRow(std::string_view text) { InsertRow(rows_.size(), text); }
  // Sets a cell; a row that does not exist is left alone.
  void SetCell(std::size_t row, std::size_t column, std::string_view text);
  // The whole text of a cell, as the window shows it; empty for a cell never set.
  std::string_view Cell(std::size_t row, std::size_t column) const;
  // A cell as the track writers read it: at most kCellReadLimit characters.
  std::string_view ReadCell(std::size_t row, std::size_t column) const {
    return Cell(row, column).substr(0, kCellReadLimit);
  }
  // Deletes a row; later rows move up by one. A row that does not exist is left alone.
  void DeleteRow(std::size_t row);

  // Lets the caller say how many rows are coming, to spare reallocations.
  void ReserveRows(std::size_t count) { rows_.reserve(count); }

 private:
  // A row's cells in one string, each cell ended by a NUL byte (cell texts never hold one). One
  // allocation a row keeps a million-row table small.
  std::vector<std::string> rows_;
  std::vector<TableColumn> columns_;
};

}  // namespace wayloom
