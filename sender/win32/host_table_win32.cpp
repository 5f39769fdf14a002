#include "sender/win32/host_table_win32.h"

#include <windowsx.h>

#include <cstdlib>

namespace kst {
namespace {

constexpr UINT_PTR kHeaderSubclass = 1;
constexpr UINT_PTR kListSubclass = 2;
constexpr COLORREF kSelectedGrey = RGB(224, 224, 224);
// Text starts this far right of and below a cell's top left corner.
constexpr int kTextInset = 2;

// The keys with which a grid moves its current row.
bool MovesRow(WPARAM key) {
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
      return true;
    default:
      return false;
  }
}

}  // namespace

THostTable::~THostTable() {
  if (FHeader) RemoveWindowSubclass(FHeader, &THostTable::HeaderProc, kHeaderSubclass);
  if (FList) RemoveWindowSubclass(FList, &THostTable::ListProc, kListSubclass);
}

bool THostTable::Create(HWND parent, const std::vector<const wchar_t*>& titles, TCellText cellText,
                        TDoubleClick doubleClick, TKeyDown keyDown) {
  FCellText = std::move(cellText);
  FDoubleClick = std::move(doubleClick);
  FKeyDown = std::move(keyDown);
  FTitles.assign(titles.begin(), titles.end());
  // Not a tab stop; the thin border is part of the fitted size.
  FList = CreateWindowExW(0, WC_LISTVIEWW, nullptr,
                          WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL |
                              LVS_SHOWSELALWAYS,
                          0, 0, 0, 0, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!FList) return false;
  // The grid lines are drawn with the rows: the list view's own would move the first row down.
  ListView_SetExtendedListViewStyle(FList, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (size_t c = 0; c < titles.size(); ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(titles[c]);
    column.cx = 100;
    column.iSubItem = static_cast<int>(c);
    ListView_InsertColumn(FList, static_cast<int>(c), &column);
  }
  SetWindowSubclass(FList, &THostTable::ListProc, kListSubclass, reinterpret_cast<DWORD_PTR>(this));
  FHeader = ListView_GetHeader(FList);
  // The title row is as high as the others.
  if (FHeader) SetWindowSubclass(FHeader, &THostTable::HeaderProc, kHeaderSubclass, reinterpret_cast<DWORD_PTR>(this));
  DisplayTable(0);
  return true;
}

LRESULT CALLBACK THostTable::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                      DWORD_PTR self) noexcept {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(list, &THostTable::ListProc, kListSubclass);
    return DefSubclassProc(list, message, wParam, lParam);
  }
  try {
    return reinterpret_cast<THostTable*>(self)->ListMessage(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT THostTable::ListMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const auto onScreen = [&] {
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(FList, &at);
    return at;
  };
  switch (message) {
    case WM_LBUTTONDOWN:
      if (SecondClick(onScreen())) return 0;
      // Only a row moves the current row: below the rows it stays where it is.
      SetFocus(FList);
      if (const int row = GetMouseRow(onScreen()); row >= 0) SetSelection(row + 1);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (SecondClick(onScreen())) return 0;
      SetFocus(FList);
      if (FDoubleClick) FDoubleClick(GetMouseRow(onScreen()));
      return 0;
    case WM_LBUTTONUP:
      return 0;
    case WM_RBUTTONDOWN:
      // The list view would select the row under a right click; a grid's row stays.
      SetFocus(FList);
      return 0;
    case WM_RBUTTONUP: {
      const POINT screen = onScreen();
      SendMessageW(GetParent(FList), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(FList), MAKELPARAM(screen.x, screen.y));
      return 0;
    }
    case WM_KEYDOWN: {
      if (FKeyDown && FKeyDown(wParam)) return 0;
      const LRESULT result = DefSubclassProc(FList, message, wParam, lParam);
      // The keys of a grid move the row as the list view moved its selection; whatever any
      // other key did to that selection (Ctrl+Space clears it) is undone.
      const int item = ListView_GetNextItem(FList, -1, LVNI_SELECTED);
      if (item >= 0 && MovesRow(wParam)) FRow.Select(item + 1, FComputers);
      ApplyRow();
      return result;
    }
    case WM_CHAR: {
      // Letters search the list view's items; the search finds nothing (see Notify), but the
      // row is put back whatever the list view did.
      const LRESULT result = DefSubclassProc(FList, message, wParam, lParam);
      ApplyRow();
      return result;
    }
    default:
      return DefSubclassProc(FList, message, wParam, lParam);
  }
}

LRESULT CALLBACK THostTable::HeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) noexcept {
  auto& table = *reinterpret_cast<THostTable*>(self);
  switch (message) {
    case WM_LBUTTONDBLCLK: {
      // On a column border the header widens the column; elsewhere it is the title row's.
      HDHITTESTINFO hit{};
      hit.pt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      SendMessageW(header, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      if ((hit.flags & (HHT_ONDIVIDER | HHT_ONDIVOPEN)) || !table.FDoubleClick)
        return DefSubclassProc(header, message, wParam, lParam);
      try {
        table.FDoubleClick(-1);
      } catch (...) {
      }
      return 0;
    }
    case WM_ERASEBKGND:
      return TRUE;
    case WM_PAINT:
      table.PaintTitles(header);
      return 0;
    case HDM_LAYOUT:
      break;
    default:
      return DefSubclassProc(header, message, wParam, lParam);
  }
  const LRESULT result = DefSubclassProc(header, message, wParam, lParam);
  auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
  const int height = table.FRowHeight + 1;
  if (result && layout && layout->prc && layout->pwpos) {
    layout->pwpos->cy = height;
    layout->prc->top = layout->pwpos->y + height;
  }
  return result;
}

void THostTable::PaintTitles(HWND header) {
  // The title row as the grid draws it: the fixed colour, bold text in the table's font colour,
  // a grid line on the right and below each title.
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(header, &ps);
  RECT client;
  GetClientRect(header, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  HBRUSH grid = GetSysColorBrush(COLOR_BTNSHADOW);
  HGDIOBJ oldFont = SelectObject(dc, FBoldFont ? static_cast<HGDIOBJ>(FBoldFont) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const int count = Header_GetItemCount(header);
  for (int c = 0; c < count && static_cast<size_t>(c) < FTitles.size(); ++c) {
    RECT cell;
    if (!Header_GetItemRect(header, c, &cell)) continue;
    const RECT right{cell.right - 1, cell.top, cell.right, cell.bottom};
    const RECT below{cell.left, cell.bottom - 1, cell.right, cell.bottom};
    FillRect(dc, &right, grid);
    FillRect(dc, &below, grid);
    RECT inner{cell.left + kTextInset, cell.top + kTextInset, cell.right - 1, cell.bottom - 1};
    DrawTextW(dc, FTitles[static_cast<size_t>(c)].c_str(), -1, &inner, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  SelectObject(dc, oldFont);
  EndPaint(header, &ps);
}

void THostTable::SetFonts(HFONT regular, HFONT bold, int rowHeight) {
  FFont = regular;
  FBoldFont = bold;
  FRowHeight = rowHeight;
  SendMessageW(FList, WM_SETFONT, reinterpret_cast<WPARAM>(regular), FALSE);
  if (FHeader) SendMessageW(FHeader, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  FixRowHeight();
  // The header takes its new height from a layout pass.
  RECT r;
  GetWindowRect(FList, &r);
  SetWindowPos(FList, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  InvalidateRect(FList, nullptr, TRUE);
}

void THostTable::FixRowHeight() {
  // The list view makes a row as high as its small images, plus what it adds of its own: ask
  // for the wanted height, see what came out and correct once.
  const int wanted = FRowHeight + 1;
  int imageHeight = wanted;
  for (int attempt = 0; attempt < 2; ++attempt) {
    FRowImages.reset(ImageList_Create(1, imageHeight, ILC_COLOR32, 0, 1));
    ListView_SetImageList(FList, FRowImages.get(), LVSIL_SMALL);
    RECT row{};
    row.left = LVIR_BOUNDS;
    if (!SendMessageW(FList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row))) return;
    const int got = row.bottom - row.top;
    if (got == wanted) return;
    imageHeight += wanted - got;
    if (imageHeight < 1) return;
  }
}

std::vector<int> THostTable::ColumnWidths() const {
  std::vector<int> widths;
  const int count = FHeader ? Header_GetItemCount(FHeader) : 0;
  for (int c = 0; c < count; ++c) widths.push_back(ListView_GetColumnWidth(FList, c));
  return widths;
}

void THostTable::SetColumnWidths(const std::vector<int>& widths) {
  for (size_t c = 0; c < widths.size(); ++c) ListView_SetColumnWidth(FList, static_cast<int>(c), widths[c]);
}

void THostTable::DisplayTable(size_t computers) {
  FComputers = computers;
  // An empty list still shows one blank row.
  ListView_SetItemCountEx(FList, static_cast<int>(std::max<size_t>(computers, 1)), LVSICF_NOSCROLL);
  // Fewer items drop the list view's selection with them; the grid's row only moves up.
  FRow.ListChanged(computers);
  ApplyRow();
  InvalidateRect(FList, nullptr, TRUE);
}

void THostTable::ApplyRow() {
  const int item = FRow.Index();
  const UINT both = LVIS_SELECTED | LVIS_FOCUSED;
  if (ListView_GetNextItem(FList, -1, LVNI_SELECTED) != item || ListView_GetNextItem(FList, -1, LVNI_FOCUSED) != item ||
      ListView_GetSelectedCount(FList) != 1) {
    ListView_SetItemState(FList, -1, 0, both);
    ListView_SetItemState(FList, item, both, both);
  }
  InvalidateRect(FList, nullptr, FALSE);
  if (item != FReportedRow) {
    FReportedRow = item;
    if (FRowChange) FRowChange();
  }
}

void THostTable::SetSelection(int row) {
  if (!FRow.Select(row, FComputers)) return;
  ApplyRow();
  ListView_EnsureVisible(FList, FRow.Index(), FALSE);
}

void THostTable::RestoreSelection(int storedRow) {
  FRow.Restore(storedRow, FComputers);
  ApplyRow();
  ListView_EnsureVisible(FList, FRow.Index(), FALSE);
}

int THostTable::GetMouseRow(POINT screen) const {
  POINT pt = screen;
  ScreenToClient(FList, &pt);
  RECT client;
  GetClientRect(FList, &client);
  if (!PtInRect(&client, pt)) return -2;
  // Worked out from the fixed row height, as the rows are drawn: the list view's own hit test
  // goes by a layout it does not always renew (see Place) and then misses the lower rows.
  const int pitch = FRowHeight + 1;
  if (pt.y < pitch) return -1;
  int width = 0;
  for (int w : ColumnWidths()) width += w;
  if (pt.x + GetScrollPos(FList, SB_HORZ) >= width) return -2;
  const int item = ListView_GetTopIndex(FList) + (pt.y - pitch) / pitch;
  if (item < 0 || static_cast<size_t>(item) >= FComputers) return -2;
  return item;
}

void THostTable::IgnoreSecondClick(POINT firstAt, LONG firstTime) {
  FFirstClickElsewhere = true;
  FFirstClickAt = firstAt;
  FFirstClickTime = firstTime;
}

bool THostTable::SecondClick(POINT screen) {
  if (!FFirstClickElsewhere) return false;
  FFirstClickElsewhere = false;
  // As Windows makes a double click: within the double-click time and rectangle of the first.
  const LONG elapsed = GetMessageTime() - FFirstClickTime;
  return elapsed >= 0 && static_cast<UINT>(elapsed) <= GetDoubleClickTime() &&
         std::abs(screen.x - FFirstClickAt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
         std::abs(screen.y - FFirstClickAt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
}

POINT THostTable::MenuPoint() const {
  const int item = FRow.Index();
  ListView_EnsureVisible(FList, item, FALSE);
  RECT client;
  GetClientRect(FList, &client);
  RECT row{};
  row.left = LVIR_BOUNDS;
  if (!SendMessageW(FList, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row))) row = client;
  POINT at{std::clamp<LONG>(row.left + kTextInset, client.left, client.right),
           std::clamp<LONG>(row.bottom, client.top, client.bottom)};
  ClientToScreen(FList, &at);
  return at;
}

void THostTable::Place(int left, int top, int width, int height, bool fitted) {
  if (fitted) {
    // Scroll bars of a smaller size would take room from the fitted rows. They go before the
    // move, because the list view lays its rows out again only when its window changes size:
    // hidden after it, they would leave it paging, and scrolling the current row into view,
    // as if the bars were still there.
    const bool bars = (GetWindowLongW(FList, GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) != 0;
    ShowScrollBar(FList, SB_BOTH, FALSE);
    if (bars) MoveWindow(FList, left, top, width, height + 1, FALSE);
  }
  MoveWindow(FList, left, top, width, height, TRUE);
  if (fitted) ListView_EnsureVisible(FList, 0, FALSE);
}

bool THostTable::Notify(const NMHDR& header, LRESULT& result) {
  if (header.hwndFrom != FList) return false;
  result = 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& item = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)).item;
      if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return true;
      std::wstring text;
      if (item.iItem >= 0 && static_cast<size_t>(item.iItem) < FComputers)
        text = FCellText(static_cast<size_t>(item.iItem), item.iSubItem);
      const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
      text.copy(item.pszText, n);
      item.pszText[n] = L'\0';
      return true;
    }
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW:
      // A grid has no search by typing: a letter leaves the row where it is.
      result = -1;
      return true;
    case NM_CUSTOMDRAW:
      result = CustomDraw(const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header)));
      return true;
    default:
      return false;
  }
}

LRESULT THostTable::CustomDraw(NMLVCUSTOMDRAW& draw) {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const int item = static_cast<int>(draw.nmcd.dwItemSpec);
      DrawRow(draw.nmcd.hdc, item, item == FRow.Index());
      return CDRF_SKIPDEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void THostTable::DrawRow(HDC dc, int item, bool selected) {
  const COLORREF background = !selected                ? ListView_GetBkColor(FList)
                              : FComputers >= 2        ? kSelectedGrey
                                                       : GetSysColor(COLOR_WINDOW);
  HBRUSH brush = CreateSolidBrush(background);
  HBRUSH grid = GetSysColorBrush(COLOR_BTNSHADOW);
  HGDIOBJ oldFont = SelectObject(dc, FFont ? static_cast<HGDIOBJ>(FFont) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const int columns = FHeader ? Header_GetItemCount(FHeader) : 0;
  RECT rowRect{};
  rowRect.left = LVIR_BOUNDS;
  SendMessageW(FList, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&rowRect));
  int left = rowRect.left;
  for (int c = 0; c < columns; ++c) {
    const int width = ListView_GetColumnWidth(FList, c);
    // Each cell ends in a grid line on its right and below.
    RECT cell{left, rowRect.top, left + width - 1, rowRect.bottom - 1};
    FillRect(dc, &cell, brush);
    const RECT right{cell.right, cell.top, cell.right + 1, rowRect.bottom};
    const RECT below{cell.left, cell.bottom, cell.right + 1, rowRect.bottom};
    FillRect(dc, &right, grid);
    FillRect(dc, &below, grid);
    if (static_cast<size_t>(item) < FComputers) {
      const std::wstring text = FCellText(static_cast<size_t>(item), c);
      RECT inner{cell.left + kTextInset, cell.top + kTextInset, cell.right, cell.bottom};
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &inner, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
    left += width;
  }
  SelectObject(dc, oldFont);
  DeleteObject(brush);
}

}  // namespace kst

