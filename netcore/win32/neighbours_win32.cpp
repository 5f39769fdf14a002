#include "netcore/win32/ip_helper_win32.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "netcore/local_network.h"
#include "netcore/neighbours.h"
#include "netcore/win32/handles_win32.h"

namespace kst {
namespace {

constexpr u_short kDiscardPort = 9;
constexpr ULONG kMacLength = 6;

// Only an Ethernet address wakes a computer; any other length (a tunnel's, an InfiniBand one of
// 20 bytes) is none, not its first six bytes.
uint64_t MacOf(const UCHAR* bytes, ULONG length) {
  if (length != kMacLength) return 0;
  std::array<uint8_t, kMacLength> mac{};
  std::memcpy(mac.data(), bytes, mac.size());
  return MacFromBytes(mac);
}

TNeighbourEntry EntryOf(const MIB_IPNET_ROW2& row) {
  TNeighbourEntry e;
  e.Address = ntohl(row.Address.Ipv4.sin_addr.s_addr);
  e.Mac = MacOf(row.PhysicalAddress, row.PhysicalAddressLength);
  e.State = row.State <= NlnsPermanent ? static_cast<TNeighbourState>(row.State) : TNeighbourState::Unreachable;
  e.IsUnreachable = row.IsUnreachable != FALSE;
  e.InterfaceIndex = row.InterfaceIndex;
  return e;
}

TNeighbourTable ReadTableThrough(const TIpHelperCalls& calls) {
  TNeighbourTable table;
  MIB_IPNET_TABLE2* rows = nullptr;
  const DWORD status = calls.GetIpNetTable2(AF_INET, &rows);
  // Freed on every path: Wine hands out a table also with an error.
  const std::unique_ptr<MIB_IPNET_TABLE2, decltype(calls.FreeMibTable)> owner(rows, calls.FreeMibTable);
  // ERROR_NOT_FOUND is the system's word for an empty table; ERROR_NO_DATA that of GetIpNetTable.
  if (status == ERROR_NOT_FOUND || status == ERROR_NO_DATA) {
    table.Known = true;
  } else if (status == NO_ERROR && rows != nullptr) {
    table.Entries.reserve(rows->NumEntries);
    for (ULONG i = 0; i < rows->NumEntries; ++i)
      if (rows->Table[i].Address.si_family == AF_INET) table.Entries.push_back(EntryOf(rows->Table[i]));
    table.Known = true;
  }
  return table;
}

// Wine has no ResolveIpNetEntry2 and its SendARP answers ERROR_NOT_SUPPORTED whatever it is
// given; the systems without ResolveIpNetEntry2 refuse SendARP without its pointers at once with
// ERROR_INVALID_PARAMETER. Where ResolveIpNetEntry2 exists SendARP is never called.
class TSystemNeighbours : public INeighbourPlatform {
 public:
  explicit TSystemNeighbours(const TIpHelperCalls& calls)
      : FCalls(calls),
        FSendArpWorks(calls.ResolveIpNetEntry2 == nullptr && calls.SendARP(0, 0, nullptr, nullptr) != ERROR_NOT_SUPPORTED) {}

  bool CanResolve() override { return FCalls.ResolveIpNetEntry2 != nullptr || FSendArpWorks; }

  TArpEvidence Resolve(uint32_t address) override {
    if (FCalls.ResolveIpNetEntry2 != nullptr) {
      // It wants the interface; the one the system would send through.
      DWORD index = 0;
      if (FCalls.GetBestInterface(htonl(address), &index) != NO_ERROR) return {};
      MIB_IPNET_ROW2 row{};
      row.Address.Ipv4.sin_family = AF_INET;
      row.Address.Ipv4.sin_addr.s_addr = htonl(address);
      row.InterfaceIndex = index;
      const NETIO_STATUS status = FCalls.ResolveIpNetEntry2(&row, nullptr);
      if (status == ERROR_BAD_NET_NAME) return ResolvedEvidence(false, 0);
      if (status != NO_ERROR) return {};
      const TNeighbourEntry e = EntryOf(row);
      return ResolvedEvidence(e.Valid(), e.Mac);
    }
    if (!FSendArpWorks) return {};
    ULONG buffer[2] = {};
    ULONG length = kMacLength;
    const DWORD status = FCalls.SendARP(htonl(address), 0, buffer, &length);
    // An answer of another length than a MAC's is no answer.
    if (status == NO_ERROR) return ResolvedEvidence(true, MacOf(reinterpret_cast<const UCHAR*>(buffer), length));
    // Nobody answered: ERROR_BAD_NET_NAME on Vista and later, ERROR_GEN_FAILURE before.
    if (status == ERROR_BAD_NET_NAME || status == ERROR_GEN_FAILURE) return ResolvedEvidence(false, 0);
    return {};
  }

  // The socket is non-blocking: a datagram to an unresolved address stays queued against it
  // until the address answers or fails, so a long sweep may fill its send buffer; a fresh socket
  // then takes over.
  bool Solicit(uint32_t address) override {
    std::lock_guard<std::mutex> guard(FSendLock);
    if (!FWinsock.Started()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscardPort);
    to.sin_addr.s_addr = htonl(address);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!FSocket) {
        FSocket.reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        if (!FSocket) return false;
        u_long nonBlocking = 1;
        ioctlsocket(FSocket.get(), FIONBIO, &nonBlocking);
      }
      if (sendto(FSocket.get(), "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR) return true;
      if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
      FSocket.reset();
    }
    return false;
  }

  TNeighbourTable ReadTable() override { return ReadTableThrough(FCalls); }

 private:
  const TIpHelperCalls FCalls;
  const bool FSendArpWorks;
  TWinsockSession FWinsock;
  std::mutex FSendLock;
  TUniqueSocket FSocket;
};

std::atomic<INeighbourPlatform*> GPlatform{nullptr};

}  // namespace

TIpHelperCalls SystemIpHelperCalls() {
  TIpHelperCalls calls;
  calls.GetIpNetTable2 = &::GetIpNetTable2;
  calls.FreeMibTable = &::FreeMibTable;
  calls.GetBestInterface = &::GetBestInterface;
  calls.SendARP = &::SendARP;
  calls.ResolveIpNetEntry2 = reinterpret_cast<decltype(calls.ResolveIpNetEntry2)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"iphlpapi.dll"), "ResolveIpNetEntry2")));
  return calls;
}

std::unique_ptr<INeighbourPlatform> MakeSystemNeighbours(const TIpHelperCalls& calls) {
  return std::make_unique<TSystemNeighbours>(calls);
}

TNeighbourTable ReadNeighbourTable2() { return ReadTableThrough(SystemIpHelperCalls()); }

INeighbourPlatform& SystemNeighbours() {
  static TSystemNeighbours system(SystemIpHelperCalls());
  return system;
}

INeighbourPlatform& NeighbourPlatform() {
  INeighbourPlatform* chosen = GPlatform.load();
  return chosen != nullptr ? *chosen : SystemNeighbours();
}

void UseNeighbourPlatform(INeighbourPlatform* platform) { GPlatform.store(platform); }

}  // namespace kst
