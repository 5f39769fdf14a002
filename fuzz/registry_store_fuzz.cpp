// The whole store as Load finds it: settings, list and a staging copy filled from the fuzzer's
// bytes with values of any type, size and name, subkeys of any name. Whatever is stored, Load
// keeps the record's limits, and a Save of what was loaded loads back to the same list.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "netcore/registry.h"
#include "sender/host_record.h"
#include "sender/registry_store.h"

namespace {

class TBytes {
 public:
  TBytes(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  bool Empty() const { return FPos >= FSize; }
  uint8_t Next() { return FPos < FSize ? FData[FPos++] : 0; }
  std::span<const uint8_t> Take(size_t n) {
    n = std::min(n, FSize - std::min(FPos, FSize));
    const std::span<const uint8_t> s(FData + FPos, n);
    FPos += n;
    return s;
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

const char* const kValueNames[] = {
    "ComputerName", "MacAddress", "Password", "BroadcastAddress", "BroadcastHost", "Port", "LocalIpAddress",
    "Complete", "FormLeft", "FormTop", "FormWidth", "FormHeight", "Promo", "Columns0", "Columns3", "Selection",
    "HostBroadcastAddress", "HostBroadcastHost", "HostPort", "SearchBroadcastAddress", "SearchBroadcastHost",
    "SearchFromIpAddress", "SearchToIpAddress", "SearchPort", "computername", ""};
const char* const kSubkeyNames[] = {"0000", "0001", "0002", "9999", "10000", "1000", "00000", "x", "LIST"};
const uint32_t kTypes[] = {kst::kRegNone, kst::kRegSz, kst::kRegExpandSz, kst::kRegBinary,
                           kst::kRegDword, kst::kRegMultiSz, kst::kRegQword, 0x12345678};

std::string SubkeyName(TBytes& in) {
  const uint8_t pick = in.Next();
  if (pick < 0xC0) return kSubkeyNames[pick % (sizeof kSubkeyNames / sizeof kSubkeyNames[0])];
  std::string name;
  for (const uint8_t b : in.Take(pick & 0x1F)) name.push_back(b == '\\' ? '/' : static_cast<char>(b));
  return name;
}

std::string ValueName(TBytes& in) {
  const uint8_t pick = in.Next();
  if (pick < 0xE0) return kValueNames[pick % (sizeof kValueNames / sizeof kValueNames[0])];
  const auto bytes = in.Take(pick & 0x0F);
  return std::string(bytes.begin(), bytes.end());
}

void Fill(kst::IRegistryAccessor& reg, TBytes& in) {
  while (!in.Empty()) {
    const uint8_t op = in.Next();
    std::string key;
    switch (op & 3) {
      case 0: key = kst::kSettingsKey; break;
      case 1: key = std::string(kst::kListKey) + "\\" + SubkeyName(in); break;
      case 2: key = std::string(kst::kListStagingKey) + "\\" + SubkeyName(in); break;
      case 3: key = kst::kListStagingKey; break;
    }
    if (!reg.OpenKey(key, true)) continue;
    const std::string name = ValueName(in);
    const uint32_t type = kTypes[(op >> 2) & 7];
    size_t length = in.Next();
    if (op & 0x20) length = length % 9;  // mostly the sizes the reader cares about
    if (op & 0x40) length = length * 64 + in.Next();
    const auto data = in.Take(length);
    reg.WriteRaw(name, type, data);
    reg.CloseKey();
  }
}

size_t CodePoints(const std::string& s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

void CheckRecord(const kst::THostRecord& r) {
  if (r.ComputerName.size() > 4 * kst::kComputerNameMax) std::abort();
  if (r.BroadcastHost.size() > 4 * kst::kBroadcastHostMax) std::abort();
  if (CodePoints(r.ComputerName) > kst::kComputerNameMax) std::abort();
  if (CodePoints(r.BroadcastHost) > kst::kBroadcastHostMax) std::abort();
}

bool SameRecord(const kst::THostRecord& a, const kst::THostRecord& b) {
  return a.LocalIpAddress == b.LocalIpAddress && a.ComputerName == b.ComputerName && a.MacAddress == b.MacAddress &&
         a.Password == b.Password && a.BroadcastAddress == b.BroadcastAddress && a.BroadcastHost == b.BroadcastHost &&
         a.Port == b.Port;
}

void LoadInto(kst::IRegistryAccessor& reg, kst::TKestruneState& state, kst::TViewSettings& view) {
  state.SetNetworkDefaults(0x0A4D0002, 0xFFFFFF00);
  kst::TRegistryStore(reg).Load(state, view, {"10.77.0.2", "10.77.1.2"});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto reg = kst::MakeMemoryRegistry();
  TBytes in(data, size);
  Fill(*reg, in);

  kst::TKestruneState first;
  kst::TViewSettings firstView;
  LoadInto(*reg, first, firstView);
  for (const auto& r : first.HostList) CheckRecord(*r);

  if (!kst::TRegistryStore(*reg).Save(first, firstView)) std::abort();
  // A finished save leaves no copy and exactly the numbered subkeys.
  if (reg->KeyExists(kst::kListStagingKey)) std::abort();
  reg->SetAccess(kst::TRegAccess::Read);
  if (reg->OpenKey(kst::kListKey, false)) {
    const auto names = reg->GetKeyNames();
    reg->CloseKey();
    if (names.size() != first.HostList.size()) std::abort();
    for (size_t i = 0; i < names.size(); ++i)
      if (!reg->KeyExists(std::string(kst::kListKey) + "\\" + kst::ListSubkeyName(i))) std::abort();
  } else if (!first.HostList.empty()) {
    std::abort();
  }

  kst::TKestruneState second;
  kst::TViewSettings secondView;
  LoadInto(*reg, second, secondView);
  if (second.HostList.size() != first.HostList.size()) std::abort();
  for (size_t i = 0; i < first.HostList.size(); ++i)
    if (!SameRecord(*first.HostList[i], *second.HostList[i])) std::abort();
  if (secondView.Columns != firstView.Columns || secondView.Selection != firstView.Selection ||
      secondView.Promo != firstView.Promo)
    std::abort();
  const auto& s1 = first.Settings;
  const auto& s2 = second.Settings;
  if (s1.HostBroadcastAddress != s2.HostBroadcastAddress || s1.HostBroadcastHost != s2.HostBroadcastHost ||
      s1.HostPort != s2.HostPort || s1.SearchBroadcastAddress != s2.SearchBroadcastAddress ||
      s1.SearchPort != s2.SearchPort)
    std::abort();
  return 0;
}
