#include "netcore/local_network.h"

#include <algorithm>

#include "netcore/address_text.h"

namespace kst {
namespace {

constexpr std::string_view kNoAddress = "0.0.0.0";

std::string ReadWithDhcpFallback(TRegistryX& reg, std::string_view name, std::string_view dhcpName,
                                 std::string_view none) {
  std::string text = reg.ReadAnyString(name, none);
  if (text == none) text = reg.ReadAnyString(dhcpName, none);
  return text;
}

// The address text of the open interface key: its static address, else the one DHCP gave.
std::string InterfaceAddress(TRegistryX& reg) { return ReadWithDhcpFallback(reg, "IPAddress", "DhcpIPAddress", kNoAddress); }

// Names of the interfaces' subkeys; none when the key is missing or does not open.
std::vector<std::string> InterfaceNames(IRegistryAccessor& registry) {
  registry.SetRoot(TRegRoot::LocalMachine);
  registry.SetAccess(TRegAccess::Read);
  if (!registry.OpenKey(kInterfacesKey, false)) return {};
  std::vector<std::string> names = registry.GetKeyNames();
  registry.CloseKey();
  return names;
}

// Opens each interface's key in turn and hands it to visit until visit returns true.
void VisitInterfaces(IRegistryAccessor& registry, const std::vector<std::string>& names,
                     const std::function<bool(TRegistryX&)>& visit) {
  TRegistryX reg(registry);
  for (const auto& name : names) {
    if (!registry.OpenKey(std::string(kInterfacesKey) + "\\" + name, false)) continue;
    const bool stop = visit(reg);
    registry.CloseKey();
    if (stop) break;
  }
}

}  // namespace

void DropGatewaylessAddresses(IRegistryAccessor& registry, std::vector<std::string>& addresses) {
  VisitInterfaces(registry, InterfaceNames(registry), [&](TRegistryX& reg) {
    const std::string address = InterfaceAddress(reg);
    const std::string gateway = ReadWithDhcpFallback(reg, "DefaultGateway", "DhcpDefaultGateway", "");
    if (address != kNoAddress && gateway.empty()) {
      std::erase_if(addresses, [&](const std::string& a) { return address.find(a) != std::string::npos; });
    }
    return false;
  });
}

std::string SelectLocalIp(IRegistryAccessor& registry, std::vector<std::string> hostAddresses) {
  DropGatewaylessAddresses(registry, hostAddresses);
  return hostAddresses.empty() ? std::string() : hostAddresses.front();
}

std::string FindLocalSubnetMask(IRegistryAccessor& registry, const std::function<std::string()>& localIp) {
  std::string mask(kFallbackSubnetMask);
  const auto names = InterfaceNames(registry);
  if (names.empty()) return mask;
  const std::string primary = localIp();
  if (primary.empty()) return mask;
  VisitInterfaces(registry, names, [&](TRegistryX& reg) {
    const std::string address = InterfaceAddress(reg);
    const std::string interfaceMask = ReadWithDhcpFallback(reg, "SubnetMask", "DhcpSubnetMask", kNoAddress);
    if (address == kNoAddress || interfaceMask == kNoAddress || address.find(primary) == std::string::npos)
      return false;
    mask = interfaceMask;
    return true;
  });
  return mask;
}

uint64_t MacFromBytes(std::span<const uint8_t, 6> bytes) {
  uint64_t mac = 0;
  for (uint8_t b : bytes) mac = (mac << 8) | b;
  return mac;
}

bool IsArpProbeTarget(uint32_t address) {
  const uint32_t first = address >> 24;
  return first != 0 && first != 127 && first < 224;
}

bool IsOnLocalNetwork(std::span<const TAdapterRecord> adapters, uint32_t address) {
  for (const auto& adapter : adapters) {
    for (const auto& entry : adapter.IpAddressList) {
      const uint32_t own = StrToIp(entry.IpAddress), mask = StrToIp(entry.IpMask);
      if (own == 0 || mask == 0 || ((address ^ own) & mask) != 0) continue;
      const uint32_t host = address & ~mask;
      if (~mask > 1 && (host == 0 || host == ~mask)) continue;  // the network's own and its broadcast
      return true;
    }
  }
  return false;
}

uint64_t FindNeighbourMac(std::span<const TNeighbourRow> rows, uint32_t address) {
  for (const auto& row : rows) {
    if (row.Address != address || row.Type == kNeighbourTypeInvalid || row.PhysicalLength < 6) continue;
    const uint64_t mac = MacFromBytes(std::span(row.Physical).first<6>());
    if (mac != 0) return mac;
  }
  return 0;
}

uint64_t FindOwnMac(std::span<const TAdapterRecord> adapters, uint32_t address) {
  if (address == 0) return 0;
  for (const auto& adapter : adapters) {
    if (adapter.AddressLength < 6) continue;
    for (const auto& entry : adapter.IpAddressList)
      if (StrToIp(entry.IpAddress) == address) return MacFromBytes(std::span(adapter.Address).first<6>());
  }
  return 0;
}

}  // namespace kst
