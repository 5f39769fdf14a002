// The wake assistant's thread and its owner, beside the scan's. The thread holds the one watch
// that runs, asks by ARP within the budget and posts the banner's lines (WM_WATCH_LINES) when
// they change. It also keeps this machine's networks for the route line, read at most once a
// second and never on the window's thread (WM_WATCH_ROUTE when they changed). Nothing it runs
// blocks for long: blocking ARP calls and name lookups run on threads of their own, which the
// owner does not wait for, so destroying it is quick.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "sender/wake_assistant.h"
#include "sender/wake_probes.h"

namespace kst {

class TWakeWatcher {
 public:
  using TClock = std::chrono::steady_clock;

  // The networks are read once here, so that the first route line is right.
  explicit TWakeWatcher(HWND window);
  ~TWakeWatcher();
  TWakeWatcher(const TWakeWatcher&) = delete;
  TWakeWatcher& operator=(const TWakeWatcher&) = delete;

  // This machine's networks as last read, and a new read asked for (at most one a second).
  std::vector<TNetworkInterface> Interfaces();
  void RefreshInterfaces() noexcept;

  // A send to the computer starts: the neighbour table that tells what answered before its packet
  // is read now (once for a chain of sends), before the packet's own ARP can change it.
  void SendStarting(uint64_t hostId) noexcept;
  // A packet went out to the target now. newGroup: a new watch (Send to All) in place of the
  // running one; otherwise the target joins the running watch, or starts one.
  void Add(TWatchTarget target, bool group, bool newGroup);
  // The computers were deleted, edited or replaced: they leave the watch at once. The lines to
  // show now when the watch changed and still shows; nothing otherwise.
  std::optional<std::vector<std::string>> Remove(std::span<const uint64_t> hostIds);
  // Sweeps wait while the scan runs.
  void SetScanRunning(bool running) noexcept { FScanRunning.store(running); }
  // Whether a watch runs or shows its outcome: the banner then shows the watch, not the route.
  bool Shown() const noexcept { return FShown.load(); }
  // The user has moved on (another computer selected): a finished watch is no longer shown.
  void Dismiss() noexcept;
  // Lines posted before the last Remove are out of date (WM_WATCH_LINES's wParam).
  WPARAM Generation() const noexcept { return FGeneration.load(); }

 private:
  struct TRequest {
    TWatchTarget Target;
    bool Group = false;
    bool NewGroup = false;
    TClock::time_point At;
  };
  struct TLookups;

  void Execute() noexcept;
  TWatchTime Since(TClock::time_point t) const;
  void ReadInterfaces();
  void StartLookup(const TWatchTarget& target);

  HWND FWindow;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FScanRunning{false};
  std::atomic<bool> FShown{false};
  std::atomic<bool> FFinished{false};
  std::atomic<WPARAM> FGeneration{0};
  // Guards everything below; held only for moments, never across a system call that may block.
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<TRequest> FInbox;
  // The computers of the requests the thread has taken and not yet added, and those removed
  // meanwhile: they must not join.
  std::vector<uint64_t> FTaken;
  std::vector<uint64_t> FRemovedMeanwhile;
  TTablesBeforeSend FBefore;
  std::vector<TNetworkInterface> FInterfaces;
  TClock::time_point FInterfacesRead{};
  bool FInterfacesWanted = false;
  std::optional<TWakeWatch> FWatch;
  std::vector<std::string> FShownLines;
  std::shared_ptr<TLookups> FLookups;
  std::thread FThread;
};

}  // namespace kst
