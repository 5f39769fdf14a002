#include "sender/win32/dialog_support_win32.h"

#include "netcore/host_lookup.h"
#include "netcore/win32/text_win32.h"
#include "ui/win32/dpi_win32.h"
#include "ui/win32/wait_cursor_win32.h"

namespace kst {

TDialogLayout::TDialogLayout(HWND dialog) : FDialog(dialog), FDpi(ScreenDpi()) {}

int TDialogLayout::Scale(int pixels) const noexcept { return ScaleForDpi(pixels, FDpi); }

void TDialogLayout::SetClientSize(int width, int height) const {
  RECT r{0, 0, Scale(width), Scale(height)};
  AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(FDialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(FDialog, GWL_EXSTYLE)));
  SetWindowPos(FDialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TDialogLayout::Place(int id, int x, int y, int width, int height) const {
  if (HWND control = GetDlgItem(FDialog, id))
    MoveWindow(control, Scale(x), Scale(y), Scale(width), Scale(height), FALSE);
}

int TDialogLayout::TextWidth(int id) const {
  HWND control = GetDlgItem(FDialog, id);
  if (!control) return 0;
  const std::wstring text = ControlText(control);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return MulDiv(size.cx, 96, static_cast<int>(FDpi));
}

std::wstring ControlText(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
  return text;
}

bool HasFocus(HWND control) {
  HWND focus = GetFocus();
  return focus && (focus == control || IsChild(control, focus));
}

bool FilterTyping(HWND control, TTextFilter filter) {
  if (!HasFocus(control)) return false;
  std::wstring text = ControlText(control);
  // The filters judge ASCII; anything else stands in as a character none of them allows.
  std::string ascii(text.size(), '\x01');
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] < 0x80) ascii[i] = static_cast<char>(text[i]);
  const auto filtered = filter(ascii);
  if (!filtered) return false;
  size_t removed = 0;
  while (removed < filtered->size() && (*filtered)[removed] == ascii[removed]) ++removed;
  text.erase(removed, 1);
  SetWindowTextW(control, text.c_str());
  wchar_t className[16] = {};
  GetClassNameW(control, className, 16);
  if (lstrcmpiW(className, L"ComboBox") == 0)
    SendMessageW(control, CB_SETEDITSEL, 0, MAKELPARAM(removed, removed));
  else
    SendMessageW(control, EM_SETSEL, removed, static_cast<LPARAM>(removed));
  return true;
}

void ShowCheckFailure(HWND dialog, const std::string& text, HWND field) {
  MessageBoxW(dialog, Widen(text).c_str(), L"Error", MB_OK | MB_ICONERROR);
  if (field) SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
}

void FillComboBox(HWND combo, const std::vector<std::string>& items, int index) {
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const auto& item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void SetControlsFont(HWND dialog, HFONT font) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

std::string LookupUnderHourglass(std::string_view destination) {
  TWaitCursor hourglass;
  return LookupHostAddress(destination);
}

}  // namespace kst
