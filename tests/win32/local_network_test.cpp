#include <gtest/gtest.h>

#include <algorithm>

#include "netcore/address_text.h"
#include "netcore/arp_sweep.h"
#include "netcore/local_network.h"
#include "netcore/registry.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using test::Env;

TEST(ArpProbe, PeerAnswersSilentAddressDoesNot) {
  ASSERT_TRUE(test::InSandbox());
  const uint64_t peerMac = StrToMac(Env("KST_PEER_MAC"));
  ASSERT_NE(peerMac, 0u);
  // Every computer of the LAN answers with its own MAC; asked together, as a scan asks.
  const auto sweep = MakeArpSweep();
  const std::pair<std::string, uint64_t> computers[] = {{Env("KST_PEER_ADDRESS"), peerMac},
                                                        {Env("KST_GATEWAY"), StrToMac(Env("KST_GATEWAY_MAC"))},
                                                        {"10.77.0.22", StrToMac("02-77-00-00-00-16")}};
  for (const auto& [address, mac] : computers) sweep->Announce(StrToIp(address));
  for (const auto& [address, mac] : computers) EXPECT_EQ(sweep->MacOf(StrToIp(address)), mac) << address;
  EXPECT_EQ(GetMacByArp(Env("KST_SILENT_ADDRESS")), 0u);
  EXPECT_EQ(GetMacByArp(Env("KST_LAN_BROADCAST")), 0u);
  EXPECT_EQ(GetMacByArp("not an address"), 0u);
}

// Entries left behind by computers that answered a while ago: Linux keeps a STALE one valid
// until the next datagram makes it check, and a FAILED one keeps its old MAC. Neither counts
// for an address where nothing answers any more; a STALE entry of a computer that still
// answers does, once checked.
TEST(ArpProbe, OldEntriesCountOnlyWhenTheComputerStillAnswers) {
  ASSERT_TRUE(test::InSandbox());
  const uint32_t goneStale = StrToIp("10.77.0.41"), goneFailed = StrToIp("10.77.0.42"), awake = StrToIp("10.77.0.24");
  ASSERT_TRUE(test::LeaveNeighbourEntry("stale", "10.77.0.41", "02-77-00-00-00-41"));
  ASSERT_TRUE(test::LeaveNeighbourEntry("failed", "10.77.0.42", "02-77-00-00-00-42"));
  ASSERT_TRUE(test::LeaveNeighbourEntry("stale", "10.77.0.24", "02-77-00-00-00-18"));

  const TNeighbourTable table = ReadNeighbourTable2();
  ASSERT_TRUE(table.Known);
  ASSERT_TRUE(table.Find(goneStale) && table.Find(goneFailed));
  EXPECT_TRUE(table.Find(goneStale)->Valid());
  EXPECT_FALSE(table.Find(goneFailed)->Valid());
  EXPECT_EQ(table.Find(goneFailed)->Mac, 0x027700000042u);  // kept, and still no answer

  EXPECT_FALSE(SystemNeighbours().CanResolve());  // Wine: only the table tells
  const auto sweep = MakeArpSweep();
  for (uint32_t a : {goneStale, goneFailed, awake}) sweep->Announce(a);
  EXPECT_EQ(sweep->EvidenceOf(goneFailed).Verdict, TArpVerdict::Silent);
  EXPECT_EQ(sweep->EvidenceOf(goneStale).Verdict, TArpVerdict::Silent);
  EXPECT_EQ(sweep->EvidenceOf(awake), (TArpEvidence{TArpVerdict::Answered, 0x027700000018u, TAnswerKind::Confirmed}));
}

TEST(ArpProbe, OwnAddressGivesOwnAdapter) {
  ASSERT_TRUE(test::InSandbox());
  const uint64_t hostMac = StrToMac(Env("KST_HOST_MAC"));
  EXPECT_EQ(GetMacByArp(Env("KST_HOST_ADDRESS")), hostMac);
  EXPECT_EQ(GetMacByArp(""), hostMac);  // the primary local address
}

// Wine's prefix has no Interfaces key; the tests that write one remove it again.
class SystemInterfaceSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    FRegistry = MakeSystemRegistry();
    FKeyExisted = FRegistry->KeyExists(kInterfacesKey);
  }
  void TearDown() override {
    FRegistry->CloseKey();
    FRegistry->SetAccess(TRegAccess::All);
    FRegistry->DeleteKey(FKeyExisted ? FKey : std::string(kInterfacesKey));
  }

  // A static interface as Windows stores it, with REG_MULTI_SZ lists.
  void WriteInterface(const std::string& address, const std::string& mask, const std::string& gateway) {
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FRegistry->OpenKey(FKey, true));
    const std::pair<const char*, std::string> values[] = {
        {"IPAddress", address}, {"SubnetMask", mask}, {"DefaultGateway", gateway}};
    for (const auto& [name, text] : values) {
      std::vector<uint8_t> data(text.begin(), text.end());
      data.insert(data.end(), {0, 0});
      ASSERT_TRUE(FRegistry->WriteRaw(name, kRegMultiSz, data));
    }
    FRegistry->CloseKey();
  }

  std::unique_ptr<IRegistryAccessor> FRegistry;
  bool FKeyExisted = false;
  const std::string FKey = std::string(kInterfacesKey) + "\\{4B657374-0000-0000-0000-000000000001}";
};

TEST_F(SystemInterfaceSettings, WithoutInterfaceSettingsTheHostAddressIsPrimary) {
  ASSERT_TRUE(test::InSandbox());
  std::vector<std::string> addresses{"earlier"};
  GetHostAddresses(addresses);
  ASSERT_GE(addresses.size(), 2u);
  EXPECT_EQ(addresses.front(), "earlier");
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), Env("KST_HOST_ADDRESS")), addresses.end());
  if (FKeyExisted) GTEST_SKIP() << "this prefix has interface settings";
  EXPECT_EQ(GetLocalIp(), Env("KST_HOST_ADDRESS"));
  EXPECT_EQ(GetLocalSubnetMask(), kFallbackSubnetMask);
}

TEST_F(SystemInterfaceSettings, GatewayAndMaskFromTheRegistry) {
  ASSERT_TRUE(test::InSandbox());
  const std::string host = Env("KST_HOST_ADDRESS");
  WriteInterface(host, "255.255.0.0", Env("KST_GATEWAY"));
  EXPECT_EQ(GetLocalIp(), host);
  EXPECT_EQ(GetLocalSubnetMask(), "255.255.0.0");

  WriteInterface(host, "255.255.0.0", "");
  std::vector<std::string> addresses{"10.9.9.9", host};
  DropGatewaylessAddresses(addresses);
  EXPECT_EQ(addresses, std::vector<std::string>{"10.9.9.9"});
  EXPECT_EQ(GetLocalIp(), "");
  EXPECT_EQ(GetLocalSubnetMask(), kFallbackSubnetMask);
}

}  // namespace
}  // namespace kst
