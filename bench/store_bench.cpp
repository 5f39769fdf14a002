// Load and Save of a long computer list through the in-memory registry.
#include <benchmark/benchmark.h>

#include "netcore/address_text.h"
#include "sender/registry_store.h"

namespace {

kst::THostList MakeList(size_t count) {
  kst::THostList list;
  for (size_t i = 0; i < count; ++i) {
    auto r = std::make_unique<kst::THostRecord>();
    r->AssignComputerName("computer-" + std::to_string(i));
    r->MacAddress = 0x020000000000ull + i;
    r->BroadcastAddress = kst::StrToIp("10.77.0.255");
    r->LocalIpAddress = kst::StrToIp("10.77.0.2");
    list.push_back(std::move(r));
  }
  return list;
}

void BM_SaveHosts(benchmark::State& state) {
  const auto list = MakeList(static_cast<size_t>(state.range(0)));
  auto reg = kst::MakeMemoryRegistry();
  for (auto _ : state) kst::TRegistryStore(*reg).SaveHosts(list);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SaveHosts)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State& state) {
  auto reg = kst::MakeMemoryRegistry();
  kst::TRegistryStore(*reg).SaveHosts(MakeList(static_cast<size_t>(state.range(0))));
  const std::vector<std::string> local{"10.77.0.2"};
  for (auto _ : state) {
    kst::TKestruneState s;
    kst::TViewSettings view;
    kst::TRegistryStore(*reg).Load(s, view, local);
    benchmark::DoNotOptimize(s.HostList.size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Load)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
