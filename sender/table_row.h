// The computer table's current row, kept as a string grid keeps it: a grid always has exactly
// one current data row, which moves only when the user picks another row or the rows below it
// go away. Row 1 is the first computer; an empty list shows one blank row, which is then the
// current one, so the first computer added into it is selected at once.
#pragma once

#include <cstddef>

namespace kst {

class TTableRow {
 public:
  int Row() const noexcept { return FRow; }
  // Index in the list of the computer on the current row; outside the list for the blank row.
  int Index() const noexcept { return FRow - 1; }

  // The table now shows this many computers (add, edit, delete, import, scan): the row stays,
  // unless it is past the new bottom row, which it then becomes.
  void ListChanged(size_t computers) noexcept;
  // A click or a key picked this row; rows that the table does not show change nothing.
  // True when the row was taken.
  bool Select(int row, size_t computers) noexcept;
  // Start-up: the stored row when it shows a computer, otherwise the first row.
  void Restore(int storedRow, size_t computers) noexcept;

 private:
  int FRow = 1;
};

}  // namespace kst
