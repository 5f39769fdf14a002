// The capture engine: a raw IPv4 socket on one local address, read on the GUI thread through
// socket notifications posted to a hidden window, each magic packet handed to the owner.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listener/datagram.h"
#include "listener/listen_address.h"
#include "netcore/win32/handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

// Winsock posts this to the notification window while datagrams are queued.
inline constexpr UINT WM_SOCKET_NOTIFY = WM_USER + 350;

class TWolListener : private TWindow {
 public:
  using TDataAvailable = std::function<void(TWolListener& sender, const TReceivedMagicPacket& packet)>;

  // Starts Winsock and builds Addresses from the machine's adapters; throws TOsError when the
  // adapters cannot be listed. Opens no socket.
  TWolListener();
  ~TWolListener() override;

  // Opens the socket on the address of entry index of Addresses. False with the reason in
  // ErrorText when any step fails; nothing stays open then.
  bool StartListening(int index);
  void StopListening() noexcept;

  bool Listening() const noexcept { return static_cast<bool>(FSocket); }
  const std::string& ErrorText() const noexcept { return FErrorText; }
  // Entry 0 is the preferred address.
  const std::vector<TListenAddress>& Addresses() const noexcept { return FAddresses; }

  TDataAvailable OnDataAvailable;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Reads the queued datagrams (a bounded number per notification; Winsock notifies again while
  // more are queued) and hands each magic packet to OnDataAvailable.
  void ReadDatagrams();
  bool Fail(int socketError);

  std::unique_ptr<uint8_t[]> FBuffer;
  TWinsockSession FWinsock;
  TUniqueSocket FSocket;
  // Set only for the raw UDP socket that stands in where raw IP sockets are refused: it is bound
  // to every address, so it keeps what this adapter would have received (see StartListening).
  struct TAdapterFilter {
    uint32_t Address;
    uint32_t Mask;
  };
  std::optional<TAdapterFilter> FFilter;
  std::string FErrorText;
  std::vector<TListenAddress> FAddresses;
};

}  // namespace kst
