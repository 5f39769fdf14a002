// A question with the buttons "Yes" and "No" under the title "Confirm".
#pragma once

#include <windows.h>

#include <string>

namespace kst {

// True when the user answered Yes.
inline bool ConfirmBox(HWND owner, const std::wstring& question) {
  return MessageBoxW(owner, question.c_str(), L"Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace kst
