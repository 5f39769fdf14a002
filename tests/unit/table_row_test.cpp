#include <gtest/gtest.h>

#include "sender/table_row.h"

namespace kst {
namespace {

TEST(TableRow, FirstComputerIntoAnEmptyListIsSelectedAndAddsKeepTheRow) {
  TTableRow row;
  row.ListChanged(0);
  EXPECT_EQ(row.Index(), 0);  // the blank row; the first computer added shows on it
  row.ListChanged(1);
  EXPECT_EQ(row.Row(), 1);
  row.ListChanged(2);
  EXPECT_EQ(row.Row(), 1);
  EXPECT_TRUE(row.Select(2, 2));
  row.ListChanged(3);
  EXPECT_EQ(row.Row(), 2);
  // Below the rows, or the title row: nothing changes.
  EXPECT_FALSE(row.Select(4, 3));
  EXPECT_FALSE(row.Select(0, 3));
  EXPECT_FALSE(row.Select(-1, 3));
  EXPECT_EQ(row.Row(), 2);
}

TEST(TableRow, DeletingKeepsTheRowNumberOrTakesTheNewBottomRow) {
  TTableRow row;
  ASSERT_TRUE(row.Select(2, 4));
  row.ListChanged(3);  // the second of four deleted: the third moved up into row 2
  EXPECT_EQ(row.Row(), 2);
  ASSERT_TRUE(row.Select(3, 3));
  row.ListChanged(2);  // the bottom row deleted
  EXPECT_EQ(row.Row(), 2);
  row.ListChanged(1);
  EXPECT_EQ(row.Row(), 1);
  row.ListChanged(0);  // the only computer deleted: the blank row, and the next one added
  EXPECT_EQ(row.Row(), 1);
  row.ListChanged(1);
  EXPECT_EQ(row.Index(), 0);
}

TEST(TableRow, ImportIntoAnEmptyListAndStoredRowsOutsideTheListStartAtTheFirst) {
  TTableRow row;
  row.ListChanged(0);
  row.ListChanged(5);  // an import or a scan into the empty list
  EXPECT_EQ(row.Row(), 1);
  row.Restore(0, 5);  // as earlier builds stored it
  EXPECT_EQ(row.Row(), 1);
  row.Restore(6, 5);
  EXPECT_EQ(row.Row(), 1);
  row.Restore(5, 5);
  EXPECT_EQ(row.Row(), 5);
  row.ListChanged(2);  // an import of a shorter list
  EXPECT_EQ(row.Row(), 2);
  row.Restore(1, 0);
  EXPECT_EQ(row.Row(), 1);
}

}  // namespace
}  // namespace kst
