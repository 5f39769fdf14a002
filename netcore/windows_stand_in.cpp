#include "netcore/windows_stand_in.h"

#include <algorithm>

namespace kst {

void TWindowsStandIn::Present(uint32_t address, uint64_t mac) {
  std::lock_guard<std::mutex> guard(FLock);
  FPresent[address] = mac;
}

void TWindowsStandIn::Gone(uint32_t address) {
  std::lock_guard<std::mutex> guard(FLock);
  FPresent.erase(address);
}

void TWindowsStandIn::Cache(uint32_t address, uint64_t mac, TNeighbourState state) {
  const TNeighbourTime now = FClock.Now();
  std::lock_guard<std::mutex> guard(FLock);
  FCache[address] = {state, mac, now};
}

int TWindowsStandIn::Asks(uint32_t address) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FAsks.find(address);
  return found == FAsks.end() ? 0 : found->second;
}

int TWindowsStandIn::Asks() const {
  std::lock_guard<std::mutex> guard(FLock);
  int all = 0;
  for (const auto& [address, n] : FAsks) all += n;
  return all;
}

int TWindowsStandIn::Requests() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRequests;
}

int TWindowsStandIn::MostInProgress() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FMostInProgress;
}

int TWindowsStandIn::InProgress() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FInProgress;
}

void TWindowsStandIn::Age(TEntry& e, TNeighbourTime now) const {
  if (e.Pending && now >= e.Until) {
    e.Pending = false;
    e.Mac = e.Outcome;
    e.State = e.Outcome != 0 ? TNeighbourState::Reachable : TNeighbourState::Unreachable;
    e.Confirmed = e.Until;
  }
  if (e.State == TNeighbourState::Reachable && now >= e.Confirmed + kReachableTime) e.State = TNeighbourState::Stale;
}

std::pair<TNeighbourTime, uint64_t> TWindowsStandIn::Ask(uint32_t address, TNeighbourTime now) {
  const auto present = FPresent.find(address);
  if (present != FPresent.end() && present->second != 0) {
    FRequests += 1;
    return {now + kAnswerTime, present->second};
  }
  FRequests += kArpRequestsPerProbe;
  return {now + kGiveUpTime, 0};
}

TArpEvidence TWindowsStandIn::Resolve(uint32_t address) {
  TNeighbourTime until{};
  uint64_t mac = 0;
  {
    const TNeighbourTime now = FClock.Now();
    std::lock_guard<std::mutex> guard(FLock);
    ++FAsks[address];
    TEntry& e = FCache[address];
    Age(e, now);
    const bool cached = !e.Pending && e.Mac != 0 && e.State != TNeighbourState::Unreachable &&
                        e.State != TNeighbourState::Incomplete;
    if (!FHasResolve && cached) return ResolvedEvidence(true, e.Mac);  // SendARP: from the cache
    // ResolveIpNetEntry2 flushes the entry first; SendARP asks when the cache has nothing.
    std::tie(until, mac) = Ask(address, now);
    e = {TNeighbourState::Incomplete, 0, now, true, until, mac};
    FMostInProgress = std::max(FMostInProgress, ++FInProgress);
  }
  FClock.SleepUntil(until);
  std::lock_guard<std::mutex> guard(FLock);
  --FInProgress;
  Age(FCache[address], until);
  return ResolvedEvidence(mac != 0, mac);
}

bool TWindowsStandIn::Solicit(uint32_t address) {
  const TNeighbourTime now = FClock.Now();
  std::lock_guard<std::mutex> guard(FLock);
  TEntry& e = FCache[address];
  Age(e, now);
  if (e.Pending || (e.Mac != 0 && e.State != TNeighbourState::Unreachable)) return true;
  const auto [until, mac] = Ask(address, now);
  e = {TNeighbourState::Incomplete, 0, now, true, until, mac};
  return true;
}

TNeighbourTable TWindowsStandIn::ReadTable() {
  const TNeighbourTime now = FClock.Now();
  std::lock_guard<std::mutex> guard(FLock);
  TNeighbourTable table;
  table.Known = true;
  for (auto& [address, e] : FCache) {
    Age(e, now);
    table.Entries.push_back({address, e.Mac, e.State, e.State == TNeighbourState::Unreachable, 1});
  }
  return table;
}

}  // namespace kst
