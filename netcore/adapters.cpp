#include "netcore/adapters.h"

#include <algorithm>

#include "netcore/address_text.h"

namespace kst {
namespace {

std::vector<TInfoIPAddress> AddressList(const std::vector<TAddrStringRecord>& entries) {
  std::vector<TInfoIPAddress> list;
  list.reserve(std::max<size_t>(entries.size(), 1));
  for (const auto& entry : entries) list.emplace_back(&entry);
  if (list.empty()) list.emplace_back(nullptr);
  return list;
}

bool SameSubnet(const std::string& address, const std::string& gateway, uint32_t mask) {
  return (StrToIp(address) & mask) == (StrToIp(gateway) & mask);
}

}  // namespace

std::string MacBytesToStr(std::span<const uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    if (!text.empty()) text += ':';
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
  }
  return text;
}

TInfoIPAddress::TInfoIPAddress(const TAddrStringRecord* entry) {
  if (entry == nullptr) return;
  IpAddress = entry->IpAddress;
  IpMask = entry->IpMask;
}

TAdapter::TAdapter(const TAdapterRecord& record)
    : AdapterName(record.AdapterName),
      Description(record.Description),
      AddressLength(record.AddressLength),
      HardwareAddress(MacBytesToStr(std::span(record.Address).first(
          std::min<size_t>(record.AddressLength, record.Address.size())))),
      AdapterIndex(record.Index),
      AdapterType(record.Type),
      DhcpEnabled(record.DhcpEnabled != 0),
      CurrentIpAddress(record.CurrentIpAddress ? &*record.CurrentIpAddress : nullptr),
      IpAddresses(AddressList(record.IpAddressList)),
      Gateways(AddressList(record.GatewayList)),
      DhcpServer(&record.DhcpServer),
      HaveWins(record.HaveWins != 0),
      PrimaryWinsServer(&record.PrimaryWinsServer),
      SecondaryWinsServer(&record.SecondaryWinsServer) {}

TIPInfo::TIPInfo(std::span<const TAdapterRecord> records) {
  Adapters.reserve(records.size());
  for (const auto& record : records) Adapters.emplace_back(record);
}

std::vector<TLocalAddressEntry> BuildLocalAddressList(const TIPInfo& info) {
  std::vector<TLocalAddressEntry> list;

  // First pass: the value is the adapter's first gateway in the address's subnet, if any. It only
  // serves to pick the default entry below.
  for (const auto& adapter : info.Adapters) {
    for (const auto& address : adapter.IpAddresses) {
      if (address.IpAddress.empty()) continue;
      TLocalAddressEntry entry{address.IpAddress, {}, {}};
      if (!address.IpMask.empty()) {
        const uint32_t mask = StrToIp(address.IpMask);
        const auto gateway = std::find_if(adapter.Gateways.begin(), adapter.Gateways.end(), [&](const auto& g) {
          return SameSubnet(address.IpAddress, g.IpAddress, mask);
        });
        if (gateway != adapter.Gateways.end()) entry.Value = gateway->IpAddress;
      }
      list.push_back(std::move(entry));
    }
  }
  if (list.empty()) return list;

  // An address that can reach its gateway is the best guess for sending; it goes first.
  const auto routed = std::find_if(list.begin(), list.end(), [](const auto& e) { return !e.Value.empty(); });
  if (routed != list.end()) std::rotate(list.begin(), routed, routed + 1);

  // Final pass: descriptions replace the gateway texts; an empty description drops the entry.
  for (const auto& adapter : info.Adapters) {
    for (const auto& address : adapter.IpAddresses) {
      const std::string name = LowerAscii(address.IpAddress);
      const auto entry =
          std::find_if(list.begin(), list.end(), [&](const auto& e) { return LowerAscii(e.Name) == name; });
      if (entry == list.end()) continue;
      if (adapter.Description.empty()) {
        list.erase(entry);
      } else {
        entry->Value = adapter.Description;
        entry->HardwareAddress = adapter.HardwareAddress;
      }
    }
  }
  return list;
}

}  // namespace kst
