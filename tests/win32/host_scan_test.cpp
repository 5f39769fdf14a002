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

  // Runs a scan of count addresses from first to its end (the scan's owner goes once it has
  // ended): its WM_SCAN_COUNTs.
  std::vector<WPARAM> Scan(const char* first, int32_t count, THostList& found, TThreadStarter startThread = {}) {
    TScanRequest request;
    request.FirstAddress = StrToIp(first);
    request.Count = count;
    std::vector<WPARAM> counts;
    THostScan scan(Window, request, found, std::move(startThread));
    EXPECT_TRUE(WaitForEnd(counts));
    return counts;
  }
};

std::thread NoThread(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST(HostScan, EndsWhenThreadsCannotBeHad) {
  ASSERT_TRUE(test::InSandbox());
  TReceiver receiver;
  ASSERT_TRUE(receiver.Window);

  // No thread for the scan itself: it ends at once, nothing probed.
  THostList none;
  EXPECT_TRUE(receiver.Scan("10.77.0.20", 3, none, NoThread).empty());
  EXPECT_TRUE(none.empty());

  // A thread for the scan, none for its probes and lookups: the scan thread does them itself.
  THostList found;
  bool first = true;
  const auto counts = receiver.Scan("10.77.0.20", 3, found, [&](std::function<void()> work) {
    if (!first) return NoThread(work);
    first = false;
    return std::thread(std::move(work));
  });
  EXPECT_EQ(counts, (std::vector<WPARAM>{1, 2, 3}));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0]->ComputerName, "peer-computer (10.77.0.20)");
  EXPECT_EQ(MacToStr(found[0]->MacAddress), "02-77-00-00-00-14");
  EXPECT_EQ(found[1]->ComputerName, "10.77.0.22");
}

// Computers that answered a while ago and are gone left entries behind: a STALE one, which Linux
// keeps valid until the next datagram makes it check, and a FAILED one with its old MAC. The scan
// offers neither and still finds the computers that answer, also those whose own entries are
// old (the sandbox lets entries turn STALE within seconds), and one whose address had another
// MAC before (Linux checks a STALE entry by unicast to the MAC it holds). An entry set by hand
// for a computer that sleeps is no answer either.
TEST(HostScan, EntriesLeftByComputersThatAreGoneFindNothing) {
  ASSERT_TRUE(test::InSandbox());
  ASSERT_TRUE(test::LeaveNeighbourEntry("stale", "10.77.0.41", "02-77-00-00-00-41"));
  ASSERT_TRUE(test::LeaveNeighbourEntry("failed", "10.77.0.43", "02-77-00-00-00-43"));
  ASSERT_TRUE(test::LeaveNeighbourEntry("permanent", "10.77.0.45", "02-77-00-00-00-45"));
  ASSERT_TRUE(test::LeaveNeighbourEntry("stale", "10.77.0.22", "02-77-00-00-00-99"));
  TReceiver receiver;
  ASSERT_TRUE(receiver.Window);
  THostList found;
  const auto counts = receiver.Scan("10.77.0.18", 28, found);
  EXPECT_EQ(counts.size(), 28u);
  EXPECT_EQ(counts.back(), 28u);
  std::vector<std::string> names;
  for (const auto& r : found) names.push_back(r->ComputerName + " " + MacToStr(r->MacAddress));
  EXPECT_EQ(names, (std::vector<std::string>{"peer-computer (10.77.0.20) 02-77-00-00-00-14", "10.77.0.22 02-77-00-00-00-16",
                                             "10.77.0.24 02-77-00-00-00-18"}));
}

}  // namespace
}  // namespace kst
