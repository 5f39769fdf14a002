// ARP for many addresses at once, as a range scan asks, over either platform (neighbours.h).
//
// Where the system resolves on request (Windows), MacOf resolves the address and blocks until it
// answers or the system gives up (about 3 s): as many addresses are asked at once as threads
// call MacOf. Where it cannot (Wine), Announce sends the address its resolving datagram ahead
// of its turn and returns at once, so that the answers and time-outs of many addresses overlap;
// MacOf then waits until the neighbour table decides the address: up to kSilenceAfter after its
// datagram, kConfirmAfter when it had a valid entry before. One thread reads the table for all
// that wait.
//
// This machine's own addresses are answered from its adapters (as SendARP does); addresses off
// its networks are never asked (ARP cannot reach them). No address is asked twice.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/neighbours.h"

namespace kst {

class TArpSweep {
 public:
  TArpSweep(INeighbourPlatform& platform, IClock& clock, std::vector<TAdapterRecord> adapters);
  TArpSweep(const TArpSweep&) = delete;
  TArpSweep& operator=(const TArpSweep&) = delete;

  // Whether MacOf blocks a thread for each address under way (the platform resolves on request).
  bool Resolves() const { return FResolves; }

  // The address's turn is near: where only the table tells, its datagram goes out now.
  void Announce(uint32_t address) noexcept;
  // What the address showed; asks it first if nobody has. Blocks until decided.
  TArpEvidence EvidenceOf(uint32_t address);
  // The MAC of its answer, 0 when there is none.
  uint64_t MacOf(uint32_t address) { return EvidenceOf(address).Mac; }

 private:
  // Whether the address may be asked, and the answer that needs no asking (our own).
  bool Askable(uint32_t address) const;
  // Solicits the address (the lock held); its record.
  TSolicitation& SolicitLocked(uint32_t address, std::unique_lock<std::mutex>& guard);
  // A table read that began at since or later, made by this thread if no other is reading.
  std::pair<std::shared_ptr<const TNeighbourTable>, TNeighbourTime> TableSince(TNeighbourTime since,
                                                                               std::unique_lock<std::mutex>& guard);

  INeighbourPlatform& FPlatform;
  IClock& FClock;
  const std::vector<TAdapterRecord> FAdapters;
  const bool FResolves;

  std::mutex FLock;
  std::condition_variable FTableChanged;
  std::map<uint32_t, TSolicitation> FSolicited;
  std::map<uint32_t, TArpEvidence> FResolved;  // answered from our adapters, or resolved
  std::shared_ptr<const TNeighbourTable> FTable;
  TNeighbourTime FTableRead{-1};  // when the read behind FTable began
  bool FReading = false;
};

// --- Win32 layer ---

// A sweep over NeighbourPlatform() and the steady clock, with this machine's adapters as they
// are now (none when they cannot be read).
std::unique_ptr<TArpSweep> MakeArpSweep();

}  // namespace kst
