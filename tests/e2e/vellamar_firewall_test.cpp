// Vellamar's Firewall button against the real registry, with the prefix posing as Windows XP and
// as Windows 10: what the click writes, that closing the window undoes it and leaves nothing of
// its record, that the next start undoes what a killed run left behind, and that it leaves alone
// what a run that still goes (another session's) recorded; that the window keeps answering while
// another run holds the record's lock, and that a change that cannot be undone is told and kept.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include "netcore/registry.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"
#include "tests/e2e/vellamar_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

constexpr WPARAM kFirewallButton = 103;
constexpr char kPolicy[] = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy";
constexpr char kDomain[] = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\DomainProfile";
constexpr char kStandard[] =
    "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\StandardProfile";
constexpr char kPublic[] = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\PublicProfile";
constexpr char kRules[] = "SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\FirewallRules";
constexpr char kOutstanding[] = "SOFTWARE\\Brindlecote\\Vellamar\\FirewallChanges";
constexpr char kBrindlecote[] = "SOFTWARE\\Brindlecote";
constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\vellamar.exe";

class VellamarFirewall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    Clean();
  }
  void TearDown() override {
    if (FVellamar.Running()) {
      EXPECT_EQ(FVellamar.Exit(), 0u);
    }
    Clean();
  }
  void Clean() {
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->DeleteKey(kPolicy);
    FRegistry->DeleteKey("SOFTWARE\\Brindlecote\\Vellamar");
    // Left empty by other tests; Vellamar's exit must not be the one that removes it.
    if (FRegistry->OpenKey(kBrindlecote, false) && FRegistry->GetKeyNames().empty() &&
        FRegistry->GetValueNames().empty()) {
      FRegistry->CloseKey();
      FRegistry->DeleteKey(kBrindlecote);
    }
    FRegistry->CloseKey();
    RegDeleteKeyW(HKEY_CURRENT_USER, kAppDefaults);
  }

  // The Windows version Wine reports to vellamar.exe ("winxp", "win10").
  static void PoseAs(const wchar_t* version) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  void Put(const char* key, const char* name, std::optional<uint32_t> flag, const char* text = nullptr) {
    ASSERT_TRUE(FRegistry->OpenKey(key, true)) << key;
    if (flag) FRegistry->WriteDword(name, *flag);
    if (text) FRegistry->WriteString(name, text);
    FRegistry->CloseKey();
  }
  std::optional<uint32_t> Flag(const char* key) { return Read<uint32_t>(key, "DoNotAllowExceptions"); }
  std::optional<std::string> Text(const std::string& key, const char* name) { return Read<std::string>(key, name); }
  template <class T>
  std::optional<T> Read(const std::string& key, const char* name) {
    FRegistry->SetAccess(TRegAccess::Read);
    const bool opened = FRegistry->OpenKey(key, false);
    FRegistry->SetAccess(TRegAccess::All);
    if (!opened) return std::nullopt;
    std::optional<T> value;
    if constexpr (std::is_same_v<T, uint32_t>)
      value = FRegistry->ReadDword(name);
    else
      value = FRegistry->ReadString(name);
    FRegistry->CloseKey();
    return value;
  }

  // Starts Vellamar and, unless told not to, waits until its start has undone what runs that
  // are gone left: until then its Firewall button is off.
  void Start(bool waitForTheFirewall = true) {
    ASSERT_TRUE(FVellamar.Start());
    if (waitForTheFirewall) {
      ASSERT_TRUE(WaitUntil([&] { return FirewallButtonEnabled(); }));
    }
  }
  bool FirewallButtonEnabled() {
    return SendMessageW(FindChild(FVellamar.Window(), L"ToolbarWindow32"), TB_ISBUTTONENABLED, kFirewallButton, 0) != 0;
  }
  void ClickFirewall() { PostMessageW(FVellamar.Window(), WM_COMMAND, kFirewallButton, 0); }

  std::unique_ptr<IRegistryAccessor> FRegistry = MakeSystemRegistry();
  TVellamarSession FVellamar;
};

TEST_F(VellamarFirewall, WindowsXpOpensThePortListsAndClosingPutsEverythingBack) {
  PoseAs(L"winxp");
  Put(kDomain, "DoNotAllowExceptions", 1);
  Put(kStandard, "DoNotAllowExceptions", 1);
  const std::string standardPorts = std::string(kStandard) + "\\GloballyOpenPorts\\List";
  Put(standardPorts.c_str(), "7:UDP", std::nullopt, "7:UDP:*:Enabled:Echo of my own");
  const std::string domainPorts = std::string(kDomain) + "\\GloballyOpenPorts\\List";
  ASSERT_FALSE(FRegistry->KeyExists(kBrindlecote)) << "a key left by another test";

  Start();
  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(standardPorts, "9:UDP").has_value(); })) << "no ports opened";
  EXPECT_EQ(Flag(kDomain), 0u);
  EXPECT_EQ(Flag(kStandard), 0u);
  EXPECT_EQ(Text(domainPorts, "7:UDP"), "7:UDP:*:Enabled:WOL7");
  EXPECT_EQ(Text(domainPorts, "9:UDP"), "9:UDP:*:Enabled:WOL9");
  EXPECT_EQ(Text(standardPorts, "7:UDP"), "7:UDP:*:Enabled:WOL7");
  EXPECT_FALSE(FRegistry->KeyExists(kPublic));
  EXPECT_FALSE(FRegistry->KeyExists(kRules));
  EXPECT_TRUE(FRegistry->KeyExists(kOutstanding));

  EXPECT_EQ(FVellamar.Exit(), 0u);
  EXPECT_EQ(Flag(kDomain), 1u);
  EXPECT_EQ(Flag(kStandard), 1u);
  EXPECT_EQ(Text(domainPorts, "7:UDP"), std::nullopt);
  EXPECT_EQ(Text(domainPorts, "9:UDP"), std::nullopt);
  EXPECT_EQ(Text(standardPorts, "7:UDP"), "7:UDP:*:Enabled:Echo of my own");
  EXPECT_EQ(Text(standardPorts, "9:UDP"), std::nullopt);
  EXPECT_FALSE(FRegistry->KeyExists(kBrindlecote));
}

TEST_F(VellamarFirewall, Windows10RuleOfAKilledRunIsRemovedByTheNextStart) {
  PoseAs(L"win10");
  Put(kDomain, "DoNotAllowExceptions", 1);
  Put(kRules, "Other rule", std::nullopt, "v2.24|Action=Block|");

  Start();
  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(kRules, "Wake-On-LAN").has_value(); })) << "no rule written";
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"),
            "v2.24|Action=Allow|Active=TRUE|Dir=In|Protocol=17|LPort=7|LPort=9|Name=Wake-On-LAN|Edge=FALSE|");
  EXPECT_EQ(Flag(kDomain), 0u);
  EXPECT_FALSE(FRegistry->KeyExists(std::string(kDomain) + "\\GloballyOpenPorts"));

  FVellamar.Process().Terminate();  // killed: nothing of it ran its exit
  EXPECT_TRUE(Text(kRules, "Wake-On-LAN").has_value());
  EXPECT_TRUE(FRegistry->KeyExists(kOutstanding));

  Start();
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_EQ(Text(kRules, "Other rule"), "v2.24|Action=Block|");
  EXPECT_EQ(Flag(kDomain), 1u);
  EXPECT_FALSE(FRegistry->KeyExists(kBrindlecote));
  EXPECT_EQ(FVellamar.Exit(), 0u);
  EXPECT_EQ(Flag(kDomain), 1u);
}

TEST_F(VellamarFirewall, Windows10StartAndExitLeaveAnotherRunsChangesAndKeepLeftovers) {
  PoseAs(L"win10");
  Put(kDomain, "DoNotAllowExceptions", 0);    // opened by a Vellamar in another session, still running
  Put(kStandard, "DoNotAllowExceptions", 0);  // opened by a run that was killed
  Put(kRules, "Other rule", std::nullopt, "v2.24|Action=Block|");
  // This test process stands for the running one: its id and start time name it.
  FILETIME created{}, unused{};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused));
  const std::string live = std::to_string(GetCurrentProcessId()) + "/" +
                           std::to_string((uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);
  const std::string domainEntry = std::string("\\") + kDomain + "=DoNotAllowExceptions";
  Put(kOutstanding, "0000", std::nullopt, domainEntry.c_str());
  Put(kOutstanding, "0000.Owner", std::nullopt, live.c_str());
  Put(kOutstanding, "0001", std::nullopt, (std::string("\\") + kStandard + "=DoNotAllowExceptions").c_str());
  Put(kOutstanding, "0001.Owner", std::nullopt, "4000000/1");

  Start();
  EXPECT_EQ(Flag(kStandard), 1u);
  EXPECT_EQ(Flag(kDomain), 0u);
  EXPECT_EQ(Text(kOutstanding, "0000"), domainEntry);
  EXPECT_EQ(Text(kOutstanding, "0001"), std::nullopt);

  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(kRules, "Wake-On-LAN").has_value(); })) << "no rule written";
  EXPECT_EQ(Flag(kStandard), 0u);
  EXPECT_EQ(Text(kOutstanding, "0000.Owner"), live);
  EXPECT_EQ(Text(kOutstanding, "0001"), std::string("\\") + kStandard + "=DoNotAllowExceptions");
  EXPECT_EQ(Text(kOutstanding, "0001.Owner").value_or("").rfind(std::to_string(FVellamar.Process().Id()) + "/", 0), 0u);
  EXPECT_EQ(Text(kOutstanding, "0002"), std::string("\\") + kRules + "=Wake-On-LAN");

  EXPECT_EQ(FVellamar.Exit(), 0u);
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_EQ(Flag(kStandard), 1u);
  EXPECT_EQ(Flag(kDomain), 0u);
  EXPECT_EQ(Text(kOutstanding, "0000"), domainEntry);
  EXPECT_EQ(Text(kOutstanding, "0001"), std::nullopt);
  EXPECT_EQ(Text(kOutstanding, "0002"), std::nullopt);
}

// This test plays another Vellamar that holds the record's lock for long (restarting the
// firewall service): the window goes on answering, says in its log that it waits, takes no
// click and changes nothing until the lock is free.
TEST_F(VellamarFirewall, LockHeldByAnotherRunKeepsTheWindowAnsweringAndChangesNothing) {
  PoseAs(L"win10");
  Put(kRules, "Other rule", std::nullopt, "v2.24|Action=Block|");
  const TUniqueHandle other(CreateMutexW(nullptr, TRUE, L"Global\\VellamarFirewallRecord"));
  ASSERT_TRUE(other);

  Start(false);
  ASSERT_TRUE(WaitUntil([&] {
    return FVellamar.LogText().find("Waiting for another Vellamar to finish changing the firewall settings.") !=
           std::string::npos;
  }));
  DWORD_PTR answer = 0;
  EXPECT_TRUE(SendMessageTimeoutW(FVellamar.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
  EXPECT_FALSE(FirewallButtonEnabled());
  ClickFirewall();
  EXPECT_TRUE(SendMessageTimeoutW(FVellamar.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_FALSE(FRegistry->KeyExists(kOutstanding));

  ASSERT_TRUE(ReleaseMutex(other.get()));
  ASSERT_TRUE(WaitUntil([&] { return FirewallButtonEnabled(); }));
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);  // the click while it waited is not kept for later
  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(kRules, "Wake-On-LAN").has_value(); })) << "no rule written";
  EXPECT_EQ(FVellamar.Exit(), 0u);
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
}

// Closing while another run holds the lock: a run with nothing of its own to undo goes at once;
// one with a change says that it waits, and goes once the lock is free, its change undone.
TEST_F(VellamarFirewall, ClosingWaitsForTheLockOnlyWithAChangeToUndo) {
  PoseAs(L"win10");
  Put(kRules, "Other rule", std::nullopt, "v2.24|Action=Block|");
  const TUniqueHandle other(CreateMutexW(nullptr, TRUE, L"Global\\VellamarFirewallRecord"));
  ASSERT_TRUE(other);
  const auto logSays = [&](const char* text) {
    return WaitUntil([&] { return FVellamar.LogText().find(text) != std::string::npos; });
  };
  Start(false);
  ASSERT_TRUE(logSays("Waiting for another Vellamar to finish changing the firewall settings."));
  EXPECT_EQ(FVellamar.Exit(), 0u);

  ASSERT_TRUE(ReleaseMutex(other.get()));
  Start();
  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(kRules, "Wake-On-LAN").has_value(); })) << "no rule written";
  ASSERT_TRUE(WaitUntil([&] { return FirewallButtonEnabled(); }));  // the click's job has ended
  ASSERT_EQ(WaitForSingleObject(other.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(FVellamar.Exit(std::chrono::milliseconds(0)), std::nullopt);
  ASSERT_TRUE(logSays("Vellamar closes when its firewall changes are undone; close it again to leave them to its "
                      "next start."));
  EXPECT_TRUE(FVellamar.Running());
  ASSERT_TRUE(ReleaseMutex(other.get()));
  EXPECT_EQ(FVellamar.Process().WaitExit(), 0u);
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
}

// A rule left by a killed run in a key this account may read but not change: the start keeps
// it in the record and says so in the log; once the key can be changed, a start removes it.
TEST_F(VellamarFirewall, LeftoverThatCannotBeUndoneIsToldAndTriedAgain) {
  PoseAs(L"win10");
  Put(kRules, "Other rule", std::nullopt, "v2.24|Action=Block|");
  Start();
  ClickFirewall();
  ASSERT_TRUE(WaitUntil([&] { return Text(kRules, "Wake-On-LAN").has_value(); })) << "no rule written";
  FVellamar.Process().Terminate();  // killed

  const auto protect = [&](const wchar_t* sddl) {
    const std::wstring path = Widen(kRules);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    LocalFree(descriptor);
    RegCloseKey(key);
  };
  protect(L"D:(A;;KR;;;BA)(A;;KR;;;SY)");
  Start();
  EXPECT_NE(FVellamar.LogText().find("Firewall change not undone: the value Wake-On-LAN stays in \\" +
                                     std::string(kRules) +
                                     " (its key cannot be opened). Vellamar tries again at its next start."),
            std::string::npos)
      << FVellamar.LogText();
  EXPECT_TRUE(Text(kRules, "Wake-On-LAN").has_value());
  EXPECT_EQ(FVellamar.Exit(), 0u);
  EXPECT_TRUE(FRegistry->KeyExists(kOutstanding));

  protect(L"D:(A;;KA;;;BA)(A;;KA;;;SY)");
  Start();
  EXPECT_EQ(FVellamar.LogText().find("Firewall change not undone"), std::string::npos);
  EXPECT_EQ(Text(kRules, "Wake-On-LAN"), std::nullopt);
  EXPECT_EQ(Text(kRules, "Other rule"), "v2.24|Action=Block|");
  EXPECT_FALSE(FRegistry->KeyExists(kOutstanding));
}

}  // namespace
}  // namespace kst::e2e
