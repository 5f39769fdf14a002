#include "ui/win32/form_position_win32.h"

#include <shellapi.h>

#include "ui/form_position.h"

namespace kst {
namespace {

TRect FromWin32(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

void SetFormPosition(HWND owner, HWND dialog) noexcept {
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYSCREEN);

  APPBARDATA bar{};
  bar.cbSize = sizeof bar;
  bar.hWnd = dialog;
  const auto state = static_cast<unsigned>(SHAppBarMessage(ABM_GETSTATE, &bar));
  std::optional<TRect> taskBar;
  if (TaskBarTakesRoom(state) && SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) taskBar = FromWin32(bar.rc);
  const TRect work = WorkArea(screenWidth, screenHeight, state, taskBar);

  RECT ownerRect{0, 0, screenWidth, screenHeight};
  if (owner) GetWindowRect(owner, &ownerRect);
  RECT dialogRect{};
  GetWindowRect(dialog, &dialogRect);
  const TRect size = FromWin32(dialogRect);
  const TPoint at = FormPosition(FromWin32(ownerRect), size.Width(), size.Height(), work);
  SetWindowPos(dialog, nullptr, at.X, at.Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kst
