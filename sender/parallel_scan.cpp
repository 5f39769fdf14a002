#include "sender/parallel_scan.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "netcore/address_text.h"
#include "sender/editor_rules.h"

namespace kst {
namespace {

struct TSlot {
  bool Done = false;
  uint64_t Mac = 0;  // 0 when the address did not answer
};

struct TFound {
  std::string Address;
  uint64_t Mac = 0;
  std::string Name;  // empty until its lookup is done, and when there is no name
};

constexpr auto kStopPoll = std::chrono::milliseconds(20);

}  // namespace

uint64_t TArpScanProbe::MacOf(std::string_view addressText) { return FSweep.MacOf(StrToIp(addressText)); }

void TArpScanProbe::Announce(std::string_view addressText) { FSweep.Announce(StrToIp(addressText)); }

TScanRequest FitToSweep(TScanRequest request, const TArpSweep& sweep) {
  if (sweep.Resolves())
    request.MaxInFlight = kAwaitedAtOnce;
  else
    request.Lookahead = kAwaitedAtOnce;
  return request;
}

void TParallelScan::Run() {
  const int32_t count = FRequest.Count < 1 ? 1 : FRequest.Count;  // the first address always
  const int width = FRequest.MaxInFlight < 1 ? 1 : FRequest.MaxInFlight;
  const int workers = count < width ? static_cast<int>(count) : width;
  const size_t maxNamers = FRequest.MaxLookups < 1 ? 1u : static_cast<size_t>(FRequest.MaxLookups);
  const uint32_t first = static_cast<uint32_t>(FRequest.FirstAddress);
  auto addressOf = [&](int32_t i) { return IpToStr(first + static_cast<uint32_t>(i)); };

  std::mutex lock;
  std::condition_variable changed;
  // Ring of width slots: address i lives in slot i % width; a probe may start address i only
  // while i < delivered + width, so at most width answers wait for their turn.
  std::vector<TSlot> slots(static_cast<size_t>(width));
  int32_t taken = 0, delivered = 0;
  bool stopped = false;
  // Found computers in address order; the lookups fill in their names.
  std::deque<TFound> found;
  std::deque<size_t> unnamed;  // found computers whose lookup has not started, in address order
  size_t idleNamers = 0, lookupsUnderWay = 0;
  bool namersDone = false;

  auto start = [&](std::vector<std::thread>& pool, std::function<void()> work) noexcept {
    try {
      pool.push_back(FStartThread ? FStartThread(std::move(work)) : std::thread(std::move(work)));
      return true;
    } catch (...) {
      return false;  // no thread: the ones running, or this thread, do the work
    }
  };
  // The first address is probed even when the stop came before anything was.
  auto noMoreProbes = [&] { return taken >= count || (stopped && taken > 0); };
  // With the lock held and an address left: probes the next one, the lock released meanwhile.
  auto probeNext = [&](std::unique_lock<std::mutex>& guard) noexcept {
    const int32_t i = taken++;
    guard.unlock();
    uint64_t mac = 0;
    try {
      mac = FProbe.MacOf(addressOf(i));
    } catch (...) {
      // Out of memory: the address counts as silent.
    }
    guard.lock();
    slots[static_cast<size_t>(i % width)] = {true, mac};
    changed.notify_all();
  };
  // With the lock held and a lookup waiting: does it, the lock released meanwhile.
  auto lookUpNext = [&](std::unique_lock<std::mutex>& guard) noexcept {
    const size_t k = unnamed.front();
    unnamed.pop_front();
    ++lookupsUnderWay;
    std::string address = found[k].Address;
    guard.unlock();
    std::string name;
    try {
      name = FProbe.NameOf(address);
    } catch (...) {
      // Out of memory: no name, the address stands for it.
    }
    guard.lock();
    found[k].Name = std::move(name);
    --lookupsUnderWay;
    changed.notify_all();
  };

  auto probe = [&]() noexcept {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      changed.wait(guard, [&] { return noMoreProbes() || taken < delivered + width; });
      if (noMoreProbes()) return;
      probeNext(guard);
    }
  };
  auto lookUp = [&]() noexcept {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
      ++idleNamers;
      changed.wait(guard, [&] { return !unnamed.empty() || namersDone; });
      --idleNamers;
      if (unnamed.empty()) return;
      lookUpNext(guard);
    }
  };
  std::vector<std::thread> probes, namers;

  // On this thread only, outside the lock: a probe's announcement may take a system call. Right
  // after a delivery, probes may take addresses up to delivered + width - 1 before this thread
  // announces further, so the announcements run more than width ahead.
  const int64_t ahead = FRequest.Lookahead <= width ? width + 1 : FRequest.Lookahead;
  int32_t announced = 0;
  auto announceUpTo = [&](int64_t end) noexcept {
    for (; announced < end && announced < count; ++announced) {
      try {
        FProbe.Announce(addressOf(announced));
      } catch (...) {
        // Out of memory: the address is resolved when its turn comes.
      }
    }
  };
  auto checkStop = [&] {
    if (!stopped && (FStop.load() || (FStopWanted && FStopWanted()))) {
      stopped = true;
      changed.notify_all();
      try {
        FProbe.StopAsking();
      } catch (...) {
        // The probes under way finish as they would have.
      }
    }
  };

  checkStop();  // a stop that came first still lets the first address through, and only it
  announceUpTo(stopped ? 1 : ahead);
  for (int w = 0; w < workers; ++w)
    if (!start(probes, probe)) break;

  std::unique_lock<std::mutex> guard(lock);
  while (delivered < count) {
    TSlot& slot = slots[static_cast<size_t>(delivered % width)];
    if (slot.Done) {
      const uint64_t mac = slot.Mac;
      slot.Done = false;
      const int32_t n = ++delivered;
      if (mac != 0) {
        try {
          found.push_back({addressOf(n - 1), mac, {}});
          unnamed.push_back(found.size() - 1);
        } catch (...) {
          // Out of memory: the computer is lost, the scan goes on.
        }
        // Each waiting lookup gets a thread of its own, up to the pool's size.
        if (unnamed.size() > idleNamers && namers.size() < maxNamers) {
          guard.unlock();
          start(namers, lookUp);
          guard.lock();
        }
      }
      guard.unlock();
      changed.notify_all();
      if (FProgress) FProgress(n);
      if (!stopped) announceUpTo(n + ahead);
      guard.lock();
    } else if (probes.empty() && !noMoreProbes()) {
      probeNext(guard);  // no probe thread: this one probes, one address after another
    } else {
      if (noMoreProbes() && delivered >= taken) break;  // nothing more was started
      changed.wait_for(guard, kStopPoll);
    }
    checkStop();
  }
  changed.notify_all();
  guard.unlock();
  for (auto& t : probes) t.join();

  // The lookups still waiting or under way; a stop leaves those not yet started.
  guard.lock();
  for (;;) {
    checkStop();
    if (stopped) unnamed.clear();
    if (unnamed.empty() && lookupsUnderWay == 0) break;
    if (!unnamed.empty() && namers.empty())
      lookUpNext(guard);  // no lookup thread: this one looks up, one after another
    else
      changed.wait_for(guard, kStopPoll);
  }
  namersDone = true;
  changed.notify_all();
  guard.unlock();
  for (auto& t : namers) t.join();

  for (TFound& f : found) {
    try {
      auto record = std::make_unique<THostRecord>();
      record->AssignComputerName(FoundComputerName(CutText(f.Name, kComputerNameMax), f.Address));
      record->MacAddress = f.Mac;
      record->Password = 0;
      record->BroadcastAddress = FRequest.BroadcastAddress;
      record->AssignBroadcastHost(FRequest.BroadcastHost);
      record->Port = FRequest.Port;
      record->LocalIpAddress = FRequest.LocalIpAddress;
      FResults.push_back(std::move(record));
    } catch (...) {
      // Out of memory: this computer is lost, the others are kept.
    }
  }
}

}  // namespace kst
