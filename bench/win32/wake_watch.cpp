// The wake assistant's figures, in the sandbox with its sleeping computers:
// 1. from a computer's wake (the sleeper agent's log) to the banner's text saying so;
// 2. ARP requests on the LAN per minute while one computer is watched (by a sweep of the /24,
//    and by its one address taken from its name);
// 3. Send to All over 1,000 computers of this network (the watch sweeping), against the same
//    with a destination on another network (the watch idle) and, given a Windows path of a
//    kestrune.exe built without the assistant as the first argument, against that program.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace {

using namespace std::chrono_literals;
using kst::e2e::TProcess;

constexpr int kCmdSend = 101, kCmdSendAll = 102, kBannerLineId = 301;

double WallNow() {
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  const uint64_t t = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  return static_cast<double>(t - 116444736000000000ull) / 1e7;  // seconds since 1970
}

std::string CommandFile(const std::string& name) {
  return kst::test::WinePath(kst::test::Env("KST_SLEEPER_COMMANDS")) + "\\" + name;
}

// Total ARP requests seen on the LAN so far.
long ArpRequests() {
  const std::string done = CommandFile("count.done");
  DeleteFileA(done.c_str());
  std::ofstream(CommandFile("count.arp")).close();
  kst::e2e::WaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5s);
  std::ifstream in(done);
  double time = 0;
  long count = -1;
  in >> time >> count;
  return count;
}

void PutToSleep(const char* mac) {
  const std::string done = CommandFile(std::string(mac) + ".done");
  DeleteFileA(done.c_str());
  std::ofstream(CommandFile(std::string(mac) + ".sleep")).close();
  kst::e2e::WaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5s);
}

// When the sleeper agent brought the computer up (seconds since 1970), or 0.
double AwakeAt(const std::string& mac) {
  std::ifstream log(kst::test::WinePath(kst::test::Env("KST_SLEEPER_LOG")));
  std::string line;
  double at = 0;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    double time;
    std::string what, which;
    if (words >> time >> what >> which && what == "awake" && which == mac) at = time;
  }
  return at;
}

struct TKestrune {
  std::optional<TProcess> Process;
  HWND Window = nullptr, Banner = nullptr, Status = nullptr;

  explicit TKestrune(size_t count, const std::string& name, const char* mac, const char* destination,
                     const std::wstring& program = kst::e2e::ProgramPath(KST_KESTRUNE_EXE)) {
    auto reg = kst::MakeSystemRegistry();
    reg->SetRoot(kst::TRegRoot::LocalMachine);
    reg->DeleteKey(kst::kSettingsKey);
    reg->SetAccess(kst::TRegAccess::All);
    reg->OpenKey(kst::kSettingsKey, true);
    reg->WriteDword("Selection", 1);
    reg->CloseKey();
    kst::THostList list;
    for (size_t i = 0; i < count; ++i) {
      auto r = std::make_unique<kst::THostRecord>();
      r->AssignComputerName(count == 1 ? name : name + std::to_string(i));
      r->MacAddress = kst::StrToMac(mac) + i;
      r->BroadcastAddress = kst::StrToIp(destination);
      r->Port = 40019;
      list.push_back(std::move(r));
    }
    kst::TRegistryStore(*reg).SaveHosts(list);
    Process = TProcess::Start(program);
    Window = kst::e2e::FindProcessWindow(Process->Id(), L"KestruneMainWindow", L"", 60s);
    Banner = kst::e2e::FindChild(Window, L"KestruneBanner");
    Status = kst::e2e::FindChild(Window, L"msctls_statusbar32");
    Sleep(1000);
  }
  ~TKestrune() {
    PostMessageW(Window, WM_CLOSE, 0, 0);
    Process->WaitExit(20s);
  }
  std::string Line() { return kst::e2e::WindowText(GetDlgItem(Banner, kBannerLineId)); }
};

void WakeToBanner(const std::string& name, const char* mac) {
  TKestrune k(1, name, mac, "10.77.0.255");
  PostMessageW(k.Window, WM_COMMAND, kCmdSend, 0);
  double seen = 0;
  kst::e2e::WaitUntil(
      [&] {
        if (k.Line().find(" woke up after ") == std::string::npos) return false;
        seen = WallNow();
        return true;
      },
      30s);
  const double awake = AwakeAt(mac);
  std::printf("wake to banner, %s: %.2f s (banner: %s)\n", name.c_str(), seen > 0 && awake > 0 ? seen - awake : -1.0,
              k.Line().c_str());
  PutToSleep(mac);
}

void ArpPerMinute(const std::string& name) {
  TKestrune k(1, name, "02-77-00-00-01-34", "10.77.0.255");
  PostMessageW(k.Window, WM_COMMAND, kCmdSend, 0);
  Sleep(5000);
  const long before = ArpRequests();
  Sleep(60000);
  const long after = ArpRequests();
  std::printf("ARP requests in one minute watching \"%s\": %ld (banner: %s)\n", name.c_str(), after - before,
              k.Line().c_str());
}

double SendAll(const char* destination, const std::wstring& program, const char* which) {
  TKestrune k(1000, "pc", "02-BF-00-00-00-00", destination, program);
  const auto start = std::chrono::steady_clock::now();
  PostMessageW(k.Window, WM_COMMAND, kCmdSendAll, 0);
  kst::e2e::WaitUntil([&] { return kst::e2e::WindowText(k.Status).rfind("PC999: magic packet sent", 0) == 0; }, 120s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("Send to All over 1,000 computers to %s, %s: %.2f s (banner: %.60s)\n", destination, which, seconds,
              k.Line().c_str());
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (!kst::test::InSandbox()) return 2;
  const std::wstring program = kst::e2e::ProgramPath(KST_KESTRUNE_EXE);
  const std::wstring before = argc > 1 ? kst::Widen(argv[1]) : std::wstring();
  if (argc <= 2) {
    WakeToBanner("Sleeper-31", "02-77-00-00-01-31");
    WakeToBanner("Sleeper-32", "02-77-00-00-01-32");
    WakeToBanner("Sleeper-33", "02-77-00-00-01-33");
    ArpPerMinute("Insomniac");
    ArpPerMinute("Insomniac (10.77.0.34)");
  }
  // Alternating, so that the load of the machine falls on each alike.
  double with = 0, idle = 0, without = 0;
  for (int i = 0; i < 2; ++i) {
    idle += SendAll("192.168.77.255", program, "watch idle");
    with += SendAll("10.77.0.255", program, "watch sweeping");
    if (!before.empty()) without += SendAll("10.77.0.255", before, "no assistant");
  }
  std::printf("Send to All, watch sweeping / watch idle: %.3f\n", with / idle);
  if (without > 0) std::printf("Send to All, watch sweeping / no assistant: %.3f\n", with / without);
  return 0;
}
