#include <gtest/gtest.h>

#include "netcore/win32/handles_win32.h"
#include "ui/win32/form_position_win32.h"

namespace kst {
namespace {

TUniqueWindow Popup(int x, int y, int width, int height) {
  return TUniqueWindow(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, x, y, width, height, nullptr, nullptr, nullptr, nullptr));
}

RECT RectOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

TEST(SetFormPosition, CentresOnTheOwnerInsideTheScreenKeepingTheSize) {
  // Wine's task bar state is auto-hide, so the whole screen is the work area.
  const auto owner = Popup(100, 100, 400, 300);
  const auto dialog = Popup(0, 0, 200, 100);
  SetFormPosition(owner.get(), dialog.get());
  RECT r = RectOf(dialog.get());
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 200);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 100);

  const auto offScreen = Popup(-300, -200, 400, 300);
  SetFormPosition(offScreen.get(), dialog.get());
  r = RectOf(dialog.get());
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
}

TEST(SetFormPosition, WithoutOwnerCentresOnTheScreen) {
  const auto dialog = Popup(0, 0, 200, 100);
  SetFormPosition(nullptr, dialog.get());
  const RECT r = RectOf(dialog.get());
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 200) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
}

}  // namespace
}  // namespace kst
