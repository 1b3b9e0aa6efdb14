#include "track/table.h"

#include <gtest/gtest.h>

#include <string>

namespace wayloom {
namespace {

TEST(Table, RowsAndColumnsMoveOnInsertAndDeleteAndCellsAreReadCutTo18Characters) {
  Table table;
  table.AddColumn(0, "B", 20);
  table.AddColumn(0, "A", 10);
  table.AddColumn(9, "C", 30);  // past the end appends
  table.AppendRow({"b0", "b1", "1234567890123456789012"});
  table.InsertRow(0, "a");
  table.InsertRow(99, "c");
  std::string rows;
  for (std::size_t row = 0; row < table.RowCount(); ++row) rows += std::string(table.Cell(row, 0));
  EXPECT_EQ(rows, "ab0c");
  EXPECT_EQ(table.Cell(0, 1), "");
  EXPECT_EQ(table.ReadCell(1, 2), "123456789012345678");
  EXPECT_EQ(table.Cell(1, 2), "1234567890123456789012");

  table.DeleteFirstColumn();
  ASSERT_EQ(table.ColumnCount(), 2u);
  EXPECT_EQ(table.Column(0).title + table.Column(1).title, "BC");
  EXPECT_EQ(table.Column(1).widthPixels, 30);
  EXPECT_EQ(table.Cell(1, 0), "b1");
  table.DeleteAllRows();
  EXPECT_EQ(table.RowCount(), 0u);
}

}  // namespace
}  // namespace wayloom
