// A small in-memory INI file, read as Windows' own reader (GetPrivateProfileString) reads one:
// the text is parsed once, read and changed in memory and written back whole.
//
// The reading rules, which users editing a list in Notepad rely on: a line ends at CR or LF;
// blanks, tabs, the other control characters 9 to 13 and ^Z are trimmed from both ends of a
// line and around "="; a section name runs from "[" to the first "]" on its line, or to its
// end when there is none (what follows, "[1] ; lab", is ignored), and is trimmed; a line
// starting with ";" is a comment; a line without "=" is a key without value, which reads as
// missing (a nameless key, "=x", is left out: nothing asks for it); a value loses one pair of
// surrounding quotes ("..." or '...'); names and values end at a NUL character; sections and
// keys keep their file order, a name may occur more than once, and lookups (without regard to
// ASCII letter case) find the first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kst {

// Text in the system's ANSI code page, as UTF-8.
using TAnsiToUtf8 = std::function<std::string(std::string_view)>;

// A file's bytes as UTF-8 text. A byte order mark decides: UTF-16 LE or BE, or UTF-8 (bytes
// that are no character become U+FFFD); without one, well-formed UTF-8 stays as it is (the
// files Kestrune writes) and anything else is ANSI.
std::string IniFileText(std::string_view bytes, const TAnsiToUtf8& ansiToUtf8);

class TIniFile {
 public:
  struct TKey {
    std::string Name;
    std::optional<std::string> Value;  // as written, quotes included; none on a line without "="
  };

  TIniFile() = default;
  explicit TIniFile(std::string_view text) { Parse(text); }

  void Parse(std::string_view text);
  // Every section, empty line after each, CR LF line ends.
  std::string Text() const;

  void Clear() { FSections.clear(); }
  // Section names as Windows lists them: file order, repeats included, nameless ones left out.
  std::vector<std::string> SectionNames() const;
  // Every section in file order, nameless ones included.
  size_t SectionCount() const { return FSections.size(); }
  const std::string& SectionName(size_t index) const { return FSections[index].Name; }
  // The section at that place in file order, alone: sections sharing a name each keep their
  // own keys (two exports joined). Empty past the end.
  TIniFile SectionAt(size_t index) const;
  // The lines of the first section of that name, comments left out.
  std::vector<TKey> Keys(std::string_view section) const;

  std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Decimal 32-bit integer with optional sign; anything else (or out of range) gives def.
  int ReadInteger(std::string_view section, std::string_view key, int def) const;
  // A floating-point number truncated toward zero; no number, or one outside 64 bits, gives def.
  int64_t ReadFloatTrunc(std::string_view section, std::string_view key, int64_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
  }

  // Sets the key of the first section of that name, appending section or key when missing. A
  // value that would not read back as it is (blanks at an end, quotes around it) is written
  // inside one more pair of quotes.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value) {
    WriteString(section, key, std::to_string(value));
  }

 private:
  struct TSection {
    std::string Name;
    std::vector<TKey> Keys;
  };
  const TSection* Find(std::string_view section) const;
  std::vector<TSection> FSections;
};

// Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace kst
