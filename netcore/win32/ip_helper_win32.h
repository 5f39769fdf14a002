// The IP Helper calls behind SystemNeighbours, so that a test can put its own in their place and
// run the code that maps their results on a system that lacks them (Wine has no
// ResolveIpNetEntry2, and its SendARP is not supported).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <memory>

#include "netcore/neighbours.h"

namespace kst {

struct TIpHelperCalls {
  decltype(&::GetIpNetTable2) GetIpNetTable2 = nullptr;
  decltype(&::FreeMibTable) FreeMibTable = nullptr;
  decltype(&::GetBestInterface) GetBestInterface = nullptr;
  decltype(&::SendARP) SendARP = nullptr;
  // nullptr where the system lacks it.
  decltype(&::ResolveIpNetEntry2) ResolveIpNetEntry2 = nullptr;
};

// The system's own; ResolveIpNetEntry2 looked up by name.
TIpHelperCalls SystemIpHelperCalls();

// The Windows platform over these calls, as SystemNeighbours is over the system's.
std::unique_ptr<INeighbourPlatform> MakeSystemNeighbours(const TIpHelperCalls& calls);

}  // namespace kst
