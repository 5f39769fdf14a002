// Opening UDP ports 7 and 9 in the Windows Firewall while Vellamar runs, and undoing it: the
// decisions over the registry accessor and a small service interface, so that every Windows
// version is tested without Windows. The Win32 layer only supplies the registry, the service
// manager and the version code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netcore/registry.h"

namespace kst {

inline constexpr std::string_view kFirewallProfileKeys[] = {
    "\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\DomainProfile",
    "\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\StandardProfile",
    "\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\PublicProfile",
};
inline constexpr std::string_view kFirewallRulesKey =
    "\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";
// Where the changes not yet undone are kept, so that a run that was killed is undone by the next.
// Each change is a value "NNNN" (what to undo), with "NNNN.Owner" (the run that made it) and, when
// a value was replaced, "NNNN.Earlier". The record is machine-wide while a run's single-instance
// check is per session, so each run undoes only its own changes and those of runs that are gone.
inline constexpr std::string_view kOutstandingChangesKey = "SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges";

// The tag that names a run in the record: its process id and start time, since ids are reused.
std::string OwnerTag(uint32_t processId, uint64_t startTime);
struct TOwner {
  uint32_t ProcessId = 0;
  uint64_t StartTime = 0;
};
std::optional<TOwner> ParseOwnerTag(std::string_view tag);
// Whether the run a tag names still runs (the platform's answer).
using TOwnerRunning = std::function<bool(std::string_view tag)>;

// The version code for major.minor: (major * 16 | minor) & 0xFF for the versions the firewall
// code knows (5.1, 5.2, 6.0 to 6.3, 10.0), 0 for every other.
uint8_t WindowsVersionCode(uint32_t major, uint32_t minor);
// The rule text for a version code of 0x60 and above; empty for any other code.
std::string FirewallRuleText(uint8_t versionCode);

// One change made: Entry is "key=what to undo there". Earlier is the value that was there
// before (a port value with other text), put back instead of deleting.
struct TEarlierValue {
  uint32_t Type = kRegNone;
  std::vector<uint8_t> Data;
  bool operator==(const TEarlierValue&) const = default;
};
struct TFirewallChange {
  std::string Entry;
  std::optional<TEarlierValue> Earlier;
  std::string Slot;  // its value name in the record, once recorded
};
using TFirewallChanges = std::vector<TFirewallChange>;

// The service control manager as the restart uses it.
class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  // 0 stopped, 1 start pending, 2 stop pending, 3 running, 4 continue pending, 5 pause pending,
  // 6 paused, 7 any other state or the state could not be read.
  virtual int GetServiceState(std::string_view name) = 0;
  virtual bool StopServiceAndWait(std::string_view name) = 0;
  virtual bool StartServiceAndWait(std::string_view name) = 0;
};
using TServiceControlFactory = std::function<std::unique_ptr<IServiceControl>()>;

// A change that could not be undone: it stays in the record, and a later start tries again.
struct TFirewallLeftover {
  enum class TWhy { KeyNotOpened, NotWritten, NotDeleted, ServiceNotStarted };
  std::string Entry;
  TWhy Why = TWhy::KeyNotOpened;
  bool operator==(const TFirewallLeftover&) const = default;
};
using TFirewallLeftovers = std::vector<TFirewallLeftover>;
// The log line that tells the user which change stays and why.
std::string LeftoverText(const TFirewallLeftover& leftover);

// Writes the firewall values for the version code, recording each change (first in the
// outstanding changes key, after every entry already there, under the owner's tag; then in
// changes) before it is made. A change that cannot be recorded is not made. Nothing on success;
// on a failed write after its key opened, the value's name.
std::optional<std::string> OpenFirewallPorts(IRegistryAccessor& registry, uint8_t versionCode, std::string_view owner,
                                             TFirewallChanges& changes);
// Undoes every change in list order and empties the list. Only a change whose key or value no
// longer exists counts as undone without being undone; each change undone leaves the record,
// one that cannot be undone stays there and is returned. Once the record is empty, it goes, and
// with it Vellamar's key and "SOFTWARE\Brindlecote" when nothing else is in them. makeManager
// is asked only for a service restart that did not end.
TFirewallLeftovers RestoreFirewall(IRegistryAccessor& registry, TFirewallChanges& changes,
                                   const TServiceControlFactory& makeManager);
// Undoes what runs that no longer run recorded and did not undo (killed or crashed); the
// changes of a run that still runs (in another session) are left to it.
TFirewallLeftovers RestoreOutstandingChanges(IRegistryAccessor& registry, const TOwnerRunning& running,
                                             const TServiceControlFactory& makeManager);

// On 6.0 and later restarts "MpsSvc" when it runs: stop and wait, and start only after a stop
// that succeeded. A stopped service stays stopped. The restart is a change like the others:
// recorded before the stop (not made when it cannot be), and taken out of the record once the
// service runs again; until then a start or the exit starts the service.
void RestartFirewallService(IRegistryAccessor& registry, uint8_t versionCode, const TServiceControlFactory& makeManager,
                            std::string_view owner, TFirewallChanges& changes);

// What the Firewall button does: the ports, then the restart for an administrator. Nothing on
// success; the value that failed to be written otherwise (the restart is then left out).
std::optional<std::string> AdjustFirewall(IRegistryAccessor& registry, uint8_t versionCode, bool admin,
                                          const TServiceControlFactory& makeManager, std::string_view owner,
                                          TFirewallChanges& changes);

// A service status as the wait reads it.
struct TServiceStatus {
  uint32_t CurrentState = 0;
  uint32_t CheckPoint = 0;
  uint32_t WaitHint = 0;
};
class IWaitClock {
 public:
  virtual ~IWaitClock() = default;
  virtual uint32_t TickCount() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};
// Queries until the status shows the wanted state, pausing a tenth of the wait hint (1 to 10
// seconds) between queries; gives up when the check point has not grown for longer than the
// wait hint or a query fails. The caller reads the outcome from status.
void WaitForState(const std::function<bool(TServiceStatus&)>& query, uint32_t wanted, TServiceStatus& status,
                  IWaitClock& clock);

}  // namespace kst
