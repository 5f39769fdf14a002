#include "netcore/utf8.h"

namespace kst {

size_t Utf8CharSize(std::string_view text, size_t at) {
  if (at >= text.size()) return 0;
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char b = byte(0);
  if (b < 0x80) return 1;
  size_t size = 0;
  // The allowed range of the second byte narrows for E0, ED, F0 and F4 (no overlong forms,
  // no surrogates, nothing past U+10FFFF).
  unsigned char low = 0x80, high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) size = 2;
  else if (b >= 0xE0 && b <= 0xEF) size = 3, low = b == 0xE0 ? 0xA0 : 0x80, high = b == 0xED ? 0x9F : 0xBF;
  else if (b >= 0xF0 && b <= 0xF4) size = 4, low = b == 0xF0 ? 0x90 : 0x80, high = b == 0xF4 ? 0x8F : 0xBF;
  else return 0;
  if (text.size() - at < size) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t k = 2; k < size; ++k)
    if ((byte(k) & 0xC0) != 0x80) return 0;
  return size;
}

std::string CutUtf8(std::string_view text, size_t max) {
  size_t at = 0;
  for (size_t count = 0; count < max && at < text.size(); ++count) {
    const size_t size = Utf8CharSize(text, at);
    at += size == 0 ? 1 : size;
  }
  return std::string(text.substr(0, at));
}

}  // namespace kst
