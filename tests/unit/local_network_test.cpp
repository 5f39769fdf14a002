#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netcore/address_text.h"
#include "netcore/local_network.h"
#include "netcore/registry.h"

namespace kst {
namespace {

using TList = std::vector<std::string>;

// REG_MULTI_SZ data as the platform stores an interface's address list.
std::vector<uint8_t> MultiSz(const TList& texts) {
  std::vector<uint8_t> bytes;
  for (const auto& t : texts) {
    bytes.insert(bytes.end(), t.begin(), t.end());
    bytes.push_back(0);
  }
  bytes.push_back(0);
  return bytes;
}

// An in-memory Interfaces key, filled the way Windows fills it.
class InterfaceSettings : public ::testing::Test {
 protected:
  void SetUp() override { FRegistry = MakeMemoryRegistry(); }

  // Opens (creating) the interface's key for the values that follow.
  void Interface(const std::string& name) {
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FRegistry->OpenKey(std::string(kInterfacesKey) + "\\" + name, true));
  }
  void Multi(const std::string& value, const TList& texts) {
    ASSERT_TRUE(FRegistry->WriteRaw(value, kRegMultiSz, MultiSz(texts)));
  }
  void Text(const std::string& value, const std::string& text) { ASSERT_TRUE(FRegistry->WriteString(value, text)); }
  // A static interface: address, mask and gateway lists (an empty gateway list: none).
  void Static(const std::string& name, const TList& addresses, const TList& masks, const TList& gateways) {
    Interface(name);
    Multi("IPAddress", addresses);
    Multi("SubnetMask", masks);
    Multi("DefaultGateway", gateways);
    FRegistry->CloseKey();
  }

  TList Dropped(TList addresses) {
    DropGatewaylessAddresses(*FRegistry, addresses);
    return addresses;
  }

  std::unique_ptr<IRegistryAccessor> FRegistry;
};

TEST_F(InterfaceSettings, NoInterfacesKeyChangesNothing) {
  EXPECT_EQ(Dropped({"10.0.0.5", "192.168.1.20"}), (TList{"10.0.0.5", "192.168.1.20"}));
  EXPECT_EQ(SelectLocalIp(*FRegistry, {"10.0.0.5", "192.168.1.20"}), "10.0.0.5");
  // The primary address may need a resolver: it is not asked for when nothing could match it.
  int asked = 0;
  const auto localIp = [&] {
    ++asked;
    return std::string("10.0.0.5");
  };
  EXPECT_EQ(FindLocalSubnetMask(*FRegistry, localIp), kFallbackSubnetMask);
  EXPECT_EQ(asked, 0);
}

TEST_F(InterfaceSettings, AddressesOfGatewaylessInterfacesAreDropped) {
  Static("{A}", {"10.0.0.15", "10.0.0.16"}, {"255.0.0.0", "255.0.0.0"}, {});
  Static("{B}", {"192.168.1.20"}, {"255.255.255.0"}, {"192.168.1.1"});
  Static("{C}", {"0.0.0.0"}, {"0.0.0.0"}, {});  // disconnected: has no address to drop
  // A plain substring test: 10.0.0.1 goes with 10.0.0.15.
  EXPECT_EQ(Dropped({"10.0.0.1", "192.168.1.20", "10.0.0.2", "10.0.0.16", "0.0.0.0"}),
            (TList{"192.168.1.20", "10.0.0.2", "0.0.0.0"}));
  EXPECT_EQ(SelectLocalIp(*FRegistry, {"10.0.0.15", "192.168.1.20"}), "192.168.1.20");
}

TEST_F(InterfaceSettings, DhcpValuesStandInForMissingStaticOnes) {
  // DHCP address and gateway, the static ones left at their defaults.
  Interface("{A}");
  Multi("IPAddress", {"0.0.0.0"});
  Text("DhcpIPAddress", "172.16.0.9");
  Text("DhcpDefaultGateway", "172.16.0.1");
  Text("DhcpSubnetMask", "255.255.0.0");
  // DHCP address without a gateway anywhere.
  Interface("{B}");
  Text("DhcpIPAddress", "10.1.1.1");
  Multi("DefaultGateway", {""});
  FRegistry->CloseKey();
  EXPECT_EQ(Dropped({"10.1.1.1", "172.16.0.9"}), (TList{"172.16.0.9"}));
  EXPECT_EQ(FindLocalSubnetMask(*FRegistry, [] { return "172.16.0.9"; }), "255.255.0.0");
}

TEST_F(InterfaceSettings, OnlyInterfaceWithoutGatewayLeavesNoLocalAddress) {
  Static("{A}", {"10.0.0.5"}, {"255.0.0.0"}, {});
  EXPECT_EQ(SelectLocalIp(*FRegistry, {"10.0.0.5"}), "");
  EXPECT_EQ(FindLocalSubnetMask(*FRegistry, [] { return ""; }), kFallbackSubnetMask);
}

TEST_F(InterfaceSettings, MaskOfFirstInterfaceHoldingThePrimaryAddress) {
  Static("{A}", {"10.0.0.5"}, {"0.0.0.0"}, {"10.0.0.1"});  // no mask: not a candidate
  Static("{B}", {"192.168.1.200"}, {"255.255.255.128"}, {"192.168.1.129"});
  Static("{C}", {"192.168.1.20", "10.0.0.5"}, {"255.255.255.0", "255.0.0.0"}, {"192.168.1.1"});
  Static("{D}", {"192.168.1.20"}, {"255.255.0.0"}, {"192.168.1.1"});
  // 192.168.1.20 occurs in B's "192.168.1.200" before C is reached.
  EXPECT_EQ(FindLocalSubnetMask(*FRegistry, [] { return "192.168.1.20"; }), "255.255.255.128");
  // Two masks come as one text, which is no mask as an address value.
  const std::string both = FindLocalSubnetMask(*FRegistry, [] { return "10.0.0.5"; });
  EXPECT_EQ(both, "255.255.255.0 255.0.0.0");
  EXPECT_EQ(StrToIp(both), 0u);
  EXPECT_EQ(FindLocalSubnetMask(*FRegistry, [] { return "172.31.0.1"; }), kFallbackSubnetMask);
}

TEST(ArpAnswers, NeighbourRowsThatCount) {
  const uint32_t peer = 0x0A4D0014;
  auto row = [](uint32_t address, uint32_t type, uint32_t length, uint8_t last) {
    TNeighbourRow r;
    r.Address = address;
    r.Type = type;
    r.PhysicalLength = length;
    r.Physical = {0x02, 0x77, 0x00, 0x00, 0x00, last, 0, 0};
    return r;
  };
  const TNeighbourRow zeros{peer, 3, 6, {}};  // being resolved, or never answered
  EXPECT_EQ(FindNeighbourMac(std::vector{zeros}, peer), 0u);
  EXPECT_EQ(FindNeighbourMac(std::vector{row(peer, kNeighbourTypeInvalid, 6, 0x14)}, peer), 0u);
  EXPECT_EQ(FindNeighbourMac(std::vector{row(peer, 3, 0, 0x14)}, peer), 0u);
  EXPECT_EQ(FindNeighbourMac(std::vector{row(peer + 1, 3, 6, 0x15)}, peer), 0u);
  EXPECT_EQ(FindNeighbourMac(std::vector{zeros, row(peer + 1, 3, 6, 0x15), row(peer, 4, 6, 0x14)}, peer),
            0x027700000014u);
  EXPECT_EQ(FindNeighbourMac({}, peer), 0u);
}

TEST(ArpAnswers, ProbeTargetsAndOwnAddresses) {
  EXPECT_TRUE(IsArpProbeTarget(StrToIp("10.77.0.99")));
  EXPECT_TRUE(IsArpProbeTarget(StrToIp("223.255.255.254")));
  for (const char* text : {"0.0.0.0", "0.1.2.3", "127.0.0.1", "224.0.0.22", "239.255.255.250", "255.255.255.255"})
    EXPECT_FALSE(IsArpProbeTarget(StrToIp(text))) << text;
  EXPECT_FALSE(IsArpProbeTarget(0xFFFFFFFFu));

  TAdapterRecord a;
  a.AddressLength = 6;
  a.Address = {0x02, 0x77, 0x00, 0x00, 0x00, 0x02, 0xFF, 0xFF};
  a.IpAddressList = {{"10.77.0.2", "255.255.255.0"}, {"10.78.0.2", "255.255.255.0"}};
  TAdapterRecord noMac = a;
  noMac.AddressLength = 0;
  noMac.IpAddressList = {{"10.79.0.2", "255.255.255.0"}};
  const std::vector adapters{noMac, a};
  EXPECT_EQ(FindOwnMac(adapters, StrToIp("10.78.0.2")), 0x027700000002u);
  EXPECT_EQ(FindOwnMac(adapters, StrToIp("10.79.0.2")), 0u);
  EXPECT_EQ(FindOwnMac(adapters, StrToIp("10.77.0.20")), 0u);
  const uint8_t bytes[6] = {0xAA, 0xBB, 0xCC, 0x00, 0x11, 0x22};
  EXPECT_EQ(MacFromBytes(bytes), 0xAABBCC001122u);
}

TEST(ArpAnswers, OnlyAddressesOfTheMachinesOwnNetworksAreOnLink) {
  TAdapterRecord lan;
  lan.IpAddressList = {{"0.0.0.0", "0.0.0.0"}, {"10.77.0.2", "255.255.255.0"}, {"172.16.8.1", "255.255.240.0"}};
  TAdapterRecord point;
  point.IpAddressList = {{"192.168.9.1", "255.255.255.254"}};
  const std::vector adapters{lan, point};
  for (const char* text : {"10.77.0.1", "10.77.0.20", "10.77.0.254", "172.16.0.1", "172.16.15.254", "192.168.9.0"})
    EXPECT_TRUE(IsOnLocalNetwork(adapters, StrToIp(text))) << text;
  // Beyond a gateway, and the networks' own and broadcast addresses; the unset entry matches none.
  for (const char* text : {"10.77.1.20", "10.78.0.20", "172.16.16.1", "8.8.8.8", "10.77.0.0", "10.77.0.255",
                           "172.16.15.255", "192.168.9.2"})
    EXPECT_FALSE(IsOnLocalNetwork(adapters, StrToIp(text))) << text;
  EXPECT_FALSE(IsOnLocalNetwork({}, StrToIp("10.77.0.20")));
}

}  // namespace
}  // namespace kst
