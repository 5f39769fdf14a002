#include "sender/wake_probes.h"

#include <deque>
#include <mutex>
#include <thread>

namespace kst {

struct TResolverProber::TShared {
  TResolve Resolve;
  TClock Clock;
  std::mutex Lock;
  std::deque<uint32_t> Queue;
  std::vector<TArpEvidence> Learnt;
  size_t Threads = 0;
  bool Gone = false;

  // One thread's life: calls until the queue is empty or the prober has gone.
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
      uint64_t mac = 0;
      try {
        mac = Resolve(address);
      } catch (...) {
        // No answer this time.
      }
      try {
        std::lock_guard<std::mutex> guard(Lock);
        if (!Gone) Learnt.push_back({address, mac, Clock(), false});
      } catch (...) {
        // Out of memory: the watch takes the probe as lost.
      }
    }
  }
};

TResolverProber::TResolverProber(TResolve resolve, TClock clock, TStart start)
    : F(std::make_shared<TShared>()), FStart(std::move(start)) {
  F->Resolve = std::move(resolve);
  F->Clock = std::move(clock);
  if (!FStart) FStart = [](std::function<void()> work) { std::thread(std::move(work)).detach(); };
}

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
    // No thread: the calls wait for one that runs already, or for the next probe's.
    std::lock_guard<std::mutex> guard(F->Lock);
    --F->Threads;
  }
}

std::vector<TArpEvidence> TResolverProber::Collect(std::span<const TNeighbourSeen>, TWatchTime) {
  std::lock_guard<std::mutex> guard(F->Lock);
  std::vector<TArpEvidence> learnt;
  learnt.swap(F->Learnt);
  return learnt;
}

std::span<const TWatchTime> TDatagramProber::RequestsOf(uint32_t address) const {
  const auto found = FValid.find(address);
  return found != FValid.end() && found->second ? kArpRecheckRequests : kArpResolveRequests;
}

void TDatagramProber::Ask(uint32_t address, TWatchTime now) {
  const auto found = FValid.find(address);
  FAsked[address] = {now, found != FValid.end() && found->second, false};
  FSend(address);
}

std::vector<TArpEvidence> TDatagramProber::Collect(std::span<const TNeighbourSeen> table, TWatchTime now) {
  FValid.clear();
  std::map<uint32_t, uint64_t> macs;
  for (const auto& row : table) {
    const bool valid = row.Valid && row.Mac != 0;
    FValid[row.Address] = FValid[row.Address] || valid;
    if (valid) macs[row.Address] = row.Mac;
  }
  std::vector<TArpEvidence> learnt;
  for (auto it = FAsked.begin(); it != FAsked.end();) {
    const uint32_t address = it->first;
    TAsked& asked = it->second;
    const TWatchTime since = now - asked.Sent;
    const auto mac = macs.find(address);
    bool done = since >= kLost;
    if (mac != macs.end()) {
      if (!asked.ValidBefore || asked.Lapsed) {
        learnt.push_back({address, mac->second, now, false});
        done = true;
      } else if (since >= kConfirmAfter) {
        learnt.push_back({address, mac->second, now, true});
        done = true;
      }
    } else {
      asked.Lapsed = true;
      if (since >= kSilentAfter) {
        learnt.push_back({address, 0, now, false});
        done = true;
      }
    }
    it = done ? FAsked.erase(it) : std::next(it);
  }
  return learnt;
}

}  // namespace kst
