#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "netcore/host_lookup.h"
#include "netcore/local_address.h"
#include "netcore/magic_packet.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/worker_thread_win32.h"
#include "sender/destination.h"
#include "sender/messages.h"
#include "sender/win32/udp_sender.h"

namespace kst {

TSendResult SendMagicPacketOnce(const std::string& destination, const std::string& localAddress,
                                uint16_t port, uint64_t macAddress, uint64_t password) noexcept {
  TSendResult result;
  try {
    TWinsockSession winsock;
    if (!winsock.Started()) {
      result.Error = WSASYSNOTREADY;
      return result;
    }

    result.Address = ResolveDestination(destination, ResolveFirstAddress);
    if (result.Address == 0) {
      result.Outcome = TSendOutcome::NotResolved;
      return result;
    }
    result.Outcome = TSendOutcome::Failed;
    // Each failing step leaves its error; an address that is not this machine's is refused as
    // bind refuses it.
    const auto fail = [&](int error) {
      result.Error = static_cast<uint32_t>(error);
      return result;
    };

    const TMagicPacket packet = BuildMagicPacket(macAddress, password);

    TUniqueSocket sock(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!sock) return fail(WSAGetLastError());

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    const std::string localText = localAddress.empty() ? std::string("0.0.0.0") : localAddress;
    if (inet_pton(AF_INET, localText.c_str(), &local.sin_addr) != 1) return fail(WSAEADDRNOTAVAIL);
    // A stored local address may no longer be on this machine. Not every socket layer refuses
    // to bind to such an address (Wine quietly sends from another one), so ask first.
    if (local.sin_addr.s_addr != htonl(INADDR_ANY) && !IsLocalAddress(ntohl(local.sin_addr.s_addr)))
      return fail(WSAEADDRNOTAVAIL);
    if (bind(sock.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return fail(WSAGetLastError());

    // Broadcast permission for every destination: a subnet-directed broadcast such as
    // 192.168.1.255 is refused without it (WSAEACCES), and the socket cannot tell one apart.
    const int on = 1;
    if (setsockopt(sock.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0)
      return fail(WSAGetLastError());

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(result.Address);
    const int length = static_cast<int>(packet.Length);
    const int sent = sendto(sock.get(), reinterpret_cast<const char*>(packet.Bytes.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent == length)
      result.Outcome = TSendOutcome::Sent;
    else
      return fail(sent < 0 ? WSAGetLastError() : WSAEMSGSIZE);
  } catch (...) {
    // Only allocation can throw here; the send has failed.
    result.Error = ERROR_NOT_ENOUGH_MEMORY;
  }
  return result;
}

bool SendMagicPacketSync(const std::string& destination, const std::string& localAddress, uint16_t port,
                         uint64_t macAddress, uint64_t password) noexcept {
  return SendMagicPacketOnce(destination, localAddress, port, macAddress, password).Outcome == TSendOutcome::Sent;
}

TUdpSender::TUdpSender(uint64_t hostId, HWND window, std::string destination, std::string localAddress,
                       uint64_t macAddress, uint64_t password, uint16_t port)
    : FWindow(window),
      FHostId(hostId),
      FDestination(std::move(destination)),
      FMacAddress(macAddress),
      FPassword(password),
      FPort(port),
      FLocalAddress(localAddress.empty() ? std::string("0.0.0.0") : std::move(localAddress)) {}

bool TUdpSender::Start(uint64_t hostId, HWND window, std::string destination, std::string localAddress,
                       uint64_t macAddress, uint64_t password, uint16_t port) noexcept {
  try {
    std::unique_ptr<TUdpSender> sender(new TUdpSender(hostId, window, std::move(destination),
                                                      std::move(localAddress), macAddress, password, port));
    TUdpSender* self = sender.get();
    if (!StartWorkerThread([self] { std::unique_ptr<TUdpSender>(self)->Execute(); })) return false;
    sender.release();  // the thread owns it now
    return true;
  } catch (...) {
    return false;
  }
}

void TUdpSender::Execute() noexcept {
  const TSendResult result = SendMagicPacketOnce(FDestination, FLocalAddress, FPort, FMacAddress, FPassword);
  const auto wParam = static_cast<WPARAM>(FHostId);
  const auto lParam = static_cast<LPARAM>(result.Address);
  switch (result.Outcome) {
    case TSendOutcome::NotStarted:
      break;
    case TSendOutcome::Sent:
      PostMessageW(FWindow, WM_PACKET_SENT, wParam, lParam);
      break;
    case TSendOutcome::NotResolved:
      PostMessageW(FWindow, WM_HOST_NOT_RESOLVED, wParam, 0);
      break;
    case TSendOutcome::Failed:
      PostMessageW(FWindow, WM_PACKET_FAILED, wParam, lParam);
      break;
  }
}

}  // namespace kst
