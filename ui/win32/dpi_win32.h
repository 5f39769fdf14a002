// Both programs declare themselves DPI aware and size their windows in pixels at 96 dots per
// inch, scaled to the screen's (and, after a move to another monitor, WM_DPICHANGED's) DPI.
#pragma once

#include <windows.h>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace kst {

// The screen's dots per inch; 96 when it cannot be read.
UINT ScreenDpi() noexcept;

inline int ScaleForDpi(int pixels, UINT dpi) noexcept { return MulDiv(pixels, static_cast<int>(dpi), 96); }

}  // namespace kst
