// Linked into a test-only build of kestrune.exe (kestrune_windows_arp.exe): the neighbour calls
// behave as Windows' do, against the sandbox's real LAN under Wine, so that the branch that runs
// only on Windows (a blocking resolution per probe) runs end to end. The shipped program has no
// way to choose it.
//
// A resolution blocks until the address answers or the system gives up, as ResolveIpNetEntry2
// does: Windows gives up after about 3 s (three requests a second apart, its usual default, not
// a documented figure), and so does Linux here for an address without an entry. Wine can neither
// flush an entry nor resolve on request, so the resolution is a datagram and the table until the
// shared rules decide it; an entry that was valid before is decided only once Linux has checked
// it (up to 8.5 s), where Windows would have flushed it and asked at once. Linux checks only a
// STALE entry: one still REACHABLE at the datagram (it answered a few seconds before) that turns
// STALE without further traffic stays valid unchecked, and counts here as an answer where Windows
// would have asked anew. Tests that need a silence give such a computer a STALE entry first.
#include <windows.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>

#include "netcore/neighbours.h"

namespace kst {
namespace {

class TLanAsWindows final : public INeighbourPlatform {
 public:
  bool CanResolve() override { return true; }

  TArpEvidence Resolve(uint32_t address) override {
    INeighbourPlatform& lan = SystemNeighbours();
    const auto before = Table(SteadyClock().Now()).first;
    const TNeighbourTime sent = SteadyClock().Now();
    if (!lan.Solicit(address)) return {};
    TSolicitation asked(address, *before, sent);
    while (SteadyClock().Now() - sent < std::chrono::seconds(12)) {
      Sleep(100);
      const auto [table, readAt] = Table(SteadyClock().Now());
      const TArpEvidence& e = asked.Observe(*table, readAt);
      if (!e.Decided()) continue;
      if (e.Answered()) {
        std::lock_guard<std::mutex> guard(FLock);
        FResolved[address] = readAt;
      }
      return ResolvedEvidence(e.Answered(), e.Mac);
    }
    return {};
  }

  bool Solicit(uint32_t address) override { return SystemNeighbours().Solicit(address); }

  // Windows' states: Reachable only for an answer it resolved lately (its reachable time is 15 s
  // at the least), Stale for every other valid entry; Linux's, which Wine shows as Reachable
  // whatever they are, say nothing of the kind.
  TNeighbourTable ReadTable() override {
    const TNeighbourTime now = SteadyClock().Now();
    TNeighbourTable table = *Table(now).first;
    std::lock_guard<std::mutex> guard(FLock);
    for (auto& e : table.Entries) {
      if (!e.Valid()) continue;
      const auto resolved = FResolved.find(e.Address);
      const bool lately = resolved != FResolved.end() && now - resolved->second < std::chrono::seconds(15);
      e.State = lately ? TNeighbourState::Reachable : TNeighbourState::Stale;
    }
    return table;
  }

 private:
  // One read of the table a tenth of a second serves every resolution under way (a read costs
  // Wine as much as a send): the last one if it began at most that long before now, with the
  // time it began.
  std::pair<std::shared_ptr<const TNeighbourTable>, TNeighbourTime> Table(TNeighbourTime now) {
    std::lock_guard<std::mutex> guard(FTableLock);
    if (!FTable || FTableRead + std::chrono::milliseconds(100) <= now) {
      FTableRead = SteadyClock().Now();
      FTable = std::make_shared<const TNeighbourTable>(SystemNeighbours().ReadTable());
    }
    return {FTable, FTableRead};
  }

  std::mutex FLock;
  std::map<uint32_t, TNeighbourTime> FResolved;
  std::mutex FTableLock;
  std::shared_ptr<const TNeighbourTable> FTable;
  TNeighbourTime FTableRead{};
};

TLanAsWindows GLan;
// Before wWinMain, so before any thread that asks.
const bool GInstalled = (UseNeighbourPlatform(&GLan), true);

}  // namespace
}  // namespace kst
