#include "sender/table_row.h"

namespace kst {
namespace {

// Data rows of the table: an empty list still has its blank row.
int DataRows(size_t computers) noexcept { return computers > 0 ? static_cast<int>(computers) : 1; }

}  // namespace

void TTableRow::ListChanged(size_t computers) noexcept {
  if (FRow > DataRows(computers)) FRow = DataRows(computers);
  if (FRow < 1) FRow = 1;
}

bool TTableRow::Select(int row, size_t computers) noexcept {
  if (row < 1 || row > DataRows(computers)) return false;
  FRow = row;
  return true;
}

void TTableRow::Restore(int storedRow, size_t computers) noexcept {
  FRow = storedRow >= 1 && static_cast<size_t>(storedRow) <= computers ? storedRow : 1;
}

}  // namespace kst
