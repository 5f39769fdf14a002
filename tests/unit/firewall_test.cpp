#include "listener/firewall.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "listener/firewall_session.h"

namespace kst {
namespace {

const std::string kPolicy = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\";
const std::string kDomain = "\\" + kPolicy + "DomainProfile";
const std::string kStandard = "\\" + kPolicy + "StandardProfile";
const std::string kPublic = "\\" + kPolicy + "PublicProfile";
const std::string kRules = "\\" + kPolicy + "FirewallRules";
const std::string kDomainList = kDomain + "\\GloballyOpenPorts\\List";
const std::string kStandardList = kStandard + "\\GloballyOpenPorts\\List";
const std::string kRule10 =
    "v2.24|Action=Allow|Active=TRUE|Dir=In|Protocol=17|LPort=7|LPort=9|Name=Wake-On-LAN|Edge=FALSE|";

class Firewall : public ::testing::Test {
 protected:
  void SetDword(const std::string& key, const std::string& name, uint32_t value) {
    ASSERT_TRUE(FReg->OpenKey(key, true));
    ASSERT_TRUE(FReg->WriteDword(name, value));
    FReg->CloseKey();
  }
  void SetString(const std::string& key, const std::string& name, const std::string& value) {
    ASSERT_TRUE(FReg->OpenKey(key, true));
    ASSERT_TRUE(FReg->WriteString(name, value));
    FReg->CloseKey();
  }
  std::optional<uint32_t> Dword(const std::string& key, const std::string& name) {
    if (!FReg->OpenKey(key, false)) return std::nullopt;
    auto value = FReg->ReadDword(name);
    FReg->CloseKey();
    return value;
  }
  std::optional<std::string> String(const std::string& key, const std::string& name) {
    if (!FReg->OpenKey(key, false)) return std::nullopt;
    auto value = FReg->ReadString(name);
    FReg->CloseKey();
    return value;
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (const auto& change : FChanges) entries.push_back(change.Entry);
    return entries;
  }
  bool NothingOutstanding() {
    return !FReg->KeyExists("SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges") &&
           !FReg->KeyExists("SOFTWARE\\Brindlecote\\Vellamar") && !FReg->KeyExists("SOFTWARE\\Brindlecote");
  }

  std::unique_ptr<IRegistryAccessor> FReg = MakeMemoryRegistry();
  TFirewallChanges FChanges;
};

TEST_F(Firewall, XpTwoProfilesSixChangesAllUndone) {
  SetDword(kDomain, "DoNotAllowExceptions", 1);
  SetDword(kStandard, "DoNotAllowExceptions", 1);
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0x51, "4/1", FChanges), std::nullopt);
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           kDomain + "=DoNotAllowExceptions", kDomainList + "=7:UDP", kDomainList + "=9:UDP",
                           kStandard + "=DoNotAllowExceptions", kStandardList + "=7:UDP", kStandardList + "=9:UDP"}));
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 0u);
  EXPECT_EQ(String(kStandardList, "9:UDP"), "9:UDP:*:Enabled:WOL9");
  EXPECT_FALSE(FReg->KeyExists(kPublic));
  EXPECT_FALSE(NothingOutstanding());

  RestoreFirewall(*FReg, FChanges, {});
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(String(kDomainList, "7:UDP"), std::nullopt);
  EXPECT_EQ(String(kStandardList, "9:UDP"), std::nullopt);
  EXPECT_TRUE(NothingOutstanding());
}

TEST_F(Firewall, Windows10RuleWrittenOnceAndDeletedAtExit) {
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  FReg->CloseKey();
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0xA0, "4/1", FChanges), std::nullopt);
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), kRule10);
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0xA0, "4/1", FChanges), std::nullopt);
  EXPECT_EQ(Entries(), std::vector<std::string>{kRules + "=Wake-On-LAN"});
  EXPECT_FALSE(FReg->KeyExists(kDomainList));
  RestoreFirewall(*FReg, FChanges, {});
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_TRUE(NothingOutstanding());
  EXPECT_EQ(FirewallRuleText(0x60).substr(0, 5), "v2.0|");
  EXPECT_EQ(FirewallRuleText(0x61).substr(0, 6), "v2.10|");
  EXPECT_EQ(FirewallRuleText(0x62).substr(0, 6), "v2.20|");
  EXPECT_EQ(FirewallRuleText(0x63).substr(0, 6), "v2.22|");
}

TEST_F(Firewall, ExistingRuleAndFlagsThatAreNotNonZeroDwordsAreLeftAlone) {
  SetString(kRules, "Wake-On-LAN", "the user's own");
  SetString(kDomain, "DoNotAllowExceptions", "1");
  SetDword(kStandard, "DoNotAllowExceptions", 0);
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0x61, "4/1", FChanges), std::nullopt);
  EXPECT_TRUE(FChanges.empty());
  RestoreFirewall(*FReg, FChanges, {});
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), "the user's own");
  EXPECT_EQ(String(kDomain, "DoNotAllowExceptions"), "1");
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 0u);
}

TEST_F(Firewall, OtherVersionsClearOnlyTheFlag) {
  SetDword(kPublic, "DoNotAllowExceptions", 5);
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  FReg->CloseKey();
  EXPECT_EQ(WindowsVersionCode(5, 0), 0);
  EXPECT_EQ(WindowsVersionCode(10, 0), 0xA0);
  EXPECT_EQ(WindowsVersionCode(6, 4), 0);
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0, "4/1", FChanges), std::nullopt);
  EXPECT_EQ(Entries(), std::vector<std::string>{kPublic + "=DoNotAllowExceptions"});
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_FALSE(FReg->KeyExists(kPublic + "\\GloballyOpenPorts"));
}

TEST_F(Firewall, EarlierPortTextComesBackAndOnlyNewValuesAreDeleted) {
  SetString(kDomainList, "7:UDP", "7:UDP:LocalSubNet:Enabled:Echo");
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0x52, "4/1", FChanges), std::nullopt);
  EXPECT_EQ(String(kDomainList, "7:UDP"), "7:UDP:*:Enabled:WOL7");
  RestoreFirewall(*FReg, FChanges, {});
  EXPECT_EQ(String(kDomainList, "7:UDP"), "7:UDP:LocalSubNet:Enabled:Echo");
  EXPECT_EQ(String(kDomainList, "9:UDP"), std::nullopt);
  EXPECT_TRUE(NothingOutstanding());
}

TEST_F(Firewall, KilledRunIsUndoneAtTheNextStart) {
  SetDword(kDomain, "DoNotAllowExceptions", 1);
  SetString(kDomainList, "9:UDP", "9:UDP:*:Disabled:Mine");
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0x51, "4/1", FChanges), std::nullopt);
  FChanges.clear();  // the process is gone; only the registry remembers
  RestoreOutstandingChanges(*FReg, [](std::string_view) { return false; }, {});
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(String(kDomainList, "7:UDP"), std::nullopt);
  EXPECT_EQ(String(kDomainList, "9:UDP"), "9:UDP:*:Disabled:Mine");
  EXPECT_TRUE(NothingOutstanding());
}

// The test's registry as the platform can make it: writes of one value name fail (a value with
// rights of its own), one key is there but does not open (access denied), and another program
// may be at work just before a key is deleted.
class THookedRegistry final : public IRegistryAccessor {
 public:
  explicit THookedRegistry(IRegistryAccessor& inner) : FInner(inner) {}
  void SetRoot(TRegRoot root) override { FInner.SetRoot(root); }
  void SetAccess(TRegAccess access) override { FInner.SetAccess(access); }
  bool OpenKey(std::string_view path, bool canCreate) override {
    if (!DeniedKey.empty() && NormalizeKeyPath(path) == NormalizeKeyPath(DeniedKey)) {
      FInner.CloseKey();
      return false;
    }
    return FInner.OpenKey(path, canCreate);
  }
  bool KeyExists(std::string_view path) override { return FInner.KeyExists(path); }
  void CloseKey() override { FInner.CloseKey(); }
  std::vector<std::string> GetKeyNames() override { return FInner.GetKeyNames(); }
  std::vector<std::string> GetValueNames() override { return FInner.GetValueNames(); }
  bool DeleteKey(std::string_view path) override {
    if (BeforeDelete) BeforeDelete(path);
    return FInner.DeleteKey(path);
  }
  bool DeleteLeafKey(std::string_view path) override {
    if (BeforeDelete) BeforeDelete(path);
    return FInner.DeleteLeafKey(path);
  }
  std::optional<TRegValueInfo> GetValueInfo(std::string_view name) override { return FInner.GetValueInfo(name); }
  std::optional<std::vector<uint8_t>> ReadRaw(std::string_view name) override { return FInner.ReadRaw(name); }
  bool WriteRaw(std::string_view name, uint32_t type, std::span<const uint8_t> data) override {
    return name != RefusedValue && FInner.WriteRaw(name, type, data);
  }
  bool DeleteValue(std::string_view name) override { return FInner.DeleteValue(name); }

  std::string RefusedValue;
  std::string DeniedKey;
  std::function<void(std::string_view path)> BeforeDelete;

 private:
  IRegistryAccessor& FInner;
};

TEST_F(Firewall, FailedWriteEndsTheClickAndWhatWasDoneIsStillUndone) {
  THookedRegistry reg(*FReg);
  reg.RefusedValue = "9:UDP";
  SetDword(kDomain, "DoNotAllowExceptions", 1);
  EXPECT_EQ(OpenFirewallPorts(reg, 0x51, "4/1", FChanges), "9:UDP");
  EXPECT_EQ(Entries(), (std::vector<std::string>{kDomain + "=DoNotAllowExceptions", kDomainList + "=7:UDP",
                                                  kDomainList + "=9:UDP"}));
  RestoreFirewall(reg, FChanges, {});
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(String(kDomainList, "7:UDP"), std::nullopt);
  EXPECT_TRUE(NothingOutstanding());
}

// Two runs share the machine-wide record (another session's Vellamar): a start undoes only what
// runs that are gone left, each exit only its own, and nothing stays once all is undone, except
// the keys that hold something else.
TEST_F(Firewall, StartUndoesOnlyRunsThatAreGoneAndTheRecordGoesWithTheLastExit) {
  SetDword(kDomain, "DoNotAllowExceptions", 1);
  SetDword(kStandard, "DoNotAllowExceptions", 0);
  SetDword("SOFTWARE\\Brindlecote\\Kestrune", "Promo", 1);
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  TFirewallChanges other;  // the run in the other session, still running
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0xA0, "8/20", other), std::nullopt);
  const std::string record = "SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges";
  SetString(record, "0007", kStandard + "=DoNotAllowExceptions");  // left by a killed run
  SetString(record, "0007.Owner", "12/30");

  RestoreOutstandingChanges(*FReg, [](std::string_view tag) { return tag == "8/20"; }, {});
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 0u);
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), kRule10);
  EXPECT_EQ(String(record, "0000"), kDomain + "=DoNotAllowExceptions");
  EXPECT_EQ(String(record, "0001.Owner"), "8/20");
  EXPECT_EQ(String(record, "0007"), std::nullopt);

  // This run's click records after the other's entries; each exit undoes only its own.
  EXPECT_EQ(OpenFirewallPorts(*FReg, 0xA0, "16/40", FChanges), std::nullopt);
  ASSERT_EQ(FChanges.size(), 1u);
  EXPECT_EQ(FChanges[0].Slot, "0002");
  EXPECT_EQ(String(record, "0002.Owner"), "16/40");
  RestoreFirewall(*FReg, other, {});
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 0u);
  EXPECT_EQ(String(record, "0002"), kStandard + "=DoNotAllowExceptions");
  RestoreFirewall(*FReg, FChanges, {});
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 1u);
  EXPECT_FALSE(FReg->KeyExists("SOFTWARE\\Brindlecote\\Vellamar"));
  EXPECT_EQ(Dword("SOFTWARE\\Brindlecote\\Kestrune", "Promo"), 1u);  // its parent stays for it
}

TEST_F(Firewall, LeftoverThatCannotBeUndoneIsKeptThroughTheNextClickAndExit) {
  THookedRegistry reg(*FReg);
  reg.RefusedValue = "7:UDP";
  const std::string record = "SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges";
  SetString(kDomainList, "7:UDP", "7:UDP:*:Enabled:WOL7");
  SetString(record, "0000", kDomainList + "=7:UDP");
  SetString(record, "0000.Earlier", "7:UDP:*:Enabled:Mine");
  SetString(record, "0000.Owner", "12/30");
  ASSERT_TRUE(FReg->OpenKey(kRules, true));

  const auto gone = [](std::string_view) { return false; };
  // The earlier text cannot be put back.
  EXPECT_EQ(RestoreOutstandingChanges(reg, gone, {}),
            (TFirewallLeftovers{{kDomainList + "=7:UDP", TFirewallLeftover::TWhy::NotWritten}}));
  EXPECT_EQ(OpenFirewallPorts(reg, 0xA0, "16/40", FChanges), std::nullopt);
  ASSERT_EQ(FChanges.size(), 1u);
  EXPECT_EQ(FChanges[0].Slot, "0001");
  EXPECT_TRUE(RestoreFirewall(reg, FChanges, {}).empty());
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_EQ(String(record, "0000"), kDomainList + "=7:UDP");
  EXPECT_EQ(String(record, "0000.Earlier"), "7:UDP:*:Enabled:Mine");
  EXPECT_EQ(String(record, "0001"), std::nullopt);

  RestoreOutstandingChanges(*FReg, gone, {});  // once it can be, a start puts it back
  EXPECT_EQ(String(kDomainList, "7:UDP"), "7:UDP:*:Enabled:Mine");
  EXPECT_TRUE(NothingOutstanding());
}

// The firewall service: stopped or running, with calls that fail as the test says; a start that
// kills the run ends it right there, as a run killed between the stop and the start.
struct TKilled {};
class TFakeServices final : public IServiceControl {
 public:
  TFakeServices(std::vector<std::string>& calls, bool& running, bool stops, bool starts = true, bool killed = false)
      : FCalls(calls), FRunning(running), FStops(stops), FStarts(starts), FKilled(killed) {}
  int GetServiceState(std::string_view name) override {
    FCalls.push_back("state " + std::string(name));
    return FRunning ? 3 : 0;
  }
  bool StopServiceAndWait(std::string_view name) override {
    FCalls.push_back("stop " + std::string(name));
    if (FStops) FRunning = false;
    return FStops;
  }
  bool StartServiceAndWait(std::string_view name) override {
    if (FKilled) throw TKilled{};
    FCalls.push_back("start " + std::string(name));
    if (FStarts) FRunning = true;
    return FStarts;
  }

 private:
  std::vector<std::string>& FCalls;
  bool& FRunning;
  bool FStops, FStarts, FKilled;
};

TEST(FirewallService, RestartOnlyForAdminsOnVistaAndLaterAfterAStop) {
  std::vector<std::string> calls;
  bool running = true;
  auto factory = [&](bool stops) {
    return [&calls, &running, stops] { return std::make_unique<TFakeServices>(calls, running, stops); };
  };
  auto reg = MakeMemoryRegistry();
  TFirewallChanges changes;
  AdjustFirewall(*reg, 0xA0, true, factory(true), "4/1", changes);
  EXPECT_EQ(calls, (std::vector<std::string>{"state MpsSvc", "stop MpsSvc", "start MpsSvc", "state MpsSvc"}));
  calls.clear();
  AdjustFirewall(*reg, 0xA0, true, factory(false), "4/1", changes);
  EXPECT_EQ(calls, (std::vector<std::string>{"state MpsSvc", "stop MpsSvc", "state MpsSvc"}));
  EXPECT_TRUE(changes.empty());  // running again (or still): nothing left to undo
  EXPECT_FALSE(reg->KeyExists("SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges\\"));
  calls.clear();
  running = false;
  AdjustFirewall(*reg, 0x60, true, factory(true), "4/1", changes);
  EXPECT_EQ(calls, std::vector<std::string>{"state MpsSvc"});
  calls.clear();
  running = true;
  AdjustFirewall(*reg, 0xA0, false, factory(true), "4/1", changes);
  AdjustFirewall(*reg, 0x52, true, factory(true), "4/1", changes);
  EXPECT_TRUE(calls.empty());
}

TEST_F(Firewall, ServiceStoppedByAKilledRunIsStartedByTheNextStart) {
  std::vector<std::string> calls;
  bool running = true;
  auto services = [&](bool starts, bool killed) -> TServiceControlFactory {
    return [&calls, &running, starts, killed] {
      return std::make_unique<TFakeServices>(calls, running, true, starts, killed);
    };
  };
  EXPECT_THROW(RestartFirewallService(*FReg, 0xA0, services(true, true), "4/1", FChanges), TKilled);
  EXPECT_FALSE(running);
  const auto gone = [](std::string_view) { return false; };
  // The next start cannot start it either: it stays recorded, and the user is told.
  calls.clear();
  const auto leftovers = RestoreOutstandingChanges(*FReg, gone, services(false, false));
  ASSERT_EQ(leftovers.size(), 1u);
  EXPECT_EQ(LeftoverText(leftovers[0]),
            "Firewall change not undone: the firewall service MpsSvc stays stopped (the service does not start). "
            "Vellamar tries again at its next start.");
  EXPECT_FALSE(NothingOutstanding());
  calls.clear();
  EXPECT_TRUE(RestoreOutstandingChanges(*FReg, gone, services(true, false)).empty());
  EXPECT_EQ(calls, (std::vector<std::string>{"state MpsSvc", "start MpsSvc"}));
  EXPECT_TRUE(running);
  EXPECT_TRUE(NothingOutstanding());
}

// Undo counts a change as done only where its key or value is gone; a key that does not open
// keeps the change in the record, and each start tells the user and tries again.
TEST_F(Firewall, AccessDeniedOnUndoKeepsTheChangeForTheNextStart) {
  THookedRegistry reg(*FReg);
  SetDword(kDomain, "DoNotAllowExceptions", 1);
  SetDword(kStandard, "DoNotAllowExceptions", 1);
  EXPECT_EQ(OpenFirewallPorts(reg, 0x52, "4/1", FChanges), std::nullopt);
  ASSERT_EQ(FChanges.size(), 6u);
  FReg->DeleteKey(kDomain + "\\GloballyOpenPorts");  // removed by someone else: nothing left to undo
  reg.DeniedKey = kStandardList;
  using TWhy = TFirewallLeftover::TWhy;
  EXPECT_EQ(RestoreFirewall(reg, FChanges, {}), (TFirewallLeftovers{{kStandardList + "=7:UDP", TWhy::KeyNotOpened},
                                                                    {kStandardList + "=9:UDP", TWhy::KeyNotOpened}}));
  EXPECT_EQ(Dword(kDomain, "DoNotAllowExceptions"), 1u);
  EXPECT_EQ(Dword(kStandard, "DoNotAllowExceptions"), 1u);

  const auto gone = [](std::string_view) { return false; };
  std::vector<std::string> told;
  for (const auto& leftover : RestoreOutstandingChanges(reg, gone, {})) told.push_back(LeftoverText(leftover));
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Firewall change not undone: the value 7:UDP stays in " + kStandardList +
                          " (its key cannot be opened). Vellamar tries again at its next start.",
                      "Firewall change not undone: the value 9:UDP stays in " + kStandardList +
                          " (its key cannot be opened). Vellamar tries again at its next start."}));
  EXPECT_EQ(String(kStandardList, "9:UDP"), "9:UDP:*:Enabled:WOL9");

  reg.DeniedKey.clear();
  EXPECT_TRUE(RestoreOutstandingChanges(reg, gone, {}).empty());
  EXPECT_EQ(String(kStandardList, "7:UDP"), std::nullopt);
  EXPECT_EQ(String(kStandardList, "9:UDP"), std::nullopt);
  EXPECT_TRUE(NothingOutstanding());
}

// Kestrune creates its key below "SOFTWARE\Brindlecote" while the record's keys go: it stays.
TEST_F(Firewall, RemovingTheEmptyRecordKeysLosesNoKeyCreatedBesideThem) {
  THookedRegistry reg(*FReg);
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  EXPECT_EQ(OpenFirewallPorts(reg, 0xA0, "4/1", FChanges), std::nullopt);
  reg.BeforeDelete = [&](std::string_view path) {
    if (NormalizeKeyPath(path) != "SOFTWARE\\Brindlecote") return;
    SetDword("SOFTWARE\\Brindlecote\\Kestrune", "Promo", 0);
  };
  RestoreFirewall(reg, FChanges, {});
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_FALSE(FReg->KeyExists("SOFTWARE\\Brindlecote\\Vellamar"));
  EXPECT_EQ(Dword("SOFTWARE\\Brindlecote\\Kestrune", "Promo"), 0u);
}

class TFakeClock final : public IWaitClock {
 public:
  uint32_t TickCount() override { return FNow; }
  void Sleep(uint32_t ms) override {
    Pauses.push_back(ms);
    FNow += ms;
  }
  std::vector<uint32_t> Pauses;

 private:
  uint32_t FNow = 0xFFFFF000u;  // the tick count wraps during the wait
};

TEST(FirewallService, WaitForStateFollowsProgressAndStopsWithout) {
  // Stop pending with a 30 s hint: three queries of progress, then stopped.
  std::vector<TServiceStatus> answers = {{3, 0, 30000}, {3, 1, 30000}, {3, 2, 30000}, {3, 3, 30000}, {1, 0, 0}};
  size_t next = 0;
  auto query = [&](TServiceStatus& s) {
    if (next == answers.size()) return false;
    s = answers[next++];
    return true;
  };
  TFakeClock clock;
  TServiceStatus status;
  WaitForState(query, 1, status, clock);
  EXPECT_EQ(status.CurrentState, 1u);
  EXPECT_EQ(clock.Pauses, (std::vector<uint32_t>{3000, 3000, 3000, 3000}));

  // No progress with a 2.5 s hint: pauses of 1 s (the least) until more than 2.5 s passed.
  answers = {{3, 7, 2500}, {3, 7, 2500}, {3, 7, 2500}, {3, 7, 2500}, {3, 7, 2500}};
  next = 0;
  TFakeClock still;
  WaitForState(query, 1, status, still);
  EXPECT_EQ(still.Pauses, (std::vector<uint32_t>{1000, 1000, 1000}));
  EXPECT_EQ(status.CurrentState, 3u);

  // Hints above 100 s pause 10 s at most.
  answers = {{3, 0, 500000}, {1, 0, 500000}};
  next = 0;
  TFakeClock slow;
  WaitForState(query, 1, status, slow);
  EXPECT_EQ(slow.Pauses, std::vector<uint32_t>{10000});
}

// The machine-wide lock, standing in for the named mutex: held by the thread that takes it, and
// by the test thread when it plays another run.
class TTestLock final : public IRecordLock {
 public:
  TTestLock(std::timed_mutex& machine, bool opens) : FMachine(machine), FOpens(opens) {}
  TWait Wait(uint32_t milliseconds) override {
    if (!FOpens) return TWait::Failed;
    FHeld = FMachine.try_lock_for(std::chrono::milliseconds(milliseconds));
    return FHeld ? TWait::Acquired : TWait::TimedOut;
  }
  void Release() override {
    if (FHeld) FMachine.unlock();
    FHeld = false;
  }
  std::string FailureText() override { return "Access is denied."; }

 private:
  std::timed_mutex& FMachine;
  bool FOpens;
  bool FHeld = false;
};

class FirewallSession : public Firewall {
 protected:
  TFirewallSession& Session(bool lockOpens = true) {
    TFirewallPlatform platform{[this, lockOpens] { return std::make_unique<TTestLock>(FMachine, lockOpens); },
                               [this] {
                                 if (FInsideLock) FInsideLock();
                                 auto registry = std::make_unique<THookedRegistry>(*FReg);
                                 registry->DeniedKey = FDeniedKey;
                                 return registry;
                               },
                               {},
                               [](std::string_view) { return false; },
                               "16/40",
                               0};
    FSession = std::make_unique<TFirewallSession>(std::move(platform), [this](TFirewallNotice notice) {
      const std::lock_guard lock(FQueue);
      FNotices.push_back(std::move(notice));
      FArrived.notify_one();
    });
    return *FSession;
  }
  // The next notice the window would get; one that never comes fails the test.
  TFirewallNotice Next() {
    std::unique_lock lock(FQueue);
    if (!FArrived.wait_for(lock, std::chrono::seconds(10), [&] { return !FNotices.empty(); })) {
      ADD_FAILURE() << "no notice";
      return {};
    }
    TFirewallNotice notice = std::move(FNotices.front());
    FNotices.pop_front();
    return notice;
  }

  std::string FDeniedKey;
  std::function<void()> FInsideLock;  // the job holds the lock and begins its work
  std::timed_mutex FMachine;
  std::mutex FQueue;
  std::condition_variable FArrived;
  std::deque<TFirewallNotice> FNotices;
  std::unique_ptr<TFirewallSession> FSession;
};

// Another run holds the lock: the click returns at once and takes no second click; the job
// says in the log that it waits, changes nothing meanwhile, and goes on once the lock is free.
TEST_F(FirewallSession, LockHeldByAnotherRunIsWaitedForOffTheWindowsThread) {
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  FReg->CloseKey();
  FMachine.lock();
  auto& session = Session();
  EXPECT_TRUE(session.Adjust(0xA0, false));
  EXPECT_TRUE(session.Busy());
  EXPECT_FALSE(session.Adjust(0xA0, false));
  const TFirewallNotice waiting = Next();
  EXPECT_FALSE(waiting.Done);
  EXPECT_EQ(waiting.LogLines,
            std::vector<std::string>{"Waiting for another Vellamar to finish changing the firewall settings."});
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_FALSE(FReg->KeyExists("SOFTWARE\\Brindlecote"));

  FMachine.unlock();
  const TFirewallNotice done = Next();
  EXPECT_TRUE(done.Done);
  EXPECT_EQ(done.FailedValue, std::nullopt);
  session.JobEnded();
  EXPECT_FALSE(session.Busy());
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), kRule10);
  ASSERT_TRUE(session.HasChanges());

  // The exit's undo, cancelled while it waits (closed again), leaves the change recorded.
  FMachine.lock();
  EXPECT_TRUE(session.Undo());
  EXPECT_FALSE(Next().Done);
  session.Cancel();
  const TFirewallNotice cancelled = Next();
  EXPECT_TRUE(cancelled.Done);
  EXPECT_TRUE(cancelled.Cancelled);
  session.JobEnded();
  FMachine.unlock();
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), kRule10);
  EXPECT_EQ(String("SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges", "0000.Owner"), "16/40");
}

// Closed again once the job holds the lock: the cancel comes too late, the job does its work,
// and its notice says so, so that the window still undoes what this run changed.
TEST_F(FirewallSession, CancelAfterTheLockWasTakenIsNotTakenForAGiveUp) {
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  FReg->CloseKey();
  auto& session = Session();
  FInsideLock = [&] { session.Cancel(); };
  EXPECT_TRUE(session.Adjust(0xA0, false));
  const TFirewallNotice done = Next();
  session.JobEnded();
  EXPECT_TRUE(done.Done);
  EXPECT_FALSE(done.Cancelled);
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), kRule10);
  EXPECT_TRUE(session.HasChanges());
}

// A lock that cannot be opened: nothing is changed, and the log says why.
TEST_F(FirewallSession, LockThatCannotBeOpenedLeavesTheFirewallAlone) {
  ASSERT_TRUE(FReg->OpenKey(kRules, true));
  FReg->CloseKey();
  auto& session = Session(false);
  EXPECT_TRUE(session.Adjust(0xA0, false));
  const TFirewallNotice done = Next();
  EXPECT_TRUE(done.Done);
  EXPECT_EQ(done.LogLines, std::vector<std::string>{
                               "The firewall settings are left as they are: the lock that every Vellamar takes to "
                               "change them cannot be opened (Access is denied.)."});
  session.JobEnded();
  EXPECT_EQ(String(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_FALSE(session.HasChanges());
}

// The start tells the user, in the log, which change a killed run left that cannot be undone.
TEST_F(FirewallSession, LeftoverOfAKilledRunIsToldAtTheStart) {
  const std::string record = "SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges";
  SetDword(kDomain, "DoNotAllowExceptions", 0);
  SetString(record, "0000", kDomain + "=DoNotAllowExceptions");
  SetString(record, "0000.Owner", "12/30");
  FDeniedKey = kDomain;
  auto& session = Session();
  EXPECT_TRUE(session.UndoLeftovers());
  const TFirewallNotice done = Next();
  session.JobEnded();
  EXPECT_TRUE(done.Done);
  EXPECT_EQ(done.LogLines, std::vector<std::string>{"Firewall change not undone: DoNotAllowExceptions stays 0 in " +
                                                    kDomain +
                                                    " (its key cannot be opened). Vellamar tries again at its next "
                                                    "start."});
  EXPECT_EQ(String(record, "0000"), kDomain + "=DoNotAllowExceptions");
}

}  // namespace
}  // namespace kst
