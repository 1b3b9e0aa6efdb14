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
#include <memory>
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
  void Reserve(std::size_t rows) { rows_.reserve(rows); }

  // Bytes held for rows and their texts, for measuring.
  std::size_t MemoryBytes() const;

 private:
  // Where a row's cells stand: in which block, where, and how long, each cell followed by a NUL
  // byte (cell texts never hold one). Rows are stored one after another in large blocks that never
  // move, so a table of a million rows costs twelve bytes a row beyond its text, no allocation of
  // its own per row, and a view of a cell stays good while rows are added.
  struct RowSpan {
    std::uint32_t block;
    std::uint32_t start;
    std::uint32_t length;
  };
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::uint32_t capacity;
    std::uint32_t used;
  };

  // The row's cells as one text, separators included.
  std::string_view RowText(std::size_t row) const {
    const RowSpan& span = rows_[row];
    return std::string_view(blocks_[span.block].bytes.get() + span.start, span.length);
  }
  // Room for a row of length bytes at the end of the storage; fills in where it stands.
  char* Allocate(std::size_t length, RowSpan& span);
  // Stores the row text rowText (cells with their separators) and returns where it stands.
  RowSpan Store(std::string_view rowText);
  // Drops the text of deleted and rewritten rows once it outweighs the live text.
  void CompactIfWasteful();

  std::vector<RowSpan> rows_;
  std::vector<Block> blocks_;
  std::size_t wasted_ = 0;  // bytes of the blocks no row uses any more
  std::size_t stored_ = 0;  // bytes of the blocks in use, live or wasted
  std::vector<TableColumn> columns_;
};

}  // namespace wayloom
