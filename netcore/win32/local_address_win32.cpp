#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "netcore/local_address.h"

namespace kst {
namespace {

// The interface addresses, or nothing when the table cannot be read.
std::optional<std::vector<uint32_t>> ReadAddressTable() {
  ULONG size = 0;
  std::vector<unsigned char> buffer;
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  // The table may grow between the two calls; ask again with the size reported.
  for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(size == 0 ? sizeof(MIB_IPADDRTABLE) : size);
    size = static_cast<ULONG>(buffer.size());
    status = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(buffer.data()), &size, FALSE);
  }
  if (status != NO_ERROR) return std::nullopt;
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
  std::vector<uint32_t> addresses;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) addresses.push_back(ntohl(table->table[i].dwAddr));
  return addresses;
}

// Reading the table costs milliseconds (under Wine several), which a run of "/all!" would pay
// for every computer. A table read in the last second answers; an address not in it is looked
// up once more in a fresh table, so a new address counts at once and a removed one within a
// second.
class TAddressCache {
 public:
  bool Contains(uint32_t address) {
    const std::lock_guard lock(FMutex);
    // The tick count is read from memory the system keeps up to date: no system call.
    const ULONGLONG now = GetTickCount64();
    if (FAddresses && now - FRead < 1000 &&
        std::find(FAddresses->begin(), FAddresses->end(), address) != FAddresses->end())
      return true;
    FAddresses = ReadAddressTable();
    FRead = now;
    if (!FAddresses) return true;
    return std::find(FAddresses->begin(), FAddresses->end(), address) != FAddresses->end();
  }

 private:
  std::mutex FMutex;
  std::optional<std::vector<uint32_t>> FAddresses;
  ULONGLONG FRead = 0;
};

}  // namespace

bool IsLocalAddress(uint32_t address) noexcept {
  if ((address >> 24) == 127) return true;
  try {
    static TAddressCache cache;
    return cache.Contains(address);
  } catch (...) {
    return true;
  }
}

}  // namespace kst
