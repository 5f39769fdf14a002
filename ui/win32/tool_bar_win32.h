// The flat tool bar both programs put across the top of their window: icon buttons from the
// program's resources with hints shown as tooltips, and the Arial font of their windows.
#pragma once

#include <windows.h>

#include <span>

#include "ui/win32/gui_handles_win32.h"

namespace kst {

struct TToolButtonSpec {
  int Command;  // 0: a separator
  const wchar_t* Icon;
  const wchar_t* Hint;
};

// Creates the tool bar with one button per entry; the buttons' images are their icons in order
// (separators skipped), as LoadToolBarIcons loads them.
HWND CreateToolBar(HWND parent, int height, std::span<const TToolButtonSpec> buttons);
// Loads the icons at size pixels into a new image list that the tool bar shows; the caller
// keeps the list for as long as the tool bar uses it.
TUniqueImageList LoadToolBarIcons(HWND toolBar, std::span<const TToolButtonSpec> buttons, int size, int buttonWidth,
                                  int buttonHeight);
// Answers the tool bar's tooltip request with the button's hint; false for other notifications.
bool AnswerToolTip(const NMHDR& header, std::span<const TToolButtonSpec> buttons);

// Arial of the given character height in pixels.
TUniqueGdiObject CreateArialFont(int height, int weight = FW_NORMAL);

}  // namespace kst
