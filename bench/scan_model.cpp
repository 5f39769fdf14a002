// The Windows scan, modelled: the real scan engine and sweep, as the window runs them where the
// system resolves on request, against the stand-in for Windows' ARP calls on the steady clock
// (present addresses answer after 1 ms, silent ones after 3 s). Native; sends nothing.
// bench/scan_lookups runs it beside arp-scan in the sandbox.
//
//   bench_scan_model [COUNT [PRESENT [IN_FLIGHT]]]
// COUNT addresses from 10.77.0.1 (254) on a network as wide as they need; PRESENT computers
// that answer among them (20), spread evenly; IN_FLIGHT resolutions at once (as shipped).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "netcore/address_text.h"
#include "netcore/windows_stand_in.h"
#include "sender/parallel_scan.h"

int main(int argc, char** argv) {
  using namespace kst;
  const int count = argc > 1 ? std::atoi(argv[1]) : 254;
  const int present = argc > 2 ? std::atoi(argv[2]) : 20;
  const uint32_t first = StrToIp("10.77.0.1");
  uint32_t mask = 0xFFFFFF00u;
  while (mask != 0 && ~mask < static_cast<uint32_t>(count) + 1) mask <<= 1;

  TWindowsStandIn windows(SteadyClock());
  for (int i = 0; i < present; ++i)
    windows.Present(first + 4 + static_cast<uint32_t>(i) * static_cast<uint32_t>(count / present),
                    0x020000000000u + static_cast<uint64_t>(i));
  TAdapterRecord adapter;
  adapter.AddressLength = 6;
  adapter.Address = {0x02, 0x77, 0, 0, 0, 0x02};
  adapter.IpAddressList = {{"10.77.0.2", IpToStr(mask)}};
  TArpSweep sweep(windows, SteadyClock(), {adapter});
  TArpScanProbe probe(sweep, [](std::string_view) { return std::string(); });
  TScanRequest request;
  request.FirstAddress = first;
  request.Count = count;
  request = FitToSweep(request, sweep);
  if (argc > 3) request.MaxInFlight = std::atoi(argv[3]);

  THostList found;
  const auto start = std::chrono::steady_clock::now();
  TParallelScan(request, probe, found, [](int) {}).Run();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("modelled Windows scan of %d addresses (%d present), %d in flight: %.2f s, %zu found "
              "(this machine among them), %d resolutions at once at most, %d ARP requests\n",
              count, present, request.MaxInFlight, seconds, found.size(), windows.MostInProgress(), windows.Requests());
  return 0;
}
