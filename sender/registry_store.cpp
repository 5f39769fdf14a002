#include "sender/registry_store.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "netcore/address_text.h"

namespace kst {
namespace {

// Numeric names compare by value without converting (names may be longer than any integer).
bool NumericLess(const std::string& a, const std::string& b) {
  auto strip = [](const std::string& s) {
    const size_t first = s.find_first_not_of('0');
    return first == std::string::npos ? std::string_view() : std::string_view(s).substr(first);
  };
  const auto x = strip(a), y = strip(b);
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

uint16_t Low16(int32_t value) { return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF); }

// The values of a computer's key, read together.
constexpr std::string_view kRecordValues[] = {"ComputerName",  "MacAddress", "Password",      "BroadcastAddress",
                                              "BroadcastHost", "Port",       "LocalIpAddress"};
enum TRecordValue : size_t { kName, kMac, kPassword, kBroadcast, kBroadcastHost, kPort, kLocal };

}  // namespace

TWindowBounds PlaceWindow(const TWindowBounds& stored, int screenWidth, int screenHeight) {
  if (stored.Left >= 0 && stored.Top >= 0 && stored.Height > 0 && stored.Width > 0) return stored;
  TWindowBounds b;
  b.Width = kDefaultWindowWidth;
  b.Height = kDefaultWindowHeight;
  b.Left = screenWidth > b.Width ? (screenWidth - b.Width) / 2 : 0;
  b.Top = screenHeight > b.Height ? (screenHeight - b.Height) / 2 : 0;
  return b;
}

std::string ListSubkeyName(size_t index) {
  char name[24];
  std::snprintf(name, sizeof name, "%04zu", index);
  return name;
}

std::vector<std::string> OrderListSubkeys(std::vector<std::string> names) {
  const auto firstOther = std::stable_partition(names.begin(), names.end(), [](const std::string& n) { return IsDigits(n); });
  std::stable_sort(names.begin(), firstOther, NumericLess);
  return names;
}

uint32_t RepairLocalAddress(uint32_t stored, const std::vector<std::string>& localAddresses) {
  const uint32_t fallback = localAddresses.empty() ? 0 : StrToIp(localAddresses.front());
  if (stored == 0) return 0;
  const std::string text = IpToStr(stored);
  return std::find(localAddresses.begin(), localAddresses.end(), text) != localAddresses.end() ? stored : fallback;
}

void TRegistryStore::Load(TKestruneState& state, TViewSettings& view, const std::vector<std::string>& localAddresses,
                          bool addressesKnown) {
  ClearList(&state.HostList);
  view.Columns = kDefaultColumnWidths;
  TWindowBounds stored;
  TRegistryX reg(FRegistry);

  FRegistry.SetRoot(TRegRoot::LocalMachine);
  FRegistry.SetAccess(TRegAccess::Read);
  if (FRegistry.OpenKey(kSettingsKey, false)) {
    stored.Left = reg.ReadIntegerDef("FormLeft", -1);
    stored.Top = reg.ReadIntegerDef("FormTop", -1);
    stored.Width = reg.ReadIntegerDef("FormWidth", 0);
    stored.Height = reg.ReadIntegerDef("FormHeight", 0);
    view.Promo = reg.ReadBoolDef("Promo", true);
    for (size_t n = 0; n < view.Columns.size(); ++n)
      view.Columns[n] = reg.ReadIntegerDef("Columns" + std::to_string(n), kDefaultColumnWidths[n]);
    view.Selection = reg.ReadIntegerDef("Selection", 1);

    TSharedSettings& s = state.Settings;
    s.HostBroadcastAddress = reg.ReadInt64Def("HostBroadcastAddress", s.HostBroadcastAddress);
    s.HostBroadcastHost = reg.ReadStringDef("HostBroadcastHost", "");
    s.HostPort = Low16(reg.ReadIntegerDef("HostPort", s.HostPort));

    // A search range saved on another network is not offered here.
    const uint64_t searchBroadcast = reg.ReadInt64Def("SearchBroadcastAddress", s.SearchBroadcastAddress);
    if ((searchBroadcast & state.NetworkMask) == state.NetworkAddress) {
      s.SearchBroadcastAddress = searchBroadcast;
      s.SearchBroadcastHost = reg.ReadStringDef("SearchBroadcastHost", "");
      s.SearchFromIpAddress = reg.ReadInt64Def("SearchFromIpAddress", s.SearchFromIpAddress);
      s.SearchToIpAddress = reg.ReadInt64Def("SearchToIpAddress", s.SearchToIpAddress);
      s.SearchPort = Low16(reg.ReadIntegerDef("SearchPort", s.SearchPort));
    }
    FRegistry.CloseKey();
  }

  std::vector<std::string> names;
  const std::string listKey = ListKeyToLoad();
  FRegistry.SetAccess(TRegAccess::Read);
  if (FRegistry.OpenKey(listKey, false)) {
    names = FRegistry.GetKeyNames();
    FRegistry.CloseKey();
  }
  const uint32_t defaultLocal = localAddresses.empty() ? 0 : StrToIp(localAddresses.front());
  for (const auto& name : OrderListSubkeys(std::move(names))) {
    if (!FRegistry.OpenKey(listKey + "\\" + name, false)) continue;
    const TRegistryX::TValues values = reg.ReadValues(kRecordValues);
    auto record = std::make_unique<THostRecord>();
    record->AssignComputerName(values.StringDef(kName, ""));
    record->MacAddress = values.Int64Def(kMac, 0);
    record->Password = values.Int64Def(kPassword, 0);
    record->BroadcastAddress = values.Int64Def(kBroadcast, 0);
    record->AssignBroadcastHost(values.StringDef(kBroadcastHost, ""));
    record->Port = Low16(values.IntegerDef(kPort, kDefaultPort));
    const auto stored32 = static_cast<uint32_t>(values.IntegerDef(kLocal, static_cast<int32_t>(defaultLocal)));
    record->LocalIpAddress = addressesKnown ? RepairLocalAddress(stored32, localAddresses) : stored32;
    state.HostList.push_back(std::move(record));
    FRegistry.CloseKey();
  }
  view.Bounds = stored;
}

bool TRegistryStore::Save(const TKestruneState& state, const TViewSettings& view) {
  bool complete = true;
  TRegistryX reg(FRegistry);
  FRegistry.SetRoot(TRegRoot::LocalMachine);
  FRegistry.SetAccess(TRegAccess::Write);
  if (FRegistry.OpenKey(kSettingsKey, false)) {
    auto dword = [&](const std::string& name, int64_t value) {
      complete &= FRegistry.WriteDword(name, static_cast<uint32_t>(value));
    };
    auto int64 = [&](const char* name, uint64_t value) { complete &= reg.WriteInt64(name, value); };
    auto text = [&](const char* name, const std::string& value) { complete &= FRegistry.WriteString(name, value); };
    const TSharedSettings& s = state.Settings;
    dword("FormLeft", view.Bounds.Left);
    dword("FormTop", view.Bounds.Top);
    dword("FormWidth", view.Bounds.Width);
    dword("FormHeight", view.Bounds.Height);
    dword("Promo", view.Promo ? 1 : 0);
    for (size_t n = 0; n < view.Columns.size(); ++n) dword("Columns" + std::to_string(n), view.Columns[n]);
    dword("Selection", view.Selection);
    int64("HostBroadcastAddress", s.HostBroadcastAddress);
    text("HostBroadcastHost", s.HostBroadcastHost);
    dword("HostPort", s.HostPort);
    int64("SearchFromIpAddress", s.SearchFromIpAddress);
    int64("SearchToIpAddress", s.SearchToIpAddress);
    int64("SearchBroadcastAddress", s.SearchBroadcastAddress);
    text("SearchBroadcastHost", s.SearchBroadcastHost);
    dword("SearchPort", s.SearchPort);
    FRegistry.CloseKey();
  }
  return SaveHosts(state.HostList) && complete;
}

namespace {

// A value written last into the staging key: its list is whole and may be loaded.
constexpr char kStagingCompleteValue[] = "Complete";

bool StagingComplete(IRegistryAccessor& registry) {
  registry.SetAccess(TRegAccess::Read);
  if (!registry.OpenKey(kListStagingKey, false)) return false;
  const auto mark = registry.ReadDword(kStagingCompleteValue);
  registry.CloseKey();
  return mark && *mark == 1;
}

bool HasSubkeys(IRegistryAccessor& registry, const char* key) {
  registry.SetAccess(TRegAccess::Read);
  if (!registry.OpenKey(key, false)) return false;
  const bool any = !registry.GetKeyNames().empty();
  registry.CloseKey();
  return any;
}

// One numbered subkey per record below key; a subkey that cannot be created is skipped.
bool WriteRecords(IRegistryAccessor& registry, const char* key, const THostList& list) {
  bool complete = true;
  TRegistryX reg(registry);
  registry.SetAccess(TRegAccess::All);
  for (size_t i = 0; i < list.size(); ++i) {
    if (!registry.OpenKey(std::string(key) + "\\" + ListSubkeyName(i), true)) {
      complete = false;
      continue;
    }
    const THostRecord& r = *list[i];
    complete &= registry.WriteDword("LocalIpAddress", r.LocalIpAddress);
    complete &= registry.WriteString("ComputerName", r.ComputerName);
    complete &= reg.WriteInt64("MacAddress", r.MacAddress);
    complete &= reg.WriteInt64("Password", r.Password);
    complete &= reg.WriteInt64("BroadcastAddress", r.BroadcastAddress);
    complete &= registry.WriteString("BroadcastHost", r.BroadcastHost);
    complete &= registry.WriteDword("Port", r.Port);
    registry.CloseKey();
  }
  return complete;
}

// Deletes every subkey of the list key, whatever its name, then writes the records.
bool ReplaceList(IRegistryAccessor& registry, const THostList& list) {
  bool complete = true;
  registry.SetAccess(TRegAccess::All);
  std::vector<std::string> old;
  if (registry.OpenKey(kListKey, false)) {
    old = registry.GetKeyNames();
    registry.CloseKey();
  }
  for (const auto& name : old) complete &= registry.DeleteKey(std::string(kListKey) + "\\" + name);
  return WriteRecords(registry, kListKey, list) && complete;
}

// The mark goes first: deleting a tree is not one step, and a half-deleted staging list must
// never be taken for a whole one.
bool RemoveStaging(IRegistryAccessor& registry) {
  registry.SetAccess(TRegAccess::All);
  if (!registry.KeyExists(kListStagingKey)) return true;
  bool removed = true;
  if (registry.OpenKey(kListStagingKey, false)) {
    if (registry.GetValueInfo(kStagingCompleteValue)) removed &= registry.DeleteValue(kStagingCompleteValue);
    registry.CloseKey();
  }
  return registry.DeleteKey(kListStagingKey) && removed;
}

}  // namespace

std::string TRegistryStore::ListKeyToLoad() {
  return StagingComplete(FRegistry) ? kListStagingKey : kListKey;
}

// The list is never gone: the new one is written whole beside the old one and marked, then
// the old one is replaced, then the copy removed. Whenever the program stops, either the list
// key holds a whole list or the marked copy does, and Load takes the marked copy first.
bool TRegistryStore::SaveHosts(const THostList& list) {
  FRegistry.SetRoot(TRegRoot::LocalMachine);
  if (StagingComplete(FRegistry)) {
    // The last save stopped while replacing: the marked copy is the whole list until this
    // replacement ends.
    const bool replaced = ReplaceList(FRegistry, list);
    return RemoveStaging(FRegistry) && replaced;
  }
  bool complete = RemoveStaging(FRegistry);
  // Nothing stored and nothing to store: a clean machine stays untouched.
  if (list.empty() && !HasSubkeys(FRegistry, kListKey)) return complete;

  FRegistry.SetAccess(TRegAccess::All);
  bool staged = false;
  if (FRegistry.OpenKey(kListStagingKey, true)) {
    FRegistry.CloseKey();
    staged = WriteRecords(FRegistry, kListStagingKey, list);
    FRegistry.SetAccess(TRegAccess::All);
    staged = staged && FRegistry.OpenKey(kListStagingKey, false);
    if (staged) {
      staged = FRegistry.WriteDword(kStagingCompleteValue, 1);
      FRegistry.CloseKey();
    }
  }
  // A copy that could not be written whole is not used; the list is still replaced as well
  // as the registry allows.
  complete &= ReplaceList(FRegistry, list);
  complete &= RemoveStaging(FRegistry);
  return complete && staged;
}

}  // namespace kst
