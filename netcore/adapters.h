// The network adapters of this machine, as one snapshot of the platform's adapter table, and the
// local address list both programs offer from it.
//
// The snapshot is taken by the Win32 layer into plain records (TAdapterRecord, mirroring the
// platform's IP_ADAPTER_INFO), from which TIPInfo, TAdapter and TInfoIPAddress are built; so the
// list rules here are portable and tests build snapshots by hand.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kst {

// One IP_ADDR_STRING entry: address and mask text, each up to its first NUL.
struct TAddrStringRecord {
  std::string IpAddress;
  std::string IpMask;
};

// One IP_ADAPTER_INFO record as plain data. Texts are UTF-8.
struct TAdapterRecord {
  std::string AdapterName;
  std::string Description;
  uint32_t AddressLength = 0;       // as the platform reports it; only 8 bytes are stored
  std::array<uint8_t, 8> Address{};
  uint32_t Index = 0;
  uint32_t Type = 0;
  uint32_t DhcpEnabled = 0;
  std::optional<TAddrStringRecord> CurrentIpAddress;  // the platform's pointer may be null
  // The entry embedded in the record followed by its Next chain.
  std::vector<TAddrStringRecord> IpAddressList;
  std::vector<TAddrStringRecord> GatewayList;
  TAddrStringRecord DhcpServer;
  uint32_t HaveWins = 0;
  TAddrStringRecord PrimaryWinsServer;
  TAddrStringRecord SecondaryWinsServer;
};

// "00:0C:29:3A:5B:7C": two upper-case hexadecimal digits per byte, joined by ':'; no bytes give
// empty text. Only the adapter's own text; users write MAC addresses in the hyphen form.
std::string MacBytesToStr(std::span<const uint8_t> bytes);

class TInfoIPAddress {
 public:
  // A null entry gives two empty texts.
  explicit TInfoIPAddress(const TAddrStringRecord* entry);

  std::string IpAddress;
  std::string IpMask;
};

class TAdapter {
 public:
  explicit TAdapter(const TAdapterRecord& record);

  const TInfoIPAddress& GetIpAddress(size_t i) const { return IpAddresses.at(i); }
  size_t IpAddressCount() const { return IpAddresses.size(); }
  const TInfoIPAddress& GetGateway(size_t i) const { return Gateways.at(i); }
  size_t GatewayCount() const { return Gateways.size(); }

  std::string AdapterName;
  std::string Description;
  uint32_t AddressLength = 0;
  std::string HardwareAddress;  // MacBytesToStr of the first AddressLength bytes (at most 8)
  uint32_t AdapterIndex = 0;
  uint32_t AdapterType = 0;
  bool DhcpEnabled = false;
  TInfoIPAddress CurrentIpAddress;
  // Never empty: the platform always has the embedded entry, though its texts may be empty
  // (an adapter without a gateway reports one with empty or "0.0.0.0" text).
  std::vector<TInfoIPAddress> IpAddresses;
  std::vector<TInfoIPAddress> Gateways;
  TInfoIPAddress DhcpServer;
  bool HaveWins = false;
  TInfoIPAddress PrimaryWinsServer;
  TInfoIPAddress SecondaryWinsServer;
};

// One snapshot of the adapter table, in the platform's order. Taken, read and dropped within one
// operation; it never refreshes itself.
class TIPInfo {
 public:
  // Takes the platform's snapshot (Win32 layer only). Throws TOsError when the table cannot be
  // read, ERROR_NO_DATA (232) included: a machine without adapters.
  TIPInfo();
  explicit TIPInfo(std::span<const TAdapterRecord> records);

  const TAdapter& GetAdapter(size_t i) const { return Adapters.at(i); }
  size_t AdapterCount() const { return Adapters.size(); }

  std::vector<TAdapter> Adapters;
};

struct TLocalAddressEntry {
  std::string Name;             // address text
  std::string Value;            // adapter description
  std::string HardwareAddress;  // MacBytesToStr text of the adapter that gave Value; may be empty
};

// The local address list: one entry per non-empty address text of every adapter. The first entry
// is the default local address: the first address that has one of its adapter's gateways in its
// subnet, else the first address. Every entry then takes the description (and hardware address)
// of the last adapter holding its address text; entries whose description is empty are removed.
// A second entry with an address text already listed gets no description: it keeps its gateway
// text, or empty text, as Value and has no HardwareAddress.
std::vector<TLocalAddressEntry> BuildLocalAddressList(const TIPInfo& info);

// Win32 layer: takes a snapshot and builds the list from it; throws TOsError as TIPInfo does.
std::vector<TLocalAddressEntry> GetLocalAddressList();

}  // namespace kst
