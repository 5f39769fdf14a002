#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/growing_buffer.h"

namespace kst {
namespace {

// An adapter record as the platform would report it: one address list entry per "address/mask",
// the gateways as given, and a MAC built from the last byte.
TAdapterRecord Adapter(std::string description, std::vector<std::string> addresses,
                       std::vector<std::string> gateways = {""}, uint8_t macLast = 1) {
  TAdapterRecord r;
  r.AdapterName = "{" + description + "}";
  r.Description = std::move(description);
  r.AddressLength = 6;
  r.Address = {0x02, 0x00, 0x00, 0x00, 0x00, macLast, 0xEE, 0xEE};
  for (const auto& a : addresses) {
    const auto slash = a.find('/');
    r.IpAddressList.push_back({a.substr(0, slash), slash == std::string::npos ? "" : a.substr(slash + 1)});
  }
  for (const auto& g : gateways) r.GatewayList.push_back({g, "255.255.255.255"});
  return r;
}

std::vector<TLocalAddressEntry> ListOf(const std::vector<TAdapterRecord>& records) {
  return BuildLocalAddressList(TIPInfo(records));
}

std::vector<std::string> Lines(const std::vector<TLocalAddressEntry>& list) {
  std::vector<std::string> lines;
  for (const auto& e : list) lines.push_back(e.Name + "=" + e.Value + (e.HardwareAddress.empty() ? "" : " " + e.HardwareAddress));
  return lines;
}

using TLines = std::vector<std::string>;

TEST(MacBytesToStr, TwoUpperCaseDigitsPerByteJoinedByColons) {
  const uint8_t bytes[] = {0x00, 0x0C, 0x29, 0x3A, 0x5B, 0x7C, 0xab};
  EXPECT_EQ(MacBytesToStr(std::span(bytes).first(6)), "00:0C:29:3A:5B:7C");
  EXPECT_EQ(MacBytesToStr(bytes), "00:0C:29:3A:5B:7C:AB");
  EXPECT_EQ(MacBytesToStr({}), "");
}

TEST(AdapterSnapshot, RecordFieldsAndHardwareAddressLength) {
  TAdapterRecord r = Adapter("Ethernet", {"10.0.0.5/255.0.0.0", "10.0.0.6/255.0.0.0"}, {"10.0.0.1"}, 0x42);
  r.Index = 7;
  r.Type = 6;
  r.DhcpEnabled = 1;
  r.HaveWins = 0;
  r.DhcpServer = {"10.0.0.2", "255.255.255.255"};
  const TAdapter a(r);
  EXPECT_EQ(a.AdapterName, "{Ethernet}");
  EXPECT_EQ(a.HardwareAddress, "02:00:00:00:00:42");
  EXPECT_EQ(a.AdapterIndex, 7u);
  EXPECT_EQ(a.AdapterType, 6u);
  EXPECT_TRUE(a.DhcpEnabled);
  EXPECT_FALSE(a.HaveWins);
  EXPECT_EQ(a.DhcpServer.IpAddress, "10.0.0.2");
  ASSERT_EQ(a.IpAddressCount(), 2u);
  EXPECT_EQ(a.GetIpAddress(1).IpAddress, "10.0.0.6");
  EXPECT_EQ(a.GetIpAddress(1).IpMask, "255.0.0.0");
  EXPECT_EQ(a.GetGateway(0).IpAddress, "10.0.0.1");
  EXPECT_THROW(a.GetIpAddress(2), std::out_of_range);

  r.AddressLength = 0;
  EXPECT_EQ(TAdapter(r).HardwareAddress, "");
  // A length beyond the record's eight bytes must not read past them.
  r.AddressLength = 200;
  EXPECT_EQ(TAdapter(r).HardwareAddress, "02:00:00:00:00:42:EE:EE");
}

TEST(AdapterSnapshot, MissingEntriesReadAsEmptyTexts) {
  TAdapterRecord r;  // no current address, no lists at all
  const TAdapter a(r);
  EXPECT_EQ(a.CurrentIpAddress.IpAddress, "");
  EXPECT_EQ(a.CurrentIpAddress.IpMask, "");
  // The platform always has the embedded first entry, so the lists never come out empty.
  ASSERT_EQ(a.IpAddressCount(), 1u);
  ASSERT_EQ(a.GatewayCount(), 1u);
  EXPECT_EQ(a.GetIpAddress(0).IpAddress, "");

  r.CurrentIpAddress = TAddrStringRecord{"192.168.1.20", "255.255.255.0"};
  EXPECT_EQ(TAdapter(r).CurrentIpAddress.IpMask, "255.255.255.0");
  const TIPInfo info(std::vector<TAdapterRecord>{r, Adapter("B", {})});
  ASSERT_EQ(info.AdapterCount(), 2u);
  EXPECT_EQ(info.GetAdapter(1).Description, "B");
}

TEST(LocalAddressList, AddressWithGatewayInItsSubnetComesFirst) {
  EXPECT_EQ(Lines(ListOf({Adapter("D", {"192.168.1.20/255.255.255.0"}, {"192.168.1.1"}, 9)})),
            (TLines{"192.168.1.20=D 02:00:00:00:00:09"}));

  // A has no gateway, B has one in its subnet: B's address is the default.
  EXPECT_EQ(Lines(ListOf({Adapter("A", {"10.0.0.5/255.0.0.0"}, {""}, 1),
                          Adapter("B", {"192.168.1.20/255.255.255.0"}, {"192.168.1.1"}, 2)})),
            (TLines{"192.168.1.20=B 02:00:00:00:00:02", "10.0.0.5=A 02:00:00:00:00:01"}));

  // Of two addresses only the second shares the gateway's subnet; the others keep their order.
  EXPECT_EQ(Lines(ListOf({Adapter("A", {"10.0.0.5/255.0.0.0"}),
                          Adapter("B", {"172.16.0.9/255.255.0.0", "192.168.1.20/255.255.255.0"},
                                  {"192.168.7.1", "192.168.1.1"}, 2)})),
            (TLines{"192.168.1.20=B 02:00:00:00:00:02", "10.0.0.5=A 02:00:00:00:00:01",
                    "172.16.0.9=B 02:00:00:00:00:02"}));
}

TEST(LocalAddressList, GatewaysThatDoNotCountKeepAdapterOrder) {
  // A gateway outside the subnet, another adapter's gateway, and a gateway beside an address
  // without a mask do not pick the default.
  EXPECT_EQ(Lines(ListOf({Adapter("A", {"10.0.0.5/255.255.255.0"}, {"10.0.1.1"}, 1),
                          Adapter("B", {"192.168.1.20/255.255.255.0"}, {"10.0.0.1"}, 2),
                          Adapter("C", {"172.16.0.9"}, {"172.16.0.1"}, 3)})),
            (TLines{"10.0.0.5=A 02:00:00:00:00:01", "192.168.1.20=B 02:00:00:00:00:02",
                    "172.16.0.9=C 02:00:00:00:00:03"}));
}

TEST(LocalAddressList, DisconnectedAndEmptyEntries) {
  // A disconnected adapter reports 0.0.0.0, which is still an address text; an empty one is not.
  EXPECT_EQ(Lines(ListOf({Adapter("Off", {"0.0.0.0/0.0.0.0", "/"}), Adapter("On", {"10.0.0.5/255.0.0.0"}, {""}, 2)})),
            (TLines{"0.0.0.0=Off 02:00:00:00:00:01", "10.0.0.5=On 02:00:00:00:00:02"}));
  EXPECT_TRUE(ListOf({}).empty());
  EXPECT_TRUE(ListOf({Adapter("A", {"/255.0.0.0"}, {"10.0.0.1"})}).empty());
}

TEST(LocalAddressList, EmptyDescriptionRemovesEntries) {
  EXPECT_EQ(Lines(ListOf({Adapter("", {"192.168.1.20/255.255.255.0", "10.0.0.5/255.0.0.0"}, {"192.168.1.1"}),
                          Adapter("B", {"172.16.0.9/255.255.0.0"}, {""}, 2)})),
            (TLines{"172.16.0.9=B 02:00:00:00:00:02"}));
}

TEST(LocalAddressList, DuplicateAddressTexts) {
  // Only the first entry of a text is described, by the last adapter holding it; the later one
  // keeps its gateway text (or nothing) and has no hardware address.
  EXPECT_EQ(Lines(ListOf({Adapter("A", {"10.0.0.5/255.0.0.0"}, {"10.0.0.1"}, 1),
                          Adapter("B", {"10.0.0.5/255.0.0.0"}, {"10.9.9.9"}, 2),
                          Adapter("C", {"10.0.0.5/255.0.0.0"}, {""}, 3)})),
            (TLines{"10.0.0.5=C 02:00:00:00:00:03", "10.0.0.5=10.9.9.9", "10.0.0.5="}));

  // The last holder without a description removes the described entry; the later one stays.
  EXPECT_EQ(Lines(ListOf({Adapter("A", {"10.0.0.5/255.0.0.0"}, {"10.0.0.1"}, 1),
                          Adapter("", {"10.0.0.5/255.0.0.0"}, {"10.9.9.9"}, 2)})),
            (TLines{"10.0.0.5=10.9.9.9"}));
}

TEST(FillGrowingBuffer, AsksAgainWithTheReportedSize) {
  constexpr uint32_t kOverflow = 111;
  // The need grows between calls, as when an adapter appears meanwhile.
  std::vector<uint32_t> needs{8000, 9000, 9000};
  std::vector<uint32_t> offered;
  auto call = [&](uint8_t*, uint32_t& size) -> uint32_t {
    offered.push_back(size);
    const uint32_t need = needs[std::min(offered.size(), needs.size()) - 1];
    if (size >= need) return 0;
    size = need;
    return kOverflow;
  };
  std::vector<uint8_t> buffer(5120);
  EXPECT_EQ(FillGrowingBuffer(buffer, kOverflow, call), 0u);
  EXPECT_EQ(offered, (std::vector<uint32_t>{5120, 8000, 9000}));

  // A need that keeps growing gives up with the overflow code.
  needs = {6000, 7000, 8000, 9000, 10000};
  offered.clear();
  buffer.assign(5120, 0);
  EXPECT_EQ(FillGrowingBuffer(buffer, kOverflow, call, 3), kOverflow);
  EXPECT_EQ(offered.size(), 3u);
}

TEST(FillGrowingBuffer, OtherResultsEndAtOnce) {
  int calls = 0;
  std::vector<uint8_t> buffer(16);
  EXPECT_EQ(FillGrowingBuffer(buffer, 111, [&](uint8_t*, uint32_t&) {
    ++calls;
    return 232u;
  }), 232u);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(buffer.size(), 16u);

  // An overflow that asks for no more room still gets a larger buffer next time.
  std::vector<size_t> sizes;
  FillGrowingBuffer(buffer, 122, [&](uint8_t*, uint32_t& size) {
    sizes.push_back(size);
    size = 0;
    return 122u;
  });
  ASSERT_EQ(sizes.size(), 4u);
  EXPECT_LT(sizes[0], sizes[1]);
  EXPECT_LT(sizes[2], sizes[3]);
}

}  // namespace
}  // namespace kst
