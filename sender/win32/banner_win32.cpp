#include "sender/win32/banner_win32.h"

#include <windowsx.h>

#include "netcore/win32/text_win32.h"
#include "sender/win32/main_form.h"

namespace kst {
namespace {

constexpr COLORREF kBannerBack = RGB(30, 60, 120);
constexpr COLORREF kBannerText = RGB(255, 255, 255);

}  // namespace

bool TBanner::Create(HWND parent) {
  FBrush.reset(CreateSolidBrush(kBannerBack));
  // Double clicks: the second click of one is not a click of its own.
  if (!CreateWindowObject(L"KestruneBanner", nullptr, nullptr, 0, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, L"", 0, 0,
                          0, 0, parent, CS_DBLCLKS))
    return false;
  // Without SS_NOTIFY the lines let clicks through to the banner, which folds or opens.
  for (size_t i = 0; i < FLines.size(); ++i) {
    FLines[i] = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_NOPREFIX | SS_LEFT, 0, 0, 0, 0, Handle(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBannerLineId + static_cast<int>(i))),
                                nullptr, nullptr);
  }
  FToggle = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, 0, 0, 0, 0, Handle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBannerToggleId)), nullptr, nullptr);
  return true;
}

void TBanner::SetLines(const std::vector<std::string>& lines) {
  for (size_t i = 0; i < FLines.size(); ++i) {
    std::string text = i < lines.size() ? lines[i] : std::string();
    for (size_t j = FLines.size(); i + 1 == FLines.size() && j < lines.size(); ++j) text += "\r\n" + lines[j];
    SetWindowTextW(FLines[i], Widen(text).c_str());
  }
}

void TBanner::Layout() {
  if (!Handle()) return;
  RECT rc;
  GetClientRect(Handle(), &rc);
  const auto px = [&](int pixels) { return FForm.Scale(pixels); };
  const bool open = FForm.BannerExpanded();
  const int width = rc.right;
  const int toggle = px(70);
  SendMessageW(FLines[0], WM_SETFONT, reinterpret_cast<WPARAM>(FForm.BoldFont()), FALSE);
  // Open, the headline wraps; folded, it is one row that ends in "..." when it is too long.
  const LONG_PTR style = GetWindowLongPtrW(FLines[0], GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK | SS_ELLIPSISMASK);
  SetWindowLongPtrW(FLines[0], GWL_STYLE, style | (open ? SS_LEFT : SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS));
  for (size_t i = 1; i < FLines.size(); ++i)
    SendMessageW(FLines[i], WM_SETFONT, reinterpret_cast<WPARAM>(FForm.Font()), FALSE);
  SendMessageW(FToggle, WM_SETFONT, reinterpret_cast<WPARAM>(FForm.Font()), FALSE);
  if (open) {
    // Rows of 14 pixels: two for the headline, three for the next line, two for the last.
    MoveWindow(FLines[0], px(8), px(4), width - px(16), px(29), TRUE);
    MoveWindow(FLines[1], px(8), px(36), width - px(16), px(43), TRUE);
    MoveWindow(FLines[2], px(8), px(80), width - px(16), px(29), TRUE);
    MoveWindow(FToggle, width - toggle - px(6), rc.bottom - px(16), toggle, px(15), TRUE);
  } else {
    MoveWindow(FLines[0], px(6), 0, width - toggle - px(12), rc.bottom, TRUE);
    MoveWindow(FToggle, width - toggle - px(6), 0, toggle, rc.bottom, TRUE);
  }
  ShowWindow(FLines[0], SW_SHOWNA);
  for (size_t i = 1; i < FLines.size(); ++i) ShowWindow(FLines[i], open ? SW_SHOWNA : SW_HIDE);
  SetWindowTextW(FToggle, open ? L"\x25B2 Fold" : L"\x25BC Open");
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TBanner::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      FPressed = true;
      FPressedAt = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(Handle(), &FPressedAt);
      FPressedTime = GetMessageTime();
      SetCapture(Handle());
      return 0;
    case WM_LBUTTONDBLCLK:
      // The first click of the double click has folded or opened the banner.
      return 0;
    case WM_LBUTTONUP: {
      const bool pressed = FPressed;
      FPressed = false;
      if (GetCapture() == Handle()) ReleaseCapture();
      RECT rc;
      GetClientRect(Handle(), &rc);
      const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (pressed && PtInRect(&rc, at)) FForm.BannerClick(FPressedAt, FPressedTime);
      return 0;
    }
    case WM_CAPTURECHANGED:
      FPressed = false;
      return 0;
    case WM_SETCURSOR:
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      return TRUE;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(Handle(), &rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(FBrush.get()));
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, kBannerText);
      SetBkColor(dc, kBannerBack);
      return reinterpret_cast<LRESULT>(FBrush.get());
    }
    default:
      return TWindow::HandleMessage(message, wParam, lParam);
  }
}

}  // namespace kst
