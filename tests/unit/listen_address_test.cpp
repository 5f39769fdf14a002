#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listener/listen_address.h"

namespace kst {
namespace {

TAdapterRecord Adapter(std::string description, std::string address, std::string gateway,
                       std::vector<uint8_t> hardware) {
  TAdapterRecord r;
  r.Description = std::move(description);
  r.AddressLength = static_cast<uint32_t>(hardware.size());
  std::copy(hardware.begin(), hardware.end(), r.Address.begin());
  r.IpAddressList.push_back({std::move(address), "255.255.255.0"});
  r.GatewayList.push_back({std::move(gateway), ""});
  return r;
}

std::vector<std::string> Lines(const std::vector<TListenAddress>& list) {
  std::vector<std::string> lines;
  for (const auto& a : list) lines.push_back(a.Address + "=" + a.Description + " [" + a.Mac + "]");
  return lines;
}

TEST(ListenAddresses, PreferredAddressFirstEachWithItsAdapterMac) {
  const std::vector<TAdapterRecord> records = {
      Adapter("A", "10.0.0.5", "", {0x00, 0x0C, 0x29, 0x3A, 0x5B, 0x7C}),
      Adapter("B", "192.168.1.7", "192.168.1.1", {0x02, 0x77, 0x00, 0x00, 0x00, 0x02}),
  };
  EXPECT_EQ(Lines(ListenAddresses(BuildLocalAddressList(TIPInfo(records)))),
            (std::vector<std::string>{"192.168.1.7=B [02-77-00-00-00-02]", "10.0.0.5=A [00-0C-29-3A-5B-7C]"}));
}

TEST(ListenAddresses, HardwareAddressNotSixBytesLongGivesNoMac) {
  const std::vector<TAdapterRecord> records = {
      Adapter("Tunnel", "10.1.0.1", "", {}),
      Adapter("Firewire", "10.2.0.1", "", {1, 2, 3, 4, 5, 6, 7, 8}),
      Adapter("Short", "10.3.0.1", "", {1, 2, 3, 4, 5}),
  };
  EXPECT_EQ(Lines(ListenAddresses(BuildLocalAddressList(TIPInfo(records)))),
            (std::vector<std::string>{"10.1.0.1=Tunnel []", "10.2.0.1=Firewire []", "10.3.0.1=Short []"}));
}

TEST(ListenAddresses, AdapterWithoutDescriptionIsLeftOutAndLendsNoMac) {
  const std::vector<TAdapterRecord> records = {
      Adapter("", "192.168.1.7", "192.168.1.1", {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}),
      Adapter("Ethernet", "10.0.0.5", "", {0x00, 0x11, 0x22, 0x33, 0x44, 0x55}),
  };
  EXPECT_EQ(Lines(ListenAddresses(BuildLocalAddressList(TIPInfo(records)))),
            (std::vector<std::string>{"10.0.0.5=Ethernet [00-11-22-33-44-55]"}));
}

TEST(ListenAddresses, MacTextIsTheAdapterTextWithHyphensOnlyWhenSeventeenLong) {
  EXPECT_EQ(AdapterMacText("00:0C:29:3A:5B:7C"), "00-0C-29-3A-5B-7C");
  EXPECT_EQ(AdapterMacText(""), "");
  EXPECT_EQ(AdapterMacText("00:0C:29:3A:5B"), "");
  EXPECT_EQ(AdapterMacText("00:0C:29:3A:5B:7C:01"), "");
}

}  // namespace
}  // namespace kst
