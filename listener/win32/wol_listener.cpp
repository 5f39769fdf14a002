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
  if (message == WM_SOCKET_NOTIFY) ReadDatagram();
  return TWindow::HandleMessage(message, wParam, lParam);
}

void TWolListener::ReadDatagram() {
  if (!FSocket) return;
  const int n = recv(FSocket.get(), reinterpret_cast<char*>(FBuffer.get()), static_cast<int>(kReceiveBufferSize), 0);
  if (n <= static_cast<int>(kHeaderTotal)) return;
  const std::span<const uint8_t> datagram(FBuffer.get(), static_cast<size_t>(n));
  if (FFilter && !IsAdapterDestination(DatagramDestination(datagram), FFilter->Address, FFilter->Mask)) return;
  const auto packet = DecodeDatagram(datagram);
  if (packet && OnDataAvailable) OnDataAvailable(*this, *packet);
}

}  // namespace kst
