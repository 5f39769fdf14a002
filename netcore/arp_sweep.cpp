#include "netcore/arp_sweep.h"

#include <algorithm>
#include <utility>

#include "netcore/local_network.h"

namespace kst {
namespace {

// How often a waiting address looks at the table between reads of its own.
constexpr TNeighbourTime kPoll{10};

}  // namespace

TArpSweep::TArpSweep(INeighbourPlatform& platform, IClock& clock, std::vector<TAdapterRecord> adapters)
    : FPlatform(platform), FClock(clock), FAdapters(std::move(adapters)), FResolves(platform.CanResolve()) {}

bool TArpSweep::Askable(uint32_t address) const {
  // An address beyond a gateway cannot answer ARP (SendARP may answer for it with the gateway's).
  return IsArpProbeTarget(address) && FindOwnMac(FAdapters, address) == 0 && IsOnLocalNetwork(FAdapters, address);
}

bool TArpSweep::Pace() {
  // One ask every kAskEvery on average, up to kAskBurst at once after a quiet spell.
  constexpr TNeighbourTime kAskEvery{1000 / kAsksPerSecond};
  TNeighbourTime turn{};
  {
    std::lock_guard<std::mutex> guard(FLock);
    const TNeighbourTime now = FClock.Now();
    if (FPaceDue < now) FPaceDue = now;
    turn = std::max(now, FPaceDue - kAskEvery * (kAskBurst - 1));
    FPaceDue += kAskEvery;
  }
  FClock.SleepUntil(turn);
  if ((FStopAsking.load() || FCancelled.load()) && FAsked.load() > 0) return false;
  ++FAsked;
  return true;
}

bool TArpSweep::TableRoom() {
  for (;;) {
    TNeighbourTime until{};
    {
      std::lock_guard<std::mutex> guard(FLock);
      const TNeighbourTime now = FClock.Now();
      while (!FUnresolvedSince.empty() && FUnresolvedSince.front() + kSilenceAfter <= now) FUnresolvedSince.pop_front();
      const size_t room = static_cast<size_t>(std::max(1, kNeighbourTableHolds - kTableReserve - FTableValid));
      if (FUnresolvedSince.size() < room) {
        FUnresolvedSince.push_back(now);
        return true;
      }
      until = FUnresolvedSince[FUnresolvedSince.size() - room] + kSilenceAfter;
    }
    FClock.SleepUntil(until);
    if (FStopAsking.load() || FCancelled.load()) return false;
  }
}

TSolicitation& TArpSweep::SolicitLocked(uint32_t address, std::unique_lock<std::mutex>& guard) {
  for (;;) {
    if (auto found = FSolicited.find(address); found != FSolicited.end()) return found->second;
    if (!FSoliciting.contains(address)) break;
    FTableChanged.wait(guard);  // another thread sends its datagram
  }
  FSoliciting.insert(address);
  // The state before the datagram decides how its answer is read: a read that began before it.
  auto before = TableSince(FTable ? FTableRead : FClock.Now(), guard).first;
  // The system would send straight to the MAC of an entry set by hand: nothing to ask.
  const TNeighbourEntry* entry = before->Find(address);
  const bool askable = entry == nullptr || entry->State != TNeighbourState::Permanent;
  guard.unlock();
  const bool sent = askable && Pace() && TableRoom() && FPlatform.Solicit(address);
  const TNeighbourTime sentAt = FClock.Now();
  guard.lock();
  FSoliciting.erase(address);
  auto [it, added] = FSolicited.try_emplace(address, address, *before, sentAt);
  if (!sent) FResolved[address] = {};  // nothing asked: nothing to wait for
  FTableChanged.notify_all();
  return it->second;
}

std::pair<std::shared_ptr<const TNeighbourTable>, TNeighbourTime> TArpSweep::TableSince(
    TNeighbourTime since, std::unique_lock<std::mutex>& guard) {
  for (;;) {
    if (FTable && FTableRead >= since) return {FTable, FTableRead};
    if (FReading) {
      FTableChanged.wait(guard);
      continue;
    }
    FReading = true;
    const TNeighbourTime start = FClock.Now();
    guard.unlock();
    auto table = std::make_shared<TNeighbourTable>();
    try {
      *table = FPlatform.ReadTable();
    } catch (...) {
      // Out of memory: no information this time.
      table->Known = false;
    }
    const auto valid = std::count_if(table->Entries.begin(), table->Entries.end(),
                                     [](const TNeighbourEntry& e) { return e.Valid(); });
    guard.lock();
    FReading = false;
    if (table->Known) FTableValid = static_cast<int>(valid);
    FTable = std::move(table);
    FTableRead = start;
    FTableChanged.notify_all();
  }
}

void TArpSweep::Cancel() noexcept {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStopAsking.store(true);
    FCancelled.store(true);
  }
  FTableChanged.notify_all();
}

void TArpSweep::Announce(uint32_t address) noexcept {
  if (FResolves || FStopAsking.load() || !Askable(address)) return;
  try {
    std::unique_lock<std::mutex> guard(FLock);
    SolicitLocked(address, guard);
  } catch (...) {
    // Out of memory: the address is asked when its turn comes.
  }
}

TArpEvidence TArpSweep::EvidenceOf(uint32_t address) {
  if (!IsArpProbeTarget(address)) return {};
  if (const uint64_t own = FindOwnMac(FAdapters, address)) return ResolvedEvidence(true, own);
  if (!IsOnLocalNetwork(FAdapters, address)) return {};
  std::unique_lock<std::mutex> guard(FLock);
  if (auto found = FResolved.find(address); found != FResolved.end()) return found->second;
  if (FResolves) {
    guard.unlock();
    if (!Pace()) return {};
    const TArpEvidence evidence = FPlatform.Resolve(address);
    guard.lock();
    FResolved[address] = evidence;
    return evidence;
  }
  if (FCancelled.load()) return {};
  TSolicitation* s = &SolicitLocked(address, guard);
  if (auto found = FResolved.find(address); found != FResolved.end()) return found->second;
  bool askedAgain = false;
  // Any read newer than the last one looked at will do; one that began once the time has decided
  // the address decides it for good, unless the table could not be read.
  TNeighbourTime seen{-1};
  for (;;) {
    if (FCancelled.load()) return s->Evidence();
    const auto [table, read] = TableSince(seen + TNeighbourTime{1}, guard);
    const TArpEvidence& evidence = s->Observe(*table, read);
    if (evidence.Verdict == TArpVerdict::Silent && s->HadValidEntry() && !askedAgain && !FStopAsking.load()) {
      // The old entry failed its checks, which went by unicast to its old MAC: a computer that
      // took the address since never heard them. Now that the entry has failed, one more
      // datagram asks the whole LAN.
      askedAgain = true;
      FSolicited.erase(address);
      s = &SolicitLocked(address, guard);
      if (auto found = FResolved.find(address); found != FResolved.end()) return found->second;
      continue;
    }
    if (evidence.Decided() || read >= s->DecidedBy() + kSilenceAfter) return evidence;
    seen = read;
    if (read < s->DecidedBy() || !table->Known) {
      guard.unlock();
      FClock.SleepUntil(FClock.Now() + kPoll);
      guard.lock();
    }
  }
}

}  // namespace kst
