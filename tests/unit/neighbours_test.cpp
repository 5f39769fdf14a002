#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "netcore/address_text.h"
#include "netcore/arp_sweep.h"
#include "netcore/neighbours.h"
#include "netcore/windows_stand_in.h"
#include "tests/unit/neighbour_doubles.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using test::Drive;
using test::TLinuxNeighbours;

constexpr uint64_t kMacA = 0x02770000001A, kMacB = 0x02770000001B;
const uint32_t kPc = StrToIp("10.77.0.40");

TNeighbourTable Table(std::vector<TNeighbourEntry> entries) { return {true, std::move(entries)}; }
TNeighbourEntry Valid(uint64_t mac) { return {kPc, mac, TNeighbourState::Reachable, false, 2}; }
// Wine shows Linux's FAILED and INCOMPLETE entries so, with whatever MAC they kept.
TNeighbourEntry Unreachable(uint64_t mac) { return {kPc, mac, TNeighbourState::Stale, true, 2}; }

TEST(NeighbourEvidence, AnUnreachableEntryIsSilenceWhateverMacItKeeps) {
  EXPECT_FALSE(Unreachable(kMacA).Valid());
  EXPECT_FALSE((TNeighbourEntry{kPc, kMacA, TNeighbourState::Incomplete, false, 2}.Valid()));
  EXPECT_FALSE(Valid(0).Valid());  // no MAC: never an answer
  EXPECT_EQ(ResolvedEvidence(true, 0).Verdict, TArpVerdict::Silent);

  TSolicitation s(kPc, Table({Unreachable(kMacA)}), 10000ms);
  EXPECT_FALSE(s.Observe(Table({Valid(kMacA)}), 9999ms).Decided());   // read before the datagram
  EXPECT_FALSE(s.Observe(TNeighbourTable{}, 14000ms).Decided());       // the table could not be read
  EXPECT_FALSE(s.Observe(Table({Unreachable(kMacA)}), 12000ms).Decided());
  EXPECT_EQ(s.Observe(Table({Unreachable(kMacA)}), 13000ms).Verdict, TArpVerdict::Silent);
  // Decided stays decided.
  EXPECT_EQ(s.Observe(Table({Valid(kMacA)}), 13100ms).Verdict, TArpVerdict::Silent);

  // Absent after the datagram is silence too.
  TSolicitation absent(kPc, Table({}), 0ms);
  EXPECT_EQ(absent.Observe(Table({}), 3000ms).Verdict, TArpVerdict::Silent);
}

TEST(NeighbourEvidence, AValidEntryFromBeforeTheDatagramCountsOnlyOnceConfirmed) {
  TSolicitation s(kPc, Table({Valid(kMacA)}), 1000ms);
  EXPECT_TRUE(s.NeedsConfirmation());
  EXPECT_EQ(s.DecidedBy(), 1000ms + kConfirmAfter);
  for (auto at : {1100ms, 4000ms, 9000ms}) EXPECT_FALSE(s.Observe(Table({Valid(kMacA)}), at).Decided()) << at.count();
  EXPECT_EQ(s.Observe(Table({Valid(kMacA)}), 9500ms), (TArpEvidence{TArpVerdict::Answered, kMacA, TAnswerKind::Confirmed}));

  // Gone meanwhile: Linux let it fail.
  TSolicitation gone(kPc, Table({Valid(kMacA)}), 0ms);
  EXPECT_EQ(gone.Observe(Table({Unreachable(kMacA)}), 8200ms).Verdict, TArpVerdict::Silent);

  // Seen unreachable, then valid again: a fresh answer; so is another MAC.
  TSolicitation back(kPc, Table({Valid(kMacA)}), 0ms);
  EXPECT_FALSE(back.Observe(Table({Unreachable(kMacA)}), 1000ms).Decided());
  EXPECT_EQ(back.Observe(Table({Valid(kMacA)}), 2000ms), (TArpEvidence{TArpVerdict::Answered, kMacA, TAnswerKind::Fresh}));
  TSolicitation moved(kPc, Table({Valid(kMacA)}), 0ms);
  EXPECT_EQ(moved.Observe(Table({Valid(kMacB)}), 500ms).Mac, kMacB);

  // An entry set by hand (as for a computer that sleeps) is never asked: no evidence either way.
  const TNeighbourEntry fixed{kPc, kMacA, TNeighbourState::Permanent, false, 2};
  TSolicitation permanent(kPc, Table({fixed}), 0ms);
  EXPECT_FALSE(permanent.Observe(Table({fixed}), 20000ms).Decided());

  // Without a read before the datagram its entry may be old: it waits as well.
  TSolicitation unknown(kPc, TNeighbourTable{}, 0ms);
  EXPECT_FALSE(unknown.Observe(Table({Valid(kMacA)}), 100ms).Decided());
  // An entry that turned valid after the datagram answers at once.
  TSolicitation fresh(kPc, Table({Unreachable(kMacB)}), 0ms);
  EXPECT_EQ(fresh.Observe(Table({Valid(kMacA)}), 100ms), (TArpEvidence{TArpVerdict::Answered, kMacA, TAnswerKind::Fresh}));
}

TEST(WindowsStandIn, ResolvesAndCachesAsWindowsDoes) {
  TManualClock clock;
  TWindowsStandIn windows(clock);
  windows.Present(kPc, kMacA);
  const uint32_t silent = kPc + 1;
  EXPECT_EQ(Drive(clock, [&] { return windows.Resolve(kPc); }, 0), ResolvedEvidence(true, kMacA));
  EXPECT_EQ(clock.Now(), 1ms);
  EXPECT_EQ(Drive(clock, [&] { return windows.Resolve(silent); }, 0).Verdict, TArpVerdict::Silent);
  EXPECT_EQ(clock.Now(), 3001ms);
  EXPECT_EQ(windows.Requests(), 1 + 3);
  auto table = windows.ReadTable();
  ASSERT_TRUE(table.Known);
  EXPECT_EQ(table.Find(kPc)->State, TNeighbourState::Reachable);
  EXPECT_FALSE(table.Find(silent)->Valid());
  clock.Advance(TWindowsStandIn::kReachableTime);
  EXPECT_EQ(windows.ReadTable().Find(kPc)->State, TNeighbourState::Stale);

  // Gone, its entry still cached: ResolveIpNetEntry2 flushes it and asks; SendARP answers from it.
  windows.Gone(kPc);
  EXPECT_EQ(Drive(clock, [&] { return windows.Resolve(kPc); }, 0).Verdict, TArpVerdict::Silent);
  TWindowsStandIn sendArp(clock, false);
  sendArp.Cache(kPc, kMacA, TNeighbourState::Stale);
  EXPECT_EQ(sendArp.Resolve(kPc), ResolvedEvidence(true, kMacA));
  EXPECT_EQ(sendArp.Requests(), 0);
  EXPECT_EQ(windows.Asks(kPc), 2);
}

TEST(ArpSweep, OnlyConfirmedAnswersOfTheTableCount) {
  TManualClock clock;
  TLinuxNeighbours linux(clock);
  TAdapterRecord adapter;
  adapter.AddressLength = 6;
  adapter.Address = {0x02, 0x77, 0, 0, 0, 0x02};
  adapter.IpAddressList = {{"10.77.0.2", "255.255.255.0"}};
  TArpSweep sweep(linux, clock, {adapter});
  EXPECT_FALSE(sweep.Resolves());

  const uint32_t awakeStale = kPc, goneStale = kPc + 1, goneFailed = kPc + 2, fresh = kPc + 3, taken = kPc + 4;
  linux.Present(awakeStale, kMacA);
  linux.Leave(awakeStale, kMacA, TLinuxNeighbours::TState::Stale);
  linux.Leave(goneStale, kMacB, TLinuxNeighbours::TState::Stale);
  linux.Leave(goneFailed, kMacB, TLinuxNeighbours::TState::Failed);
  linux.Present(fresh, kMacB);
  // Another computer took the address since its entry was left.
  linux.Present(taken, kMacB);
  linux.Leave(taken, kMacA, TLinuxNeighbours::TState::Stale);
  // An entry set by hand for a computer that sleeps.
  const uint32_t fixed = kPc + 5;
  linux.Leave(fixed, kMacA, TLinuxNeighbours::TState::Permanent);
  for (uint32_t a : {awakeStale, goneStale, goneFailed, fresh, taken, fixed}) sweep.Announce(a);

  EXPECT_EQ(Drive(clock, [&] { return sweep.EvidenceOf(fresh); }, 0).Kind, TAnswerKind::Fresh);
  // Nothing can be asked where Linux sends straight to a MAC set by hand.
  EXPECT_FALSE(Drive(clock, [&] { return sweep.EvidenceOf(fixed); }, 0).Decided());
  EXPECT_LT(clock.Now(), 100ms);
  EXPECT_EQ(Drive(clock, [&] { return sweep.EvidenceOf(goneFailed); }, 0).Verdict, TArpVerdict::Silent);
  EXPECT_EQ(Drive(clock, [&] { return sweep.EvidenceOf(goneStale); }, 0).Verdict, TArpVerdict::Silent);
  const auto awake = Drive(clock, [&] { return sweep.EvidenceOf(awakeStale); }, 0);
  EXPECT_EQ(awake, (TArpEvidence{TArpVerdict::Answered, kMacA, TAnswerKind::Confirmed}));
  EXPECT_GE(clock.Now(), kConfirmAfter);
  // Linux checked the old entry by unicast to its old MAC, which nobody heard: once it failed the
  // address is asked once more, of the whole LAN.
  EXPECT_EQ(Drive(clock, [&] { return sweep.EvidenceOf(taken); }, 0), (TArpEvidence{TArpVerdict::Answered, kMacB, TAnswerKind::Fresh}));
  // Each asked once, but those whose old entry failed; our own address and one off our network
  // not at all.
  for (uint32_t a : {awakeStale, goneFailed, fresh}) EXPECT_EQ(linux.Solicited(a), 1);
  EXPECT_EQ(linux.Solicited(fixed), 0);
  for (uint32_t a : {goneStale, taken}) EXPECT_EQ(linux.Solicited(a), 2);
  EXPECT_EQ(sweep.MacOf(StrToIp("10.77.0.2")), 0x027700000002u);
  EXPECT_FALSE(sweep.EvidenceOf(StrToIp("10.78.0.5")).Decided());
  EXPECT_EQ(linux.Solicited(StrToIp("10.78.0.5")), 0);

  // Cancelled, a wait for the confirmation ends at once with nothing decided.
  TArpSweep waiting(linux, clock, {adapter});
  auto pending = std::async(std::launch::async, [&] { return waiting.EvidenceOf(awakeStale); });
  while (clock.Sleepers() == 0) std::this_thread::yield();
  waiting.Cancel();
  clock.Advance(1s);
  EXPECT_FALSE(pending.get().Decided());
}

// Each datagram holds an unresolved entry in Linux's neighbour table for up to 3 s, and a table
// full of the entries of computers that answered drops datagrams: the addresses then look
// silent. A /24 still goes out at once.
TEST(ArpSweep, NoMoreDatagramsUnderWayThanTheTableHasRoomFor) {
  struct TCounted : TLinuxNeighbours {
    explicit TCounted(TManualClock& clock) : TLinuxNeighbours(clock), Clock(clock) {}
    bool Solicit(uint32_t address) override {
      Sent.push_back(Clock.Now());
      return TLinuxNeighbours::Solicit(address);
    }
    TManualClock& Clock;
    std::vector<TNeighbourTime> Sent;  // one thread announces
  };
  TAdapterRecord adapter;
  adapter.IpAddressList = {{"10.77.0.2", "255.255.240.0"}};
  const uint32_t first = StrToIp("10.77.1.1");
  auto mostWithin3s = [](const std::vector<TNeighbourTime>& sent) {
    size_t most = 0;
    for (size_t i = 0, j = 0; j < sent.size(); ++j) {
      while (sent[j] - sent[i] >= 3000ms) ++i;
      most = std::max(most, j - i + 1);
    }
    return most;
  };

  // 900 computers answered a moment ago: 1,024 - 64 - 900 = 60 entries left for datagrams.
  TManualClock clock;
  TCounted crowded(clock);
  for (uint32_t i = 0; i < 900; ++i) crowded.Leave(StrToIp("10.77.8.1") + i, kMacA, TLinuxNeighbours::TState::Reachable);
  TArpSweep sweep(crowded, clock, {adapter});
  Drive(clock, [&] { for (uint32_t i = 0; i < 200; ++i) sweep.Announce(first + i); }, 0);
  ASSERT_EQ(crowded.Sent.size(), 200u);  // none left out
  EXPECT_EQ(mostWithin3s(crowded.Sent), 60u);

  // A /24 whose every address has an entry: all at once.
  TManualClock clock24;
  TCounted full24(clock24);
  for (uint32_t i = 0; i < 254; ++i) full24.Leave(first + 256 + i, kMacA, TLinuxNeighbours::TState::Reachable);
  TArpSweep sweep24(full24, clock24, {adapter});
  Drive(clock24, [&] { for (uint32_t i = 0; i < 254; ++i) sweep24.Announce(first + i); }, 0);
  ASSERT_EQ(full24.Sent.size(), 254u);
  EXPECT_EQ(full24.Sent.back(), 0ms);
}

}  // namespace
}  // namespace kst
