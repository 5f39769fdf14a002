#include "netcore/win32/os_error_win32.h"

#include <windows.h>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"

namespace kst {

std::string SystemErrorText(uint32_t code) {
  wchar_t text[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      text, static_cast<DWORD>(std::size(text)), nullptr);
  std::string message = TrimBlanks(Narrow(std::wstring_view(text, length)));
  if (message.empty()) message = "System error " + std::to_string(code) + ".";
  return message;
}

void RaiseOsError(uint32_t code) {
  throw TOsError(code, SystemErrorText(code));
}

}  // namespace kst
