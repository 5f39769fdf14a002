// The scan end to end in the shipped kestrune.exe: from OK in the search dialog over the sandbox
// LAN's /24 until the question about the computers found, twice. tools/bench times arp-scan over
// the same range in the same run.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "netcore/address_text.h"
#include "netcore/registry.h"
#include "sender/messages.h"
#include "sender/registry_store.h"
#include "sender/res/dialog_ids.h"
#include "tests/e2e/e2e_support.h"

namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;
constexpr int kCmdSearch = 106;

void StoreSettings(kst::IRegistryAccessor& reg) {
  reg.SetRoot(kst::TRegRoot::LocalMachine);
  reg.DeleteKey(kst::kSettingsKey);
  reg.SetAccess(kst::TRegAccess::All);
  if (!reg.OpenKey(kst::kSettingsKey, true)) return;
  reg.WriteDword("Promo", 1);
  kst::TRegistryX x(reg);
  x.WriteInt64("SearchFromIpAddress", kst::StrToIp("10.77.0.1"));
  x.WriteInt64("SearchToIpAddress", kst::StrToIp("10.77.0.254"));
  x.WriteInt64("SearchBroadcastAddress", kst::StrToIp("10.77.0.255"));
  reg.WriteDword("SearchPort", 9);
  reg.CloseKey();
  kst::THostList list;
  auto r = std::make_unique<kst::THostRecord>();
  r->AssignComputerName("Office-PC");
  r->MacAddress = 0x02E800000001;
  list.push_back(std::move(r));
  kst::TRegistryStore(reg).SaveHosts(list);
}

}  // namespace

int main() {
  auto reg = kst::MakeSystemRegistry();
  StoreSettings(*reg);
  auto process = kst::e2e::TProcess::Start(kst::e2e::ProgramPath(KST_KESTRUNE_EXE), L"");
  if (!process) return 3;
  HWND window = kst::e2e::FindProcessWindow(process->Id(), L"", L"Kestrune 2.0.11", 60s);
  if (!window) return 4;
  for (int run = 1; run <= 2; ++run) {
    const auto opened = TClock::now();
    PostMessageW(window, WM_COMMAND, kCmdSearch, 0);
    HWND search = kst::e2e::FindProcessWindow(process->Id(), L"#32770", L"Search MAC addresses");
    if (!search) return 5;
    // The clock starts once the dialog answers, as a user presses OK only in a dialog that is up.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(search, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
    const auto start = TClock::now();
    std::printf("  the search dialog answered %.2f s after Search\n",
                std::chrono::duration<double>(start - opened).count());
    kst::e2e::PressButton(search, IDC_SEARCH_OK);
    HWND status = kst::e2e::FindChild(window, L"msctls_statusbar32");
    double first = -1, last = -1, closed = -1;
    auto since = [&] { return std::chrono::duration<double>(TClock::now() - start).count(); };
    HWND box = nullptr;
    while (!box && since() < 120) {
      const std::string text = kst::e2e::WindowText(status);
      if (closed < 0 && !IsWindowVisible(search)) closed = since();
      if (first < 0 && text.rfind("Scanned ", 0) == 0) first = since();
      if (last < 0 && text == "Scanned 254 of 254 IP addresses") last = since();
      box = kst::e2e::FindMessageBox(process->Id(), 10ms);
    }
    const double seconds = since();
    std::printf("  dialog closed after %.2f s, first address counted after %.2f s, the last after %.2f s\n", closed,
                first, last);
    if (!box) return 6;
    std::printf("window scan of 10.77.0.1 - 10.77.0.254, OK to the question: %.2f s: %s\n", seconds,
                kst::e2e::MessageBoxText(box).c_str());
    kst::e2e::PressButtonByText(box, L"&No");
    Sleep(500);
  }
  PostMessageW(window, kst::WM_APP_EXIT, 0, 0);
  process->WaitExit(30s);
  reg->DeleteKey(kst::kSettingsKey);
  return 0;
}
