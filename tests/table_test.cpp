#include "track/table.h"

#include <gtest/gtest.h>

#include <string>

namespace wayloom {
namespace {

std::string Rows(const Table& table, std::size_t column) {
  std::string text;
  for (std::size_t row = 0; row < table.RowCount(); ++row) {
    text += std::string(table.Cell(row, column)) + "|";
  }
  return text;
}

TEST(Table, RowsMoveOnInsertAndDelete) {
  Table table;
  table.AppendRow("b");
  table.InsertRow(0, "a");
  table.AppendRow("d");
  table.InsertRow(2, "c");
  table.InsertRow(99, "e");  // past the end appends
  EXPECT_EQ(Rows(table, 0), "a|b|c|d|e|");
  table.DeleteRow(1);
  table.DeleteRow(99);  // no such row: nothing happens
  EXPECT_EQ(Rows(table, 0), "a|c|d|e|");
  table.DeleteAllRows();
  EXPECT_EQ(table.RowCount(), 0u);
}

TEST(Table, CellsAreSetPerColumn) {
  Table table;
  table.AppendRow("zero");
  table.SetCell(0, 2, "description");
  table.SetCell(0, 0, "48.1173");
  table.SetCell(0, 1, "");
  table.SetCell(5, 0, "no such row");
  EXPECT_EQ(table.Cell(0, 0), "48.1173");
  EXPECT_EQ(table.Cell(0, 1), "");
  EXPECT_EQ(table.Cell(0, 2), "description");
  EXPECT_EQ(table.Cell(0, 3), "");  // never set
  EXPECT_EQ(table.Cell(7, 0), "");  // no such row

  // A cell may be set from another cell of the same table.
  table.AppendRow("other");
  table.SetCell(1, 1, table.Cell(0, 2));
  table.InsertRow(0, table.Cell(1, 1));
  EXPECT_EQ(table.Cell(0, 0), "description");
  EXPECT_EQ(table.Cell(2, 1), "description");
}

TEST(Table, DeletingTheFirstColumnMovesTheOthersDown) {
  Table table;
  table.AddColumn(0, "B", 20);
  table.AddColumn(0, "A", 10);
  table.AddColumn(9, "C", 30);
  ASSERT_EQ(table.ColumnCount(), 3u);
  EXPECT_EQ(table.Column(0).title, "A");
  EXPECT_EQ(table.Column(2).widthPixels, 30);

  table.AppendRow("a");
  table.SetCell(0, 1, "b");
  table.SetCell(0, 2, "c");
  table.DeleteFirstColumn();
  EXPECT_EQ(table.ColumnCount(), 2u);
  EXPECT_EQ(table.Column(0).title, "B");
  EXPECT_EQ(table.Cell(0, 0), "b");
  EXPECT_EQ(table.Cell(0, 1), "c");
}

}  // namespace
}  // namespace wayloom
