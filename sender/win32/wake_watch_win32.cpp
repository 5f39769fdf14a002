#include <winsock2.h>

#include "sender/win32/wake_watch.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "netcore/arp_sweep.h"
#include "netcore/os_error.h"
#include "netcore/win32/adapters_win32.h"
#include "sender/messages.h"

namespace kst {
namespace {

// Candidates are asked for one by one; more addresses than this make a sweep.
constexpr size_t kProbedOneByOne = 16;

// ARP answers at once for many addresses: all are announced first, so that their answers and
// time-outs overlap, then helper threads collect them (SendARP blocks per address) while the
// calling thread runs between() every half second.
std::vector<std::pair<uint64_t, TWakeWatch::TTime>> ResolveAll(TArpSweep& sweep, const std::vector<uint32_t>& addresses,
                                                                const std::atomic<bool>& stop,
                                                                std::chrono::steady_clock::time_point epoch,
                                                                const std::function<void()>& between) {
  std::vector<std::pair<uint64_t, TWakeWatch::TTime>> answers(addresses.size());
  for (uint32_t a : addresses) sweep.Announce(a);
  std::atomic<size_t> next{0};
  std::atomic<size_t> done{0};
  const auto work = [&]() noexcept {
    for (size_t i; !stop.load() && (i = next.fetch_add(1)) < addresses.size();) {
      uint64_t mac = 0;
      try {
        mac = sweep.MacOf(addresses[i]);
      } catch (...) {
        // Out of memory: no answer this time.
      }
      answers[i] = {mac, std::chrono::duration_cast<TWakeWatch::TTime>(std::chrono::steady_clock::now() - epoch)};
      done.fetch_add(1);
    }
  };
  std::vector<std::thread> threads;
  try {
    for (size_t t = 0; t < std::min<size_t>(8, addresses.size()); ++t) threads.emplace_back(work);
  } catch (...) {
    // No more threads: this one does the rest.
  }
  if (threads.empty()) {
    work();
  } else {
    auto last = std::chrono::steady_clock::now();
    while (done.load() < addresses.size() && !stop.load()) {
      Sleep(20);
      if (std::chrono::steady_clock::now() - last >= std::chrono::milliseconds(500)) {
        between();
        last = std::chrono::steady_clock::now();
      }
    }
  }
  for (auto& t : threads) t.join();
  return answers;
}

std::vector<TNetworkInterface> CurrentInterfaces() {
  try {
    return InterfacesOf(ReadAdapterRecords());
  } catch (const TOsError&) {
    return {};
  }
}

}  // namespace

TWakeWatcher::TWakeWatcher(HWND window) : FWindow(window) {
  FThread = std::thread([this]() noexcept { Execute(); });
}

TWakeWatcher::~TWakeWatcher() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStop.store(true);
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
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

void TWakeWatcher::Dismiss() noexcept {
  if (FFinished.load()) FShown.store(false);
}

void TWakeWatcher::PostLines(const std::vector<std::string>& lines) noexcept {
  try {
    auto copy = std::make_unique<std::vector<std::string>>(lines);
    if (PostMessageW(FWindow, WM_WATCH_LINES, 0, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
  } catch (...) {
    // Out of memory: the banner keeps its lines until the next change.
  }
}

void TWakeWatcher::Execute() noexcept {
  using std::chrono::duration_cast;
  using TTime = TWakeWatch::TTime;
  const auto since = [this](TClock::time_point t) { return duration_cast<TTime>(t - FEpoch); };
  try {
    const auto arp = MakeArpSweep();
    std::optional<TWakeWatch> watch;
    std::vector<std::string> shown;
    bool over = false;
    TTime nextRead{};
    std::vector<TNeighbourRow> table;
    TClock::time_point tableRead{};
    TClock::time_point posted{};
    TClock::time_point lastRequest{};
    // At most four times a second while the watch runs (Send to All changes the count with every
    // computer); the outcome at once.
    const auto show = [&](TTime now) {
      if (TClock::now() - posted < std::chrono::milliseconds(250) && !watch->Finished(now)) return;
      auto lines = watch->Lines(now);
      if (lines == shown) return;
      shown = std::move(lines);
      PostLines(shown);
      posted = TClock::now();
    };
    for (;;) {
      std::deque<TRequest> requests;
      {
        std::unique_lock<std::mutex> guard(FLock);
        // Between rounds: a quarter of a second, or at once for a new computer or the stop.
        FWake.wait_for(guard, std::chrono::milliseconds(watch && !over ? 250 : 60000),
                       [this] { return FStop.load() || !FInbox.empty(); });
        if (FStop.load()) return;
        requests.swap(FInbox);
      }
      if (!requests.empty()) {
        // Copies of the machine's networks and its neighbour table as they are at the send. During
        // Send to All the computers come every few milliseconds and nothing probes meanwhile: the
        // read at the chain's first computer serves them all, since reading the table costs Wine
        // as much as a send.
        const bool chainGoesOn = TClock::now() - lastRequest < std::chrono::seconds(1);
        lastRequest = TClock::now();
        if (!chainGoesOn) {
          table = ReadNeighbourTable();
          tableRead = TClock::now();
        }
        for (auto& r : requests) {
          // Send to All's later computers join its watch even when it has nothing left to wait for.
          if (!watch || r.NewGroup || (!r.Group && watch->Finished(since(r.At))))
            watch.emplace(CurrentInterfaces(), r.Group);
          watch->Add(std::move(r.Target), table, since(r.At));
        }
        show(since(TClock::now()));
      }
      if (!watch) continue;
      const TTime now = since(TClock::now());
      const bool due = now >= watch->NextDue();
      // While Send to All still sends (a computer joined within the last second) the probes wait:
      // they would take the time of the sends they run beside, and nothing wakes that fast.
      const bool sending = TClock::now() - lastRequest < std::chrono::seconds(1);
      // Every half second the table shows what the system has learnt since, whoever asked.
      if (!sending && !watch->Finished(now) && (due || now >= nextRead)) {
        table = ReadNeighbourTable();
        tableRead = TClock::now();
        watch->Table(table, since(tableRead));
        nextRead = now + TTime(500);
        const auto round = due ? watch->Due(table, now, FScanRunning.load()) : TWakeWatch::TRound{};
        if (!round.Probe.empty()) {
          const auto readTable = [&] {
            watch->Table(ReadNeighbourTable(), since(TClock::now()));
            show(since(TClock::now()));
          };
          if (round.Probe.size() > kProbedOneByOne) {
            // A sweep: the resolving datagrams, then the table a few times while the answers come
            // in; waiting on each address would cost far more than the sends it runs beside.
            // A sweep object of its own: one announcement per address and sweep, then forgotten.
            const auto sweep = MakeArpSweep();
            for (uint32_t a : round.Probe) sweep->Announce(a);
            for (int i = 0; i < 5 && !FStop.load(); ++i) {
              Sleep(250);
              readTable();
            }
          } else {
            // While the answers come, the table is read as between rounds.
            const auto answers = ResolveAll(*arp, round.Probe, FStop, FEpoch, readTable);
            for (size_t i = 0; i < answers.size(); ++i)
              watch->Answer(round.Probe[i], answers[i].first, answers[i].second);
          }
          if (FStop.load()) return;
        }
      }
      const TTime after = since(TClock::now());
      show(after);
      over = watch->Finished(after);
      if (over) FFinished.store(true);
    }
  } catch (...) {
    // Out of memory: the watch ends; the banner keeps its last lines.
    FFinished.store(true);
  }
}

}  // namespace kst
