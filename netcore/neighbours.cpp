#include "netcore/neighbours.h"

#include <algorithm>
#include <thread>

namespace kst {

bool TNeighbourEntry::Valid() const {
  return !IsUnreachable && State != TNeighbourState::Unreachable && State != TNeighbourState::Incomplete && Mac != 0;
}

const TNeighbourEntry* TNeighbourTable::Find(uint32_t address) const {
  const TNeighbourEntry* first = nullptr;
  for (const auto& e : Entries) {
    if (e.Address != address) continue;
    if (e.Valid()) return &e;
    if (first == nullptr) first = &e;
  }
  return first;
}

TArpEvidence ResolvedEvidence(bool answered, uint64_t mac) {
  if (answered && mac != 0) return {TArpVerdict::Answered, mac, TAnswerKind::Resolved};
  return {TArpVerdict::Silent, 0, TAnswerKind::None};
}

TSolicitation::TSolicitation(uint32_t address, const TNeighbourTable& before, TNeighbourTime sentAt)
    : FAddress(address), FSentAt(sentAt), FNeedsConfirmation(!before.Known), FMacBefore(0) {
  if (const TNeighbourEntry* e = before.Find(address); e != nullptr && e->Valid()) {
    FNeedsConfirmation = true;
    FMacBefore = e->Mac;
  }
}

TNeighbourTime TSolicitation::DecidedBy() const {
  return FSentAt + (FNeedsConfirmation ? kConfirmAfter : kSilenceAfter);
}

const TArpEvidence& TSolicitation::Observe(const TNeighbourTable& table, TNeighbourTime readAt) {
  if (FEvidence.Decided() || !table.Known || readAt < FSentAt) return FEvidence;
  const TNeighbourEntry* e = table.Find(FAddress);
  // An entry set by hand is never asked for: datagrams go straight to its MAC, answered or not.
  if (e != nullptr && e->State == TNeighbourState::Permanent) return FEvidence;
  if (e == nullptr || !e->Valid()) {
    FDropped = true;
    if (readAt >= FSentAt + kSilenceAfter) FEvidence = {TArpVerdict::Silent, 0, TAnswerKind::None};
    return FEvidence;
  }
  // Linux changes an entry's MAC only on an ARP packet from the new one: that is news.
  const bool news = !FNeedsConfirmation || FDropped || (FMacBefore != 0 && e->Mac != FMacBefore);
  if (news)
    FEvidence = {TArpVerdict::Answered, e->Mac, TAnswerKind::Fresh};
  else if (readAt >= FSentAt + kConfirmAfter)
    FEvidence = {TArpVerdict::Answered, e->Mac, TAnswerKind::Confirmed};
  return FEvidence;
}

namespace {

class TSteadyClock : public IClock {
 public:
  TNeighbourTime Now() override {
    return std::chrono::duration_cast<TNeighbourTime>(std::chrono::steady_clock::now() - FEpoch);
  }
  void SleepUntil(TNeighbourTime until) override {
    std::this_thread::sleep_until(FEpoch + until);
  }

 private:
  const std::chrono::steady_clock::time_point FEpoch = std::chrono::steady_clock::now();
};

}  // namespace

IClock& SteadyClock() {
  static TSteadyClock clock;
  return clock;
}

TNeighbourTime TManualClock::Now() {
  std::lock_guard<std::mutex> guard(FLock);
  return FNow;
}

void TManualClock::SleepUntil(TNeighbourTime until) {
  std::unique_lock<std::mutex> guard(FLock);
  if (FNow >= until) return;
  std::condition_variable woken;
  FWaits.push_back({until, &woken});
  woken.wait(guard, [&] { return FNow >= until; });
  FWaits.erase(std::find_if(FWaits.begin(), FWaits.end(), [&](const TWait& w) { return w.Woken == &woken; }));
}

void TManualClock::Advance(TNeighbourTime by) {
  std::lock_guard<std::mutex> guard(FLock);
  FNow += by;
  for (const TWait& w : FWaits)
    if (w.Until <= FNow) w.Woken->notify_one();
}

size_t TManualClock::Sleepers() {
  std::lock_guard<std::mutex> guard(FLock);
  return static_cast<size_t>(std::count_if(FWaits.begin(), FWaits.end(), [&](const TWait& w) { return w.Until > FNow; }));
}

std::optional<TNeighbourTime> TManualClock::NextWake() {
  std::lock_guard<std::mutex> guard(FLock);
  std::optional<TNeighbourTime> next;
  for (const TWait& w : FWaits)
    if (w.Until > FNow && (!next || w.Until < *next)) next = w.Until;
  return next;
}

}  // namespace kst
