// Where a dialog goes: centred on its owner, pushed inside the part of the screen that an
// always-visible task bar leaves free. Pure arithmetic; ui/win32/form_position_win32.h asks the
// shell and moves the window.
#pragma once

#include <optional>

namespace kst {

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// The shell's task bar state bits (ABS_AUTOHIDE, ABS_ALWAYSONTOP).
inline constexpr unsigned kTaskBarAutoHide = 1;
inline constexpr unsigned kTaskBarAlwaysOnTop = 2;

// Only a task bar that is always on top and never hides takes screen room from dialogs; the
// caller needs its rectangle only then.
constexpr bool TaskBarTakesRoom(unsigned state) { return state == kTaskBarAlwaysOnTop; }

// The screen less the task bar: the task bar edge that lies strictly inside the screen becomes
// the work area's edge. Without a rectangle, or when the task bar takes no room, the whole screen.
TRect WorkArea(int screenWidth, int screenHeight, unsigned taskBarState, const std::optional<TRect>& taskBar);

// The dialog's top-left corner: centred on the owner, then kept inside the work area; when the
// dialog is larger than the work area, its right and bottom edges are kept inside.
TPoint FormPosition(const TRect& owner, int dialogWidth, int dialogHeight, const TRect& workArea);

// A window placement's normal rectangle (in work-area coordinates) as screen pixels: moved by
// the work area's offset from its monitor, which a task bar on the left or at the top makes.
TRect PlacementToScreen(const TRect& placement, const TRect& monitor, const TRect& work);

}  // namespace kst
