#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

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

struct TMibTableTraits {
  using Type = MIB_IPNET_TABLE2*;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type t) noexcept { FreeMibTable(t); }
};

uint64_t MacOf(const UCHAR* bytes, ULONG length) {
  if (length < 6) return 0;
  std::array<uint8_t, 6> mac{};
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

using TResolveIpNetEntry2 = NETIO_STATUS(WINAPI*)(MIB_IPNET_ROW2*, const SOCKADDR_INET*);

// Wine has no ResolveIpNetEntry2 and its SendARP answers ERROR_NOT_SUPPORTED whatever it is
// given; Windows refuses SendARP without its pointers at once with ERROR_INVALID_PARAMETER.
class TSystemNeighbours : public INeighbourPlatform {
 public:
  TSystemNeighbours()
      : FResolve(reinterpret_cast<TResolveIpNetEntry2>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"iphlpapi.dll"), "ResolveIpNetEntry2")))),
        FSendArpWorks(SendARP(0, 0, nullptr, nullptr) != ERROR_NOT_SUPPORTED) {}

  bool CanResolve() override { return FResolve != nullptr || FSendArpWorks; }

  TArpEvidence Resolve(uint32_t address) override {
    if (FResolve != nullptr) {
      // It wants the interface; the one the system would send through.
      DWORD index = 0;
      if (GetBestInterface(htonl(address), &index) != NO_ERROR) return {};
      MIB_IPNET_ROW2 row{};
      row.Address.si_family = AF_INET;
      row.Address.Ipv4.sin_family = AF_INET;
      row.Address.Ipv4.sin_addr.s_addr = htonl(address);
      row.InterfaceIndex = index;
      const NETIO_STATUS status = FResolve(&row, nullptr);
      if (status == ERROR_BAD_NET_NAME) return ResolvedEvidence(false, 0);
      if (status != NO_ERROR) return {};
      const TNeighbourEntry e = EntryOf(row);
      return ResolvedEvidence(e.Valid(), e.Mac);
    }
    if (!FSendArpWorks) return {};
    ULONG buffer[2] = {};
    ULONG length = 6;
    const DWORD status = SendARP(htonl(address), 0, buffer, &length);
    if (status == NO_ERROR && length >= 6) return ResolvedEvidence(true, MacOf(reinterpret_cast<UCHAR*>(buffer), length));
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

  TNeighbourTable ReadTable() override { return ReadNeighbourTable2(); }

 private:
  const TResolveIpNetEntry2 FResolve;
  const bool FSendArpWorks;
  TWinsockSession FWinsock;
  std::mutex FSendLock;
  TUniqueSocket FSocket;
};

std::atomic<INeighbourPlatform*> GPlatform{nullptr};

}  // namespace

TNeighbourTable ReadNeighbourTable2() {
  TNeighbourTable table;
  MIB_IPNET_TABLE2* rows = nullptr;
  const DWORD status = GetIpNetTable2(AF_INET, &rows);
  const TUniqueResource<TMibTableTraits> owner(rows);
  if (status == ERROR_NO_DATA) {
    table.Known = true;
  } else if (status == NO_ERROR && rows != nullptr) {
    table.Entries.reserve(rows->NumEntries);
    for (ULONG i = 0; i < rows->NumEntries; ++i)
      if (rows->Table[i].Address.si_family == AF_INET) table.Entries.push_back(EntryOf(rows->Table[i]));
    table.Known = true;
  }
  return table;
}

INeighbourPlatform& SystemNeighbours() {
  static TSystemNeighbours system;
  return system;
}

INeighbourPlatform& NeighbourPlatform() {
  INeighbourPlatform* chosen = GPlatform.load();
  return chosen != nullptr ? *chosen : SystemNeighbours();
}

void UseNeighbourPlatform(INeighbourPlatform* platform) { GPlatform.store(platform); }

}  // namespace kst
