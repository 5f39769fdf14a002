// The address-range scan as the window runs it (the real ARP sweep and reverse lookup, probes in
// parallel), over the sandbox LAN's /24: how long it takes and what it finds. tools/bench times
// arp-scan over the same range in the same run.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "netcore/address_text.h"
#include "sender/parallel_scan.h"
#include "sender/win32/host_scan.h"

int main(int argc, char** argv) {
  kst::TScanRequest request;
  request.FirstAddress = kst::StrToIp("10.77.0.1");
  request.Count = argc > 1 ? std::atoi(argv[1]) : 254;
  if (argc > 2) request.MaxInFlight = std::atoi(argv[2]);
  if (argc > 3) request.Lookahead = std::atoi(argv[3]);  // 1: no sweep ahead of the probes
  kst::TArpScanProbe probe;
  kst::THostList found;
  int probed = 0;
  const auto start = std::chrono::steady_clock::now();
  kst::TParallelScan(request, probe, found, [&](int n) { probed = n; }).Run();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("scan from 10.77.0.1 (%d addresses): %.2f s, %zu found\n", probed, seconds, found.size());
  for (const auto& r : found) std::printf("  %s %s\n", r->ComputerName.c_str(), kst::MacToStr(r->MacAddress).c_str());
  return 0;
}
