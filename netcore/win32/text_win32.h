// The one pair of conversions between the program's UTF-8 strings and the UTF-16 of the
// Win32 "W" functions. Invalid input never throws: the system replaces bad sequences.
#pragma once

#include <string>
#include <string_view>

namespace kst {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// Text that an "A" function or structure gave in the system's ANSI code page, as UTF-8.
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace kst
