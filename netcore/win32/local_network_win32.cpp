// gethostbyname and inet_addr on purpose: for the machine's own name gethostbyname answers with
// the machine's addresses (getaddrinfo does not under Wine), and inet_addr reads an address text
// as the system's own tools do.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>

#include "netcore/address_text.h"
#include "netcore/arp_sweep.h"
#include "netcore/growing_buffer.h"
#include "netcore/local_network.h"
#include "netcore/os_error.h"
#include "netcore/win32/adapters_win32.h"
#include "netcore/win32/handles_win32.h"

namespace kst {

std::vector<TNeighbourRow> ReadNeighbourTable() {
  std::vector<uint8_t> buffer(sizeof(MIB_IPNETTABLE) + 32 * sizeof(MIB_IPNETROW));
  const uint32_t status = FillGrowingBuffer(buffer, ERROR_INSUFFICIENT_BUFFER, [](uint8_t* data, uint32_t& size) {
    ULONG length = size;
    const DWORD result = GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(data), &length, FALSE);
    size = length;
    return static_cast<uint32_t>(result);
  });
  std::vector<TNeighbourRow> rows;
  if (status != NO_ERROR) return rows;
  const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IPNETROW& row = table->table[i];
    TNeighbourRow r;
    r.Address = ntohl(row.dwAddr);
    r.Type = row.dwType;
    r.PhysicalLength = row.dwPhysAddrLen;
    std::memcpy(r.Physical.data(), row.bPhysAddr, std::min(sizeof row.bPhysAddr, r.Physical.size()));
    rows.push_back(r);
  }
  return rows;
}

std::unique_ptr<TArpSweep> MakeArpSweep() {
  std::vector<TAdapterRecord> adapters;
  try {
    adapters = ReadAdapterRecords();
  } catch (const TOsError&) {
    // No adapter table: nothing of ours holds an address, and no network is known to ask on.
  }
  return std::make_unique<TArpSweep>(NeighbourPlatform(), SteadyClock(), std::move(adapters));
}

uint64_t GetMacByArp(std::string_view address) {
  const std::string text = address.empty() ? GetLocalIp() : std::string(address);
  return MakeArpSweep()->MacOf(ntohl(inet_addr(text.c_str())));
}

void GetHostAddresses(std::vector<std::string>& list) {
  TWinsockSession winsock;
  if (!winsock.Started()) return;
  char name[128] = {};
  if (gethostname(name, sizeof name) != 0) return;
  const hostent* host = gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4) return;
  for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
    in_addr in{};
    std::memcpy(&in, *entry, sizeof in);
    std::string text = IpToStr(ntohl(in.s_addr));
    if (!text.empty()) list.push_back(std::move(text));
  }
}

void DropGatewaylessAddresses(std::vector<std::string>& addresses) {
  const auto registry = MakeSystemRegistry();
  DropGatewaylessAddresses(*registry, addresses);
}

std::string GetLocalIp() {
  std::vector<std::string> addresses;
  GetHostAddresses(addresses);
  const auto registry = MakeSystemRegistry();
  return SelectLocalIp(*registry, std::move(addresses));
}

std::string GetLocalSubnetMask() {
  const auto registry = MakeSystemRegistry();
  return FindLocalSubnetMask(*registry, [] { return GetLocalIp(); });
}

}  // namespace kst
