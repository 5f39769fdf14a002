// The address-range scan as the window runs it (the real ARP sweep and reverse lookups, probes
// and lookups in parallel), from 10.77.0.1 over the sandbox LAN: how long it takes and what it
// finds, and with a stop, how long the scan takes to end after it. tools/bench and
// bench/scan_lookups time arp-scan over the same range in the same run.
//
//   scan_range.exe [COUNT [IN_FLIGHT [LOOKAHEAD [STOP_AT]]]]
// COUNT addresses (254); IN_FLIGHT probes at once and LOOKAHEAD addresses announced ahead (0: as
// shipped; a look-ahead of 1: no sweep ahead of the probes); STOP_AT: stop once that many
// addresses are counted.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "netcore/address_text.h"
#include "netcore/host_lookup.h"
#include "sender/parallel_scan.h"
#include "sender/win32/host_scan.h"

int main(int argc, char** argv) {
  using TClock = std::chrono::steady_clock;
  const auto sweep = kst::MakeArpSweep();
  kst::TArpScanProbe probe(*sweep, [](std::string_view address) { return kst::LookupHostName(address); });
  kst::TScanRequest request;
  request.FirstAddress = kst::StrToIp("10.77.0.1");
  request.Count = argc > 1 ? std::atoi(argv[1]) : 254;
  request = kst::FitToSweep(request, *sweep);  // as the window runs it
  if (argc > 2 && std::atoi(argv[2]) > 0) request.MaxInFlight = std::atoi(argv[2]);
  if (argc > 3 && std::atoi(argv[3]) > 0) request.Lookahead = std::atoi(argv[3]);
  const int stopAt = argc > 4 ? std::atoi(argv[4]) : 0;
  kst::THostList found;
  int probed = 0;
  TClock::time_point stopped{};
  const auto start = TClock::now();
  kst::TParallelScan scan(request, probe, found, [&](int n) {
    probed = n;
    if (n == stopAt) {
      stopped = TClock::now();
      scan.Stop();
    }
  });
  scan.Run();
  const auto end = TClock::now();
  auto seconds = [](TClock::duration d) { return std::chrono::duration<double>(d).count(); };
  std::printf("scan from 10.77.0.1 (%d of %d addresses, %d in flight, %d announced ahead): %.2f s, %zu found\n",
              probed, request.Count, request.MaxInFlight, request.Lookahead, seconds(end - start), found.size());
  if (stopAt > 0)
    std::printf("  stopped at address %d, %.2f s after the start; the scan ended %.2f s after the stop\n", stopAt,
                seconds(stopped - start), seconds(end - stopped));
  for (const auto& r : found) std::printf("  %s %s\n", r->ComputerName.c_str(), kst::MacToStr(r->MacAddress).c_str());
  return 0;
}
