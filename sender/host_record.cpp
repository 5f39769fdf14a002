#include "sender/host_record.h"

#include <algorithm>
#include <atomic>

#include "netcore/address_text.h"
#include "netcore/utf8.h"

namespace kst {

namespace {
// Starts at 1: 0 is never an identity.
std::atomic<uint64_t> GNextHostId{1};
}  // namespace

THostId::THostId() noexcept : FValue(GNextHostId.fetch_add(1, std::memory_order_relaxed)) {}

std::string CutText(std::string_view text, size_t max) { return CutUtf8(text, max); }

std::string THostRecord::DestinationText() const {
  return BroadcastAddress != 0 ? IpToStr(BroadcastAddress) : BroadcastHost;
}

std::string THostRecord::DisplayDestination() const {
  return !BroadcastHost.empty() ? BroadcastHost : IpToStr(BroadcastAddress);
}

void ClearList(THostList* list) {
  if (list) list->clear();
}

int GetHostIndex(const THostList& list, std::string_view name) {
  for (size_t i = 0; i < list.size(); ++i)
    if (LowerAscii(list[i]->ComputerName) == name) return static_cast<int>(i);
  return -1;
}

bool ContainsRecord(const THostList& list, const THostRecord* record) {
  return std::any_of(list.begin(), list.end(), [&](const auto& r) { return r.get() == record; });
}

int FindRecord(const THostList& list, uint64_t id) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->Id.Value() == id) return static_cast<int>(i);
  return -1;
}

TSharedSettings TSharedSettings::ForNetwork(uint32_t localAddress, uint32_t mask) {
  const uint32_t network = localAddress & mask;
  const uint32_t broadcast = localAddress | ~mask;
  TSharedSettings s;
  s.HostBroadcastAddress = broadcast;
  s.SearchBroadcastAddress = broadcast;
  s.SearchFromIpAddress = static_cast<uint64_t>(network) + 1;
  s.SearchToIpAddress = static_cast<uint64_t>(broadcast) - 1;
  return s;
}

void TKestruneState::SetNetworkDefaults(uint32_t localAddress, uint32_t mask) {
  NetworkMask = mask;
  NetworkAddress = localAddress & mask;
  Settings = TSharedSettings::ForNetwork(localAddress, mask);
}

}  // namespace kst
