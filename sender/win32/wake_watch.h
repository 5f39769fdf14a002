// The wake assistant's thread and its owner, beside the scan's. The thread holds the one watch
// that runs, probes by ARP as the scan does and posts the banner's lines (WM_WATCH_LINES) when
// they change. Destroying the owner stops the thread and waits for the probes under way.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sender/wake_assistant.h"

namespace kst {

class TWakeWatcher {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TWakeWatcher(HWND window);
  ~TWakeWatcher();
  TWakeWatcher(const TWakeWatcher&) = delete;
  TWakeWatcher& operator=(const TWakeWatcher&) = delete;

  // A packet went out to the target now. newGroup: a new watch (Send to All) in place of the
  // running one; otherwise the target joins the running watch, or starts one.
  void Add(TWatchTarget target, bool group, bool newGroup);
  // Sweeps wait while the scan runs.
  void SetScanRunning(bool running) noexcept { FScanRunning.store(running); }
  // Whether a watch runs or shows its outcome: the banner then shows the watch, not the route.
  bool Shown() const noexcept { return FShown.load(); }
  // The user has moved on (another computer selected): a finished watch is no longer shown.
  void Dismiss() noexcept;

 private:
  struct TRequest {
    TWatchTarget Target;
    bool Group = false;
    bool NewGroup = false;
    TClock::time_point At;
  };

  void Execute() noexcept;
  void PostLines(const std::vector<std::string>& lines) noexcept;

  HWND FWindow;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FScanRunning{false};
  std::atomic<bool> FShown{false};
  std::atomic<bool> FFinished{false};
  std::mutex FLock;
  std::condition_variable FWake;
  std::deque<TRequest> FInbox;
  TClock::time_point FEpoch = TClock::now();
  std::thread FThread;
};

}  // namespace kst
