#include "listener/firewall.h"

#include <algorithm>
#include <cstdio>

namespace kst {
namespace {

constexpr std::string_view kDoNotAllowExceptions = "DoNotAllowExceptions";
constexpr std::string_view kRuleName = "Wake-On-LAN";
constexpr std::string_view kVellamarKey = "SOFTWARE\\Brindlecote\\Vellamar";
// Set in the outstanding changes key when Vellamar's own key was made for it, so that the
// key goes too once everything is undone.
constexpr std::string_view kOwnsParent = "OwnsParent";

struct TPortValue {
  std::string_view Name;
  std::string_view Text;
};
constexpr TPortValue kPortValues[] = {{"7:UDP", "7:UDP:*:Enabled:WOL7"}, {"9:UDP", "9:UDP:*:Enabled:WOL9"}};

std::string IndexName(size_t index) {
  char name[16];
  std::snprintf(name, sizeof name, "%04zu", index);
  return name;
}
std::string EarlierName(size_t index) { return IndexName(index) + ".Earlier"; }

std::string Join(std::string_view key, std::string_view what) {
  std::string entry(key);
  entry += '=';
  entry += what;
  return entry;
}

// Writes the change into the outstanding changes key at the list's next index.
bool Journal(IRegistryAccessor& registry, size_t index, const TFirewallChange& change) {
  const bool parentExisted = registry.KeyExists(kVellamarKey);
  if (!registry.OpenKey(kOutstandingChangesKey, true)) return false;
  bool ok = true;
  if (!parentExisted) ok = registry.WriteDword(kOwnsParent, 1);
  if (change.Earlier) ok = ok && registry.WriteRaw(EarlierName(index), change.Earlier->Type, change.Earlier->Data);
  ok = ok && registry.WriteString(IndexName(index), change.Entry);
  registry.CloseKey();
  return ok;
}

// Records the change, then reopens its key for the write.
bool RecordAndReopen(IRegistryAccessor& registry, std::string_view key, TFirewallChange change,
                     TFirewallChanges& changes) {
  registry.CloseKey();
  if (!Journal(registry, changes.size(), change)) return false;
  changes.push_back(std::move(change));
  return registry.OpenKey(key, false);
}

// Undoes one change; false when its key opened and the undo failed.
bool Undo(IRegistryAccessor& registry, const TFirewallChange& change) {
  const size_t at = change.Entry.find('=');
  if (at == std::string::npos) return true;
  const std::string_view key = std::string_view(change.Entry).substr(0, at);
  const std::string_view what = std::string_view(change.Entry).substr(at + 1);
  if (!registry.OpenKey(key, false)) return true;
  bool ok;
  if (what == kDoNotAllowExceptions)
    ok = registry.WriteDword(kDoNotAllowExceptions, 1);
  else if (change.Earlier)
    ok = registry.WriteRaw(what, change.Earlier->Type, change.Earlier->Data);
  else
    ok = registry.DeleteValue(what) || !registry.GetValueInfo(what);
  registry.CloseKey();
  return ok;
}

}  // namespace

uint8_t WindowsVersionCode(uint32_t major, uint32_t minor) {
  const auto code = static_cast<uint8_t>((major * 16) | minor);
  for (uint8_t known : {0x51, 0x52, 0x60, 0x61, 0x62, 0x63, 0xA0})
    if (code == known) return code;
  return 0;
}

std::string FirewallRuleText(uint8_t versionCode) {
  const char* prefix = nullptr;
  switch (versionCode) {
    case 0x60: prefix = "v2.0"; break;
    case 0x61: prefix = "v2.10"; break;
    case 0x62: prefix = "v2.20"; break;
    case 0x63: prefix = "v2.22"; break;
    case 0xA0: prefix = "v2.24"; break;
    default: return {};
  }
  return std::string(prefix) + "|Action=Allow|Active=TRUE|Dir=In|Protocol=17|LPort=7|LPort=9|Name=Wake-On-LAN|Edge=FALSE|";
}

std::optional<std::string> OpenFirewallPorts(IRegistryAccessor& registry, uint8_t versionCode,
                                             TFirewallChanges& changes) {
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  TRegistryX reg(registry);
  for (const std::string_view profile : kFirewallProfileKeys) {
    if (!registry.KeyExists(profile)) continue;
    if (registry.OpenKey(profile, false)) {
      const auto flag = registry.ReadDword(kDoNotAllowExceptions);
      if (flag && *flag != 0 && RecordAndReopen(registry, profile, {Join(profile, kDoNotAllowExceptions), {}}, changes)) {
        if (!registry.WriteDword(kDoNotAllowExceptions, 0)) {
          registry.CloseKey();
          return std::string(kDoNotAllowExceptions);
        }
      }
      registry.CloseKey();
    }
    if (versionCode != 0x51 && versionCode != 0x52) continue;
    const std::string list = std::string(profile) + "\\GloballyOpenPorts\\List";
    if (!registry.OpenKey(list, true)) continue;
    for (const auto& port : kPortValues) {
      if (reg.ReadStringDef(port.Name, "") == port.Text) continue;
      TFirewallChange change{Join(list, port.Name), {}};
      if (registry.GetValueInfo(port.Name)) {
        if (auto data = registry.ReadRaw(port.Name))
          change.Earlier = TEarlierValue{registry.GetValueInfo(port.Name)->Type, std::move(*data)};
      }
      if (!RecordAndReopen(registry, list, std::move(change), changes)) break;
      if (!registry.WriteString(port.Name, port.Text)) {
        registry.CloseKey();
        return std::string(port.Name);
      }
    }
    registry.CloseKey();
  }
  if (versionCode >= 0x60 && registry.KeyExists(kFirewallRulesKey) && registry.OpenKey(kFirewallRulesKey, false)) {
    if (!registry.GetValueInfo(kRuleName) &&
        RecordAndReopen(registry, kFirewallRulesKey, {Join(kFirewallRulesKey, kRuleName), {}}, changes) &&
        !registry.WriteString(kRuleName, FirewallRuleText(versionCode))) {
      registry.CloseKey();
      return std::string(kRuleName);
    }
    registry.CloseKey();
  }
  return std::nullopt;
}

void RestoreFirewall(IRegistryAccessor& registry, TFirewallChanges& changes) {
  if (changes.empty()) return;
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  TFirewallChanges failed;
  for (auto& change : changes)
    if (!Undo(registry, change)) failed.push_back(std::move(change));
  changes.clear();

  // The record now holds only what could not be undone.
  bool ownsParent = false;
  if (registry.OpenKey(kOutstandingChangesKey, false)) {
    ownsParent = registry.ReadDword(kOwnsParent).value_or(0) != 0;
    registry.CloseKey();
  }
  registry.DeleteKey(kOutstandingChangesKey);
  for (size_t i = 0; i < failed.size(); ++i) Journal(registry, i, failed[i]);
  if (failed.empty()) {
    if (ownsParent && registry.OpenKey(kVellamarKey, false) && registry.GetKeyNames().empty()) {
      registry.CloseKey();
      registry.DeleteKey(kVellamarKey);
    }
  } else if (ownsParent && registry.OpenKey(kOutstandingChangesKey, false)) {
    registry.WriteDword(kOwnsParent, 1);
  }
  registry.CloseKey();
}

void RestoreOutstandingChanges(IRegistryAccessor& registry) {
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  if (!registry.OpenKey(kOutstandingChangesKey, false)) return;
  TFirewallChanges changes;
  for (size_t i = 0;; ++i) {
    const auto entry = registry.ReadString(IndexName(i));
    if (!entry) break;
    TFirewallChange change{*entry, {}};
    const std::string earlier = EarlierName(i);
    if (const auto info = registry.GetValueInfo(earlier))
      if (auto data = registry.ReadRaw(earlier)) change.Earlier = TEarlierValue{info->Type, std::move(*data)};
    changes.push_back(std::move(change));
  }
  registry.CloseKey();
  if (changes.empty()) changes.push_back({});  // an empty record still goes
  RestoreFirewall(registry, changes);
}

void RestartFirewallService(uint8_t versionCode, const TServiceControlFactory& makeManager) {
  if (versionCode < 0x60) return;
  const auto manager = makeManager();
  if (!manager) return;
  constexpr std::string_view kService = "MpsSvc";
  if (manager->GetServiceState(kService) == 3 && manager->StopServiceAndWait(kService))
    manager->StartServiceAndWait(kService);
}

std::optional<std::string> AdjustFirewall(IRegistryAccessor& registry, uint8_t versionCode, bool admin,
                                          const TServiceControlFactory& makeManager, TFirewallChanges& changes) {
  auto failed = OpenFirewallPorts(registry, versionCode, changes);
  if (failed) return failed;
  if (admin) RestartFirewallService(versionCode, makeManager);
  return std::nullopt;
}

void WaitForState(const std::function<bool(TServiceStatus&)>& query, uint32_t wanted, TServiceStatus& status,
                  IWaitClock& clock) {
  if (!query(status)) return;
  uint32_t start = clock.TickCount();
  uint32_t checkPoint = status.CheckPoint;
  while (status.CurrentState != wanted) {
    clock.Sleep(std::clamp<uint32_t>(status.WaitHint / 10, 1000, 10000));
    if (!query(status)) return;
    if (status.CheckPoint > checkPoint) {
      checkPoint = status.CheckPoint;
      start = clock.TickCount();
    } else if (clock.TickCount() - start > status.WaitHint) {
      return;
    }
  }
}

}  // namespace kst
