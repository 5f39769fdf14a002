// Datagrams checked per second by the listener's recognition: what one notification costs once
// recv has returned. Traffic mixes from all magic packets to none.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "listener/datagram.h"
#include "netcore/magic_packet.h"

namespace {

using TBytes = std::vector<uint8_t>;

TBytes Udp(const TBytes& payload) {
  TBytes d = {0x45, 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0, 10, 77, 0, 20, 10, 77, 0, 255};
  const auto length = static_cast<uint16_t>(8 + payload.size());
  const TBytes udp = {0x9C, 0x40, 0, 9, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0, 0};
  d.insert(d.end(), udp.begin(), udp.end());
  d.insert(d.end(), payload.begin(), payload.end());
  return d;
}

TBytes Magic(uint64_t mac, uint64_t password) {
  const auto p = kst::BuildMagicPacket(mac, password);
  return Udp({p.View().begin(), p.View().end()});
}

// 102 bytes that start like a magic packet but whose second copy of the address differs.
TBytes NearMiss(int seed) {
  TBytes payload(102, static_cast<uint8_t>(seed));
  std::fill(payload.begin(), payload.begin() + 6, 0xFF);
  payload[12] ^= 0x01;
  return payload;
}

// One in `magicEvery` datagrams is a magic packet; the others are what a LAN mostly carries:
// short datagrams (name queries), and 102-byte ones that are not magic packets.
std::vector<TBytes> Traffic(int magicEvery) {
  std::vector<TBytes> list;
  for (int i = 0; i < 64; ++i) {
    if (magicEvery > 0 && i % magicEvery == 0)
      list.push_back(Magic(0x02AA00000000ull + static_cast<uint64_t>(i), i % 2 ? 0xA1B2C3D4E5F6ull : 0));
    else if (i % 2)
      list.push_back(Udp(TBytes(50, 0x11)));
    else
      list.push_back(Udp(NearMiss(i)));
  }
  return list;
}

void BM_DecodeDatagram(benchmark::State& state) {
  const auto traffic = Traffic(static_cast<int>(state.range(0)));
  size_t i = 0, recognised = 0;
  for (auto _ : state) {
    auto packet = kst::DecodeDatagram(traffic[i++ & 63]);
    recognised += packet.has_value();
    benchmark::DoNotOptimize(packet);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["magic"] = benchmark::Counter(static_cast<double>(recognised), benchmark::Counter::kIsRate);
}
// Every datagram magic, one in eight, none.
BENCHMARK(BM_DecodeDatagram)->Arg(1)->Arg(8)->Arg(0);

}  // namespace
