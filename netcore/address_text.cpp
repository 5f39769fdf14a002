#include "netcore/address_text.h"

#include <array>
#include <vector>

namespace kst {
namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Splits the way a delimited list is read: blanks (codes 1..32) before a part are skipped and
// also end a part; a delimiter directly after another gives an empty part; a delimiter as the
// last character adds an empty last part; a part that starts with '"' runs to the closing '"'
// (a doubled quote inside stands for one quote). A NUL byte ends the text.
std::vector<std::string> SplitDelimited(std::string_view text, char delimiter) {
  std::vector<std::string> parts;
  const size_t end = std::min(text.find('\0'), text.size());
  auto at = [&](size_t i) -> unsigned char { return i < end ? static_cast<unsigned char>(text[i]) : 0; };
  size_t p = 0;
  while (IsBlank(at(p))) ++p;
  while (p < end) {
    std::string part;
    if (at(p) == '"') {
      ++p;
      while (p < end) {
        if (at(p) == '"') {
          if (at(p + 1) == '"') {
            part += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        part += static_cast<char>(at(p));
        ++p;
      }
    } else {
      const size_t start = p;
      while (at(p) > ' ' && at(p) != static_cast<unsigned char>(delimiter)) ++p;
      part.assign(text.substr(start, p - start));
    }
    parts.push_back(std::move(part));
    while (IsBlank(at(p))) ++p;
    if (at(p) == static_cast<unsigned char>(delimiter)) {
      if (p + 1 >= end) parts.emplace_back();
      do {
        ++p;
      } while (IsBlank(at(p)));
    }
  }
  return parts;
}

}  // namespace

std::optional<int32_t> ReadInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0 || (!hex && digit > 9)) return std::nullopt;
    value = value * (hex ? 16u : 10u) + static_cast<unsigned>(digit);
    // Hexadecimal may use all 32 bits; decimal must fit the signed range.
    if (value > (hex ? 0xFFFFFFFFull : 0x80000000ull)) return std::nullopt;
  }
  if (hex) {
    const auto bits = static_cast<uint32_t>(value);
    const auto v = static_cast<int32_t>(bits);
    return negative ? static_cast<int32_t>(0u - bits) : v;
  }
  if (negative) return static_cast<int32_t>(-static_cast<int64_t>(value));
  if (value > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<int32_t>(value);
}

uint32_t StrToIp(std::string_view text) {
  if (text.empty()) return 0;
  const auto parts = SplitDelimited(text, '.');
  if (parts.size() != 4) return 0;
  uint32_t value = 0;
  for (const auto& part : parts) {
    const auto octet = ReadInteger(part);
    if (!octet || *octet < 0 || *octet > 255) return 0;
    value = (value << 8) | static_cast<uint32_t>(*octet);
  }
  return value;
}

std::string IpToStr(uint64_t address) {
  std::string text;
  for (int n = 1; n <= 4; ++n) {
    if (n > 1) text += '.';
    text += IpOctetToStr(n, address);
  }
  return text;
}

std::string IpOctetToStr(int n, uint64_t address) {
  if (n < 1 || n > 4) return {};
  return std::to_string((address >> (8 * (4 - n))) & 0xFF);
}

bool IsAddressText(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
  return true;
}

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

uint16_t StrToPort(std::string_view text) {
  if (text.empty()) return 0;
  const auto value = ReadInteger(text);
  if (!value || *value < 1 || *value > 65535) return 0;
  return static_cast<uint16_t>(*value);
}

uint64_t StrToMac(std::string_view text) {
  std::array<int, 12> digits{};
  size_t count = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) continue;
    if (count == digits.size()) return 0;  // more than twelve digits
    digits[count++] = digit;
  }
  if (count != digits.size()) return 0;
  uint64_t value = 0;
  for (int d : digits) value = (value << 4) | static_cast<uint64_t>(d);
  return value;
}

std::string MacToStr(uint64_t mac) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(17);
  for (int n = 1; n <= 6; ++n) {
    if (n > 1) text += '-';
    const uint8_t b = MacByte(n, mac);
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

uint8_t MacByte(int n, uint64_t mac) {
  if (n < 1 || n > 6) return 0;
  return static_cast<uint8_t>((mac >> (8 * (6 - n))) & 0xFF);
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string TrimBlanks(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return std::string(text.substr(first, last - first));
}

}  // namespace kst
