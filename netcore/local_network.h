// The machine's primary local address and the subnet mask of its interface, and the ARP probe
// that asks a host on the local network for its MAC address.
//
// The primary local address is the first of the machine's own addresses whose interface has a
// default gateway, as the TCP/IP interface settings in the registry say; it is not the first
// entry of the local address list (adapters.h), which comes from the adapter snapshot.
// Nothing here throws or shows anything: failure is 0, empty text or the fallback mask.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/registry.h"

namespace kst {

// One subkey per network interface, under HKEY_LOCAL_MACHINE.
inline constexpr std::string_view kInterfacesKey = "\\SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces";
inline constexpr std::string_view kFallbackSubnetMask = "255.255.255.0";

// --- Rules over the interface settings (the registry accessor is set to the local machine,
// read-only; keys that are missing or do not open are skipped) ---

// Removes every address that occurs, as a plain substring, in the address text of an interface
// that has an address but no default gateway; the others keep their order. An interface's
// address and gateway texts may hold several addresses separated by blanks.
void DropGatewaylessAddresses(IRegistryAccessor& registry, std::vector<std::string>& addresses);

// The first of the host's addresses left by DropGatewaylessAddresses; empty when none is.
std::string SelectLocalIp(IRegistryAccessor& registry, std::vector<std::string> hostAddresses);

// The mask text of the first interface with an address and a mask whose address text contains
// the primary local address; kFallbackSubnetMask when none does. localIp is asked only when
// there are interfaces to look at; an empty primary address matches none.
std::string FindLocalSubnetMask(IRegistryAccessor& registry, const std::function<std::string()>& localIp);

// --- ARP answers ---

// MAC value of six bytes, the first in bits 40..47.
uint64_t MacFromBytes(std::span<const uint8_t, 6> bytes);

// Whether a datagram may be sent to the address to make the system resolve it: not 0, not
// loopback, multicast, reserved or 255.255.255.255. (A subnet's broadcast address is refused by
// the socket itself, which has no broadcast permission.)
bool IsArpProbeTarget(uint32_t address);

// Whether the address lies on a network of one of this machine's adapters (an address of the
// adapter and its mask), other than that network's own address and its broadcast address: such
// an address is reached directly, never through a gateway, so its ARP answer can be had.
bool IsOnLocalNetwork(std::span<const TAdapterRecord> adapters, uint32_t address);

// One row of the system's neighbour (ARP) table.
struct TNeighbourRow {
  uint32_t Address = 0;  // address value
  uint32_t Type = 0;     // the platform's MIB_IPNET_TYPE_* number
  uint32_t PhysicalLength = 0;
  std::array<uint8_t, 8> Physical{};
};
inline constexpr uint32_t kNeighbourTypeInvalid = 2;

// The MAC value of the first row for the address that holds an answer: not an invalid
// (unresolved) row, at least six hardware bytes, not all of them zero (an address being resolved,
// or that never answered, shows zeros). 0 when no row does.
uint64_t FindNeighbourMac(std::span<const TNeighbourRow> rows, uint32_t address);

// The MAC value of this machine's own adapter that holds the address (as ARP answers for one's
// own address), or 0.
uint64_t FindOwnMac(std::span<const TAdapterRecord> adapters, uint32_t address);

// --- Win32 layer ---

// MAC value of the host that answers ARP for the dotted address (empty: the primary local
// address); 0 when none answers. Blocks until the answer counts or the address is silent
// (arp_sweep.h: up to kConfirmAfter plus kSilenceAfter where only the neighbour table tells).
uint64_t GetMacByArp(std::string_view address);

// The system's neighbour (ARP) table as it is now; empty when it cannot be read.
std::vector<TNeighbourRow> ReadNeighbourTable();
// Appends the machine's own IPv4 addresses as the resolver lists them for its host name.
void GetHostAddresses(std::vector<std::string>& list);
// DropGatewaylessAddresses over the system's registry.
void DropGatewaylessAddresses(std::vector<std::string>& addresses);
// The primary local address as dotted text; empty when there is none.
std::string GetLocalIp();
// Dotted mask of the interface holding the primary local address, else kFallbackSubnetMask.
std::string GetLocalSubnetMask();

}  // namespace kst
