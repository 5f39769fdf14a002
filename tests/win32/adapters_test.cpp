#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "netcore/adapters.h"
#include "netcore/address_text.h"
#include "netcore/win32/adapters_win32.h"
#include "netcore/win32/os_error_win32.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using test::Env;

// The sandbox's MAC text in the adapter's own colon form.
std::string HostMacColons() {
  std::string mac = Env("KST_HOST_MAC");
  std::replace(mac.begin(), mac.end(), '-', ':');
  return mac;
}

TEST(AdapterSnapshot, ListsTheSandboxInterface) {
  ASSERT_TRUE(test::InSandbox());
  const auto records = ReadAdapterRecords();
  const auto lan = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.Description == "lan0"; });
  ASSERT_NE(lan, records.end());
  const TAdapter adapter(*lan);
  EXPECT_EQ(adapter.HardwareAddress, HostMacColons());
  EXPECT_EQ(adapter.AddressLength, 6u);
  EXPECT_FALSE(adapter.AdapterName.empty());
  ASSERT_EQ(adapter.IpAddressCount(), 1u);
  EXPECT_EQ(adapter.GetIpAddress(0).IpAddress, Env("KST_HOST_ADDRESS"));
  EXPECT_EQ(adapter.GetIpAddress(0).IpMask, Env("KST_LAN_MASK"));
  EXPECT_EQ(adapter.GetGateway(0).IpAddress, Env("KST_GATEWAY"));
  for (const auto& r : records)
    for (const auto& a : r.IpAddressList) EXPECT_NE(StrToIp(a.IpAddress) >> 24, 127u) << r.Description;
}

TEST(AdapterSnapshot, TooSmallFirstBufferIsAskedAgain) {
  ASSERT_TRUE(test::InSandbox());
  const auto full = ReadAdapterRecords();
  const auto grown = ReadAdapterRecords(64);
  ASSERT_EQ(grown.size(), full.size());
  for (size_t i = 0; i < full.size(); ++i) {
    EXPECT_EQ(grown[i].Description, full[i].Description);
    EXPECT_EQ(grown[i].IpAddressList.front().IpAddress, full[i].IpAddressList.front().IpAddress);
  }
}

TEST(AdapterSnapshot, PlatformRecordsAreReadWithinTheirFields) {
  IP_ADDR_STRING second{};
  std::strcpy(second.IpAddress.String, "10.0.0.6");
  std::strcpy(second.IpMask.String, "255.0.0.0");
  IP_ADAPTER_INFO last{};
  IP_ADAPTER_INFO first{};
  first.Next = &last;
  // Fields filled to their last byte, without a NUL.
  std::memset(first.AdapterName, 'n', sizeof first.AdapterName);
  std::memset(first.Description, 'd', sizeof first.Description);
  std::memset(first.IpAddressList.IpAddress.String, '1', sizeof first.IpAddressList.IpAddress.String);
  std::strcpy(first.IpAddressList.IpMask.String, "255.0.0.0");
  first.IpAddressList.Next = &second;
  std::strcpy(first.GatewayList.IpAddress.String, "10.0.0.1");
  first.AddressLength = 6;
  const BYTE mac[] = {0x00, 0x0c, 0x29, 0x3a, 0x5b, 0x7c};
  std::memcpy(first.Address, mac, sizeof mac);
  first.Index = 12;
  first.HaveWins = TRUE;
  first.CurrentIpAddress = &second;
  std::strcpy(last.Description, "Second");

  const auto records = AdapterRecordsFrom(&first);
  ASSERT_EQ(records.size(), 2u);
  const TIPInfo info(records);
  const TAdapter& a = info.GetAdapter(0);
  EXPECT_EQ(a.AdapterName, std::string(sizeof first.AdapterName, 'n'));
  EXPECT_EQ(a.Description, std::string(sizeof first.Description, 'd'));
  EXPECT_EQ(a.GetIpAddress(0).IpAddress, std::string(15, '1'));
  ASSERT_EQ(a.IpAddressCount(), 2u);
  EXPECT_EQ(a.GetIpAddress(1).IpAddress, "10.0.0.6");
  EXPECT_EQ(a.GetIpAddress(1).IpMask, "255.0.0.0");
  EXPECT_EQ(a.GatewayCount(), 1u);
  EXPECT_EQ(a.HardwareAddress, "00:0C:29:3A:5B:7C");
  EXPECT_EQ(a.AdapterIndex, 12u);
  EXPECT_TRUE(a.HaveWins);
  EXPECT_EQ(a.CurrentIpAddress.IpAddress, "10.0.0.6");
  EXPECT_EQ(info.GetAdapter(1).Description, "Second");
  EXPECT_EQ(info.GetAdapter(1).CurrentIpAddress.IpAddress, "");
  EXPECT_EQ(info.GetAdapter(1).HardwareAddress, "");
}

TEST(LocalAddressList, SandboxAddressIsTheDefault) {
  ASSERT_TRUE(test::InSandbox());
  const auto list = GetLocalAddressList();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0].Name, Env("KST_HOST_ADDRESS"));
  EXPECT_EQ(list[0].Value, "lan0");
  EXPECT_EQ(list[0].HardwareAddress, HostMacColons());
}

TEST(OsError, CarriesCodeAndSystemText) {
  try {
    RaiseOsError(ERROR_NO_DATA);
  } catch (const TOsError& e) {
    EXPECT_EQ(e.Code(), static_cast<uint32_t>(ERROR_NO_DATA));
    const std::string text = e.what();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(text, SystemErrorText(ERROR_BUFFER_OVERFLOW));
    return;
  }
  FAIL() << "no TOsError";
}

}  // namespace
}  // namespace kst
