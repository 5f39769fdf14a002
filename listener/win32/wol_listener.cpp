#include "listener/win32/wol_listener.h"

#include <ws2tcpip.h>
#include <mstcpip.h>
#include <iphlpapi.h>

#include <span>

#include "listener/socket_error.h"
#include "netcore/adapters.h"
#include "netcore/win32/os_error_win32.h"

namespace kst {
namespace {

// The socket's receive queue. At the default (64 KB on Windows, 208 KB on Linux) a burst of small
// datagrams fills it within a few milliseconds whenever the GUI thread is busy elsewhere, for
// example redrawing the log; the datagrams that do not fit are dropped by the system.
constexpr int kReceiveQueueBytes = 4 * 1024 * 1024;

// Datagrams read per notification at most, so that the window still answers its messages while a
// flood arrives; Winsock notifies again while more are queued.
constexpr int kDatagramsPerNotification = 256;

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

TWolListener::TWolListener() : FBuffer(std::make_unique<uint8_t[]>(kReceiveBufferSize)) {
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
  if (WSAAsyncSelect(s.get(), Handle(), WM_SOCKET_NOTIFY, FD_READ) == SOCKET_ERROR) return Fail(WSAGetLastError());

  FSocket = std::move(s);
  FFilter = filter;
  return true;
}

void TWolListener::StopListening() noexcept {
  FSocket.reset();
  FFilter.reset();
}

LRESULT TWolListener::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // The event and error code of the notification do not matter: a failed receive is dropped.
  if (message == WM_SOCKET_NOTIFY) ReadDatagrams();
  return TWindow::HandleMessage(message, wParam, lParam);
}

void TWolListener::ReadDatagrams() {
  // A notification costs a posted message and a trip through the message loop, far more than
  // a receive: take what is queued. A notification that finds nothing left is harmless.
  for (int i = 0; i < kDatagramsPerNotification; ++i) {
    // The handler may stop listening.
    if (!FSocket) return;
    const int n = recv(FSocket.get(), reinterpret_cast<char*>(FBuffer.get()), static_cast<int>(kReceiveBufferSize), 0);
    if (n == SOCKET_ERROR) return;  // nothing queued (WSAEWOULDBLOCK) or a failed receive
    if (n <= static_cast<int>(kHeaderTotal)) continue;
    const std::span<const uint8_t> datagram(FBuffer.get(), static_cast<size_t>(n));
    if (FFilter && !IsAdapterDestination(DatagramDestination(datagram), FFilter->Address, FFilter->Mask)) continue;
    const auto packet = DecodeDatagram(datagram);
    if (packet && OnDataAvailable) OnDataAvailable(*this, *packet);
  }
}

}  // namespace kst
