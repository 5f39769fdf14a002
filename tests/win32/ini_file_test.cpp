// List files as users edit them in Notepad, read by our reader and by the system's own
// (GetPrivateProfileStringW), key by key; and what the real file system gives the import.
//
// Intended differences from Windows, the only ones the comparison allows:
// - A file without byte order mark that is well-formed UTF-8 (every file Kestrune writes) is
//   read as UTF-8; Windows reads it in the ANSI code page. Such a file is compared with our
//   reading of it as ANSI: nothing else may differ.
// - A UTF-8 byte order mark is skipped and the file read as UTF-8, as Wine does; Windows 10
//   (21H1, measured by users: "Both methods will not recognize and respect a UTF-8 BOM") reads
//   the mark as ANSI characters in front of the first line, which then is no section header.
// - UTF-16 big endian with its mark is read, as Wine does and as Windows did in 2006 (Michael
//   Kaplan); the same Windows 10 measurement could not confirm it there.
// Where Wine's reader differs from Windows', the corpus holds no such line: a key asked for in
// the nameless section ("[]") and buffers too small for a list of names (Wine's own tests mark
// them todo_wine); and section headers, as measured on Windows 10 by the
// IniFileFormatReverseEngineering tests (WelliSolutions): Windows ends a name at the first "]"
// ("[1] ; rack [b]" is section 1) and needs none ("[4" is section 4), Wine ends it at the last
// "]" and takes a line without one for a key. Ours reads them as Windows does (unit tests).
// Not in the corpus either, and intended: Windows hands a caller at most 65535 characters of a
// value (this comparison 4095), ours has no limit (the list cuts names to 64, host names to
// 255 characters); an odd last byte of a UTF-16 file is no character and goes (Wine reads one
// past the file's end); after a UTF-8 mark, each byte that is no character becomes U+FFFD (the
// system's conversion may make one of a broken sequence).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"
#include "sender/ini_file.h"
#include "sender/ini_store.h"
#include "sender/win32/ini_dialogs_win32.h"
#include "tests/win32/sandbox_env.h"
#include "tests/win32/system_text.h"

namespace kst {
namespace {

std::string Utf16Le(std::wstring_view text) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  return bytes;
}

std::string Utf16Be(std::wstring_view text) {
  std::string bytes = "\xFE\xFF";
  for (wchar_t c : text) bytes += static_cast<char>(c >> 8), bytes += static_cast<char>(c & 0xFF);
  return bytes;
}

std::string Export(std::initializer_list<const char*> names) {
  TKestruneState state;
  state.SetNetworkDefaults(StrToIp("10.77.0.2"), StrToIp("255.255.255.0"));
  uint64_t mac = 0x0277000000A1;
  for (const char* name : names) {
    auto r = std::make_unique<THostRecord>();
    r->AssignComputerName(name);
    r->MacAddress = mac++;
    r->BroadcastAddress = StrToIp("10.77.0.255");
    state.HostList.push_back(std::move(r));
  }
  TViewSettings view;
  view.Bounds = {10, 20, 640, 480};
  return IniText(state, view);
}

// The keys the import asks for, whatever a file holds.
constexpr const char* kProgramKeys[] = {"LocalIpAddress", "ComputerName", "MacAddress", "Password",      "BroadcastAddress",
                                        "BroadcastHost",  "Port",         "Left",       "Top",           "Height",
                                        "Width",          "Promo",        "Selection",  "FromIpAddress", "ToIpAddress",
                                        "0",              "1",            "2",          "3"};

std::vector<std::string> Strings(const std::vector<wchar_t>& buffer) {
  std::vector<std::string> strings;
  for (const wchar_t* p = buffer.data(); *p; p += wcslen(p) + 1) strings.push_back(Narrow(p));
  return strings;
}

class IniFileAsWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    FDir = test::WinePath(test::Env("KST_SANDBOX_DIR")) + "\\ini-file-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(Widen(FDir).c_str(), nullptr);
  }

  std::string Store(const std::string& name, const std::string& bytes) {
    const std::string path = FDir + "\\" + name + ".wol";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  // Every difference between the system's reading of the file and ours, one line each.
  static std::vector<std::string> Differences(const std::string& path, const TIniFile& ours) {
    std::vector<std::string> differences;
    const std::wstring file = Widen(path);
    std::vector<wchar_t> buffer(1 << 16);
    buffer[0] = buffer[1] = 0;
    GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
    const std::vector<std::string> sections = Strings(buffer);
    if (sections != ours.SectionNames()) differences.push_back("section names");
    std::vector<std::string> asked = sections;
    asked.insert(asked.end(), {"Coordinates", "Columns", "Host", "Search"});
    for (const std::string& section : asked) {
      const std::wstring wideSection = Widen(section);
      buffer[0] = buffer[1] = 0;
      GetPrivateProfileSectionW(wideSection.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
      std::vector<std::string> lines;
      // A nameless key ("=x") is nothing this program can ask for, and our reader leaves it out.
      for (std::string& line : Strings(buffer))
        if (line.front() != '=') lines.push_back(std::move(line));
      std::vector<std::string> ourLines;
      std::vector<std::string> keys(std::begin(kProgramKeys), std::end(kProgramKeys));
      for (const auto& key : ours.Keys(section)) {
        ourLines.push_back(key.Value ? key.Name + "=" + *key.Value : key.Name);
        if (std::find(keys.begin(), keys.end(), key.Name) == keys.end()) keys.push_back(key.Name);
      }
      if (lines != ourLines) differences.push_back("[" + section + "] lines");
      for (const std::string& key : keys) {
        wchar_t value[4096] = {};
        GetPrivateProfileStringW(wideSection.c_str(), Widen(key).c_str(), L"(missing)", value, 4096, file.c_str());
        const std::string system = Narrow(value);
        const std::string ourValue = ours.ReadString(section, key, "(missing)");
        if (system != ourValue)
          differences.push_back("[" + section + "] " + key + ": system \"" + system + "\", ours \"" + ourValue + "\"");
      }
    }
    return differences;
  }

  std::string FDir;
};

TEST_F(IniFileAsWindows, HandEditedAndExportedFilesReadKeyByKeyAsTheSystemReadsThem) {
  const std::wstring handEdited =
      L"; my computers\r\n"
      L"[1] ; lab\r\nComputerName=\"Lab PC\"\r\nMacAddress='187723572702975'\r\n"
      L"BroadcastHost=\"\"\r\nPassword=\"\r\nPort=\"9'\r\nLocalIpAddress=\"a\"b\"\r\n"
      L"[ 2 ]\rComputerName = \t two\t \x1A\rPort\rPort=9\rport=10\r\n\r\n"
      L"\x0B computername\x0C=\x0Bx\r\nMacAddress = 5 ; five\r\n;BroadcastHost=commented\r\n"
      L"[3]x\nComputerName=after the bracket\n=nameless\n"
      L"[]\nComputerName=nameless section\n"
      L"[0]\nComputerName=Zo\u00EB \u5C71\u7530 \U0001F600\n"
      L"[0]\nComputerName=second of the same name\n"
      L"[coordinates]\nLEFT=7\nTop=-8\n";
  struct TCase {
    const char* Name;
    std::string Bytes;
  };
  const TCase cases[] = {
      {"notepad-unicode", Utf16Le(handEdited)},
      {"notepad-unicode-big-endian", Utf16Be(handEdited)},
      {"notepad-utf8", "\xEF\xBB\xBF" + Narrow(handEdited)},
      {"ansi", "[0]\r\nComputerName=B\xE9la \x80\r\n[B\xE9la]\r\nk=v\r\n"},
      {"kestrune-export", Export({"Desk", " Lab ", "\"Lab PC\"", "'x'", "a\"b", "\""})},
      {"kestrune-export-utf8", Export({"Caf\xC3\xA9", "Zo\xC3\xAB"})},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = Store(c.Name, c.Bytes);
    const std::string text = IniFileText(c.Bytes, AnsiToUtf8);
    const bool utf8WithoutMark = c.Bytes.rfind("\xEF\xBB\xBF", 0) != 0 && c.Bytes.rfind("\xFF\xFE", 0) != 0 &&
                                 c.Bytes.rfind("\xFE\xFF", 0) != 0 && IsValidUtf8(c.Bytes);
    // The system reads UTF-8 without mark as ANSI: so must ours, to be compared.
    const TIniFile ours(utf8WithoutMark ? AnsiToUtf8(c.Bytes) : text);
    EXPECT_EQ(Differences(path, ours), std::vector<std::string>{});
  }
  // The comparison sees a difference where there is one.
  const std::string path = Store("differs", "[0]\r\nComputerName=x\r\n");
  EXPECT_EQ(Differences(path, TIniFile("[0]\r\nComputerName=y\r\n")),
            (std::vector<std::string>{"[0] lines", "[0] ComputerName: system \"x\", ours \"y\""}));
  // And ours reads the UTF-8 export as UTF-8.
  EXPECT_EQ(TIniFile(IniFileText(Export({"Caf\xC3\xA9"}), AnsiToUtf8)).ReadString("0", "ComputerName", ""),
            "Caf\xC3\xA9");
}

TEST_F(IniFileAsWindows, FilesThatCannotBeReadGiveTheSystemsReason) {
  TIniFileSystemWin32 files;
  const std::string path = Store("list", "[0]\r\nComputerName=x\r\n");
  TFileBytes read = files.Read(path);
  EXPECT_EQ(read.State, TFileBytes::TState::Read);
  EXPECT_EQ(read.Bytes, "[0]\r\nComputerName=x\r\n");
  EXPECT_EQ(files.Read(FDir + "\\no such file.wol").State, TFileBytes::TState::Missing);
  EXPECT_EQ(files.Read(FDir + "\\no such folder\\list.wol").State, TFileBytes::TState::Missing);

  // Another program holding the file open for writing does not keep us out; one that shares
  // nothing does.
  {
    HANDLE writer = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files.Read(path).State, TFileBytes::TState::Read);
    CloseHandle(writer);
  }
  HANDLE holder = CreateFileW(Widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  read = files.Read(path);
  CloseHandle(holder);
  EXPECT_EQ(read.State, TFileBytes::TState::Failed);
  EXPECT_EQ(read.Reason, test::SystemText(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(read.Reason.empty());

  read = files.Read(FDir);
  EXPECT_EQ(read.State, TFileBytes::TState::Failed);
  EXPECT_EQ(read.Reason, test::SystemText(ERROR_ACCESS_DENIED));

  // Larger than any list: not read at all.
  const std::string large = FDir + "\\large.wol";
  HANDLE file = CreateFileW(Widen(large).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size{};
  size.QuadPart = (64LL << 20) + 1;
  EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  read = files.Read(large);
  EXPECT_EQ(read.State, TFileBytes::TState::Failed);
  EXPECT_EQ(read.Reason, "The file is larger than 64 MB, which no computer list is.");
  DeleteFileW(Widen(large).c_str());
}

}  // namespace
}  // namespace kst
