// Load and Save of 10,000 computers on the real registry (under Wine, in the sandbox), and the
// load set against the floor's (floor/floor_read.h: the same reads in plain Win32) in the same
// process, in turn, three times each: the platform's own cost without a process start or the
// window's around it.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "netcore/address_text.h"
#include "sender/registry_store.h"
#include "bench/win32/floor/floor_read.h"

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
  double load = 1e9;
  double floor = 1e9;
  size_t floorCount = 0;
  for (int round = 0; round < 3; ++round) {
    start = Clock::now();
    floorCount = floor_bench::LoadComputers().size();
    floor = std::min(floor, std::chrono::duration<double>(Clock::now() - start).count());
    start = Clock::now();
    kst::TRegistryStore(*reg).Load(loaded, view, {"10.77.0.2"});
    load = std::min(load, std::chrono::duration<double>(Clock::now() - start).count());
  }
  reg->DeleteKey(kst::kSettingsKey);
  std::printf("registry, %zu computers: save %.2f s, save over existing %.2f s, load %.2f s (%zu loaded); "
              "the floor's load %.2f s (%zu); load / floor %.2f (shortest of 3 each)\n",
              kCount, save, resave, load, loaded.HostList.size(), floor, floorCount, load / floor);
  return loaded.HostList.size() == kCount ? 0 : 1;
}
