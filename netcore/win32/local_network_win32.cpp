// gethostbyname and inet_addr on purpose: for the machine's own name gethostbyname answers with
// the machine's addresses (getaddrinfo does not under Wine), and inet_addr reads an address text
// as the system's own tools do.
#define _WINSOCK_DEPRECATED_NO_WARNINGS
#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "netcore/address_text.h"
#include "netcore/growing_buffer.h"
#include "netcore/local_network.h"
#include "netcore/os_error.h"
#include "netcore/win32/adapters_win32.h"
#include "netcore/win32/handles_win32.h"

namespace kst {
namespace {

constexpr u_short kDiscardPort = 9;
constexpr auto kNeighbourWait = std::chrono::milliseconds(1000);
constexpr DWORD kNeighbourPoll = 10;

}  // namespace

std::vector<TNeighbourRow> ReadNeighbourTable() {
  std::vector<uint8_t> buffer(sizeof(MIB_IPNETTABLE) + 32 * sizeof(MIB_IPNETROW));
  const uint32_t status = FillGrowingBuffer(buffer, ERROR_INSUFFICIENT_BUFFER, [](uint8_t* data, uint32_t& size) {
    ULONG length = size;
    const DWORD result = GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(data), &length, FALSE);
    size = length;
    return static_cast<uint32_t>(result);
  });
  std::vector<TNeighbourRow> rows;
  if (status != NO_ERROR) return rows;
  const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_IPNETROW& row = table->table[i];
    TNeighbourRow r;
    r.Address = ntohl(row.dwAddr);
    r.Type = row.dwType;
    r.PhysicalLength = row.dwPhysAddrLen;
    std::memcpy(r.Physical.data(), row.bPhysAddr, std::min(sizeof row.bPhysAddr, r.Physical.size()));
    rows.push_back(r);
  }
  return rows;
}

// Where SendARP is not implemented (Wine), one empty datagram makes the system resolve the
// address, and its neighbour table then shows the answer. Our own addresses never appear there,
// so they are answered from the adapters, as SendARP does. The datagrams of a sweep go out of one
// socket as they are announced, only to addresses of our own networks (any other would leave
// through a gateway and never answer ARP); each read of the table serves every thread that waits
// on it. Where SendARP works it sends the ARP request itself, and no datagram goes out.
struct TArpSweep::TState {
  using TClock = std::chrono::steady_clock;

  TWinsockSession Winsock;
  // Without its pointers SendARP refuses at once with ERROR_INVALID_PARAMETER; Wine's stub
  // answers ERROR_NOT_SUPPORTED whatever it is given.
  const bool SendArpWorks = SendARP(0, 0, nullptr, nullptr) != ERROR_NOT_SUPPORTED;

  std::once_flag AdaptersRead;
  std::vector<TAdapterRecord> Adapters;

  std::mutex SendLock;
  TUniqueSocket Socket;
  std::unordered_map<uint32_t, TClock::time_point> Deadlines;  // of the addresses announced

  std::mutex TableLock;
  std::condition_variable TableChanged;
  std::vector<TNeighbourRow> Table;
  TClock::time_point TableRead{};  // when the read behind Table began (none yet: before any since)
  bool Reading = false;

  uint64_t OwnMac(uint32_t address) {
    std::call_once(AdaptersRead, [this] {
      try {
        Adapters = ReadAdapterRecords();
      } catch (const TOsError&) {
        // No adapter table: nothing of ours can hold the address.
      }
    });
    return FindOwnMac(Adapters, address);
  }
  bool OnLink(uint32_t address) {
    OwnMac(0);  // reads the adapters once
    return IsOnLocalNetwork(Adapters, address);
  }

  // Sends the datagram that makes the system resolve the address. The socket is non-blocking: a
  // datagram to an unresolved address stays queued against the socket until the address answers
  // or fails, so a long sweep may fill its send buffer; a fresh socket then takes over.
  bool SendProbe(uint32_t address) {
    if (!Winsock.Started()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kDiscardPort);
    to.sin_addr.s_addr = htonl(address);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!Socket) {
        Socket.reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
        if (!Socket) return false;
        u_long nonBlocking = 1;
        ioctlsocket(Socket.get(), FIONBIO, &nonBlocking);
      }
      if (sendto(Socket.get(), "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR) return true;
      if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
      Socket.reset();
    }
    return false;
  }

  // When the wait for the address's answer ends; announces it first if nobody did.
  TClock::time_point DeadlineOf(uint32_t address, bool keep) {
    std::lock_guard<std::mutex> guard(SendLock);
    if (auto found = Deadlines.find(address); found != Deadlines.end()) {
      const TClock::time_point deadline = found->second;
      if (!keep) Deadlines.erase(found);
      return deadline;
    }
    // Without the datagram nothing gets resolved: only an answer already in the table counts.
    const TClock::time_point deadline = TClock::now() + (SendProbe(address) ? kNeighbourWait : TClock::duration::zero());
    if (keep) Deadlines.emplace(address, deadline);
    return deadline;
  }

  // The address's MAC value in a table read that began at or after since, and when that read
  // began. One thread reads for all: under Wine a read of a few hundred rows takes a quarter of a
  // second, so the threads that wait share each read instead of queueing for their own.
  std::pair<uint64_t, TClock::time_point> TableMac(uint32_t address, TClock::time_point since) {
    std::unique_lock<std::mutex> guard(TableLock);
    for (;;) {
      if (TableRead >= since) return {FindNeighbourMac(Table, address), TableRead};
      if (Reading) {
        TableChanged.wait(guard);
        continue;
      }
      Reading = true;
      const TClock::time_point start = TClock::now();
      guard.unlock();
      std::vector<TNeighbourRow> rows;
      try {
        rows = ReadNeighbourTable();
      } catch (...) {
        // Out of memory: an empty table, the address unanswered this time.
      }
      guard.lock();
      Reading = false;
      Table = std::move(rows);
      TableRead = start;
      TableChanged.notify_all();
    }
  }
};

TArpSweep::TArpSweep() : F(std::make_unique<TState>()) {}
TArpSweep::~TArpSweep() = default;

void TArpSweep::Announce(uint32_t address) noexcept {
  if (F->SendArpWorks || !IsArpProbeTarget(address)) return;
  try {
    if (F->OwnMac(address) == 0 && F->OnLink(address)) F->DeadlineOf(address, true);
  } catch (...) {
    // Out of memory: the address is resolved when its turn comes.
  }
}

uint64_t TArpSweep::MacOf(uint32_t address) {
  // An address beyond a gateway cannot answer ARP (SendARP may answer for it with the gateway's).
  if (!IsArpProbeTarget(address)) return 0;
  if (const uint64_t own = F->OwnMac(address)) return own;
  if (!F->OnLink(address)) return 0;
  if (F->SendArpWorks) {
    ULONG buffer[2] = {};
    ULONG length = 6;
    SendARP(htonl(address), 0, buffer, &length);
    // The reported length decides, not the result code.
    if (length == 0) return 0;
    std::array<uint8_t, 6> bytes{};
    std::memcpy(bytes.data(), buffer, bytes.size());
    return MacFromBytes(bytes);
  }
  const auto deadline = F->DeadlineOf(address, false);
  // Until the deadline any read newer than the last one looked at will do; only a read that
  // began after it shows that the address stayed silent.
  TState::TClock::time_point seen{};
  for (;;) {
    const bool late = TState::TClock::now() >= deadline;
    const auto [mac, read] = F->TableMac(address, late ? deadline : seen + TState::TClock::duration(1));
    if (mac != 0) return mac;
    if (read >= deadline) return 0;
    seen = read;
    if (!late) Sleep(kNeighbourPoll);
  }
}

uint64_t GetMacByArp(std::string_view address) {
  const std::string text = address.empty() ? GetLocalIp() : std::string(address);
  TArpSweep one;
  return one.MacOf(ntohl(inet_addr(text.c_str())));
}

void GetHostAddresses(std::vector<std::string>& list) {
  TWinsockSession winsock;
  if (!winsock.Started()) return;
  char name[128] = {};
  if (gethostname(name, sizeof name) != 0) return;
  const hostent* host = gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4) return;
  for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
    in_addr in{};
    std::memcpy(&in, *entry, sizeof in);
    std::string text = IpToStr(ntohl(in.s_addr));
    if (!text.empty()) list.push_back(std::move(text));
  }
}

void DropGatewaylessAddresses(std::vector<std::string>& addresses) {
  const auto registry = MakeSystemRegistry();
  DropGatewaylessAddresses(*registry, addresses);
}

std::string GetLocalIp() {
  std::vector<std::string> addresses;
  GetHostAddresses(addresses);
  const auto registry = MakeSystemRegistry();
  return SelectLocalIp(*registry, std::move(addresses));
}

std::string GetLocalSubnetMask() {
  const auto registry = MakeSystemRegistry();
  return FindLocalSubnetMask(*registry, [] { return GetLocalIp(); });
}

}  // namespace kst
