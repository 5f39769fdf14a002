// UTF-8 as the program's strings hold it, and as damaged stores or other programs may leave it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kst {

// Bytes of the well-formed character that starts at text[at] (1 to 4); 0 when the bytes there
// are no well-formed character (a stray continuation byte, a cut or overlong sequence, a
// surrogate, a value past U+10FFFF).
size_t Utf8CharSize(std::string_view text, size_t at);

// The first max characters of the text; never splits a character. Each byte that is not part
// of a well-formed character counts as one character, as the conversion to UTF-16 makes it one
// replacement character: the cut text is therefore at most 4 * max bytes, whatever it held.
std::string CutUtf8(std::string_view text, size_t max);

}  // namespace kst
