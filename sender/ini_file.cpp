#include "sender/ini_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "netcore/utf8.h"

namespace kst {
namespace {

// What Windows' reader trims: blanks, the control characters 9 to 13 and ^Z (DOS end of file).
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1A'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Names and values are C strings to Windows: a NUL ends them.
std::string UpToNul(std::string_view s) { return std::string(s.substr(0, s.find('\0'))); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One pair of quotes around a value goes, as Windows' reader drops it.
std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) return value.substr(1, value.size() - 2);
  return value;
}

// A value must stay on its line: line breaks inside become blanks.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

// A lone surrogate becomes U+FFFD, as the system's conversion makes it; an odd last byte is
// no character and goes.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  const size_t count = bytes.size() / 2;
  auto unit = [&](size_t i) -> uint32_t {
    const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  for (size_t i = 0; i < count; ++i) {
    const uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
    }
  }
  return out;
}

std::string RepairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const size_t size = Utf8CharSize(bytes, i);
    if (size == 0) {
      AppendUtf8(out, kReplacement);
      ++i;
    } else {
      out.append(bytes.substr(i, size));
      i += size;
    }
  }
  return out;
}

}  // namespace

std::string IniFileText(std::string_view bytes, const TAnsiToUtf8& ansiToUtf8) {
  if (bytes.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(bytes.substr(2), false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(bytes.substr(2), true);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return RepairUtf8(bytes.substr(3));
  if (IsValidUtf8(bytes) || !ansiToUtf8) return std::string(bytes);
  return ansiToUtf8(bytes);
}

void TIniFile::Parse(std::string_view text) {
  FSections.clear();
  TSection* current = nullptr;
  while (!text.empty()) {
    const size_t end = std::min(text.find_first_of("\r\n"), text.size());
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end);
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n')) text.remove_prefix(1);
    if (line.empty()) continue;
    if (line.front() == '[') {
      // Windows ends the name at the first "]", or at the end of the line when there is none.
      const size_t close = line.find(']');
      FSections.push_back({UpToNul(Trim(line.substr(1, close == std::string_view::npos ? close : close - 1))), {}});
      current = &FSections.back();
      continue;
    }
    // Lines before the first section belong to none that can be asked for.
    if (current == nullptr) continue;
    TKey key;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      key.Name = UpToNul(line);
    } else {
      key.Name = UpToNul(Trim(line.substr(0, eq)));
      key.Value = UpToNul(Trim(line.substr(eq + 1)));
    }
    // A nameless key ("=x") is nothing a reader asks for.
    if (key.Name.empty()) continue;
    current->Keys.push_back(std::move(key));
  }
}

std::string TIniFile::Text() const {
  std::string out;
  for (const auto& section : FSections) {
    out += '[' + section.Name + "]\r\n";
    for (const auto& key : section.Keys) out += key.Value ? key.Name + '=' + *key.Value + "\r\n" : key.Name + "\r\n";
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> TIniFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const auto& s : FSections)
    if (!s.Name.empty()) names.push_back(s.Name);
  return names;
}

TIniFile TIniFile::SectionAt(size_t index) const {
  TIniFile one;
  if (index < FSections.size()) one.FSections.push_back(FSections[index]);
  return one;
}

const TIniFile::TSection* TIniFile::Find(std::string_view section) const {
  for (const auto& s : FSections)
    if (SameName(s.Name, section)) return &s;
  return nullptr;
}

std::vector<TIniFile::TKey> TIniFile::Keys(std::string_view section) const {
  std::vector<TKey> keys;
  if (const TSection* s = Find(section))
    for (const auto& key : s->Keys)
      if (key.Name.front() != ';') keys.push_back(key);
  return keys;
}

std::optional<std::string> TIniFile::ReadString(std::string_view section, std::string_view key) const {
  const TSection* s = Find(section);
  if (s == nullptr) return std::nullopt;
  for (const auto& k : s->Keys)
    if (SameName(k.Name, key)) return k.Value ? std::optional<std::string>(Unquote(*k.Value)) : std::nullopt;
  return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  auto value = ReadString(section, key);
  return value ? std::move(*value) : std::string(def);
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
  const auto value = ReadString(section, key);
  if (!value || value->empty()) return def;
  std::string_view text = *value;
  if (text.front() == '+') text.remove_prefix(1);
  int32_t result = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
  if (ec != std::errc() || end != text.data() + text.size()) return def;
  return result;
}

int64_t TIniFile::ReadFloatTrunc(std::string_view section, std::string_view key, int64_t def) const {
  const auto value = ReadString(section, key);
  if (!value || value->empty()) return def;
  std::string_view text = *value;
  if (text.front() == '+') text.remove_prefix(1);
  // Only digits, one point, an exponent: "inf", "nan" and hexadecimal forms are no numbers here.
  for (char c : text)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return def;
  double number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(number)) return def;
  const double whole = std::trunc(number);
  // 2^63 is exact as a double; anything at or past it does not fit.
  if (whole >= 9223372036854775808.0 || whole < -9223372036854775808.0) return def;
  return static_cast<int64_t>(whole);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  TSection* s = const_cast<TSection*>(Find(section));
  if (s == nullptr) {
    FSections.push_back({OneLine(section), {}});
    s = &FSections.back();
  }
  std::string line = OneLine(value);
  if (!line.empty() && (IsBlank(line.front()) || IsBlank(line.back()) || Unquote(line).size() != line.size()))
    line = '"' + line + '"';
  for (auto& k : s->Keys)
    if (SameName(k.Name, key)) {
      k.Value = std::move(line);
      return;
    }
  s->Keys.push_back({OneLine(key), std::move(line)});
}

bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t size = Utf8CharSize(bytes, i);
    if (size == 0) return false;
    i += size;
  }
  return true;
}

}  // namespace kst
