// A small in-memory INI file: the text is parsed once, read and changed in memory and written
// back whole. Sections and keys keep their file order; a name may occur more than once, and
// lookups (without regard to ASCII letter case) find the first one. Lines are trimmed; lines
// starting with ';' and lines before the first section are ignored; blanks around "=" go.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kst {

class TIniFile {
 public:
  TIniFile() = default;
  explicit TIniFile(std::string_view text) { Parse(text); }

  void Parse(std::string_view text);
  // Every section, empty line after each, CR LF line ends.
  std::string Text() const;

  void Clear() { FSections.clear(); }
  // Section names in file order, duplicates included.
  std::vector<std::string> SectionNames() const;
  // The section at that place in file order, alone: sections sharing a name each keep their
  // own keys (two exports joined). Empty past the end.
  TIniFile SectionAt(size_t index) const;
  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal 32-bit integer with optional sign; anything else (or out of range) gives def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // A floating-point number truncated toward zero; no number, or one outside 64 bits, gives def.
  int64_t ReadFloatTrunc(std::string_view section, std::string_view key, int64_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
  }

  // Sets the key of the first section of that name, appending section or key when missing.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value) {
    WriteString(section, key, std::to_string(value));
  }

 private:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Keys;
  };
  const TSection* Find(std::string_view section) const;
  std::vector<TSection> FSections;
};

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace kst
