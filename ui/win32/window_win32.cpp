#include "ui/win32/window_win32.h"

namespace kst {

TWindow::~TWindow() {
  if (FHandle) DestroyWindow(FHandle);
}

bool TWindow::CreateWindowObject(const wchar_t* className, HICON icon, HBRUSH background, DWORD exStyle, DWORD style,
                                 const wchar_t* caption, int x, int y, int width, int height, HWND parent,
                                 UINT classStyle) noexcept {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW known{};
  known.cbSize = sizeof known;
  if (!GetClassInfoExW(instance, className, &known)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = &TWindow::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (!RegisterClassExW(&wc)) return false;
  }
  return CreateWindowExW(exStyle, className, caption, style, x, y, width, height, parent, nullptr, instance, this) !=
         nullptr;
}

LRESULT TWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->FHandle = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  LRESULT result = 0;
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Creation fails; any other message counts as handled.
    result = message == WM_NCCREATE ? FALSE : message == WM_CREATE ? -1 : 0;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->FHandle = nullptr;
    self->WindowDestroyed();
  }
  return result;
}

INT_PTR TModalDialog::ShowModal(HWND owner, const wchar_t* templateName) noexcept {
  FOwner = owner;
  return DialogBoxParamW(GetModuleHandleW(nullptr), templateName, owner, &TModalDialog::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

bool TModalDialog::OnCommand(int id, int /*code*/) {
  if (id != IDOK && id != IDCANCEL) return false;
  if (FEnterEsc == TEnterEsc::EndDialog) EndDialog(FHandle, id);
  return true;
}

INT_PTR TModalDialog::OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return FALSE; }

INT_PTR CALLBACK TModalDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<TModalDialog*>(lParam);
    self->FHandle = dialog;
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  }
  auto* self = reinterpret_cast<TModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!self) return FALSE;
  INT_PTR result = FALSE;
  try {
    switch (message) {
      case WM_INITDIALOG: result = self->OnInit() ? TRUE : FALSE; break;
      case WM_COMMAND: result = self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE; break;
      default: result = self->OnMessage(message, wParam, lParam); break;
    }
  } catch (...) {
    if (message == WM_INITDIALOG) EndDialog(dialog, -1);
    result = FALSE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    self->FHandle = nullptr;
  }
  return result;
}

}  // namespace kst
