#include "sender/win32/host_scan.h"

#include "netcore/address_text.h"
#include "netcore/host_lookup.h"
#include "sender/messages.h"

namespace kst {

THostScan::THostScan(HWND window, TScanRequest request, THostList& results, TThreadStarter startThread)
    : FWindow(window), FResults(results), FRequest(std::move(request)), FStartThread(std::move(startThread)) {
  try {
    auto work = [this]() noexcept { Execute(); };
    FThread = FStartThread ? FStartThread(work) : std::thread(work);
  } catch (...) {
    // No thread for the scan: it ends before it began, and the window gets its commands back.
    PostMessageW(FWindow, WM_SCAN_END, 0, 0);
  }
}

THostScan::~THostScan() {
  Stop();
  {
    std::lock_guard<std::mutex> guard(FSweepLock);
    FQuit.store(true);
    if (FSweep) FSweep->Cancel();
  }
  if (DWORD id = FThreadId.load()) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (FThread.joinable()) FThread.join();
}

void THostScan::Stop() noexcept { FStop.store(true); }

void THostScan::Execute() noexcept {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // gives the thread its queue
  FThreadId.store(GetCurrentThreadId());
  try {
    const auto sweep = MakeArpSweep();
    {
      std::lock_guard<std::mutex> guard(FSweepLock);
      FSweep = sweep.get();
      if (FQuit.load()) sweep->Cancel();
    }
    struct TForget {
      THostScan& Scan;
      ~TForget() {
        std::lock_guard<std::mutex> guard(Scan.FSweepLock);
        Scan.FSweep = nullptr;
      }
    } forget{*this};
    TArpScanProbe probe(*sweep, [](std::string_view address) { return LookupHostName(address); });
    TParallelScan scan(
        FitToSweep(FRequest, *sweep), probe, FResults,
        [this](int n) { PostMessageW(FWindow, WM_SCAN_COUNT, static_cast<WPARAM>(n), 0); },
        [this]() {
          MSG peek;
          return FStop.load() || (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE) && peek.message == WM_QUIT);
        });
    if (FStartThread) scan.SetThreadStarter(FStartThread);
    scan.Run();
  } catch (...) {
    // Nothing to show: the scan ends with what it found.
  }
  PostMessageW(FWindow, WM_SCAN_END, 0, 0);
}

}  // namespace kst
