#include "tests/win32/system_text.h"

#include "netcore/win32/text_win32.h"

namespace kst::test {

std::string SystemText(DWORD code) {
  wchar_t text[512] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
  while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
  return Narrow(std::wstring_view(text, n));
}

}  // namespace kst::test
