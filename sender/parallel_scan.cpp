#include "sender/parallel_scan.h"

#include <chrono>
#include <condition_variable>
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
  std::unique_ptr<THostRecord> Found;  // null when the address did not answer
};

}  // namespace

void TParallelScan::Run() {
  const int32_t count = FRequest.Count < 1 ? 1 : FRequest.Count;  // the first address always
  const int width = FRequest.MaxInFlight < 1 ? 1 : FRequest.MaxInFlight;
  const int workers = count < width ? static_cast<int>(count) : width;

  std::mutex lock;
  std::condition_variable changed;
  // Ring of width slots: address i lives in slot i % width; a worker may start address i only
  // while i < delivered + width, so at most width results wait for their turn.
  std::vector<TSlot> slots(static_cast<size_t>(width));
  int32_t taken = 0, delivered = 0;
  bool stopped = false;

  auto work = [&]() noexcept {
    for (;;) {
      int32_t i;
      {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return stopped || taken >= count || taken < delivered + width; });
        if (stopped || taken >= count) return;
        i = taken++;
      }
      std::unique_ptr<THostRecord> found;
      try {
        const std::string address = IpToStr(static_cast<uint32_t>(FRequest.FirstAddress) + static_cast<uint32_t>(i));
        if (uint64_t mac = FProbe.MacOf(address); mac != 0) {
          found = std::make_unique<THostRecord>();
          found->AssignComputerName(FoundComputerName(CutText(FProbe.NameOf(address), kComputerNameMax), address));
          found->MacAddress = mac;
          found->Password = 0;
          found->BroadcastAddress = FRequest.BroadcastAddress;
          found->AssignBroadcastHost(FRequest.BroadcastHost);
          found->Port = FRequest.Port;
          found->LocalIpAddress = FRequest.LocalIpAddress;
        }
      } catch (...) {
        found.reset();  // out of memory: the address counts as silent
      }
      {
        std::lock_guard<std::mutex> guard(lock);
        TSlot& slot = slots[static_cast<size_t>(i % width)];
        slot.Found = std::move(found);
        slot.Done = true;
      }
      changed.notify_all();
    }
  };

  // On this thread only, outside the lock: a probe's announcement may take a system call. Right
  // after a delivery, workers may take addresses up to delivered + width - 1 before this thread
  // announces further, so the announcements run more than width ahead.
  const int64_t ahead = FRequest.Lookahead <= width ? width + 1 : FRequest.Lookahead;
  int32_t announced = 0;
  auto announceUpTo = [&](int64_t end) noexcept {
    for (; announced < end && announced < count; ++announced) {
      try {
        FProbe.Announce(IpToStr(static_cast<uint32_t>(FRequest.FirstAddress) + static_cast<uint32_t>(announced)));
      } catch (...) {
        // Out of memory: the address is resolved when its turn comes.
      }
    }
  };
  announceUpTo(ahead);

  std::vector<std::thread> pool;
  pool.reserve(static_cast<size_t>(workers));
  for (int w = 0; w < workers; ++w) {
    try {
      pool.emplace_back(work);
    } catch (...) {
      break;  // no more threads: the ones running share the range
    }
  }
  if (pool.empty()) work();  // not even one: probe here, one after another

  std::unique_lock<std::mutex> guard(lock);
  while (delivered < count) {
    TSlot& slot = slots[static_cast<size_t>(delivered % width)];
    if (!slot.Done) {
      if (stopped && delivered >= taken) break;  // nothing more was started
      changed.wait_for(guard, std::chrono::milliseconds(20));
    } else {
      std::unique_ptr<THostRecord> found = std::move(slot.Found);
      slot.Done = false;
      ++delivered;
      const int32_t n = delivered;
      guard.unlock();
      changed.notify_all();
      if (found) FResults.push_back(std::move(found));
      if (FProgress) FProgress(n);
      if (!stopped) announceUpTo(n + ahead);
      guard.lock();
    }
    if (!stopped && (FStop.load() || (FStopWanted && FStopWanted()))) {
      stopped = true;
      changed.notify_all();
    }
  }
  stopped = true;
  guard.unlock();
  changed.notify_all();
  for (auto& t : pool) t.join();
}

}  // namespace kst
