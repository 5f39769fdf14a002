// ARP for many addresses at once, as a range scan asks, over either platform (neighbours.h).
//
// Where the system resolves on request (Windows), MacOf resolves the address and blocks until it
// answers or the system gives up (about 3 s): as many addresses are asked at once as threads
// call MacOf. Where it cannot (Wine), Announce sends the address its resolving datagram ahead
// of its turn and returns at once, so that the answers and time-outs of many addresses overlap;
// MacOf then waits until the neighbour table decides the address: up to kSilenceAfter after its
// datagram, kConfirmAfter when it had a valid entry before. Linux checks such an entry by unicast
// to its old MAC only; when the entry fails, a second datagram asks the whole LAN (kSilenceAfter
// more), unless the asking has stopped. One thread reads the table for all that wait.
//
// This machine's own addresses are answered from its adapters (as SendARP does); addresses off
// its networks are never asked (ARP cannot reach them). No address is asked twice but for that
// second datagram. Addresses are
// asked at kAsksPerSecond, after a burst of up to kAskBurst: with up to three requests each,
// about the pace of arp-scan with its defaults (256 kbit/s), and a /24 at once. Where only the
// table tells, each datagram holds an unresolved entry in the system's neighbour table until its
// address answers or fails (kSilenceAfter); that table holds kNeighbourTableHolds entries
// machine-wide and drops, without a word, the datagrams that find it full, which would make
// their addresses look silent. So no more datagrams are under way at once than the table has
// room for beside the valid entries it showed last, less kTableReserve for the rest of the
// machine.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <vector>

#include "netcore/adapters.h"
#include "netcore/neighbours.h"

namespace kst {

class TArpSweep {
 public:
  static constexpr int kAsksPerSecond = 250;
  static constexpr int kAskBurst = 256;
  // Linux's default gc_thresh3.
  static constexpr int kNeighbourTableHolds = 1024;
  static constexpr int kTableReserve = 64;

  TArpSweep(INeighbourPlatform& platform, IClock& clock, std::vector<TAdapterRecord> adapters);
  TArpSweep(const TArpSweep&) = delete;
  TArpSweep& operator=(const TArpSweep&) = delete;

  // Whether MacOf blocks a thread for each address under way (the platform resolves on request).
  bool Resolves() const { return FResolves; }

  // The address's turn is near: where only the table tells, its datagram goes out now.
  void Announce(uint32_t address) noexcept;
  // What the address showed; asks it first if nobody has. Blocks until decided, or cancelled.
  TArpEvidence EvidenceOf(uint32_t address);
  // From any thread: no address is asked from now on, but for the first one if none was yet;
  // those waiting for their turn return with nothing decided. Those asked are still awaited.
  void StopAsking() noexcept { FStopAsking.store(true); }
  // From any thread: StopAsking, and those waiting for the table, and those to come, return
  // what is known now (a resolution under way cannot be cut short: up to its time-out; nor a
  // wait for room in the table: up to kSilenceAfter).
  void Cancel() noexcept;
  // The MAC of its answer, 0 when there is none.
  uint64_t MacOf(uint32_t address) { return EvidenceOf(address).Mac; }

 private:
  bool Askable(uint32_t address) const;
  // Waits for the next turn to ask (outside the lock); false when no more may be asked.
  bool Pace();
  // Then, where only the table tells, waits (outside the lock) until it has room for one more
  // unresolved entry; false when no more may be asked.
  bool TableRoom();
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
  std::set<uint32_t> FSoliciting;  // their datagram on its way
  std::map<uint32_t, TArpEvidence> FResolved;  // answered from our adapters, or resolved
  std::shared_ptr<const TNeighbourTable> FTable;
  int FTableValid = 0;  // valid entries in FTable
  std::deque<TNeighbourTime> FUnresolvedSince;  // datagrams sent less than kSilenceAfter ago
  TNeighbourTime FTableRead{-1};  // when the read behind FTable began
  bool FReading = false;
  std::atomic<bool> FCancelled{false};
  std::atomic<bool> FStopAsking{false};
  std::atomic<int> FAsked{0};
  TNeighbourTime FPaceDue{};  // when the pace would have the next ask go without a burst
};

// --- Win32 layer ---

// A sweep over NeighbourPlatform() and the steady clock, with this machine's adapters as they
// are now (none when they cannot be read).
std::unique_ptr<TArpSweep> MakeArpSweep();

}  // namespace kst
