// The capture engine: a raw IPv4 socket on one local address, read by a receive thread of the
// listener's own, which recognises the magic packets; they are handed to the owner, in arrival
// order, on the thread that created the listener, through a hidden window.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "listener/datagram.h"
#include "listener/listen_address.h"
#include "netcore/win32/handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

// The receive thread posts this to the notification window when recognised packets wait to be
// handed over: one message at a time, for all that wait when it arrives.
inline constexpr UINT WM_PACKETS_WAITING = WM_USER + 350;

class TWolListener : private TWindow {
 public:
  using TDataAvailable = std::function<void(TWolListener& sender, const TReceivedMagicPacket& packet)>;

  // Starts Winsock and builds Addresses from the machine's adapters; throws TOsError when the
  // adapters cannot be listed (or the thread's events cannot be made). Opens no socket.
  TWolListener();
  ~TWolListener() override;

  // Opens the socket on the address of entry index of Addresses and starts the receive thread.
  // False with the reason in ErrorText when any step fails; nothing stays open then.
  bool StartListening(int index);
  // Stops and joins the receive thread, closes the socket and drops the packets not yet handed
  // over. May be called from OnDataAvailable: no packet is handed over after it.
  void StopListening() noexcept;

  bool Listening() const noexcept { return static_cast<bool>(FSocket); }
  const std::string& ErrorText() const noexcept { return FErrorText; }
  // Entry 0 is the preferred address.
  const std::vector<TListenAddress>& Addresses() const noexcept { return FAddresses; }

  // Called on the thread that created the listener, one packet at a time, in arrival order.
  TDataAvailable OnDataAvailable;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // The receive thread: waits for datagrams (or the stop), then reads all that are queued.
  void Receive() noexcept;
  // On the receive thread: adds a packet to the waiting list, and tells the window when the
  // list was empty.
  void Enqueue(TReceivedMagicPacket&& packet);
  // On the window's thread: takes the waiting list and hands each packet to OnDataAvailable.
  void HandOver();
  bool Fail(int socketError);

  // Used by the receive thread only.
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
  // Signalled by the socket while datagrams are queued (WSAEventSelect), and by StopListening.
  TUniqueHandle FReadEvent;
  TUniqueHandle FStopEvent;
  std::atomic<bool> FStopping{false};
  std::thread FReceiver;
  // Packets recognised by the receive thread and not yet taken by the window's thread.
  std::mutex FWaitingLock;
  std::vector<TReceivedMagicPacket> FWaiting;
  // A message is on its way for them.
  bool FNotified = false;
  // The window's thread: the packets taken, handed over up to FHandedOver.
  std::vector<TReceivedMagicPacket> FTaken;
  size_t FHandedOver = 0;
  std::string FErrorText;
  std::vector<TListenAddress> FAddresses;
};

}  // namespace kst
