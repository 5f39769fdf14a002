// The scan thread of the main window, in-process: what the window receives when threads cannot
// be had.
#include <windows.h>

#include <gtest/gtest.h>

#include <system_error>
#include <vector>

#include "netcore/address_text.h"
#include "sender/messages.h"
#include "sender/win32/host_scan.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

// A message-only window: the scan's messages wait in this thread's queue.
struct TReceiver {
  HWND Window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ~TReceiver() { DestroyWindow(Window); }

  // The wParam of every WM_SCAN_COUNT before WM_SCAN_END; false when the end did not come.
  bool WaitForEnd(std::vector<WPARAM>& counts) {
    const DWORD until = GetTickCount() + 60000;
    for (MSG msg; GetTickCount() < until;) {
      if (!PeekMessageW(&msg, Window, WM_SCAN_END, WM_SCAN_COUNT, PM_REMOVE)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_POSTMESSAGE);
        continue;
      }
      if (msg.message == WM_SCAN_END) return true;
      counts.push_back(msg.wParam);
    }
    return false;
  }
};

std::thread NoThread(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST(HostScan, EndsWhenThreadsCannotBeHad) {
  ASSERT_TRUE(test::InSandbox());
  TReceiver receiver;
  ASSERT_TRUE(receiver.Window);
  TScanRequest request;
  request.FirstAddress = StrToIp("10.77.0.20");
  request.Count = 3;

  // No thread for the scan itself: it ends at once, nothing probed.
  THostList none;
  std::vector<WPARAM> counts;
  {
    THostScan scan(receiver.Window, request, none, NoThread);
    EXPECT_TRUE(receiver.WaitForEnd(counts));
  }
  EXPECT_TRUE(counts.empty());
  EXPECT_TRUE(none.empty());

  // A thread for the scan, none for its probes and lookups: the scan thread does them itself.
  THostList found;
  counts.clear();
  {
    bool first = true;
    THostScan scan(receiver.Window, request, found, [&](std::function<void()> work) {
      if (!first) return NoThread(work);
      first = false;
      return std::thread(std::move(work));
    });
    EXPECT_TRUE(receiver.WaitForEnd(counts));
  }
  EXPECT_EQ(counts, (std::vector<WPARAM>{1, 2, 3}));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->ComputerName, "peer-computer (10.77.0.20)");
  EXPECT_EQ(MacToStr(found[0]->MacAddress), "02-77-00-00-00-14");
  EXPECT_EQ(found[1]->ComputerName, "10.77.0.22");
}

}  // namespace
}  // namespace kst
