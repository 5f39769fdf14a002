// The hourglass for the length of a scope: shown at construction, the earlier cursor put back
// at destruction, also when the scope is left by an exception.
#pragma once

#include <windows.h>

namespace kst {

class TWaitCursor {
 public:
  TWaitCursor() noexcept : FPrevious(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~TWaitCursor() { SetCursor(FPrevious); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  HCURSOR FPrevious;
};

}  // namespace kst
