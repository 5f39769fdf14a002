// The address-range scan apart from the platform: probes a bounded number of addresses at once
// yet delivers exactly what probing one after another would. Found computers are appended to
// the results in address order, progress goes 1, 2, ... count with one call per address, the
// first address is always probed, and a stop ends the scan once the probes and name lookups
// under way are done. Addresses are announced to the probe a bounded stretch ahead of their turn.
//
// An address counts as probed once its ARP answer is in; the reverse name of a found computer is
// looked up on a pool of its own, started as soon as the address answers, so that slow lookups
// overlap each other and the rest of the sweep instead of holding it. The found computers go to
// the results, in address order, when the last lookup is done.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "netcore/arp_sweep.h"
#include "sender/host_record.h"

namespace kst {

class IScanProbe {
 public:
  virtual ~IScanProbe() = default;
  // MAC value of the address's ARP answer; 0 when it does not answer. Called from several threads.
  virtual uint64_t MacOf(std::string_view addressText) = 0;
  // Reverse name of the address; empty when there is none. Called from several threads.
  virtual std::string NameOf(std::string_view addressText) = 0;
  // The address's turn is near: a probe may start resolving it now. Called on the scan's own
  // thread, in address order, each address at most once and before its MacOf.
  virtual void Announce(std::string_view /*addressText*/) {}
  // The scan stops: what has not been asked yet need not be. Called once, on the scan's thread.
  virtual void StopAsking() {}
};

// The scan's probe: ARP answers through one sweep, reverse names from lookUp.
class TArpScanProbe : public IScanProbe {
 public:
  TArpScanProbe(TArpSweep& sweep, std::function<std::string(std::string_view)> lookUp)
      : FSweep(sweep), FLookUp(std::move(lookUp)) {}
  uint64_t MacOf(std::string_view addressText) override;
  std::string NameOf(std::string_view addressText) override { return FLookUp(addressText); }
  void Announce(std::string_view addressText) override;
  void StopAsking() override { FSweep.StopAsking(); }

 private:
  TArpSweep& FSweep;
  std::function<std::string(std::string_view)> FLookUp;
};

struct TScanRequest {
  uint64_t FirstAddress = 0;
  int32_t Count = 1;
  uint64_t BroadcastAddress = 0;
  std::string BroadcastHost;
  uint16_t Port = kDefaultPort;
  uint32_t LocalIpAddress = 0;  // the default local address of a new record
  // Probes waiting at once. With the addresses announced ahead, their answers already overlap:
  // a few threads keep up (a /24 takes as long with 4 as with 16 under Wine), and Wine faults
  // inside ntdll with 64 of them waiting for ARP.
  int MaxInFlight = 8;
  // Addresses announced ahead of the first one not yet delivered. A probe that resolves the
  // announced ones at once lets their answers (and their time-outs) overlap far beyond the probes
  // in flight; bounded so that the system's neighbour table (1,024 entries before Linux refuses
  // more) keeps room.
  int Lookahead = 256;
  // Reverse lookups at once. Each costs the resolver's time-out where a device has no name (DNS,
  // then NetBIOS on Windows: seconds), so many run together; a network with more unnamed devices
  // than this takes one more time-out per this many.
  int MaxLookups = 32;
};

// How many addresses may wait for their answers at once: as many as the sweep's pace asks while
// an address may take to be decided (about 3 s), so that the pace, not this, bounds a wide range.
// Where the system resolves on request (Windows) each is a probe holding a thread until its
// address answers or the system gives up: a /24 takes one time-out, not one per eight probes,
// for 254 threads. Where the table alone tells (Wine) each is an address announced ahead, an
// unresolved entry in Linux's neighbour table meanwhile, which holds 1,024 before it refuses more.
inline constexpr int kAwaitedAtOnce = TArpSweep::kAsksPerSecond * 3;
// The request as the sweep that answers it wants it.
TScanRequest FitToSweep(TScanRequest request, const TArpSweep& sweep);

// Starts work on a thread of its own; throws (as std::thread does) when none can be had.
using TThreadStarter = std::function<std::thread(std::function<void()>)>;

class TParallelScan {
 public:
  // progress(n) runs on the thread that calls Run, once per address, n = 1, 2, ...
  // stopWanted runs on that thread too, after each address and while it waits.
  TParallelScan(TScanRequest request, IScanProbe& probe, THostList& results, std::function<void(int)> progress,
                std::function<bool()> stopWanted = {})
      : FRequest(std::move(request)), FProbe(probe), FResults(results), FProgress(std::move(progress)),
        FStopWanted(std::move(stopWanted)) {}

  // Where the scan's probe and lookup threads come from; by default plain std::thread. Without
  // any, the calling thread probes and looks up by itself, one address after another.
  void SetThreadStarter(TThreadStarter start) { FStartThread = std::move(start); }

  // Blocks until the range is done or a stop was seen and the probes and lookups under way have
  // ended. After a stop, a found computer whose lookup had not started keeps its address as name.
  void Run();
  // From any thread: no new address is started.
  void Stop() noexcept { FStop.store(true); }

 private:
  TScanRequest FRequest;
  IScanProbe& FProbe;
  THostList& FResults;
  std::function<void(int)> FProgress;
  std::function<bool()> FStopWanted;
  TThreadStarter FStartThread;
  std::atomic<bool> FStop{false};
};

}  // namespace kst
