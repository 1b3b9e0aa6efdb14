// An in-memory table with the operations the track code calls on the window's two list views.
//
// The window shows these tables through a view model; the engine fills and clears them. Rows keep
// their order, inserting or deleting a row moves the later ones, and a cell read back for the track
// writers is cut to at most 18 characters, the width of the cell buffers the track format was made
// with (so a longer text in a cell cannot reach a sentence).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
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
  void DeleteAllRows();

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
  // Appends a row with these cells, from column 0 on.
  void AppendRow(std::initializer_list<std::string_view> cells);
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
  void Reserve(std::size_t rows, std::size_t textBytes) {
    rows_.reserve(rows);
    text_.reserve(textBytes);
  }

  // Bytes held for rows and their texts, for measuring.
  std::size_t MemoryBytes() const {
    return rows_.capacity() * sizeof(RowSpan) + text_.capacity();
  }

 private:
  // Where a row's cells stand in text_: each cell is followed by a NUL byte (cell texts never hold
  // one). All rows share one buffer, so a table of a million rows costs a few bytes a row beyond
  // its text, and no allocation of its own per row.
  struct RowSpan {
    std::size_t start;
    std::uint32_t length;
  };

  // The row's cells as one text, separators included.
  std::string_view RowText(std::size_t row) const {
    return std::string_view(text_).substr(rows_[row].start, rows_[row].length);
  }
  // Whether text is a view into text_, which a change may move.
  bool PointsIntoText(std::string_view text) const;
  // Makes sure the row stands at the end of text_, where it can grow in place.
  void MoveRowToEnd(std::size_t row);
  // Drops the text of deleted and moved rows once it outweighs the live text.
  void CompactIfWasteful();

  std::vector<RowSpan> rows_;
  std::string text_;
  std::size_t wasted_ = 0;  // bytes of text_ no row uses any more
  std::vector<TableColumn> columns_;
};

}  // namespace wayloom
