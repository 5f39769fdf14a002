// Doubles for native tests of the neighbour evidence: a driver for the manual clock, and the
// neighbour table as Wine shows Linux's, for the path that has only datagrams and the table.
//
// TLinuxNeighbours: Linux's timing with its default settings: a new entry asks three times a second
// apart and fails 3 s after the datagram; a STALE one waits 5 s (DELAY), asks three times by
// unicast to the MAC it holds and fails 8 s after the datagram; a REACHABLE one sends nothing.
// FAILED keeps its MAC, and the next datagram asks anew as for a new entry. A PERMANENT one (set
// by hand) is never asked: datagrams go to its MAC.
// Wine shows every valid state as Reachable and every other one as unreachable, with its MAC.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "netcore/neighbours.h"

namespace kst::test {

// Runs work on a thread of its own and, whenever the threads asleep on the clock have stayed the
// same for a moment (the others are waiting on something else, or done), moves the clock to the
// earliest time one of them waits for; until the work is done. Work on one thread alone needs
// no moment: settle 0. ready: the clock moves only once it holds (threads still being started
// would otherwise begin late).
template <class Work>
auto Drive(TManualClock& clock, Work work, int settle = 3, const std::function<bool()>& ready = {}) {
  using namespace std::chrono_literals;
  auto result = std::async(std::launch::async, work);
  size_t sleepers = 0;
  int steady = 0;
  while (result.wait_for(settle > 0 ? 200us : 0us) != std::future_status::ready) {
    const size_t now = clock.Sleepers();
    steady = now == sleepers ? steady + 1 : 0;
    sleepers = now;
    if (steady < settle || now == 0 || (ready && !ready())) {
      std::this_thread::yield();
      continue;
    }
    if (const auto next = clock.NextWake()) clock.Advance(*next - clock.Now());
    steady = 0;
  }
  return result.get();
}

class TLinuxNeighbours : public INeighbourPlatform {
 public:
  enum class TState { Incomplete, Reachable, Stale, Delay, Probe, Failed, Permanent };

  explicit TLinuxNeighbours(IClock& clock) : FClock(clock) {}

  void Present(uint32_t address, uint64_t mac) {
    std::lock_guard<std::mutex> guard(FLock);
    FPresent[address] = mac;
  }
  void Gone(uint32_t address) {
    std::lock_guard<std::mutex> guard(FLock);
    FPresent.erase(address);
  }
  // An entry left behind, as `ip neigh replace ... nud stale` (or failed) leaves it.
  void Leave(uint32_t address, uint64_t mac, TState state) {
    std::lock_guard<std::mutex> guard(FLock);
    FEntries[address] = {state, mac, FClock.Now()};
  }
  int Solicited(uint32_t address) {
    std::lock_guard<std::mutex> guard(FLock);
    return FSolicited[address];
  }

  bool CanResolve() override { return false; }
  TArpEvidence Resolve(uint32_t) override { return {}; }
  bool Solicit(uint32_t address) override {
    const TNeighbourTime now = FClock.Now();
    std::lock_guard<std::mutex> guard(FLock);
    ++FSolicited[address];
    auto found = FEntries.find(address);
    if (found == FEntries.end() || Age(found->second, address, now).State == TState::Failed)
      FEntries[address] = {TState::Incomplete, found == FEntries.end() ? 0 : found->second.Mac, now};
    else if (found->second.State == TState::Stale)
      found->second = {TState::Delay, found->second.Mac, now};
    return true;
  }
  TNeighbourTable ReadTable() override {
    const TNeighbourTime now = FClock.Now();
    std::lock_guard<std::mutex> guard(FLock);
    TNeighbourTable table;
    table.Known = true;
    for (auto& [address, e] : FEntries) {
      const TEntry& aged = Age(e, address, now);
      const bool valid = aged.State != TState::Incomplete && aged.State != TState::Failed;
      const TNeighbourState shown = aged.State == TState::Permanent ? TNeighbourState::Permanent
                                    : valid                          ? TNeighbourState::Reachable
                                                                     : TNeighbourState::Stale;
      table.Entries.push_back({address, aged.Mac, shown, !valid, 2});
    }
    return table;
  }

 private:
  struct TEntry {
    TState State;
    uint64_t Mac;
    TNeighbourTime Since;  // when the state began
  };
  const TEntry& Age(TEntry& e, uint32_t address, TNeighbourTime now) {
    const auto present = FPresent.find(address);
    const uint64_t answer = present == FPresent.end() ? 0 : present->second;
    if (e.State == TState::Incomplete) {
      if (answer != 0 && now >= e.Since + TNeighbourTime{1})
        e = {TState::Reachable, answer, e.Since + TNeighbourTime{1}};
      else if (answer == 0 && now >= e.Since + TNeighbourTime{3000})
        e = {TState::Failed, e.Mac, e.Since + TNeighbourTime{3000}};
    } else if (e.State == TState::Delay && now >= e.Since + TNeighbourTime{5000}) {
      // The checks go by unicast to the MAC the entry holds: only that adapter hears them.
      if (answer != 0 && answer == e.Mac)
        e = {TState::Reachable, answer, e.Since + TNeighbourTime{5001}};
      else if (now >= e.Since + TNeighbourTime{8000})
        e = {TState::Failed, e.Mac, e.Since + TNeighbourTime{8000}};
    }
    return e;
  }

  IClock& FClock;
  std::mutex FLock;
  std::map<uint32_t, uint64_t> FPresent;
  std::map<uint32_t, TEntry> FEntries;
  std::map<uint32_t, int> FSolicited;
};

}  // namespace kst::test
