#include "sender/wake_probes.h"

#include <deque>
#include <mutex>
#include <thread>

namespace kst {

std::unique_ptr<IWakeProber> MakeWakeProber(INeighbourPlatform& platform, IClock& clock, TThreadStart start) {
  if (!start) start = [](std::function<void()> work) { std::thread(std::move(work)).detach(); };
  if (platform.CanResolve()) return std::make_unique<TResolverProber>(platform, clock, std::move(start));
  return std::make_unique<TDatagramProber>(platform);
}

struct TResolverProber::TShared {
  INeighbourPlatform& Platform;
  IClock& Clock;
  std::mutex Lock;
  std::deque<uint32_t> Queue;
  std::vector<TAddressEvidence> Learnt;
  size_t Threads = 0;
  bool Gone = false;

  TShared(INeighbourPlatform& platform, IClock& clock) : Platform(platform), Clock(clock) {}

  // One thread's life: resolutions until the queue is empty or the prober has gone.
  void Work() noexcept {
    for (;;) {
      uint32_t address = 0;
      {
        std::lock_guard<std::mutex> guard(Lock);
        if (Gone || Queue.empty()) {
          --Threads;
          return;
        }
        address = Queue.front();
        Queue.pop_front();
      }
      TArpEvidence evidence;
      try {
        evidence = Platform.Resolve(address);
      } catch (...) {
        // Nothing learnt this time.
      }
      try {
        std::lock_guard<std::mutex> guard(Lock);
        if (!Gone) Learnt.push_back({address, evidence, Clock.Now()});
      } catch (...) {
        // Out of memory: the watch takes the probe as lost.
      }
    }
  }
};

TResolverProber::TResolverProber(INeighbourPlatform& platform, IClock& clock, TThreadStart start)
    : F(std::make_shared<TShared>(platform, clock)), FStart(std::move(start)) {}

TResolverProber::~TResolverProber() {
  std::lock_guard<std::mutex> guard(F->Lock);
  F->Gone = true;
}

std::span<const TWatchTime> TResolverProber::RequestsOf(uint32_t) const { return kArpResolveRequests; }

void TResolverProber::Ask(uint32_t address, TWatchTime) {
  {
    std::lock_guard<std::mutex> guard(F->Lock);
    F->Queue.push_back(address);
    if (F->Threads >= kMaxThreads) return;
    ++F->Threads;
  }
  try {
    FStart([shared = F] { shared->Work(); });
  } catch (...) {
    // No thread: the resolution waits for one that runs already, or for the next probe's.
    std::lock_guard<std::mutex> guard(F->Lock);
    --F->Threads;
  }
}

std::vector<TAddressEvidence> TResolverProber::Collect(const TNeighbourTable&, TWatchTime) {
  std::lock_guard<std::mutex> guard(F->Lock);
  std::vector<TAddressEvidence> learnt;
  learnt.swap(F->Learnt);
  return learnt;
}

std::span<const TWatchTime> TDatagramProber::RequestsOf(uint32_t address) const {
  // A valid entry is checked by unicast after Linux's delay; anything else is asked at once.
  const TNeighbourEntry* e = FLast.Find(address);
  return e != nullptr && e->Valid() ? kArpRecheckRequests : kArpResolveRequests;
}

void TDatagramProber::Ask(uint32_t address, TWatchTime now) {
  if (!FPlatform.Solicit(address)) return;
  FAsked.insert_or_assign(address, TSolicitation(address, FLast, now));
}

std::vector<TAddressEvidence> TDatagramProber::Collect(const TNeighbourTable& table, TWatchTime now) {
  std::vector<TAddressEvidence> learnt;
  for (auto it = FAsked.begin(); it != FAsked.end();) {
    const TArpEvidence& evidence = it->second.Observe(table, now);
    const bool lost = now - it->second.SentAt() >= kLost;
    if (evidence.Decided() || lost) {
      learnt.push_back({it->first, evidence, now});
      it = FAsked.erase(it);
    } else {
      ++it;
    }
  }
  if (table.Known) FLast = table;
  return learnt;
}

}  // namespace kst
