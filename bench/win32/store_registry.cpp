// Load and Save of 10,000 computers on the real registry (under Wine, in the sandbox), and,
// over the same list, the floor program that only loads it (floor/floor_load.cpp), twice: the
// load alone set against the platform's own cost, without the window's start-up around it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "netcore/address_text.h"
#include "sender/registry_store.h"

int main() {
  using Clock = std::chrono::steady_clock;
  constexpr size_t kCount = 10000;
  auto reg = kst::MakeSystemRegistry();
  reg->SetRoot(kst::TRegRoot::LocalMachine);
  reg->DeleteKey(kst::kSettingsKey);
  kst::TKestruneState state;
  for (size_t i = 0; i < kCount; ++i) {
    auto r = std::make_unique<kst::THostRecord>();
    r->AssignComputerName("computer-" + std::to_string(i));
    r->MacAddress = 0x020000000000ull + i;
    r->BroadcastAddress = kst::StrToIp("10.77.0.255");
    r->LocalIpAddress = kst::StrToIp("10.77.0.2");
    state.HostList.push_back(std::move(r));
  }
  kst::TViewSettings view;
  auto start = Clock::now();
  kst::TRegistryStore(*reg).Save(state, view);
  const double save = std::chrono::duration<double>(Clock::now() - start).count();
  start = Clock::now();
  kst::TRegistryStore(*reg).Save(state, view);  // again, over an existing list
  const double resave = std::chrono::duration<double>(Clock::now() - start).count();
  kst::TKestruneState loaded;
  start = Clock::now();
  kst::TRegistryStore(*reg).Load(loaded, view, {"10.77.0.2"});
  const double load = std::chrono::duration<double>(Clock::now() - start).count();
  double floor = -1;
  for (int round = 0; round < 2; ++round) {
    std::string exe = std::string("Z:") + KST_FLOOR_LOAD_EXE;
    for (char& c : exe)
      if (c == '/') c = '\\';
    std::string command = "\"" + exe + "\" " + std::to_string(kCount);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    start = Clock::now();
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) break;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (code == 0 && (floor < 0 || seconds < floor)) floor = seconds;
  }
  reg->DeleteKey(kst::kSettingsKey);
  std::printf("registry, %zu computers: save %.2f s, save over existing %.2f s, load %.2f s (%zu loaded); "
              "floor_load.exe (a process of its own) %.2f s, load / floor %.2f\n",
              kCount, save, resave, load, loaded.HostList.size(), floor, load / floor);
  return loaded.HostList.size() == kCount ? 0 : 1;
}
