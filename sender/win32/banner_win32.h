// The banner below the tool bar: the wake assistant's lines, as real text controls that a
// screen reader reads. Open (125 pixels) it shows every line; folded (16 pixels) the latest
// state, its first line. A click anywhere on it folds or opens it: the button pressed and
// released on it, so that the button-up of a click elsewhere (a file dialog's double click
// above it) does not. A double click folds or opens it once.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "ui/win32/gui_handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

class TWolMainForm;

inline constexpr int kBannerExpanded = 125;
inline constexpr int kBannerCollapsed = 16;
// Control identifiers of the banner's lines and of its fold mark.
inline constexpr int kBannerLineId = 301;  // 301, 302, 303
inline constexpr int kBannerToggleId = 309;

class TBanner final : public TWindow {
 public:
  explicit TBanner(TWolMainForm& form) : FForm(form) {}
  bool Create(HWND parent);
  // The first line is the headline; lines past the third join the third.
  void SetLines(const std::vector<std::string>& lines);
  // Places the lines for the banner's state and size; called after every move or fold.
  void Layout();

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  TWolMainForm& FForm;
  std::array<HWND, 3> FLines{};
  HWND FToggle = nullptr;
  bool FPressed = false;  // the left button went down on the banner and has not come up
  POINT FPressedAt{};     // where and when, on the screen
  LONG FPressedTime = 0;
  TUniqueGdiObject FBrush;
};

}  // namespace kst
