#include <gtest/gtest.h>

#include <stdexcept>

#include "netcore/address_text.h"
#include "netcore/os_error.h"
#include "sender/command_line.h"
#include "sender/kestrune_app.h"

namespace kst {
namespace {

struct TSend {
  std::string Destination, Local;
  uint16_t Port;
  uint64_t Mac, Password;
  bool operator==(const TSend&) const = default;
};

class TFakePlatform : public IKestrunePlatform {
 public:
  std::vector<std::string> LocalAddresses() override {
    if (FAdaptersFail) throw TOsError(FAdaptersFail, FAdaptersFail == 232 ? "Pipe closed." : "Buffer overflow.");
    return FAddresses;
  }
  std::string LocalIp() override { return "10.77.0.2"; }
  std::string LocalSubnetMask(const std::string& localIp) override {
    EXPECT_EQ(localIp, "10.77.0.2");  // the address found once is the one whose mask is asked for
    return "255.255.255.0";
  }
  IRegistryAccessor& Registry() override { return *FRegistry; }
  void ShowMessage(TMessageKind kind, const std::string& text) override { FMessages.push_back({kind, text}); }
  std::string UserName() override { return FUser; }
  bool LocalSystem() override { return FLocalSystem; }
  bool WindowStationVisible() override { return FVisibleStation; }
  void WriteEventLog(const TRunEvent& event) override { FEvents.push_back(event); }
  TSendReport SendMagicPacketSync(const std::string& d, const std::string& l, uint16_t p, uint64_t m,
                                  uint64_t pw) override {
    FSends.push_back({d, l, p, m, pw});
    if (d == FUnknownName) return {TSendReport::TOutcome::NotResolved, 0, {}};
    if (d == FRefusedDestination) return {TSendReport::TOutcome::Failed, StrToIp(d), "Network is unreachable."};
    return {TSendReport::TOutcome::Sent, StrToIp(d), {}};
  }

  uint32_t FAdaptersFail = 0;  // the system's error code, when the enumeration fails
  std::vector<std::string> FAddresses = {"10.77.0.2"};
  std::unique_ptr<IRegistryAccessor> FRegistry = MakeMemoryRegistry();
  std::vector<std::pair<TMessageKind, std::string>> FMessages;
  std::string FUser = "alice";
  bool FLocalSystem = false;
  bool FVisibleStation = true;
  std::vector<TRunEvent> FEvents;
  std::vector<TSend> FSends;
  std::string FUnknownName = "-";         // sends to it are not resolved
  std::string FRefusedDestination = "-";  // sends to it are refused by the network
};

// The exit code a scheduled task or script reads.
int ExitCode(TCommandLineResult result) { return static_cast<int>(result); }

// Writes a stored list the way an earlier run of the program left it.
void StoreComputers(IRegistryAccessor& reg, const std::vector<std::string>& names) {
  TKestruneState state;
  for (size_t i = 0; i < names.size(); ++i) {
    auto r = std::make_unique<THostRecord>();
    r->AssignComputerName(names[i]);
    r->MacAddress = 0x020000000000ull + i;
    r->BroadcastAddress = StrToIp("10.77.0.255");
    r->LocalIpAddress = StrToIp("10.77.0.2");
    r->Port = static_cast<uint16_t>(9 + i);
    state.HostList.push_back(std::move(r));
  }
  TRegistryStore(reg).SaveHosts(state.HostList);
}

class KestruneApp : public ::testing::Test {
 protected:
  TFakePlatform FPlatform;
  TKestruneApp FApp{FPlatform};
};

TEST_F(KestruneApp, StartupComputesNetworkDefaultsAndLoads) {
  StoreComputers(*FPlatform.FRegistry, {"Office-PC", "nas"});
  FApp.FormCreate();
  EXPECT_EQ(FApp.State().NetworkAddress, StrToIp("10.77.0.0"));
  EXPECT_EQ(FApp.State().Settings.SearchToIpAddress, StrToIp("10.77.0.254"));
  EXPECT_EQ(FApp.State().HostList.size(), 2u);
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

TEST_F(KestruneApp, FailedAdapterEnumerationIsShownAndTheListSurvivesExit) {
  StoreComputers(*FPlatform.FRegistry, {"a", "b", "c"});
  FPlatform.FAdaptersFail = 111;
  FApp.FormCreate();
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Error);
  EXPECT_EQ(FPlatform.FMessages[0].second,
            "The network adapters could not be read, so the local addresses of the computers cannot be checked or "
            "chosen.\r\n\r\nBuffer overflow.");
  ASSERT_EQ(FApp.State().HostList.size(), 3u);
  // Without the local addresses a stored one cannot be checked; it is kept, not erased.
  EXPECT_EQ(FApp.State().HostList[0]->LocalIpAddress, StrToIp("10.77.0.2"));
  EXPECT_TRUE(FApp.Save());
  TKestruneState reloaded;
  TViewSettings view;
  TRegistryStore(*FPlatform.FRegistry).Load(reloaded, view, {"10.77.0.2"});
  ASSERT_EQ(reloaded.HostList.size(), 3u);
  EXPECT_EQ(reloaded.HostList[2]->ComputerName, "c");
  EXPECT_EQ(reloaded.HostList[2]->LocalIpAddress, StrToIp("10.77.0.2"));
}

TEST_F(KestruneApp, NoAdapterAtAllSaysSoBeforeTheSystemsText) {
  FPlatform.FAdaptersFail = 232;
  FApp.FormCreate();
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].second,
            "No network adapter with an IPv4 address was found, so magic packets cannot be sent and computers "
            "cannot be searched for until one is connected.\r\n\r\nPipe closed.");
}

TEST_F(KestruneApp, NamedComputerGetsOnePacketWithItsValues) {
  StoreComputers(*FPlatform.FRegistry, {"server", "OFFICE-PC", "office-pc"});
  FApp.FormCreate();
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /Office-PC")), 0);
  ASSERT_EQ(FPlatform.FSends.size(), 1u);
  EXPECT_EQ(FPlatform.FSends[0], (TSend{"10.77.0.255", "10.77.0.2", 10, 0x020000000001ull, 0}));
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

TEST_F(KestruneApp, AllSendsEveryComputerInListOrder) {
  StoreComputers(*FPlatform.FRegistry, {"a", "b", "c"});
  FApp.FormCreate();
  FApp.State().HostList[1]->BroadcastAddress = 0;
  FApp.State().HostList[1]->AssignBroadcastHost("router.example");
  FApp.State().HostList[2]->LocalIpAddress = 0;
  FApp.State().HostList[2]->Password = 0x0A0B0C0D0E0Full;
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /ALL!")), 0);
  ASSERT_EQ(FPlatform.FSends.size(), 3u);
  EXPECT_EQ(FPlatform.FSends[0].Mac, 0x020000000000ull);
  EXPECT_EQ(FPlatform.FSends[1].Destination, "router.example");  // the name only without an address
  EXPECT_EQ(FPlatform.FSends[2].Local, "0.0.0.0");
  EXPECT_EQ(FPlatform.FSends[2].Password, 0x0A0B0C0D0E0Full);
}

TEST_F(KestruneApp, FailedSendGivesOneAndAllStillSendsToTheOthers) {
  StoreComputers(*FPlatform.FRegistry, {"a", "b", "c"});
  FApp.FormCreate();
  FApp.State().HostList[1]->BroadcastAddress = 0;
  FApp.State().HostList[1]->AssignBroadcastHost("router.example");
  FPlatform.FUnknownName = "router.example";
  FPlatform.FRefusedDestination = "10.77.0.255";
  FApp.State().HostList[2]->BroadcastAddress = StrToIp("10.77.0.9");
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /all!")), 1);
  ASSERT_EQ(FPlatform.FSends.size(), 3u);
  EXPECT_EQ(FPlatform.FSends[2].Mac, 0x020000000002ull);  // the one after the failures too
  // The event log names each computer not woken, and why.
  EXPECT_EQ(FPlatform.FEvents,
            (std::vector<TRunEvent>{{TRunEventKind::NotSent, {"a", "10.77.0.255", "Network is unreachable."}},
                                    {TRunEventKind::NotResolved, {"b", "router.example"}}}));
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /b")), 1);
  EXPECT_EQ(FPlatform.FEvents.size(), 3u);
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /c")), 0);
  EXPECT_EQ(FPlatform.FSends.size(), 5u);
  EXPECT_EQ(FPlatform.FEvents.size(), 3u);
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

// Unattended on a machine without network adapters: no box at all; what can be sent is sent,
// and the computers that could not be are in the event log with the missing adapter.
TEST_F(KestruneApp, UnattendedRunWithoutAdaptersShowsNothingAndLogsWhatWasNotSent) {
  StoreComputers(*FPlatform.FRegistry, {"lan-pc", "loop-pc"});
  FPlatform.FAdaptersFail = 232;
  FPlatform.FRefusedDestination = "10.77.0.255";
  FPlatform.FUser = "SYSTEM";
  TKestruneApp app(FPlatform, TRunMode::CommandLine);
  app.FormCreate();
  app.State().HostList[1]->BroadcastAddress = StrToIp("127.0.0.1");
  EXPECT_EQ(ExitCode(app.ProcessCommandLine("kestrune.exe /all!")), 1);
  EXPECT_EQ(FPlatform.FSends.size(), 2u);
  EXPECT_TRUE(FPlatform.FMessages.empty());
  EXPECT_EQ(FPlatform.FEvents, (std::vector<TRunEvent>{{TRunEventKind::NotSentNoAdapter,
                                                        {"lan-pc", "10.77.0.255", "Network is unreachable."}}}));
  // Watched, the same run says at its start what is missing.
  FPlatform.FUser = "alice";
  TKestruneApp(FPlatform, TRunMode::CommandLine).FormCreate();
  EXPECT_EQ(FPlatform.FMessages.size(), 1u);
}

TEST_F(KestruneApp, AllWithEmptyListDoesNothing) {
  FApp.FormCreate();
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /all!")), 0);
  EXPECT_TRUE(FPlatform.FSends.empty());
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

TEST_F(KestruneApp, UnknownNameWarnsUnlessUnattended) {
  StoreComputers(*FPlatform.FRegistry, {"a"});
  FApp.FormCreate();
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /Laptop")), 2);
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Warning);
  EXPECT_EQ(FPlatform.FMessages[0].second, NotFoundText("laptop"));
  EXPECT_TRUE(FPlatform.FSends.empty());
  EXPECT_EQ(FPlatform.FEvents, (std::vector<TRunEvent>{{TRunEventKind::NotInList, {"laptop"}}}));

  FPlatform.FMessages.clear();
  FPlatform.FUser = "SYSTEM";
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /Laptop")), 2);
  EXPECT_TRUE(FPlatform.FMessages.empty());
  EXPECT_EQ(FPlatform.FEvents.size(), 2u);
  FPlatform.FUser = "system";  // the check is case-sensitive
  FApp.ProcessCommandLine("kestrune.exe /Laptop");
  EXPECT_EQ(FPlatform.FMessages.size(), 1u);
  FPlatform.FMessages.clear();
  // "СИСТЕМА", the SYSTEM account of a Russian Windows, on a window station that shows.
  FPlatform.FUser = "\xD0\xA1\xD0\x98\xD0\xA1\xD0\xA2\xD0\x95\xD0\x9C\xD0\x90";
  FPlatform.FLocalSystem = true;
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe /Laptop")), 2);
  EXPECT_TRUE(FPlatform.FMessages.empty());
  FPlatform.FUser = "alice";
  FPlatform.FLocalSystem = false;
  FPlatform.FVisibleStation = false;  // a task that runs whether the user is logged on or not
  FApp.ProcessCommandLine("kestrune.exe /Laptop");
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

TEST_F(KestruneApp, ParameterWithoutSlashShowsUsageUnlessUnattended) {
  FApp.FormCreate();
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("\"C:\\Program Files\\Kestrune\\kestrune.exe\"  office-pc")), 2);
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Information);
  EXPECT_EQ(FPlatform.FMessages[0].second, UsageText());
  FPlatform.FVisibleStation = false;
  EXPECT_EQ(ExitCode(FApp.ProcessCommandLine("kestrune.exe office-pc  /")), 2);
  EXPECT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FEvents, (std::vector<TRunEvent>{{TRunEventKind::CommandLineUnusable, {"office-pc"}},
                                                        {TRunEventKind::CommandLineUnusable, {"office-pc  /"}}}));
}

TEST_F(KestruneApp, SendMagicPacketIgnoresIndexOutsideList) {
  StoreComputers(*FPlatform.FRegistry, {"a"});
  FApp.FormCreate();
  FApp.SendMagicPacket(-1);
  FApp.SendMagicPacket(1);
  EXPECT_TRUE(FPlatform.FSends.empty());
}

// A window that records what the rules ask of it; sends complete only when the test says.
class TFakeWindow : public IKestruneWindow {
 public:
  struct TStart {
    uint64_t Id;
    std::string Destination;
  };
  bool StartSender(uint64_t id, const std::string& d, const std::string&, uint64_t, uint64_t, uint16_t) override {
    if (FNoThreads) return false;
    FStarts.push_back({id, d});
    return true;
  }
  void PostSendNext() override { ++FPosted; }
  void SetStatusText(const std::string& text) override { FStatus = text; }
  std::string LongTimeText() override { return "09:41:07"; }
  bool ConfirmYesNo(const std::string& text) override {
    FQuestion = text;
    return FAnswerYes;
  }
  void DisplayTable() override { ++FDisplays; }
  void SetSelection(int row) override { FSelected = row; }
  void PacketSent(const THostRecord& r, uint32_t, bool sendAll, bool startGroup) override {
    FWatched.push_back(r.ComputerName + (sendAll ? " all" : "") + (startGroup ? " new" : ""));
  }

  std::vector<TStart> FStarts;
  std::vector<std::string> FWatched;
  int FPosted = 0;
  std::string FStatus = "earlier";
  std::string FQuestion;
  bool FAnswerYes = true;
  int FDisplays = 0;
  int FSelected = 0;
  bool FNoThreads = false;  // the system refuses to create another thread
};

class KestruneWindowMode : public KestruneApp {
 protected:
  void SetUp() override {
    StoreComputers(*FPlatform.FRegistry, {"alpha", "Beta-2", "gamma"});
    FApp.FormCreate();
    FApp.AttachWindow(&FWindow);
  }
  // Delivers the posted WM_SEND_NEXT messages one at a time, as the message loop would.
  void Pump() {
    while (FWindow.FPosted > 0) {
      --FWindow.FPosted;
      FApp.SendNext();
    }
  }
  uint64_t IdAt(size_t i) { return FApp.State().HostList[i]->Id.Value(); }
  TFakeWindow FWindow;
};

TEST_F(KestruneWindowMode, SendAllStopsAtTheFirstFailure) {
  FApp.SendAllPackets();
  Pump();
  ASSERT_EQ(FWindow.FStarts.size(), 1u);
  FApp.Sent(FWindow.FStarts[0].Id, StrToIp("10.77.0.255"));
  Pump();
  ASSERT_EQ(FWindow.FStarts.size(), 2u);
  EXPECT_EQ(FWindow.FStarts[1].Id, IdAt(1));
  FApp.Failed(FWindow.FStarts[1].Id, StrToIp("10.77.0.255"));
  Pump();
  EXPECT_EQ(FWindow.FStarts.size(), 2u);  // the third is not sent
  EXPECT_FALSE(FApp.SendingAll());
  EXPECT_EQ(FWindow.FStatus, "BETA-2: failed sending magic packet to 10.77.0.255");
  // Only the computer that was sent is watched, as the first of a new group.
  EXPECT_EQ(FWindow.FWatched, std::vector<std::string>{"alpha all new"});
  EXPECT_TRUE(FPlatform.FEvents.empty());  // the window writes nothing in the event log
}

TEST_F(KestruneWindowMode, WinsockFailureLeavesTheChainWaitingAndRestartSharesThePosition) {
  FApp.SendAllPackets();
  Pump();
  // The first sender never reports: the chain waits, still running.
  EXPECT_TRUE(FApp.SendingAll());
  EXPECT_EQ(FWindow.FStatus, "earlier");
  // A single send that succeeds continues it at the position reached.
  FApp.SendPacket(2);
  FApp.Sent(IdAt(2), StrToIp("10.77.0.255"));
  Pump();
  ASSERT_EQ(FWindow.FStarts.size(), 3u);
  EXPECT_EQ(FWindow.FStarts[2].Id, IdAt(1));
  // Send to All again while it runs: the position goes back to 0 and two chains share it.
  FApp.SendAllPackets();
  Pump();
  EXPECT_EQ(FWindow.FStarts[3].Id, IdAt(0));
  FApp.Sent(IdAt(1), StrToIp("10.77.0.255"));  // the first chain's result
  FApp.Sent(IdAt(0), StrToIp("10.77.0.255"));  // the second chain's result
  Pump();
  ASSERT_EQ(FWindow.FStarts.size(), 6u);
  EXPECT_EQ(FWindow.FStarts[4].Id, IdAt(1));
  EXPECT_EQ(FWindow.FStarts[5].Id, IdAt(2));
  EXPECT_EQ(FApp.SendAllIndex(), 3);
}

TEST_F(KestruneWindowMode, SenderThatCannotStartIsThatComputersFailure) {
  FApp.SendAllPackets();
  Pump();
  FApp.Sent(IdAt(0), StrToIp("10.77.0.255"));
  FWindow.FNoThreads = true;
  Pump();
  // Said at once, and the chain ends there instead of waiting for a result that never comes.
  EXPECT_EQ(FWindow.FStatus, "BETA-2: failed sending magic packet to 10.77.0.255");
  EXPECT_FALSE(FApp.SendingAll());
  EXPECT_EQ(FWindow.FPosted, 0);
  EXPECT_EQ(FWindow.FStarts.size(), 1u);
}

TEST_F(KestruneWindowMode, SendAllOverAnEmptyListDoesNothing) {
  FApp.State().HostList.clear();
  FApp.SendAllPackets();
  EXPECT_EQ(FWindow.FPosted, 0);
  EXPECT_FALSE(FApp.SendingAll());
}

TEST_F(KestruneWindowMode, OutcomesKeepTheResolvedAddressAndIgnoreGoneComputers) {
  auto& list = FApp.State().HostList;
  list[1]->BroadcastAddress = 0;
  list[1]->AssignBroadcastHost("Peer-Computer");
  FApp.SendPacket(1);
  ASSERT_EQ(FWindow.FStarts.size(), 1u);
  EXPECT_EQ(FWindow.FStarts[0].Destination, "Peer-Computer");
  FApp.Sent(IdAt(1), StrToIp("10.77.0.20"));
  EXPECT_EQ(FWindow.FStatus, "BETA-2: magic packet sent to 10.77.0.20 at 09:41:07");
  EXPECT_EQ(list[1]->BroadcastAddress, StrToIp("10.77.0.20"));
  EXPECT_EQ(CellText(*list[1], 2), "Peer-Computer");  // the table still shows the name
  EXPECT_EQ(FWindow.FWatched, std::vector<std::string>{"Beta-2"});  // a single send joins the watch
  FApp.NotResolved(IdAt(1));
  EXPECT_EQ(FWindow.FStatus, "Router name PEER-COMPUTER could not be resolved");

  // A computer deleted while its packet is on its way; a new record may reuse its memory.
  FApp.SendAllPackets();
  const uint64_t gone = IdAt(0);
  list.erase(list.begin());
  list.insert(list.begin(), std::make_unique<THostRecord>());
  FWindow.FStatus = "kept";
  const int posted = FWindow.FPosted;
  FApp.Sent(gone, StrToIp("10.77.0.99"));
  FApp.Failed(gone, StrToIp("10.77.0.99"));
  FApp.NotResolved(gone);
  EXPECT_EQ(FWindow.FStatus, "kept");
  EXPECT_EQ(FWindow.FWatched.size(), 1u);
  EXPECT_EQ(FWindow.FPosted, posted);
  EXPECT_TRUE(FApp.SendingAll());
  EXPECT_EQ(list[0]->BroadcastAddress, 0u);
  EXPECT_NE(list[0]->Id.Value(), gone);
  EXPECT_NE(THostRecord(*list[1]).Id.Value(), list[1]->Id.Value());  // a copy is another record
}

TEST_F(KestruneWindowMode, DeleteAsksAndMoveStopsAtBothEnds) {
  auto& list = FApp.State().HostList;
  FWindow.FAnswerYes = false;
  EXPECT_FALSE(FApp.DeleteHost(1));
  EXPECT_EQ(FWindow.FQuestion, "Are you sure to delete BETA-2 computer entry ?");
  EXPECT_EQ(list.size(), 3u);
  FWindow.FAnswerYes = true;
  EXPECT_FALSE(FApp.DeleteHost(-1));
  EXPECT_TRUE(FApp.MoveHost(0, false));
  EXPECT_EQ(list[1]->ComputerName, "alpha");
  EXPECT_EQ(FWindow.FSelected, 2);
  EXPECT_FALSE(FApp.MoveHost(0, true));
  EXPECT_FALSE(FApp.MoveHost(2, false));
  EXPECT_TRUE(FApp.MoveHost(2, true));
  EXPECT_EQ(list[1]->ComputerName, "gamma");
  EXPECT_EQ(FWindow.FSelected, 2);
  EXPECT_TRUE(FApp.DeleteHost(0));
  EXPECT_EQ(list[0]->ComputerName, "gamma");
  EXPECT_EQ(FWindow.FDisplays, 3);
}

TEST(MainWindowTexts, CellsAndUpperCaseOfLettersOnly) {
  THostRecord r;
  r.AssignComputerName("b\xC3\xA4r-pc_1");
  r.MacAddress = 0x0A1B2C3D4E5Full;
  r.BroadcastAddress = StrToIp("192.168.1.255");
  r.Port = 9;
  EXPECT_EQ(CellText(r, 0), "b\xC3\xA4r-pc_1");
  EXPECT_EQ(CellText(r, 1), "0A-1B-2C-3D-4E-5F");
  EXPECT_EQ(CellText(r, 2), "192.168.1.255");
  EXPECT_EQ(CellText(r, 3), "9");
  EXPECT_EQ(SentText(r, StrToIp("192.168.1.255"), "9:05:00 PM"),
            "B\xC3\xA4R-PC_1: magic packet sent to 192.168.1.255 at 9:05:00 PM");
}

TEST(FitTable, ExactFitBelowTheBannerOrTheWholeClient) {
  TTableMetrics m{{130, 121, 138, 83}, 4, 16, 500, 300, 20, 29, 125};
  // 3 + 131 + 122 + 139 + 84 = 479 wide; 4 * 17 + 3 = 71 high; 300 - 20 - 29 - 125 = 126 available.
  EXPECT_EQ(FitTable(m), (TTableFit{true, 0, 154, 479, 71}));
  m.ClientWidth = 478;
  EXPECT_EQ(FitTable(m), (TTableFit{false, 0, 154, 478, 126}));
  m.ClientWidth = 479;
  m.RowCount = 8;  // 139 high
  EXPECT_EQ(FitTable(m), (TTableFit{false, 0, 154, 479, 126}));
  m.BannerHeight = 16;  // 235 available
  EXPECT_EQ(FitTable(m), (TTableFit{true, 0, 45, 479, 139}));
  m.RowCount = 0;
  EXPECT_FALSE(FitTable(m));
}

}  // namespace
}  // namespace kst
