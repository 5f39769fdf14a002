#include <gtest/gtest.h>

#include <stdexcept>

#include "netcore/address_text.h"
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
    if (FAdaptersFail) throw std::runtime_error("Buffer overflow.");
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
  void SendMagicPacketSync(const std::string& d, const std::string& l, uint16_t p, uint64_t m, uint64_t pw) override {
    FSends.push_back({d, l, p, m, pw});
  }

  bool FAdaptersFail = false;
  std::vector<std::string> FAddresses = {"10.77.0.2"};
  std::unique_ptr<IRegistryAccessor> FRegistry = MakeMemoryRegistry();
  std::vector<std::pair<TMessageKind, std::string>> FMessages;
  std::string FUser = "alice";
  std::vector<TSend> FSends;
};

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
  FPlatform.FAdaptersFail = true;
  FApp.FormCreate();
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Error);
  EXPECT_EQ(FPlatform.FMessages[0].second, "Buffer overflow.");
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

TEST_F(KestruneApp, NamedComputerGetsOnePacketWithItsValues) {
  StoreComputers(*FPlatform.FRegistry, {"server", "OFFICE-PC", "office-pc"});
  FApp.FormCreate();
  FApp.ProcessCommandLine("kestrune.exe /Office-PC");
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
  FApp.ProcessCommandLine("kestrune.exe /ALL!");
  ASSERT_EQ(FPlatform.FSends.size(), 3u);
  EXPECT_EQ(FPlatform.FSends[0].Mac, 0x020000000000ull);
  EXPECT_EQ(FPlatform.FSends[1].Destination, "router.example");  // the name only without an address
  EXPECT_EQ(FPlatform.FSends[2].Local, "0.0.0.0");
  EXPECT_EQ(FPlatform.FSends[2].Password, 0x0A0B0C0D0E0Full);
}

TEST_F(KestruneApp, AllWithEmptyListDoesNothing) {
  FApp.FormCreate();
  FApp.ProcessCommandLine("kestrune.exe /all!");
  EXPECT_TRUE(FPlatform.FSends.empty());
  EXPECT_TRUE(FPlatform.FMessages.empty());
}

TEST_F(KestruneApp, UnknownNameWarnsUnlessRunBySystem) {
  StoreComputers(*FPlatform.FRegistry, {"a"});
  FApp.FormCreate();
  FApp.ProcessCommandLine("kestrune.exe /Laptop");
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Warning);
  EXPECT_EQ(FPlatform.FMessages[0].second, NotFoundText("laptop"));
  EXPECT_TRUE(FPlatform.FSends.empty());

  FPlatform.FMessages.clear();
  FPlatform.FUser = "SYSTEM";
  FApp.ProcessCommandLine("kestrune.exe /Laptop");
  EXPECT_TRUE(FPlatform.FMessages.empty());
  FPlatform.FUser = "system";  // the check is case-sensitive
  FApp.ProcessCommandLine("kestrune.exe /Laptop");
  EXPECT_EQ(FPlatform.FMessages.size(), 1u);
}

TEST_F(KestruneApp, ParameterWithoutSlashShowsUsage) {
  FApp.FormCreate();
  FApp.ProcessCommandLine("kestrune.exe office-pc");
  ASSERT_EQ(FPlatform.FMessages.size(), 1u);
  EXPECT_EQ(FPlatform.FMessages[0].first, TMessageKind::Information);
  EXPECT_EQ(FPlatform.FMessages[0].second, UsageText());
}

TEST_F(KestruneApp, SendMagicPacketIgnoresIndexOutsideList) {
  StoreComputers(*FPlatform.FRegistry, {"a"});
  FApp.FormCreate();
  FApp.SendMagicPacket(-1);
  FApp.SendMagicPacket(1);
  EXPECT_TRUE(FPlatform.FSends.empty());
}

}  // namespace
}  // namespace kst
