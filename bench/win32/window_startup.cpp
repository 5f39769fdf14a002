// Kestrune's window with a long list: the time from the start of the process until the window
// lists its computers, for 1 and 10,000 stored computers; then, with 10,000, how long the
// window takes to answer while its table scrolls and while Send to All runs.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "netcore/address_text.h"
#include "sender/messages.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void StoreComputers(kst::IRegistryAccessor& reg, size_t count) {
  reg.SetRoot(kst::TRegRoot::LocalMachine);
  reg.DeleteKey(kst::kSettingsKey);
  kst::THostList list;
  for (size_t i = 0; i < count; ++i) {
    auto r = std::make_unique<kst::THostRecord>();
    r->AssignComputerName("pc" + std::to_string(i));
    r->MacAddress = 0x02BF00000000ull + i;
    r->BroadcastAddress = kst::StrToIp(Env("KST_PEER_ADDRESS"));
    r->LocalIpAddress = kst::StrToIp(Env("KST_HOST_ADDRESS"));
    r->Port = 40019;
    list.push_back(std::move(r));
  }
  kst::TRegistryStore(reg).SaveHosts(list);
}

// The longest wait for the window to answer, asked every 20 ms for the duration, while work()
// runs between the questions.
template <typename Work>
double LongestAnswerMs(HWND window, std::chrono::milliseconds duration, Work work) {
  double longest = 0;
  const auto end = TClock::now() + duration;
  while (TClock::now() < end) {
    work();
    const auto start = TClock::now();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    longest = std::max(longest, std::chrono::duration<double, std::milli>(TClock::now() - start).count());
    Sleep(20);
  }
  return longest;
}

}  // namespace

int main() {
  const std::wstring exe = kst::e2e::ProgramPath(KST_KESTRUNE_EXE);
  auto reg = kst::MakeSystemRegistry();
  for (size_t count : {size_t{1}, size_t{10000}}) {
    StoreComputers(*reg, count);
    const auto start = TClock::now();
    auto process = kst::e2e::TProcess::Start(exe, L"");
    if (!process) return 3;
    HWND window = kst::e2e::FindProcessWindow(process->Id(), L"", L"Kestrune 2.0.11", 60s);
    HWND table = window ? kst::e2e::FindChild(window, L"SysListView32") : nullptr;
    const bool listed = table && kst::e2e::WaitUntil(
                                     [&] { return SendMessageW(table, LVM_GETITEMCOUNT, 0, 0) == LRESULT(count); }, 60s);
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    std::printf("%zu computers: listed %s after %.2f s\n", count, listed ? "in the window" : "NOT", seconds);
    if (listed && count > 1) {
      const double scrolling = LongestAnswerMs(window, 3s, [&] { SendMessageW(table, WM_VSCROLL, SB_PAGEDOWN, 0); });
      std::printf("  longest answer while the table scrolls: %.1f ms\n", scrolling);
      PostMessageW(window, WM_COMMAND, 102, 0);  // Send to All
      const double sending = LongestAnswerMs(window, 3s, [] {});
      std::printf("  longest answer while Send to All runs: %.1f ms\n", sending);
    }
    if (window) PostMessageW(window, kst::WM_APP_EXIT, 0, 0);
    process->WaitExit(120s);
  }
  reg->DeleteKey(kst::kSettingsKey);
  return 0;
}
