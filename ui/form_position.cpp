#include "ui/form_position.h"

namespace kst {

TRect WorkArea(int screenWidth, int screenHeight, unsigned taskBarState, const std::optional<TRect>& taskBar) {
  TRect work{0, 0, screenWidth, screenHeight};
  if (!TaskBarTakesRoom(taskBarState) || !taskBar) return work;
  const TRect& bar = *taskBar;
  if (bar.Right > 0 && bar.Right < screenWidth) work.Left = bar.Right;
  if (bar.Bottom > 0 && bar.Bottom < screenHeight) work.Top = bar.Bottom;
  if (bar.Left > 0 && bar.Left < screenWidth) work.Right = bar.Left;
  if (bar.Top > 0 && bar.Top < screenHeight) work.Bottom = bar.Top;
  return work;
}

namespace {

// Centred on the owner along one axis, then inside [low, high]; the far edge is applied last.
int Place(int ownerStart, int ownerSize, int size, int low, int high) {
  int at = ownerSize / 2 + ownerStart - size / 2;
  if (at < low) at = low;
  if (at > high - size) at = high - size;
  return at;
}

}  // namespace

TPoint FormPosition(const TRect& owner, int dialogWidth, int dialogHeight, const TRect& workArea) {
  return {Place(owner.Left, owner.Width(), dialogWidth, workArea.Left, workArea.Right),
          Place(owner.Top, owner.Height(), dialogHeight, workArea.Top, workArea.Bottom)};
}

TRect PlacementToScreen(const TRect& placement, const TRect& monitor, const TRect& work) {
  const int dx = work.Left - monitor.Left;
  const int dy = work.Top - monitor.Top;
  return {placement.Left + dx, placement.Top + dy, placement.Right + dx, placement.Bottom + dy};
}

}  // namespace kst
