// The address-range scan thread of the main window. It owns its thread and the probes it runs:
// destroying it stops the scan, cuts short the waits for the neighbour table, and waits for the
// resolutions and name lookups under way (at most one ARP time-out plus one lookup's), so the
// results list it appends to can be freed right after.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "netcore/local_network.h"
#include "sender/host_record.h"
#include "sender/parallel_scan.h"

namespace kst {

class THostScan {
 public:
  // Starts at once. Posts WM_SCAN_COUNT (wParam 1 ... count) per address and WM_SCAN_END at the end;
  // only WM_SCAN_END when no thread could be had for the scan. startThread gives the scan's
  // threads (tests make it fail); empty: std::thread.
  THostScan(HWND window, TScanRequest request, THostList& results, TThreadStarter startThread = {});
  ~THostScan();
  THostScan(const THostScan&) = delete;
  THostScan& operator=(const THostScan&) = delete;

  // Asks the scan to end after the probes under way.
  void Stop() noexcept;

 private:
  void Execute() noexcept;

  HWND FWindow;
  THostList& FResults;
  TScanRequest FRequest;
  TThreadStarter FStartThread;
  std::atomic<DWORD> FThreadId{0};
  std::atomic<bool> FStop{false};
  std::atomic<bool> FQuit{false};  // the owner goes: no waiting beyond what cannot be cut short
  std::mutex FSweepLock;
  TArpSweep* FSweep = nullptr;  // while the scan runs
  std::thread FThread;
};

}  // namespace kst
