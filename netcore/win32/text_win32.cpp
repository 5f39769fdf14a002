#include "netcore/win32/text_win32.h"

#include <windows.h>

#include <type_traits>

namespace kst {
namespace {

// Plain ASCII, which value and key names and most stored texts are, reads the same in UTF-8
// and UTF-16: copied without asking the system (twice) for each name.
template <typename TChar>
bool IsAscii(std::basic_string_view<TChar> text) {
  for (const TChar c : text)
    if (static_cast<std::make_unsigned_t<TChar>>(c) >= 0x80) return false;
  return true;
}

std::wstring WidenFrom(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  if (codePage == CP_UTF8 && IsAscii(text)) return std::wstring(text.begin(), text.end());
  const int size = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), needed);
  return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return WidenFrom(CP_UTF8, utf8); }

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  if (IsAscii(utf16)) {
    std::string out(utf16.size(), '\0');
    for (size_t i = 0; i < utf16.size(); ++i) out[i] = static_cast<char>(utf16[i]);
    return out;
  }
  const int size = static_cast<int>(utf16.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) { return Narrow(WidenFrom(CP_ACP, ansi)); }

}  // namespace kst
