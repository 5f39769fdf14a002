#include "listener/firewall.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace kst {
namespace {

constexpr std::string_view kDoNotAllowExceptions = "DoNotAllowExceptions";
constexpr std::string_view kRuleName = "Wake-On-LAN";
// Vellamar keeps no settings: these keys hold only the record, and go with it when empty.
constexpr std::string_view kRecordParents[] = {"SOFTWARE\\Brindlecote\\Vellamar", "SOFTWARE\\Brindlecote"};
constexpr std::string_view kOwnerSuffix = ".Owner";
constexpr std::string_view kEarlierSuffix = ".Earlier";
constexpr std::string_view kFirewallService = "MpsSvc";
// The entry of a restart under way: undone by starting the service. No key name is like it.
constexpr std::string_view kServiceEntry = "Service MpsSvc=Start";

struct TPortValue {
  std::string_view Name;
  std::string_view Text;
};
constexpr TPortValue kPortValues[] = {{"7:UDP", "7:UDP:*:Enabled:WOL7"}, {"9:UDP", "9:UDP:*:Enabled:WOL9"}};

std::string IndexName(size_t index) {
  char name[24];
  std::snprintf(name, sizeof name, "%04zu", index);
  return name;
}

// The number of an entry's value name ("0012"); nothing for the values beside it.
std::optional<size_t> SlotNumber(std::string_view name) {
  if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  size_t number = 0;
  std::from_chars(name.data(), name.data() + name.size(), number);
  return number;
}

std::string Join(std::string_view key, std::string_view what) {
  std::string entry(key);
  entry += '=';
  entry += what;
  return entry;
}

// Writes the change into the record after every entry there, so that an entry a start could not
// undo, or another run's, is never overwritten; the entry itself last, as the rest belongs to it.
bool Journal(IRegistryAccessor& registry, std::string_view owner, TFirewallChange& change) {
  if (!registry.OpenKey(kOutstandingChangesKey, true)) return false;
  size_t next = 0;
  for (const auto& name : registry.GetValueNames())
    if (const auto number = SlotNumber(name.substr(0, name.find('.')))) next = std::max(next, *number + 1);
  const std::string slot = IndexName(next);
  bool ok = registry.WriteString(slot + std::string(kOwnerSuffix), owner);
  if (change.Earlier)
    ok = ok && registry.WriteRaw(slot + std::string(kEarlierSuffix), change.Earlier->Type, change.Earlier->Data);
  ok = ok && registry.WriteString(slot, change.Entry);
  registry.CloseKey();
  if (ok) change.Slot = slot;
  return ok;
}

// Records the change, then reopens its key for the write.
bool RecordAndReopen(IRegistryAccessor& registry, std::string_view key, std::string_view owner, TFirewallChange change,
                     TFirewallChanges& changes) {
  registry.CloseKey();
  if (!Journal(registry, owner, change)) return false;
  changes.push_back(std::move(change));
  return registry.OpenKey(key, false);
}

// Takes an undone change out of the record.
void Forget(IRegistryAccessor& registry, const std::string& slot) {
  if (slot.empty() || !registry.OpenKey(kOutstandingChangesKey, false)) return;
  registry.DeleteValue(slot);
  registry.DeleteValue(slot + std::string(kEarlierSuffix));
  registry.DeleteValue(slot + std::string(kOwnerSuffix));
  registry.CloseKey();
}

bool HasNoValues(IRegistryAccessor& registry, std::string_view key) {
  if (!registry.OpenKey(key, false)) return false;
  const bool none = registry.GetValueNames().empty();
  registry.CloseKey();
  return none;
}

// Once no entry is left, nothing of the record stays: its key, and the keys above it that hold
// nothing else. Kestrune creates its settings below "SOFTWARE\Brindlecote" whenever it likes, so
// a key goes only in the one step that the registry refuses for a key with subkeys; the values
// checked first are written only by runs holding the lock.
void RemoveEmptyRecord(IRegistryAccessor& registry) {
  if (registry.OpenKey(kOutstandingChangesKey, false)) {
    bool entries = !registry.GetKeyNames().empty();
    for (const auto& name : registry.GetValueNames()) entries = entries || SlotNumber(name).has_value();
    registry.CloseKey();
    // What is left besides entries belongs to none (an owner written before its entry failed).
    if (entries || !registry.DeleteLeafKey(kOutstandingChangesKey)) return;
  }
  for (const std::string_view parent : kRecordParents)
    if (!HasNoValues(registry, parent) || !registry.DeleteLeafKey(parent)) return;
}

using TWhy = TFirewallLeftover::TWhy;

// Undoes one change; nothing when it is undone or there is nothing left to undo (its key or
// value no longer exists), otherwise why it stays. The service manager is made when first needed.
std::optional<TWhy> Undo(IRegistryAccessor& registry, const TFirewallChange& change,
                         const TServiceControlFactory& makeManager, std::unique_ptr<IServiceControl>& manager) {
  if (change.Entry == kServiceEntry) {
    if (!manager && makeManager) manager = makeManager();
    if (manager && (manager->GetServiceState(kFirewallService) == 3 || manager->StartServiceAndWait(kFirewallService)))
      return std::nullopt;
    return TWhy::ServiceNotStarted;
  }
  const size_t at = change.Entry.find('=');
  if (at == std::string::npos) return std::nullopt;
  const std::string_view key = std::string_view(change.Entry).substr(0, at);
  const std::string_view what = std::string_view(change.Entry).substr(at + 1);
  // A key that is there but does not open (access denied) still holds the change.
  if (!registry.OpenKey(key, false)) return registry.KeyExists(key) ? std::optional(TWhy::KeyNotOpened) : std::nullopt;
  std::optional<TWhy> why;
  if (what == kDoNotAllowExceptions) {
    if (!registry.WriteDword(kDoNotAllowExceptions, 1)) why = TWhy::NotWritten;
  } else if (change.Earlier) {
    if (!registry.WriteRaw(what, change.Earlier->Type, change.Earlier->Data)) why = TWhy::NotWritten;
  } else if (!registry.DeleteValue(what) && registry.GetValueInfo(what)) {
    why = TWhy::NotDeleted;
  }
  registry.CloseKey();
  return why;
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

std::string OwnerTag(uint32_t processId, uint64_t startTime) {
  return std::to_string(processId) + '/' + std::to_string(startTime);
}

std::optional<TOwner> ParseOwnerTag(std::string_view tag) {
  const size_t slash = tag.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  TOwner owner;
  const char* end = tag.data() + slash;
  if (std::from_chars(tag.data(), end, owner.ProcessId).ptr != end) return std::nullopt;
  end = tag.data() + tag.size();
  if (slash + 1 == tag.size() || std::from_chars(tag.data() + slash + 1, end, owner.StartTime).ptr != end)
    return std::nullopt;
  return owner;
}

std::optional<std::string> OpenFirewallPorts(IRegistryAccessor& registry, uint8_t versionCode, std::string_view owner,
                                             TFirewallChanges& changes) {
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  TRegistryX reg(registry);
  for (const std::string_view profile : kFirewallProfileKeys) {
    if (!registry.KeyExists(profile)) continue;
    if (registry.OpenKey(profile, false)) {
      const auto flag = registry.ReadDword(kDoNotAllowExceptions);
      if (flag && *flag != 0 && RecordAndReopen(registry, profile, owner, {Join(profile, kDoNotAllowExceptions), {}, {}}, changes)) {
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
      TFirewallChange change{Join(list, port.Name), {}, {}};
      if (registry.GetValueInfo(port.Name)) {
        if (auto data = registry.ReadRaw(port.Name))
          change.Earlier = TEarlierValue{registry.GetValueInfo(port.Name)->Type, std::move(*data)};
      }
      if (!RecordAndReopen(registry, list, owner, std::move(change), changes)) break;
      if (!registry.WriteString(port.Name, port.Text)) {
        registry.CloseKey();
        return std::string(port.Name);
      }
    }
    registry.CloseKey();
  }
  if (versionCode >= 0x60 && registry.KeyExists(kFirewallRulesKey) && registry.OpenKey(kFirewallRulesKey, false)) {
    if (!registry.GetValueInfo(kRuleName) &&
        RecordAndReopen(registry, kFirewallRulesKey, owner, {Join(kFirewallRulesKey, kRuleName), {}, {}}, changes) &&
        !registry.WriteString(kRuleName, FirewallRuleText(versionCode))) {
      registry.CloseKey();
      return std::string(kRuleName);
    }
    registry.CloseKey();
  }
  return std::nullopt;
}

std::string LeftoverText(const TFirewallLeftover& leftover) {
  const std::string_view entry = leftover.Entry;
  const size_t at = entry.find('=');
  const std::string_view key = entry.substr(0, at);
  const std::string_view what = at == std::string_view::npos ? std::string_view() : entry.substr(at + 1);
  std::string change;
  if (entry == kServiceEntry)
    change = "the firewall service " + std::string(kFirewallService) + " stays stopped";
  else if (what == kDoNotAllowExceptions)
    change = std::string(kDoNotAllowExceptions) + " stays 0 in " + std::string(key);
  else
    change = "the value " + std::string(what) + " stays in " + std::string(key);
  const char* why = "";
  switch (leftover.Why) {
    case TWhy::KeyNotOpened: why = "its key cannot be opened"; break;
    case TWhy::NotWritten: why = "it cannot be written"; break;
    case TWhy::NotDeleted: why = "it cannot be deleted"; break;
    case TWhy::ServiceNotStarted: why = "the service does not start"; break;
  }
  return "Firewall change not undone: " + change + " (" + why + "). Vellamar tries again at its next start.";
}

TFirewallLeftovers RestoreFirewall(IRegistryAccessor& registry, TFirewallChanges& changes,
                                   const TServiceControlFactory& makeManager) {
  TFirewallLeftovers leftovers;
  if (changes.empty()) return leftovers;
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  std::unique_ptr<IServiceControl> manager;
  for (const auto& change : changes) {
    if (const auto why = Undo(registry, change, makeManager, manager))
      leftovers.push_back({change.Entry, *why});
    else
      Forget(registry, change.Slot);
  }
  changes.clear();
  RemoveEmptyRecord(registry);
  return leftovers;
}

TFirewallLeftovers RestoreOutstandingChanges(IRegistryAccessor& registry, const TOwnerRunning& running,
                                             const TServiceControlFactory& makeManager) {
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  if (!registry.OpenKey(kOutstandingChangesKey, false)) return {};
  std::vector<std::pair<size_t, TFirewallChange>> found;
  for (const auto& name : registry.GetValueNames()) {
    const auto number = SlotNumber(name);
    if (!number) continue;
    // A record without an owner comes from an older version, whose run is gone.
    const auto owner = registry.ReadString(name + std::string(kOwnerSuffix));
    if (owner && running(*owner)) continue;
    TFirewallChange change{registry.ReadString(name).value_or(""), {}, name};
    const std::string earlier = name + std::string(kEarlierSuffix);
    if (const auto value = registry.ReadValue(earlier)) change.Earlier = TEarlierValue{value->Type, value->Data};
    found.emplace_back(*number, std::move(change));
  }
  registry.CloseKey();
  // Undone in the order they were made.
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  TFirewallChanges changes;
  for (auto& [number, change] : found) changes.push_back(std::move(change));
  auto leftovers = RestoreFirewall(registry, changes, makeManager);
  RemoveEmptyRecord(registry);  // also a record with no entry left in it
  return leftovers;
}

void RestartFirewallService(IRegistryAccessor& registry, uint8_t versionCode, const TServiceControlFactory& makeManager,
                            std::string_view owner, TFirewallChanges& changes) {
  if (versionCode < 0x60) return;
  const auto manager = makeManager();
  if (!manager || manager->GetServiceState(kFirewallService) != 3) return;
  // Recorded first: a run killed while the service is stopped leaves it to the next start.
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::All);
  TFirewallChange change{std::string(kServiceEntry), {}, {}};
  if (!Journal(registry, owner, change)) return;
  if (manager->StopServiceAndWait(kFirewallService)) manager->StartServiceAndWait(kFirewallService);
  if (manager->GetServiceState(kFirewallService) != 3) {
    changes.push_back(std::move(change));
    return;
  }
  Forget(registry, change.Slot);
  RemoveEmptyRecord(registry);
}

std::optional<std::string> AdjustFirewall(IRegistryAccessor& registry, uint8_t versionCode, bool admin,
                                          const TServiceControlFactory& makeManager, std::string_view owner,
                                          TFirewallChanges& changes) {
  auto failed = OpenFirewallPorts(registry, versionCode, owner, changes);
  if (failed) return failed;
  if (admin) RestartFirewallService(registry, versionCode, makeManager, owner, changes);
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
