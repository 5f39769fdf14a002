#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <set>
#include <thread>

#include "netcore/address_text.h"
#include "netcore/windows_stand_in.h"
#include "sender/editor_rules.h"
#include "sender/parallel_scan.h"
#include "tests/unit/neighbour_doubles.h"

namespace kst {
namespace {

// Answers at 10.77.0.x for x in Live; later addresses answer sooner, so results finish out of order.
class TFakeProbe : public IScanProbe {
 public:
  std::set<int> Live;
  std::atomic<int> InFlight{0}, MostInFlight{0}, Probed{0};
  uint64_t MacOf(std::string_view address) override {
    int now = ++InFlight;
    for (int seen = MostInFlight; now > seen && !MostInFlight.compare_exchange_weak(seen, now);) {
    }
    if (!WasAnnounced(address)) ++ProbedUnannounced;
    int last = std::stoi(std::string(address.substr(address.rfind('.') + 1)));
    std::this_thread::sleep_for(std::chrono::milliseconds(40 - (last % 8) * 5));
    ++Probed;
    --InFlight;
    return Live.count(last) ? 0x020000000000ull + static_cast<uint64_t>(last % 3) : 0;  // equal MACs on purpose
  }
  // With GatherLookups set, each lookup returns only once that many are under way together (or
  // after ten seconds, so that a scan that runs them one after another fails rather than hangs).
  std::string NameOf(std::string_view address) override {
    std::unique_lock<std::mutex> guard(Lock);
    MostLookups = std::max(MostLookups, ++Lookups);
    Gathered.notify_all();
    Gathered.wait_for(guard, std::chrono::seconds(10), [&] { return MostLookups >= GatherLookups; });
    --Lookups;
    return address == "10.77.0.7" ? "pc1" : "";
  }
  int GatherLookups = 0, Lookups = 0, MostLookups = 0;
  std::condition_variable Gathered;
  void Announce(std::string_view address) override {
    std::lock_guard<std::mutex> guard(Lock);
    Announced.emplace_back(address);
  }
  bool WasAnnounced(std::string_view address) {
    std::lock_guard<std::mutex> guard(Lock);
    return std::find(Announced.begin(), Announced.end(), address) != Announced.end();
  }
  std::atomic<int> ProbedUnannounced{0};
  std::mutex Lock;
  std::vector<std::string> Announced;
};

TEST(ParallelScan, ResultsInAddressOrderAndProgressOnePerAddress) {
  TFakeProbe probe;
  probe.Live = {3, 7, 8, 30};
  probe.GatherLookups = 4;  // more than the probes in flight apart: the lookups still overlap
  THostList results;
  std::vector<int> progress;
  TScanRequest request{0x0A4D0001, 40, 0x0A4D00FF, "router.lan", 9, 0x0A4D0002, 8};
  TParallelScan(request, probe, results, [&](int n) { progress.push_back(n); }).Run();
  ASSERT_EQ(progress.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(progress[static_cast<size_t>(i)], i + 1);
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0]->ComputerName, "10.77.0.3");
  EXPECT_EQ(results[1]->ComputerName, "pc1 (10.77.0.7)");
  EXPECT_EQ(results[2]->ComputerName, "10.77.0.8");
  EXPECT_EQ(results[3]->ComputerName, "10.77.0.30");
  EXPECT_EQ(results[1]->MacAddress, 0x020000000001ull);
  EXPECT_EQ(results[1]->Password, 0u);
  EXPECT_EQ(results[1]->BroadcastAddress, 0x0A4D00FFu);
  EXPECT_EQ(results[1]->BroadcastHost, "router.lan");
  EXPECT_EQ(results[1]->Port, 9);
  EXPECT_EQ(results[1]->LocalIpAddress, 0x0A4D0002u);
  EXPECT_GT(probe.MostInFlight.load(), 1);
  EXPECT_LE(probe.MostInFlight.load(), 8);
  EXPECT_EQ(probe.MostLookups, 4);
  // Every address announced once, in order, before its probe.
  ASSERT_EQ(probe.Announced.size(), 40u);
  EXPECT_EQ(probe.Announced.front(), "10.77.0.1");
  EXPECT_EQ(probe.Announced.back(), "10.77.0.40");
  EXPECT_TRUE(std::is_sorted(probe.Announced.begin(), probe.Announced.end(),
                             [](const std::string& a, const std::string& b) { return StrToIp(a) < StrToIp(b); }));
  EXPECT_EQ(probe.ProbedUnannounced.load(), 0);
}

TEST(ParallelScan, OneAddressAndStopCoverWhatWasProbed) {
  TFakeProbe one;
  one.Live = {9};
  THostList results;
  std::vector<int> progress;
  TParallelScan({0x0A4D0009, 1, 0, "", 7, 0, 8}, one, results, [&](int n) { progress.push_back(n); }).Run();
  EXPECT_EQ(progress, std::vector<int>{1});
  EXPECT_EQ(one.Probed.load(), 1);
  ASSERT_EQ(results.size(), 1u);

  // A stop seen after the third address: the probes under way finish and are all reported.
  TFakeProbe probe;
  probe.Live = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  THostList found;
  progress.clear();
  // Announcements run at most the lookahead past what was delivered (here its least, in flight + 1).
  TParallelScan scan({0x0A4D0001, 100000, 0, "", 7, 0, 4, 1}, probe, found, [&](int n) { progress.push_back(n); },
                     [&] { return progress.size() >= 3; });
  scan.Run();
  EXPECT_LE(probe.Announced.size(), progress.size() + 5u);
  EXPECT_EQ(probe.ProbedUnannounced.load(), 0);
  EXPECT_GE(progress.size(), 3u);
  EXPECT_LE(progress.size(), 3u + 4u);
  EXPECT_EQ(static_cast<size_t>(probe.Probed.load()), progress.size());
  EXPECT_EQ(progress.back(), static_cast<int>(progress.size()));
  EXPECT_EQ(found.size(), progress.size());

  // A stop before any probe started: the first address is probed all the same, and only it.
  TFakeProbe early;
  early.Live = {1};
  THostList first;
  progress.clear();
  TParallelScan stopped({0x0A4D0001, 254, 0, "", 7, 0, 8}, early, first, [&](int n) { progress.push_back(n); });
  stopped.Stop();
  stopped.Run();
  EXPECT_EQ(progress, std::vector<int>{1});
  EXPECT_EQ(early.Probed.load(), 1);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0]->MacAddress, 0x020000000001u);
}

TEST(ParallelScan, WithoutThreadsTheScanStillEnds) {
  // No thread at all, then one probe thread and no lookup thread.
  for (int threads : {0, 1}) {
    TFakeProbe probe;
    probe.Live = {2, 7, 11};
    THostList results;
    std::vector<int> progress;
    TParallelScan scan({0x0A4D0001, 12, 0, "", 7, 0, 4}, probe, results, [&](int n) { progress.push_back(n); });
    int started = 0;
    scan.SetThreadStarter([&](std::function<void()> work) {
      if (started == threads) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      ++started;
      return std::thread(std::move(work));
    });
    scan.Run();
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})) << threads;
    ASSERT_EQ(results.size(), 3u) << threads;
    EXPECT_EQ(results[0]->ComputerName, "10.77.0.2");
    EXPECT_EQ(results[1]->ComputerName, "pc1 (10.77.0.7)");
    EXPECT_EQ(results[2]->ComputerName, "10.77.0.11");
  }
}

// --- The Windows scan, through the engine and the sweep as the window runs them, against the
// stand-in for Windows' ARP calls on a clock that moves only when every probe waits ---

class WindowsScan : public ::testing::Test {
 protected:
  void SetUp() override {
    TAdapterRecord adapter;
    adapter.AddressLength = 6;
    adapter.Address = {0x02, 0x77, 0, 0, 0, 0x02};
    adapter.IpAddressList = {{"10.77.0.2", "255.255.240.0"}};
    FAdapters = {adapter};
    // 20 computers that answer among the /24's silent addresses, and one gone whose entry the
    // cache still holds.
    for (int i = 0; i < 20; ++i) FWindows.Present(At(5 + i * 12), 0x020000000000u + static_cast<uint64_t>(i));
    FWindows.Cache(At(200), 0x0200000000FFu, TNeighbourState::Stale);
  }
  static uint32_t At(int n) { return StrToIp("10.77.0.0") + static_cast<uint32_t>(n); }

  // Scans count addresses from 10.77.0.1; stopAt: Stop once that many are counted. The clock
  // moves once the first wave (a /24, or the pace's first burst) has been asked.
  void Scan(int32_t count, int stopAt = 0, bool stopFirst = false) {
    const int firstWave = stopFirst ? 1 : std::min(count - 1, TArpSweep::kAskBurst);
    TArpSweep sweep(FWindows, FClock, FAdapters);
    TArpScanProbe probe(sweep, [](std::string_view a) { return a == "10.77.0.5" ? std::string("pc5") : std::string(); });
    TScanRequest request{At(1), count, 0x0A4D00FF, "", 9, At(2)};
    TParallelScan scan(FitToSweep(request, sweep), probe, FFound, [&](int n) {
      FProgress.push_back(n);
      if (n == stopAt) {
        FStoppedAt = FClock.Now();
        scan.Stop();
      }
    });
    if (stopFirst) scan.Stop();
    const int askedBefore = FWindows.Asks();
    test::Drive(FClock, [&] { scan.Run(); }, 3, [&] { return FWindows.Asks() - askedBefore >= firstWave; });
  }

  TManualClock FClock;
  TWindowsStandIn FWindows{FClock};
  std::vector<TAdapterRecord> FAdapters;
  THostList FFound;
  std::vector<int> FProgress;
  TNeighbourTime FStoppedAt{};
};

TEST_F(WindowsScan, ASlash24InOneTimeOutWithResultsInOrder) {
  Scan(254);
  ASSERT_EQ(FProgress.size(), 254u);
  for (int i = 0; i < 254; ++i) ASSERT_EQ(FProgress[static_cast<size_t>(i)], i + 1);
  // This machine, from its adapter, and the 20 computers, in address order; not the gone one.
  ASSERT_EQ(FFound.size(), 21u);
  EXPECT_EQ(FFound[0]->ComputerName, "10.77.0.2");
  EXPECT_EQ(FFound[0]->MacAddress, 0x027700000002u);
  EXPECT_EQ(FFound[1]->ComputerName, "pc5 (10.77.0.5)");
  EXPECT_EQ(FFound[20]->ComputerName, "10.77.0.233");
  EXPECT_EQ(FFound[20]->MacAddress, 0x020000000013u);
  for (int n = 1; n <= 254; ++n) EXPECT_EQ(FWindows.Asks(At(n)), n == 2 ? 0 : 1) << n;
  // The silent addresses waited together: one time-out, not one per few probes.
  EXPECT_GT(FWindows.MostInProgress(), 200);
  EXPECT_LT(FClock.Now(), 2 * TWindowsStandIn::kGiveUpTime);

  // The window then drops those already listed, whatever their names.
  TKestruneState state;
  state.HostList.push_back(std::make_unique<THostRecord>());
  state.HostList[0]->MacAddress = 0x020000000000u;
  state.NewHostList = std::move(FFound);
  EXPECT_EQ(GetNewHosts(state), 20);
  EXPECT_EQ(state.NewHostList[1]->ComputerName, "10.77.0.17");
}

TEST_F(WindowsScan, StopEndsWithinOneTimeOutAndTheFirstAddressIsAlwaysAsked) {
  Scan(4094, 300);
  EXPECT_LE(FClock.Now() - FStoppedAt, TWindowsStandIn::kGiveUpTime);
  EXPECT_GE(FProgress.size(), 300u);
  EXPECT_EQ(FProgress.back(), static_cast<int>(FProgress.size()));
  const int asked = FWindows.Asks();
  EXPECT_LE(asked, static_cast<int>(FProgress.size()));  // every address asked was counted
  EXPECT_LE(FProgress.size(), 300u + kAwaitedAtOnce);

  // A stop before anything was asked: 10.77.0.1 is asked all the same (anew, though asked
  // before), and only it.
  FProgress.clear();
  FFound.clear();
  Scan(254, 0, true);
  EXPECT_EQ(FProgress, std::vector<int>{1});
  EXPECT_EQ(FWindows.Asks(), asked + 1);
  EXPECT_EQ(FWindows.Asks(At(1)), 2);
}

}  // namespace
}  // namespace kst
