#include <winsock2.h>
#include <iphlpapi.h>

#include "sender/win32/wake_watch.h"

#include <algorithm>
#include <stdexcept>

#include "netcore/address_text.h"
#include "netcore/host_lookup.h"
#include "netcore/os_error.h"
#include "netcore/win32/adapters_win32.h"
#include "netcore/win32/worker_thread_win32.h"
#include "sender/messages.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

// Between rounds while a watch runs; the neighbour table is read every half second (under Wine
// a read of a few hundred rows costs as much as a send).
constexpr auto kRound = 100ms;
constexpr auto kTableEvery = 500ms;
// A computer joined within this long: Send to All still sends, and nothing is asked meanwhile.
constexpr auto kChainGap = 1s;
constexpr auto kInterfacesEvery = 1s;
constexpr size_t kLookupThreads = 2;

}  // namespace

// Name lookups on threads of their own: a resolver that does not answer holds one for its whole
// time-out, which neither the watch nor the exit waits for.
struct TWakeWatcher::TLookups {
  std::mutex Lock;
  std::deque<std::pair<uint64_t, std::string>> Queue;
  std::vector<std::pair<uint64_t, std::vector<uint32_t>>> Done;
  size_t Threads = 0;
  bool Gone = false;

  // Lookups not begun for computers no longer watched are not asked: a silent name server would
  // hold the next watch's behind them.
  void Keep(const std::function<bool(uint64_t)>& watched) {
    std::lock_guard<std::mutex> guard(Lock);
    std::erase_if(Queue, [&](const std::pair<uint64_t, std::string>& q) { return !watched(q.first); });
  }

  void Work() noexcept {
    for (;;) {
      std::pair<uint64_t, std::string> next;
      {
        std::lock_guard<std::mutex> guard(Lock);
        if (Gone || Queue.empty()) {
          --Threads;
          return;
        }
        next = std::move(Queue.front());
        Queue.pop_front();
      }
      try {
        std::vector<uint32_t> addresses;
        for (const auto& text : ResolveAddresses(next.second)) addresses.push_back(StrToIp(text));
        std::lock_guard<std::mutex> guard(Lock);
        Done.emplace_back(next.first, std::move(addresses));
      } catch (...) {
        // Out of memory: the computer keeps the candidates it has.
      }
    }
  }
};

TWakeWatcher::TWakeWatcher(HWND window) : FWindow(window), FLookups(std::make_shared<TLookups>()) {
  ReadInterfaces();
  FThread = std::thread([this]() noexcept { Execute(); });
}

TWakeWatcher::~TWakeWatcher() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStop.store(true);
  }
  {
    std::lock_guard<std::mutex> guard(FLookups->Lock);
    FLookups->Gone = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

TWatchTime TWakeWatcher::Since(TClock::time_point t) const {
  // The steady clock of the neighbour evidence, whose epoch is its first use.
  return SteadyClock().Now() - std::chrono::duration_cast<TWatchTime>(TClock::now() - t);
}

void TWakeWatcher::ReadInterfaces() {
  std::vector<TNetworkInterface> interfaces;
  try {
    // Windows sends the limited broadcast out of the interface of its best route for it; 0 where
    // that cannot be told (Wine may fail it).
    DWORD broadcastIndex = 0;
    if (GetBestInterface(INADDR_BROADCAST, &broadcastIndex) != NO_ERROR) broadcastIndex = 0;
    interfaces = InterfacesOf(ReadAdapterRecords(), broadcastIndex);
  } catch (const TOsError&) {
    // No adapters: every destination is off every network.
  }
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(FLock);
    changed = interfaces != FInterfaces;
    FInterfaces = std::move(interfaces);
    FInterfacesRead = TClock::now();
    FInterfacesWanted = false;
  }
  if (changed && FThread.joinable()) PostMessageW(FWindow, WM_WATCH_ROUTE, 0, 0);
}

std::vector<TNetworkInterface> TWakeWatcher::Interfaces() {
  RefreshInterfaces();
  std::lock_guard<std::mutex> guard(FLock);
  return FInterfaces;
}

void TWakeWatcher::RefreshInterfaces() noexcept {
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FInterfacesWanted) return;
    FInterfacesWanted = true;
  }
  FWake.notify_all();
}

void TWakeWatcher::SendStarting(uint64_t hostId) noexcept {
  try {
    FBefore.Starting(hostId, SteadyClock().Now(), [] { return NeighbourPlatform().ReadTable(); });
  } catch (...) {
    // Out of memory: no answer before the packet is claimed for it.
  }
}

void TWakeWatcher::Add(TWatchTarget target, bool group, bool newGroup) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FInbox.push_back({std::move(target), group, newGroup, TClock::now()});
  }
  FShown.store(true);
  FFinished.store(false);
  FWake.notify_all();
}

std::optional<std::vector<std::string>> TWakeWatcher::Remove(std::span<const uint64_t> hostIds) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto gone = [&](uint64_t id) { return std::find(hostIds.begin(), hostIds.end(), id) != hostIds.end(); };
  // Sends not yet taken over by the thread never join.
  const auto before = FInbox.size();
  std::erase_if(FInbox, [&](const TRequest& r) { return gone(r.Target.HostId); });
  bool changed = FInbox.size() != before;
  // Sends the thread has taken but not added yet: it drops them when it adds.
  for (uint64_t id : hostIds) {
    if (std::find(FTaken.begin(), FTaken.end(), id) == FTaken.end()) continue;
    std::erase(FTaken, id);
    FRemovedMeanwhile.push_back(id);
    changed = true;
  }
  FLookups->Keep([&](uint64_t id) { return !gone(id); });
  for (uint64_t id : hostIds) changed = (FWatch && FWatch->Remove(id)) || changed;
  if (!changed) return std::nullopt;
  FGeneration.fetch_add(1);
  if (!FWatch || FWatch->Count() == 0) {
    FWatch.reset();
    FShownLines.clear();
    if (FInbox.empty() && FTaken.empty()) FShown.store(false);
    return std::nullopt;
  }
  FShownLines = FWatch->Lines(Since(TClock::now()));
  return FShownLines;
}

void TWakeWatcher::Dismiss() noexcept {
  if (FFinished.load()) FShown.store(false);
}

void TWakeWatcher::StartLookup(const TWatchTarget& target) {
  {
    std::lock_guard<std::mutex> guard(FLookups->Lock);
    FLookups->Queue.emplace_back(target.HostId, target.Name);
    if (FLookups->Threads >= kLookupThreads) return;
    ++FLookups->Threads;
  }
  if (!StartWorkerThread([lookups = FLookups] { lookups->Work(); })) {
    std::lock_guard<std::mutex> guard(FLookups->Lock);
    --FLookups->Threads;
  }
}

void TWakeWatcher::Execute() noexcept {
  try {
    INeighbourPlatform& platform = NeighbourPlatform();
    auto prober = MakeWakeProber(platform, SteadyClock(), [](std::function<void()> work) {
      if (!StartWorkerThread(std::move(work))) throw std::runtime_error("no thread");
    });
    // Windows states are its own: Reachable there is an answer it had lately.
    const bool systemStates = platform.CanResolve();
    TArpBudget budget;
    TNeighbourTable table;
    std::vector<TWatchTarget> toLookUp;
    TClock::time_point nextRead{};
    TClock::time_point posted{};
    TClock::time_point lastRequest{};
    // At most four times a second while the watch runs (Send to All changes the count with every
    // computer); the outcome at once.
    const auto show = [&](TClock::time_point now) {
      std::vector<std::string> lines;
      WPARAM generation = 0;
      {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FWatch) return;
        const bool over = FWatch->Finished(Since(now));
        if (now - posted < 250ms && !over) return;
        lines = FWatch->Lines(Since(now));
        // Over also when its last lines are those shown already (an awake computer's from the
        // start): the next row then shows its route again.
        if (over) FFinished.store(true);
        if (lines == FShownLines) return;
        FShownLines = lines;
        generation = FGeneration.load();
      }
      posted = now;
      try {
        auto copy = std::make_unique<std::vector<std::string>>(std::move(lines));
        if (PostMessageW(FWindow, WM_WATCH_LINES, generation, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
      } catch (...) {
        // Out of memory: the banner keeps its lines until the next change.
      }
    };
    for (;;) {
      std::deque<TRequest> requests;
      bool readInterfaces = false;
      {
        std::unique_lock<std::mutex> guard(FLock);
        const bool watching = FWatch && !FWatch->Finished(Since(TClock::now()));
        auto until = TClock::now() + (watching ? kRound : std::chrono::duration_cast<TClock::duration>(60s));
        const bool wanted = FInterfacesWanted;
        if (wanted) until = std::min(until, FInterfacesRead + kInterfacesEvery);
        // A read asked for meanwhile sets a new time to wake.
        FWake.wait_until(guard, until, [&] { return FStop.load() || !FInbox.empty() || FInterfacesWanted != wanted; });
        if (FStop.load()) return;
        requests.swap(FInbox);
        FTaken.clear();
        FRemovedMeanwhile.clear();
        for (const auto& r : requests) FTaken.push_back(r.Target.HostId);
        readInterfaces = FInterfacesWanted && TClock::now() - FInterfacesRead >= kInterfacesEvery;
      }
      if (readInterfaces || (!requests.empty() && TClock::now() - FInterfacesRead >= kInterfacesEvery))
        ReadInterfaces();
      if (!requests.empty()) {
        lastRequest = TClock::now();
        std::lock_guard<std::mutex> guard(FLock);
        for (auto& r : requests) {
          // The table read as its send started, before its own packet could make the system ask.
          const auto before = FBefore.Take(r.Target.HostId);
          if (std::find(FRemovedMeanwhile.begin(), FRemovedMeanwhile.end(), r.Target.HostId) != FRemovedMeanwhile.end())
            continue;
          // Send to All's later computers join its watch even when it has nothing left to wait for.
          if (!FWatch || r.NewGroup || (!r.Group && FWatch->Finished(Since(r.At)))) {
            FWatch.emplace(FInterfaces, r.Group, systemStates);
            FShownLines.clear();
          }
          const bool lookup = IsLookupName(r.Target.Name);
          if (lookup) toLookUp.push_back(r.Target);
          FWatch->Add(std::move(r.Target), before ? *before : TNeighbourTable{}, Since(r.At), lookup);
        }
        FTaken.clear();
        FRemovedMeanwhile.clear();
        FLookups->Keep([&](uint64_t id) { return FWatch && FWatch->Watches(id); });
      }
      const auto now = TClock::now();
      bool watching = false;
      {
        std::lock_guard<std::mutex> guard(FLock);
        watching = FWatch && !FWatch->Finished(Since(now));
        if (!watching) {
          toLookUp.clear();
          FLookups->Keep([](uint64_t) { return false; });
        }
      }
      // While Send to All still sends, nothing is asked, not even the name server: it would take
      // the time of the sends it ran beside, and nothing wakes that fast.
      if (watching && now - lastRequest >= kChainGap) {
        {
          std::lock_guard<std::mutex> guard(FLock);
          std::erase_if(toLookUp, [&](const TWatchTarget& t) { return !FWatch || !FWatch->Watches(t.HostId); });
        }
        for (const auto& t : toLookUp) StartLookup(t);
        toLookUp.clear();
        std::vector<std::pair<uint64_t, std::vector<uint32_t>>> found;
        {
          std::lock_guard<std::mutex> guard(FLookups->Lock);
          found.swap(FLookups->Done);
        }
        std::vector<TAddressEvidence> learnt;
        const bool read = now >= nextRead;
        if (read) {
          const TWatchTime readAt = Since(TClock::now());
          table = platform.ReadTable();
          learnt = prober->Collect(table, readAt);
          nextRead = now + kTableEvery;
        }
        std::vector<uint32_t> probes;
        {
          std::lock_guard<std::mutex> guard(FLock);
          if (FWatch) {
            for (const auto& [id, addresses] : found) FWatch->AddCandidates(id, addresses);
            if (read) FWatch->Table(table);
            for (const auto& e : learnt) FWatch->Evidence(e);
            probes = FWatch->Due(Since(TClock::now()), budget, FScanRunning.load(),
                                 [&](uint32_t a) { return prober->RequestsOf(a); });
          }
        }
        for (uint32_t a : probes) prober->Ask(a, Since(TClock::now()));
      }
      show(TClock::now());
    }
  } catch (...) {
    // Out of memory: the watch ends; the banner keeps its last lines.
    FFinished.store(true);
  }
}

}  // namespace kst
