// A stand-in for Windows' ARP calls and its neighbour cache, for the branches that run only on
// Windows: tests and models drive them here, natively or under Wine, with any clock.
//
// What it does as Windows does:
// - ResolveIpNetEntry2 flushes the address's entry and asks anew: a present computer answers
//   after about 1 ms (one request), a silent address fails after about 3 s (three requests; the
//   usual default of the system's retransmissions, not a documented figure). The entry is then
//   Reachable with the answer, or Unreachable.
// - Where ResolveIpNetEntry2 is missing, SendARP answers from a valid cache entry at once, without
//   a request (also for a computer that is gone), and otherwise asks as above.
// - A datagram resolves an address without an entry in the background (Incomplete, then
//   Reachable or Unreachable after the same times); one with a valid entry sends nothing.
// - A Reachable entry turns Stale once its reachable time has passed.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "netcore/neighbours.h"

namespace kst {

class TWindowsStandIn : public INeighbourPlatform {
 public:
  static constexpr TNeighbourTime kAnswerTime{1};
  static constexpr TNeighbourTime kGiveUpTime{3000};  // the usual default, not a documented figure
  static constexpr TNeighbourTime kReachableTime{30000};

  // hasResolve: whether ResolveIpNetEntry2 exists (else SendARP is asked).
  explicit TWindowsStandIn(IClock& clock, bool hasResolve = true) : FClock(clock), FHasResolve(hasResolve) {}

  // A computer that answers ARP at the address, from now on.
  void Present(uint32_t address, uint64_t mac);
  // It answers no more; whatever the cache holds for it stays.
  void Gone(uint32_t address);
  // An entry the cache holds already, confirmed now.
  void Cache(uint32_t address, uint64_t mac, TNeighbourState state);

  // Resolutions asked for the address so far, and for all addresses.
  int Asks(uint32_t address) const;
  int Asks() const;
  // ARP requests put on the wire so far.
  int Requests() const;
  // The most resolutions that were under way at once.
  int MostInProgress() const;
  // Resolutions under way now.
  int InProgress() const;

  bool CanResolve() override { return true; }
  TArpEvidence Resolve(uint32_t address) override;
  bool Solicit(uint32_t address) override;
  TNeighbourTable ReadTable() override;

 private:
  struct TEntry {
    TNeighbourState State = TNeighbourState::Unreachable;
    uint64_t Mac = 0;
    TNeighbourTime Confirmed{};
    // A resolution under way in the background: its outcome at Until.
    bool Pending = false;
    TNeighbourTime Until{};
    uint64_t Outcome = 0;
  };
  // The entry as it is at now (the lock held).
  void Age(TEntry& e, TNeighbourTime now) const;
  // Starts asking (the lock held): the requests it costs, when it ends, what it ends with.
  std::pair<TNeighbourTime, uint64_t> Ask(uint32_t address, TNeighbourTime now);

  IClock& FClock;
  const bool FHasResolve;
  mutable std::mutex FLock;
  std::map<uint32_t, uint64_t> FPresent;
  std::map<uint32_t, TEntry> FCache;
  std::map<uint32_t, int> FAsks;
  int FRequests = 0;
  int FInProgress = 0;
  int FMostInProgress = 0;
};

}  // namespace kst
