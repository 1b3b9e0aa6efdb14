// An in-memory table with the operations the track code calls on the window's two list views.
//
// The window shows these tables through a view model; the engine fills and clears them. Rows keep
// their order, inserting or deleting a row moves the later ones, and deleting the first column
// moves the others down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wayloom {

struct TableColumn {
  std::string title;
};

// What a view of a table reads: its rows, its titled columns and the text of a cell. The window's
// views read every table through it, whether its rows are stored as text (Table) or made from
// something more compact when they are asked for.
class TableRows {
 public:
  virtual ~TableRows() = default;
  virtual std::size_t RowCount() const = 0;
  virtual std::size_t ColumnCount() const = 0;
  virtual const TableColumn& Column(std::size_t index) const = 0;
  // The whole text of a cell; empty for a cell the row does not have.
  virtual std::string Cell(std::size_t row, std::size_t column) const = 0;
};

class Table : public TableRows {
 public:
  std::size_t RowCount() const override { return rows_.size(); }
  void DeleteAllRows();

  std::size_t ColumnCount() const override { return columns_.size(); }
  const TableColumn& Column(std::size_t index) const override { return columns_[index]; }
  // Deletes column 0; the other columns move down by one, and so do the cells of every row.
  void DeleteFirstColumn();
  // Inserts a titled, left-aligned column at index (clamped to the column count). How wide it is
  // shown is the window's business.
  void AddColumn(std::size_t index, std::string_view title);

  // Inserts a row at index whose cell 0 holds text; later rows move down. index == RowCount()
  // appends; a larger index appends too.
  void InsertRow(std::size_t index, std::string_view text);
  // Appends a row whose cell 0 holds text.
  void AppendRow(std::string_view text) { InsertRow(rows_.size(), text); }
  // Sets a cell; a row that does not exist is left alone. Cheapest on the row stored last.
  void SetCell(std::size_t row, std::size_t column, std::string_view text);
  // The whole text of a cell, as the window shows it; empty for a cell never set.
  std::string Cell(std::size_t row, std::size_t column) const override;

  // Lets the caller say how many rows are coming, to spare reallocations.
  void Reserve(std::size_t rows) { rows_.reserve(rows); }

  // Bytes held for rows and their texts, for measuring. The text of rows deleted or rewritten
  // (other than the row stored last) is held until all rows are deleted.
  std::size_t MemoryBytes() const;

 private:
  // Where a row's text stands: in which block, where, and how many bytes, the top bit of length
  // telling a packed text (see table.cpp) from a plain one. A row's text is its cells, each
  // followed by a NUL byte (cell texts never hold one). Rows are stored one after another in large
  // blocks that never move, so a table of a million rows costs twelve bytes a row beyond its text,
  // and no allocation of its own per row.
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

  // The cells of the row stored at span as one text, separators included.
  static std::string RowText(const std::vector<Block>& blocks, RowSpan span);
  std::string RowText(std::size_t row) const { return RowText(blocks_, rows_[row]); }
  // Stores a row's text (cells with their separators), packed when that is shorter, and returns
  // where it stands.
  RowSpan Store(std::string_view rowText);

  std::vector<RowSpan> rows_;
  std::vector<Block> blocks_;
  std::vector<TableColumn> columns_;
  std::string packed_;  // work space of Store
  std::string newRow_;  // and of InsertRow
};

}  // namespace wayloom
