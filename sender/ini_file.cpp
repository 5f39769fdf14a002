#include "sender/ini_file.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "netcore/utf8.h"

namespace kst {
namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// A value must stay on its line: line breaks inside become blanks.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace

void TIniFile::Parse(std::string_view text) {
  FSections.clear();
  TSection* current = nullptr;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) {
      text = {};
    } else {
      const size_t skip = text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
      text.remove_prefix(end + skip);
    }
    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      FSections.push_back({std::string(Trim(line.substr(1, line.size() - 2))), {}});
      current = &FSections.back();
      continue;
    }
    if (current == nullptr) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;  // not a key: nothing can read it
    current->Keys.emplace_back(std::string(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))));
  }
}

std::string TIniFile::Text() const {
  std::string out;
  for (const auto& section : FSections) {
    out += '[' + section.Name + "]\r\n";
    for (const auto& [key, value] : section.Keys) out += key + '=' + value + "\r\n";
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> TIniFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const auto& s : FSections) names.push_back(s.Name);
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

std::optional<std::string> TIniFile::ReadString(std::string_view section, std::string_view key) const {
  const TSection* s = Find(section);
  if (s == nullptr) return std::nullopt;
  for (const auto& [k, v] : s->Keys)
    if (SameName(k, key)) return v;
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
  for (auto& [k, v] : s->Keys)
    if (SameName(k, key)) {
      v = OneLine(value);
      return;
    }
  s->Keys.emplace_back(OneLine(key), OneLine(value));
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
