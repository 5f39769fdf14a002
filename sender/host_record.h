// Kestrune's computer records, the two owning lists and the settings shared by the dialogs,
// the scan and the stores. Held in TKestruneState, which the window owns and the stores fill,
// so that they work (and are tested) without the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kst {

inline constexpr size_t kComputerNameMax = 64;
inline constexpr size_t kBroadcastHostMax = 255;
inline constexpr uint16_t kDefaultPort = 7;

// The first max characters of UTF-8 text; never splits a character (CutUtf8).
std::string CutText(std::string_view text, size_t max);

// A record's identity for the whole run: taken from a counter when the record is made (on any
// thread) and never given to another record, so that a late send result can never be taken for
// a newer record that happens to live at a freed one's address. A copy is a new record with its
// own identity; assigning a record's values keeps the identity of the one assigned to.
class THostId {
 public:
  THostId() noexcept;
  THostId(const THostId&) noexcept : THostId() {}
  THostId& operator=(const THostId&) noexcept { return *this; }
  uint64_t Value() const noexcept { return FValue; }

 private:
  uint64_t FValue;
};

struct THostRecord {
  THostId Id;
  uint32_t LocalIpAddress = 0;    // 0: any local address
  std::string ComputerName;       // at most kComputerNameMax characters
  uint64_t MacAddress = 0;        // 48 bits, first octet in bits 40..47
  uint64_t Password = 0;          // SecureOn password, same layout; 0: none
  uint64_t BroadcastAddress = 0;  // destination address in the low 32 bits; 0: none yet
  std::string BroadcastHost;      // destination as typed when it was a name; at most 255 characters
  uint16_t Port = kDefaultPort;

  void AssignComputerName(std::string_view name) { ComputerName = CutText(name, kComputerNameMax); }
  void AssignBroadcastHost(std::string_view host) { BroadcastHost = CutText(host, kBroadcastHostMax); }
  // What a send uses: the address when there is one, else the host name.
  std::string DestinationText() const;
  // What the table and the editor show: the host name when there is one, else the address.
  std::string DisplayDestination() const;
};

// Ordered, owning: removing a record frees it.
using THostList = std::vector<std::unique_ptr<THostRecord>>;

// Frees every record of the list and empties it; a missing list is left alone.
void ClearList(THostList* list);
// Index of the first record whose lower-cased name (A..Z only) equals name exactly; -1 if none.
// The name is not converted: callers pass it in lower case.
int GetHostIndex(const THostList& list, std::string_view name);
// Whether the pointer is (still) an element of the list: the same record, not an equal one.
bool ContainsRecord(const THostList& list, const THostRecord* record);
// Index of the record with that identity; -1 when it is no longer in the list.
int FindRecord(const THostList& list, uint64_t id);

struct TSharedSettings {
  uint64_t HostBroadcastAddress = 0;
  std::string HostBroadcastHost;
  uint16_t HostPort = kDefaultPort;
  uint64_t SearchBroadcastAddress = 0;
  std::string SearchBroadcastHost;
  uint64_t SearchFromIpAddress = 0;
  uint64_t SearchToIpAddress = 0;
  uint16_t SearchPort = kDefaultPort;

  // Start-up defaults for the local network: broadcast address as destination, the whole
  // subnet as the search range, port 7.
  static TSharedSettings ForNetwork(uint32_t localAddress, uint32_t mask);
};

struct TKestruneState {
  THostList HostList;
  THostList NewHostList;
  TSharedSettings Settings;
  uint64_t NetworkAddress = 0;
  uint64_t NetworkMask = 0;
  int EditIndex = -1;  // the record the editor works on; outside the list: a new record

  // Sets NetworkAddress, NetworkMask and the shared settings from the primary local address.
  void SetNetworkDefaults(uint32_t localAddress, uint32_t mask);
};

}  // namespace kst
