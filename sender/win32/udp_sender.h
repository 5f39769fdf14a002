// Sends one magic packet over UDP/IPv4: resolve the destination, build the packet, bind to the
// chosen local address, send once. Two ways with the same steps: TUdpSender on its own thread,
// reporting to a window by posted message, and SendMagicPacketSync, blocking, which only says
// whether the packet went out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kst {

enum class TSendOutcome {
  NotStarted,   // Winsock could not be started: nothing is reported
  Sent,         // the whole datagram was accepted by the socket
  NotResolved,  // no destination address (empty text, unknown name, not four octets)
  Failed,       // a socket step failed or the datagram was cut short
};

struct TSendResult {
  TSendOutcome Outcome = TSendOutcome::NotStarted;
  uint32_t Address = 0;  // destination address value; 0 when not resolved
  // NotStarted and Failed: the system's error code of the step that failed.
  uint32_t Error = 0;
};

// The steps shared by both ways of sending. An empty local address means any ("0.0.0.0").
TSendResult SendMagicPacketOnce(const std::string& destination, const std::string& localAddress,
                                uint16_t port, uint64_t macAddress, uint64_t password) noexcept;

// True only when the whole datagram was sent; a Winsock that does not start is a failure.
bool SendMagicPacketSync(const std::string& destination, const std::string& localAddress,
                         uint16_t port, uint64_t macAddress, uint64_t password) noexcept;

// A worker thread that sends one packet and posts exactly one of WM_PACKET_SENT,
// WM_HOST_NOT_RESOLVED or WM_PACKET_FAILED to the window (none when Winsock does not start),
// with the record's identity (THostRecord::Id) as wParam. It owns copies of its inputs and frees itself at the end;
// the caller keeps no reference.
class TUdpSender {
 public:
  // Starts the thread. Returns false only when no thread could be created; nothing is posted then.
  static bool Start(uint64_t hostId, HWND window, std::string destination,
                    std::string localAddress, uint64_t macAddress, uint64_t password,
                    uint16_t port) noexcept;

 private:
  TUdpSender(uint64_t hostId, HWND window, std::string destination, std::string localAddress,
             uint64_t macAddress, uint64_t password, uint16_t port);
  void Execute() noexcept;

  HWND FWindow;
  uint64_t FHostId;
  std::string FDestination;
  uint64_t FMacAddress;
  uint64_t FPassword;
  uint16_t FPort;
  std::string FLocalAddress;
};

}  // namespace kst
