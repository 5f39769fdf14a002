// Taking the adapter snapshot from the platform's adapter table (GetAdaptersInfo).
#pragma once

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdint>
#include <vector>

#include "netcore/adapters.h"

namespace kst {

// Room for about eight adapters; a machine with more is asked again with the size it reports.
inline constexpr uint32_t kAdapterBufferSize = 5120;

// The records of the adapter table, in the platform's order. Throws TOsError with the platform's
// code when the table cannot be read (ERROR_NO_DATA when there is no adapter).
std::vector<TAdapterRecord> ReadAdapterRecords(uint32_t initialBufferSize = kAdapterBufferSize);

// Copies a chain of platform records, following Next from first.
std::vector<TAdapterRecord> AdapterRecordsFrom(const IP_ADAPTER_INFO* first);

}  // namespace kst
