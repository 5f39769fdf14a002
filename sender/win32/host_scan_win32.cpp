#include "sender/win32/host_scan.h"

#include "netcore/host_lookup.h"
#include "netcore/local_network.h"
#include "sender/messages.h"

namespace kst {
namespace {

class TArpProbe : public IScanProbe {
 public:
  uint64_t MacOf(std::string_view addressText) override { return GetMacByArp(addressText); }
  std::string NameOf(std::string_view addressText) override { return LookupHostName(addressText); }
};

}  // namespace

THostScan::THostScan(HWND window, TScanRequest request, THostList& results)
    : FWindow(window), FResults(results), FRequest(std::move(request)) {
  FThread = std::thread([this]() noexcept { Execute(); });
}

THostScan::~THostScan() {
  Stop();
  if (DWORD id = FThreadId.load()) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (FThread.joinable()) FThread.join();
}

void THostScan::Stop() noexcept { FStop.store(true); }

void THostScan::Execute() noexcept {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // gives the thread its queue
  FThreadId.store(GetCurrentThreadId());
  try {
    TArpProbe probe;
    TParallelScan scan(
        FRequest, probe, FResults,
        [this](int n) { PostMessageW(FWindow, WM_SCAN_COUNT, static_cast<WPARAM>(n), 0); },
        [this]() {
          MSG peek;
          return FStop.load() || (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE) && peek.message == WM_QUIT);
        });
    scan.Run();
  } catch (...) {
    // Nothing to show: the scan ends with what it found.
  }
  PostMessageW(FWindow, WM_SCAN_END, 0, 0);
}

}  // namespace kst
