// The computer table: a virtual list view drawn as a grid. Row 0 is the title row (the list
// view's header, bold, in the fixed colour), row r the computer at index r - 1; an empty list
// shows one blank row. Every row, the title row included, is one fixed height plus a grid line,
// so the window can work out the size that fits the table exactly. The selected row is light
// grey from two computers on; a single computer is never highlighted.
//
// Like a grid, the table always has one current row (TTableRow): a left click on a row or a
// key moves it; clicks below the rows or on the title row, right clicks and changes of the list
// never leave it without one. The list view's own mouse handling would clear or move it, so
// the table takes the mouse buttons itself.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "sender/table_row.h"
#include "ui/win32/gui_handles_win32.h"

namespace kst {

class THostTable {
 public:
  // The text of a computer's cell: index in the list, column 0 to 3.
  using TCellText = std::function<std::wstring(size_t index, int column)>;
  // A double click, with the row under the pointer as GetMouseRow gives it.
  using TDoubleClick = std::function<void(int mouseRow)>;
  // A key pressed in the table; true when it was handled and the list view must not see it.
  using TKeyDown = std::function<bool(WPARAM key)>;

  THostTable() = default;
  ~THostTable();
  THostTable(const THostTable&) = delete;
  THostTable& operator=(const THostTable&) = delete;

  bool Create(HWND parent, const std::vector<const wchar_t*>& titles, TCellText cellText, TDoubleClick doubleClick,
              TKeyDown keyDown);
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

  // The current row minus 1: the index of the selected computer (outside the list on the blank
  // row of an empty list).
  int GetSelection() const noexcept { return FRow.Index(); }
  // Selects grid row r (1 = the first computer); rows outside the table are ignored.
  void SetSelection(int row);
  // Called whenever the current row becomes another one, whatever moved it.
  void OnRowChange(std::function<void()> rowChange) { FRowChange = std::move(rowChange); }
  // Start-up: the stored row, or the first when the stored one shows no computer.
  void RestoreSelection(int storedRow);
  // The row at a point on the screen minus 1: -1 on the title row, -2 outside the rows.
  int GetMouseRow(POINT screen) const;

  // A click elsewhere (screen point, message time) moved the table under the pointer: a
  // button-down that makes a double click with it is that double click's, not the table's.
  void IgnoreSecondClick(POINT firstAt, LONG firstTime);

  // Where a menu opened from the keyboard goes: below the current row's first cell, on the
  // screen, with the row scrolled into view.
  POINT MenuPoint() const;

  // Places the table; a fitted table shows all its rows and has no scroll bars.
  void Place(int left, int top, int width, int height, bool fitted);

  // Handles the table's notifications; true (with the result) when it was one of them.
  bool Notify(const NMHDR& header, LRESULT& result);

 private:
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR self) noexcept;
  LRESULT ListMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Shows the current row as the list view's one selected and focused item.
  void ApplyRow();
  // Whether a button-down at this point now is the second click that IgnoreSecondClick expects;
  // that expectation ends with the first button-down.
  bool SecondClick(POINT screen);
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
  TDoubleClick FDoubleClick;
  TKeyDown FKeyDown;
  TTableRow FRow;
  std::function<void()> FRowChange;
  int FReportedRow = -1;
  bool FFirstClickElsewhere = false;
  POINT FFirstClickAt{};
  LONG FFirstClickTime = 0;
  std::vector<std::wstring> FTitles;
  TUniqueImageList FRowImages;
  int FRowHeight = 16;
  size_t FComputers = 0;
};

}  // namespace kst
