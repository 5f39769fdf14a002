#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "netcore/local_address.h"

namespace kst {

bool IsLocalAddress(uint32_t address) noexcept {
  if ((address >> 24) == 127) return true;
  try {
    ULONG size = 0;
    std::vector<unsigned char> buffer;
    DWORD status = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the two calls; ask again with the size reported.
    for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
      buffer.resize(size == 0 ? sizeof(MIB_IPADDRTABLE) : size);
      size = static_cast<ULONG>(buffer.size());
      status = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(buffer.data()), &size, FALSE);
    }
    if (status != NO_ERROR) return true;
    const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
      if (ntohl(table->table[i].dwAddr) == address) return true;
    return false;
  } catch (...) {
    return true;
  }
}

}  // namespace kst
