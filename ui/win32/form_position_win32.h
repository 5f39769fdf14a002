// Places a dialog over its owner inside the screen area that the task bar leaves free.
#pragma once

#include <windows.h>

namespace kst {

// Moves dialog (keeping its size) centred on owner, or on the whole screen when owner is null.
void SetFormPosition(HWND owner, HWND dialog) noexcept;

}  // namespace kst
