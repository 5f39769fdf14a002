// Magic packets built per second, and the text conversions the dialogs and stores run.
#include <benchmark/benchmark.h>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"

namespace {

void BM_BuildMagicPacket(benchmark::State& state) {
  uint64_t mac = 0x001122334455ull;
  const uint64_t password = state.range(0) ? 0xA1B2C3D4E5F6ull : 0;
  for (auto _ : state) {
    auto packet = kst::BuildMagicPacket(mac++, password);
    benchmark::DoNotOptimize(packet);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildMagicPacket)->Arg(0)->Arg(1);

void BM_StrToIp(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kst::StrToIp("192.168.100.255"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrToIp);

void BM_StrToMac(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kst::StrToMac("00-11-22-AA-BB-CC"));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StrToMac);

}  // namespace
