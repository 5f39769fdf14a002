// Wall time of GetMacByArp for a live address (the sandbox's peer) and for a silent one. Under
// Wine this is the neighbour-table fallback: one datagram, then polling the table. Run inside
// tools/sandbox, which provides the addresses.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "netcore/address_text.h"
#include "netcore/local_network.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

struct TTiming {
  double FirstMs = 0;
  double MedianMs = 0;
  double MaxMs = 0;
  uint64_t Mac = 0;
};

// The first call finds no neighbour entry yet; the later ones find it in the table.
TTiming Time(const std::string& address, int count) {
  std::vector<double> ms;
  TTiming t;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    t.Mac = kst::GetMacByArp(address);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  t.FirstMs = ms.front();
  t.MaxMs = *std::max_element(ms.begin(), ms.end());
  std::sort(ms.begin(), ms.end());
  t.MedianMs = ms[ms.size() / 2];
  return t;
}

void Print(const char* what, const std::string& address, int count, const TTiming& t) {
  std::printf("%-7s %-12s calls: %2d  first: %7.1f ms  median: %7.1f ms  max: %7.1f ms  MAC: %s\n", what,
              address.c_str(), count, t.FirstMs, t.MedianMs, t.MaxMs, t.Mac ? kst::MacToStr(t.Mac).c_str() : "none");
}

}  // namespace

int main(int argc, char** argv) {
  if (Env("KST_SANDBOX") != "1") {
    std::fprintf(stderr, "bench_arp_probe: run inside tools/sandbox\n");
    return 2;
  }
  const int live = argc > 1 ? std::atoi(argv[1]) : 50;
  const int silent = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string peer = Env("KST_PEER_ADDRESS");
  const std::string quiet = Env("KST_SILENT_ADDRESS");
  const TTiming a = Time(peer, live);
  const TTiming b = Time(quiet, silent);
  Print("live", peer, live, a);
  Print("silent", quiet, silent, b);
  return a.Mac != 0 && b.Mac == 0 ? 0 : 1;
}
