// The computer table: a virtual list view drawn as a grid. Row 0 is the title row (the list
// view's header, bold, in the fixed colour), row r the computer at index r - 1; an empty list
// shows one blank row. Every row, the title row included, is one fixed height plus a grid line,
// so the window can work out the size that fits the table exactly. The selected row is light
// grey from two computers on; a single computer is never highlighted.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ui/win32/gui_handles_win32.h"

namespace kst {

class THostTable {
 public:
  // The text of a computer's cell: index in the list, column 0 to 3.
  using TCellText = std::function<std::wstring(size_t index, int column)>;

  THostTable() = default;
  ~THostTable();
  THostTable(const THostTable&) = delete;
  THostTable& operator=(const THostTable&) = delete;

  bool Create(HWND parent, const std::vector<const wchar_t*>& titles, TCellText cellText);
  HWND Handle() const noexcept { return FList; }

  // The regular font of the cells, the bold one of the titles, the height of a row without its
  // grid line.
  void SetFonts(HFONT regular, HFONT bold, int rowHeight);
  int RowHeight() const noexcept { return FRowHeight; }

  std::vector<int> ColumnWidths() const;
  void SetColumnWidths(const std::vector<int>& widths);

  // Rebuilds the rows for this many computers and repaints; the selection stays.
  void DisplayTable(size_t computers);
  // Grid rows, the title row included.
  int RowCount() const noexcept { return static_cast<int>(std::max<size_t>(FComputers, 1)) + 1; }

  // Index of the selected computer, or -1.
  int GetSelection() const;
  // Selects grid row r (1 = the first computer); rows outside the table are ignored.
  void SetSelection(int row);
  // The row under the mouse pointer minus 1: -1 on the title row, -2 outside the rows.
  int GetMouseRow() const;

  // Places the table; a fitted table shows all its rows and has no scroll bars.
  void Place(int left, int top, int width, int height, bool fitted);

  // Handles the table's notifications; true (with the result) when it was one of them.
  bool Notify(const NMHDR& header, LRESULT& result);

 private:
  static LRESULT CALLBACK HeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self) noexcept;
  void PaintTitles(HWND header);
  LRESULT CustomDraw(NMLVCUSTOMDRAW& draw);
  void DrawRow(HDC dc, int item, bool selected);
  // Makes the rows exactly FRowHeight + 1 pixels high, whatever the list view adds to an image.
  void FixRowHeight();

  HWND FList = nullptr;
  HWND FHeader = nullptr;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
  TCellText FCellText;
  std::vector<std::wstring> FTitles;
  TUniqueImageList FRowImages;
  int FRowHeight = 16;
  size_t FComputers = 0;
};

}  // namespace kst
