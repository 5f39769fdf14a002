// The INI reader and the import over arbitrary file bytes: as they come, and behind each byte
// order mark (the first byte chooses), so that UTF-16 input is fed as much as any other.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "netcore/address_text.h"
#include "sender/ini_file.h"
#include "sender/ini_store.h"

namespace {

class TNoFiles : public kst::IIniFileSystem {
 public:
  kst::TFileBytes Read(const std::string&) override { return {}; }
  std::string Write(const std::string&, const std::string&) override { return "no files"; }
};

// Stands in for the ANSI code page: every byte is a character, past ASCII one it cannot show.
std::string AnsiToUtf8(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  if (!input.empty()) {
    static const char* const kMarks[] = {"\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
    const auto choice = static_cast<unsigned char>(input.front()) % 4;
    if (choice < 3) bytes = kMarks[choice];
    input.remove_prefix(1);
  }
  bytes += input;

  const std::string text = kst::IniFileText(bytes, AnsiToUtf8);
  if (!kst::IsValidUtf8(text)) __builtin_trap();
  const kst::TIniFile ini(text);
  // What the writer writes reads back the same (a NUL may cut a name before a blank, which the
  // next reading trims).
  const std::string written = ini.Text();
  const kst::TIniFile again(written);
  if (text.find('\0') == std::string::npos && (again.Text() != written || again.SectionNames() != ini.SectionNames()))
    __builtin_trap();

  TNoFiles files;
  kst::TIniPlatform platform{files, AnsiToUtf8, {"10.77.0.2"}, 1280, 1024};
  kst::TKestruneState state;
  state.SetNetworkDefaults(kst::StrToIp("10.77.0.2"), kst::StrToIp("255.255.255.0"));
  kst::TViewSettings view;
  kst::LoadIniBytes(bytes, state, view, platform);
  if (state.HostList.size() > bytes.size()) __builtin_trap();
  // An export of what was imported imports to the same computers.
  const std::string exported = kst::IniText(state, view);
  kst::TKestruneState back;
  back.SetNetworkDefaults(kst::StrToIp("10.77.0.2"), kst::StrToIp("255.255.255.0"));
  kst::TViewSettings backView;
  kst::LoadIniBytes(exported, back, backView, platform);
  if (back.HostList.size() != state.HostList.size()) __builtin_trap();
  for (size_t i = 0; i < back.HostList.size(); ++i)
    if (back.HostList[i]->ComputerName != state.HostList[i]->ComputerName ||
        back.HostList[i]->BroadcastHost != state.HostList[i]->BroadcastHost ||
        back.HostList[i]->MacAddress != state.HostList[i]->MacAddress ||
        back.HostList[i]->Password != state.HostList[i]->Password ||
        back.HostList[i]->BroadcastAddress != state.HostList[i]->BroadcastAddress)
      __builtin_trap();
  return 0;
}
