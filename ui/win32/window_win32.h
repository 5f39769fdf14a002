// One C++ object per window. The static window procedure attaches the object at WM_NCCREATE
// and detaches it after WM_NCDESTROY, the last message a window gets; it is a noexcept
// boundary: an exception from a handler ends there.
#pragma once

#include <windows.h>

namespace kst {

class TWindow {
 public:
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const noexcept { return FHandle; }

 protected:
  TWindow() = default;
  // Destroys the window if it still exists.
  virtual ~TWindow();

  // Registers the class on first use (cursor, background, icon and class style as given) and
  // creates the window with this object attached. False when either step fails.
  bool CreateWindowObject(const wchar_t* className, HICON icon, HBRUSH background, DWORD exStyle, DWORD style,
                          const wchar_t* caption, int x, int y, int width, int height, HWND parent,
                          UINT classStyle = 0) noexcept;

  // Every message after attachment; unhandled ones go to DefWindowProcW.
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // After WM_NCDESTROY: the window is gone, Handle() is null.
  virtual void WindowDestroyed() noexcept {}

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  HWND FHandle = nullptr;
};

// A modal dialog from a DIALOGEX template; the dialog procedure attaches the object at
// WM_INITDIALOG and is a noexcept boundary like the window procedure. By default IDOK and
// IDCANCEL end it, so Enter and Esc close it; a dialog made with TEnterEsc::Ignored keeps them
// from doing anything (its own buttons then use other identifiers and end it with EndModal).
class TModalDialog {
 public:
  TModalDialog(const TModalDialog&) = delete;
  TModalDialog& operator=(const TModalDialog&) = delete;

  // Shows the dialog and returns the identifier it ended with (IDOK, IDCANCEL), or -1.
  INT_PTR ShowModal(HWND owner, const wchar_t* templateName) noexcept;

 protected:
  enum class TEnterEsc { EndDialog, Ignored };

  explicit TModalDialog(TEnterEsc enterEsc = TEnterEsc::EndDialog) noexcept : FEnterEsc(enterEsc) {}
  virtual ~TModalDialog() = default;

  void EndModal(INT_PTR result) noexcept { EndDialog(FHandle, result); }

  HWND Handle() const noexcept { return FHandle; }
  HWND Owner() const noexcept { return FOwner; }

  // Returns true to let the system give the focus to the first control.
  virtual bool OnInit() { return true; }
  // IDOK and IDCANCEL end the dialog, or are swallowed when Enter and Esc are ignored; true when
  // the command was handled.
  virtual bool OnCommand(int id, int code);
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

  HWND FHandle = nullptr;
  HWND FOwner = nullptr;
  TEnterEsc FEnterEsc;
};

}  // namespace kst
