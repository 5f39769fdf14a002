#include "listener/win32/wol_listener.h"

#include <ws2tcpip.h>
#include <mstcpip.h>
#include <iphlpapi.h>

#include <span>
#include <system_error>

#include "listener/socket_error.h"
#include "netcore/adapters.h"
#include "netcore/win32/os_error_win32.h"

namespace kst {
namespace {

// The socket's receive queue. At the default (64 KB on Windows, 208 KB on Linux) a burst of small
// datagrams fills it within a few milliseconds whenever the receive thread is held up, by other
// work on the machine for example; the datagrams that do not fit are dropped by the system.
constexpr int kReceiveQueueBytes = 4 * 1024 * 1024;

// Recognised packets that may wait for the window's thread at most. The window takes them within
// a log write (tens of milliseconds), but its thread may be held far longer (the firewall change
// restarts a service): this is over 6 s of a 10,000 packets/s stream, at about 200 bytes a
// packet (13 MB). Beyond it the newest packets are dropped, as the system drops datagrams
// that find the socket's queue full: those already recognised keep their place and order, and a
// window that cannot keep up does not take the process's memory with it.
constexpr size_t kWaitingPacketsMax = 65536;

// The mask of a local address from the interface table, or 0 when it is not listed there.
uint32_t LocalAddressMask(uint32_t address) {
  ULONG size = 0;
  if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER) return 0;
  std::vector<unsigned char> buffer(size);
  if (GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(buffer.data()), &size, FALSE) != NO_ERROR) return 0;
  const auto* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i)
    if (ntohl(table->table[i].dwAddr) == address) return ntohl(table->table[i].dwMask);
  return 0;
}

}  // namespace

TWolListener::TWolListener()
    : FBuffer(std::make_unique<uint8_t[]>(kReceiveBufferSize)),
      FReadEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      FStopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!FReadEvent || !FStopEvent) RaiseOsError(GetLastError());
  if (!CreateWindowObject(L"VellamarSocketWindow", nullptr, nullptr, 0, 0, L"", 0, 0, 0, 0, HWND_MESSAGE))
    RaiseOsError(GetLastError());
  FAddresses = ListenAddresses(GetLocalAddressList());
}

TWolListener::~TWolListener() { StopListening(); }

bool TWolListener::Fail(int socketError) {
  FErrorText = SocketErrorText(socketError);
  return false;
}

bool TWolListener::StartListening(int index) {
  if (index < 0 || static_cast<size_t>(index) >= FAddresses.size()) {
    FErrorText = "Wrong local IP address";
    return false;
  }
  if (!FWinsock.Started()) {
    FErrorText = StartupErrorText(FWinsock.Result());
    return false;
  }
  const std::string& name = FAddresses[static_cast<size_t>(index)].Address;

  // Where raw IP sockets are refused as an unsupported protocol (Wine), a raw UDP socket still
  // delivers each UDP datagram with its IPv4 header in front, which is all that is read here.
  // It cannot be put into receive-all mode and, bound to the adapter's address, it would miss
  // the broadcasts; so it is bound to every address and keeps only what this adapter receives:
  // datagrams to its address, its subnet's broadcast address and 255.255.255.255.
  TUniqueSocket s(socket(AF_INET, SOCK_RAW, IPPROTO_IP));
  std::optional<TAdapterFilter> filter;
  if (!s && WSAGetLastError() == WSAEPROTONOSUPPORT) {
    s.reset(socket(AF_INET, SOCK_RAW, IPPROTO_UDP));
    if (!s) return Fail(WSAGetLastError());
    const uint32_t address = ntohl(inet_addr(name.c_str()));
    filter = TAdapterFilter{address, LocalAddressMask(address)};
  }
  if (!s) return Fail(WSAGetLastError());
  // Best effort: a smaller queue only makes losses under load more likely.
  const int queueBytes = kReceiveQueueBytes;
  setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&queueBytes), sizeof queueBytes);

  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = 0;
  local.sin_addr.s_addr = filter ? htonl(INADDR_ANY) : inet_addr(name.c_str());
  if (bind(s.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR)
    return Fail(WSAGetLastError());

  if (!filter) {
    DWORD on = RCVALL_ON;
    DWORD returned = 0;
    if (WSAIoctl(s.get(), SIO_RCVALL, &on, sizeof on, nullptr, 0, &returned, nullptr, nullptr) == SOCKET_ERROR)
      return Fail(WSAGetLastError());
  }
  // Also makes the socket nonblocking, which the receive thread's reads rely on.
  ResetEvent(FReadEvent.get());
  if (WSAEventSelect(s.get(), FReadEvent.get(), FD_READ) == SOCKET_ERROR) return Fail(WSAGetLastError());

  FSocket = std::move(s);
  FFilter = filter;
  ResetEvent(FStopEvent.get());
  FStopping = false;
  try {
    FReceiver = std::thread([this]() noexcept { Receive(); });
  } catch (const std::system_error& error) {
    FSocket.reset();
    FFilter.reset();
    FErrorText = error.what();
    return false;
  }
  return true;
}

void TWolListener::StopListening() noexcept {
  // The receive thread never waits for this thread (it only posts), so joining it here is safe,
  // also from inside OnDataAvailable.
  if (FReceiver.joinable()) {
    FStopping = true;
    SetEvent(FStopEvent.get());
    FReceiver.join();
  }
  FSocket.reset();
  FFilter.reset();
  // What was not handed over belongs to this socket; a burst may have grown the lists.
  std::vector<TReceivedMagicPacket>().swap(FWaiting);
  FNotified = false;
  std::vector<TReceivedMagicPacket>().swap(FTaken);
  FHandedOver = 0;
}

LRESULT TWolListener::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PACKETS_WAITING) {
    HandOver();
    return 0;
  }
  return TWindow::HandleMessage(message, wParam, lParam);
}

void TWolListener::Receive() noexcept {
  const HANDLE events[] = {FStopEvent.get(), FReadEvent.get()};
  while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    // Clears the event; a datagram that arrives after the last read below signals it again.
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(FSocket.get(), FReadEvent.get(), &happened);
    // Each receive is a round trip to the system under Wine, a wait is another: take everything
    // queued before waiting again.
    while (!FStopping) {
      const int n = recv(FSocket.get(), reinterpret_cast<char*>(FBuffer.get()), static_cast<int>(kReceiveBufferSize), 0);
      if (n == SOCKET_ERROR) {
        // A datagram longer than the buffer is dropped, cut short; any other failure (nothing
        // queued, above all) waits for the next signal.
        if (WSAGetLastError() == WSAEMSGSIZE) continue;
        break;
      }
      if (n <= static_cast<int>(kHeaderTotal)) continue;
      const std::span<const uint8_t> datagram(FBuffer.get(), static_cast<size_t>(n));
      if (FFilter && !IsAdapterDestination(DatagramDestination(datagram), FFilter->Address, FFilter->Mask)) continue;
      try {
        if (auto packet = DecodeDatagram(datagram)) Enqueue(std::move(*packet));
      } catch (...) {
        // Out of memory: this packet is lost, as one that finds the socket's queue full.
      }
    }
  }
}

void TWolListener::Enqueue(TReceivedMagicPacket&& packet) {
  bool notify = false;
  {
    const std::lock_guard lock(FWaitingLock);
    if (FWaiting.size() >= kWaitingPacketsMax) return;
    FWaiting.push_back(std::move(packet));
    notify = !FNotified;
    FNotified = true;
  }
  // One message per batch: until the window's thread takes the list, the packets that follow
  // join it. When the post fails (the thread's message queue is full), the next packet tries again.
  if (notify && !PostMessageW(Handle(), WM_PACKETS_WAITING, 0, 0)) {
    const std::lock_guard lock(FWaitingLock);
    FNotified = false;
  }
}

void TWolListener::HandOver() {
  // A handler that runs a message loop (a message box) comes back here before the packets taken
  // earlier are through; those are handed over first, to keep the order. Each call takes the
  // waiting list once at most, so that a stream cannot keep the thread here.
  bool taken = false;
  while (true) {
    if (FHandedOver == FTaken.size()) {
      if (taken) return;
      FTaken.clear();
      FHandedOver = 0;
      {
        const std::lock_guard lock(FWaitingLock);
        FTaken.swap(FWaiting);
        FNotified = false;
      }
      taken = true;
      continue;
    }
    // Moved out: the handler may stop listening, which empties FTaken.
    const TReceivedMagicPacket packet = std::move(FTaken[FHandedOver++]);
    if (OnDataAvailable) OnDataAvailable(*this, packet);
  }
}

}  // namespace kst
