// The INI reader and the import over arbitrary file bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "netcore/address_text.h"
#include "sender/ini_file.h"
#include "sender/ini_store.h"

namespace {

class TNoFiles : public kst::IIniFileSystem {
 public:
  bool Exists(const std::string&) override { return false; }
  bool Read(const std::string&, std::string&) override { return false; }
  std::string Write(const std::string&, const std::string&) override { return "no files"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kst::TIniFile ini(bytes);
  const std::string text = ini.Text();
  // What the writer writes reads back to the same sections.
  if (kst::TIniFile(text).SectionNames().size() != ini.SectionNames().size()) __builtin_trap();

  TNoFiles files;
  kst::TIniPlatform platform{files, [](std::string_view s) { return std::string(s); }, {"10.77.0.2"}, 1280, 1024};
  kst::TKestruneState state;
  state.SetNetworkDefaults(kst::StrToIp("10.77.0.2"), kst::StrToIp("255.255.255.0"));
  kst::TViewSettings view;
  kst::LoadIniBytes(bytes, state, view, platform);
  if (state.HostList.size() > size) __builtin_trap();
  (void)kst::IniText(state, view);
  return 0;
}
