// Cases where the wake assistant's banner said what was not so on a real network, or where the
// watch did what a real network would not bear. Each test states what is true.
#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/windows_stand_in.h"
#include "sender/wake_assistant.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using TTime = TWatchTime;

constexpr uint64_t kMac = 0x027700000030;

std::vector<TNetworkInterface> Network(const char* address, const char* gateway) {
  TAdapterRecord lan;
  lan.Description = "lan0";
  lan.IpAddressList = {{address, "255.255.255.0"}};
  lan.GatewayList = {{gateway, "255.255.255.255"}};
  return InterfacesOf(std::vector<TAdapterRecord>{lan});
}
std::vector<TNetworkInterface> Lan() { return Network("10.77.0.2", "10.77.0.1"); }

THostRecord Computer(const char* name, const char* destination) {
  THostRecord r;
  r.AssignComputerName(name);
  r.BroadcastAddress = StrToIp(destination);
  r.Port = 9;
  r.MacAddress = kMac;
  return r;
}

TRoute RouteOf(const THostRecord& r, const std::vector<TNetworkInterface>& interfaces) {
  return FindRoute(r, interfaces, [&](uint32_t a) {
    return std::any_of(interfaces.begin(), interfaces.end(), [&](const TNetworkInterface& i) { return i.Address == a; });
  });
}

TWatchTarget Target(const char* name, uint64_t mac, uint64_t id, const char* destination = "255.255.255.255",
                    const std::vector<TNetworkInterface>& interfaces = Lan()) {
  return {id, name, mac, RouteOf(Computer(name, destination), interfaces)};
}

std::span<const TTime> Resolve(uint32_t) { return kArpResolveRequests; }

// Rounds of the watch every 100 ms, as its thread runs them, over a LAN where the addresses in
// awake answer from the given time on with the given MAC and every other address is silent: a
// probe is decided 3 s after it was asked, or as soon as one of its requests is answered.
void RunRounds(TWakeWatch& watch, TTime until, const std::map<uint32_t, std::pair<TTime, uint64_t>>& awake = {},
               TTime scanUntil = -1ms) {
  TArpBudget budget;
  std::vector<std::pair<uint32_t, TTime>> asked;
  for (TTime now = 0ms; now <= until; now += 100ms) {
    std::erase_if(asked, [&](const std::pair<uint32_t, TTime>& p) {
      const auto a = awake.find(p.first);
      for (TTime offset : kArpResolveRequests) {
        if (a != awake.end() && a->second.first <= p.second + offset) {
          if (p.second + offset > now) return false;
          watch.Evidence({p.first, {TArpVerdict::Answered, a->second.second, TAnswerKind::Resolved}, p.second + offset});
          return true;
        }
      }
      if (p.second + 3000ms > now) return false;
      watch.Evidence({p.first, {TArpVerdict::Silent, 0, TAnswerKind::None}, p.second + 3000ms});
      return true;
    });
    for (uint32_t a : watch.Due(now, budget, now < scanUntil, Resolve)) asked.push_back({a, now});
  }
}

bool Says(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// Send to All over n computers this machine remembers (old entries, now unanswered) and one it
// never saw, which only a sweep can find.
TWakeWatch Remembered(uint64_t n, const char* unseen) {
  TWakeWatch group(Lan(), true);
  TNeighbourTable old{true, {}};
  for (uint64_t i = 0; i < n; ++i)
    old.Entries.push_back({StrToIp("10.77.0.100") + static_cast<uint32_t>(i), 0x020000000100 + i,
                           TNeighbourState::Unreachable, true, 1});
  for (uint64_t i = 0; i < n; ++i) group.Add(Target("pc", 0x020000000100 + i, i + 1), old, 0ms);
  group.Add(Target(unseen, 0x020000000200, n + 1), old, 0ms);
  return group;
}

TEST(WakeTruth, AComputerNeverAskedIsNeitherNotAnsweringNorBlamedOnASearch) {
  // Fifteen remembered computers take the whole budget: the sweep never runs, and no scan was
  // ever started.
  TWakeWatch group = Remembered(15, "Hidden");
  RunRounds(group, 121000ms);
  const auto lines = group.Lines(121000ms);
  EXPECT_FALSE(Says(lines, "while a search ran")) << lines[0] << " / " << lines.back();
  EXPECT_TRUE(Says(lines, "Not asked, the sweep of their network did not finish: Hidden")) << lines.back();

  // Eight that stay off hold the sweep to seven requests a second: its pass over the /24 does
  // not reach 10.77.0.250 within the 2 minutes, where the ninth computer answers all along.
  TWakeWatch eight = Remembered(8, "Awake");
  RunRounds(eight, 121000ms, {{StrToIp("10.77.0.250"), {0ms, 0x020000000200}}});
  EXPECT_FALSE(Says({eight.Lines(121000ms)[0]}, "Awake")) << eight.Lines(121000ms)[0];
  EXPECT_TRUE(Says(eight.Lines(121000ms), "Not asked, the sweep of their network did not finish: Awake"));

  // One computer on a /16 whose name the name server has not answered within the 2 minutes (a
  // silent server, or lookups queued behind an earlier Send to All's).
  TAdapterRecord b;
  b.Description = "lan0";
  b.IpAddressList = {{"10.77.0.2", "255.255.0.0"}};
  b.GatewayList = {{"10.77.0.1", "255.255.255.255"}};
  const auto slash16 = InterfacesOf(std::vector<TAdapterRecord>{b});
  TWakeWatch wideWatch(slash16, false);
  wideWatch.Add(Target("Sleeper-35", kMac, 1, "255.255.255.255", slash16), {true, {}}, 0ms, true);
  RunRounds(wideWatch, 121000ms);
  EXPECT_EQ(wideWatch.Lines(121000ms)[0], "Sleeper-35 was not asked: its network is too wide to sweep");
}

TEST(WakeTruth, ASearchThatEndedEarlyIsNotTheReasonASweepDidNotFinish) {
  // The user stopped a search 2 s after Send to All; the sweep then ran for the rest of the
  // 2 minutes, held to seven requests a second by eight computers that stay off, and did not
  // reach 10.77.0.250.
  TWakeWatch eight = Remembered(8, "Awake");
  RunRounds(eight, 121000ms, {{StrToIp("10.77.0.250"), {0ms, 0x020000000200}}}, 2000ms);
  const auto lines = eight.Lines(121000ms);
  EXPECT_FALSE(Says(lines, "while a search ran")) << lines.back();
  EXPECT_TRUE(Says(lines, "Not asked, the sweep of their network did not finish: Awake")) << lines[0] << " / " << lines[1];
}

TEST(WakeTruth, AnOldEntryOfAnotherComputerDoesNotKeepTheSweepFromItsAddress) {
  // A phone held 10.77.0.50 last week; Windows keeps its Stale entry. Its lease went to Desk,
  // which this computer never talked to and which answers there from 10 s on.
  TWakeWatch watch(Lan(), false, true);
  const TNeighbourTable table{true, {{StrToIp("10.77.0.50"), 0x02AA00000001, TNeighbourState::Stale, false, 1}}};
  watch.Add(Target("Desk", kMac, 1), table, 0ms);
  RunRounds(watch, 121000ms, {{StrToIp("10.77.0.50"), {10000ms, kMac}}});
  EXPECT_NE(watch.Lines(121000ms)[0], "Desk has not answered after 2 minutes");
}

TEST(WakeTruth, AWatchBegunOnNetworksReadBeforeAnAddressChangeWaitsForNothing) {
  // The laptop moved from 10.77.0.0/24 to 10.88.0.0/24 while Kestrune was open; the send's
  // route was found with the networks as last read (before the change), the watch with the
  // networks read at the send. It cannot ask on a network it no longer has.
  TWakeWatch watch(Network("10.88.0.2", "10.88.0.1"), false);
  watch.Add(Target("pc", kMac, 1, "255.255.255.255", Lan()), {true, {}}, 0ms);
  EXPECT_TRUE(watch.Finished(0ms));
  EXPECT_EQ(watch.Lines(0ms), (std::vector<std::string>{
                                  "pc was not asked: this computer's networks changed",
                                  "The route line showed 10.77.0.0/24, which is no longer a network of this "
                                  "computer; send again to watch the networks it has now."}));
}

TEST(WakeTruth, AUnicastDestinationBeyondARouterNeedsNoDirectedBroadcastRule) {
  const auto lines = RouteLines(Computer("remote", "10.20.30.40"), RouteOf(Computer("remote", "10.20.30.40"), Lan()));
  EXPECT_EQ(lines[0], "remote: from 10.77.0.2 (lan0) to 10.20.30.40, port 9, through the gateway 10.77.0.1");
  // A packet to one address is routed like any other; what fails for a sleeping computer is the
  // last router's ARP for it.
  EXPECT_EQ(lines[1], "A packet to one address is routed like any other, but the router that delivers it finds a "
                      "sleeping computer only by ARP: it needs a static ARP entry for 10.20.30.40, or an adapter that "
                      "answers ARP while its computer sleeps.");
}

TEST(WakeTruth, TheAnswerToThePacketsOwnArpIsNotAnAnswerBeforeThePacket) {
  // Windows: a packet to the computer's own address makes the system resolve it; the adapter
  // (awake, or answering ARP for its sleeping computer) answers within a millisecond, and the
  // table holds a Reachable entry by the time the send is reported.
  TManualClock clock;
  TWindowsStandIn windows(clock);
  const uint32_t nas = StrToIp("10.77.0.40");
  windows.Present(nas, kMac);
  TTablesBeforeSend before;
  int reads = 0;
  const auto read = [&] {
    ++reads;
    return windows.ReadTable();
  };
  before.Starting(1, clock.Now(), read);
  ASSERT_TRUE(windows.Solicit(nas));  // the magic packet
  clock.Advance(20ms);                // its outcome reaches the window
  TWakeWatch watch(Lan(), false, true);
  watch.Add(Target("nas", kMac, 1, "10.77.0.40"), *before.Take(1), clock.Now());
  EXPECT_EQ(watch.Lines(clock.Now())[0], "Waiting for nas to wake up");
  // Send to All's next send, 20 ms later, starts after the same read; a send never started has none.
  before.Starting(2, clock.Now(), read);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(before.Take(3), nullptr);
}

TEST(WakeTruth, ASleeperFoundBySweepingIsSaidWhenItWasSeenSilentAndWhenAnswering) {
  // No name, no entry: the sweep found 10.77.0.20 silent 5 s after the send; the computer woke
  // at 10 s, and the sweep came back to it on its next pass, at 65 s.
  TWakeWatch watch(Lan(), false);
  watch.Add(Target("Sleeper", kMac, 1), {true, {}}, 0ms);
  watch.Evidence({StrToIp("10.77.0.20"), {TArpVerdict::Silent, 0, TAnswerKind::None}, 5000ms});
  watch.Evidence({StrToIp("10.77.0.20"), {TArpVerdict::Answered, kMac, TAnswerKind::Fresh}, 65000ms});
  EXPECT_EQ(watch.Lines(65000ms), (std::vector<std::string>{
                                      "Sleeper woke up after 65 s at 10.77.0.20",
                                      "It was silent at 10.77.0.20 5 s after the packet and answered for "
                                      "02-77-00-00-00-30 there at 65 s: it woke up in between."}));
}

TEST(WakeTruth, AComputerThatAnswersIsAskedAgainOnlyAsOftenAsASilenceCanShow) {
  // Windows: the system vouched for it at the send, and each resolution (which flushes its entry)
  // is answered within a millisecond.
  TWakeWatch watch(Lan(), false, true);
  const TNeighbourTable table{true, {{StrToIp("10.77.0.60"), kMac, TNeighbourState::Reachable, false, 1}}};
  watch.Add(Target("Awake", kMac, 1), table, 0ms);
  TArpBudget budget;
  int asked = 0;
  for (TTime now = 0ms; now < 120000ms; now += 100ms) {
    for (uint32_t a : watch.Due(now, budget, false, Resolve)) {
      ++asked;
      watch.Evidence({a, {TArpVerdict::Answered, kMac, TAnswerKind::Resolved}, now + 1ms});
    }
  }
  // Every 3.1 s (3 s after the answer, at the next round), not five times a second.
  EXPECT_EQ(asked, 39);
}

TEST(WakeTruth, TheLimitedBroadcastLeavesByTheSystemsBestRouteAndAVpnAddressHasNoNetwork) {
  TAdapterRecord lan, lab, vpn;
  lan.Description = "lan0";
  lan.Index = 7;
  lan.IpAddressList = {{"10.77.0.2", "255.255.255.0"}};
  lan.GatewayList = {{"10.77.0.1", "255.255.255.255"}};
  lab.Description = "lab1";
  lab.Index = 9;
  lab.IpAddressList = {{"192.168.9.4", "255.255.255.0"}};
  vpn.Description = "vpn";
  vpn.Index = 11;
  vpn.IpAddressList = {{"10.8.0.5", "255.255.255.255"}};
  vpn.GatewayList = {{"10.8.0.1", "255.255.255.255"}};
  const std::vector<TAdapterRecord> adapters{lan, lab, vpn};
  const THostRecord fresh = Computer("New", "255.255.255.255");
  // The best route for 255.255.255.255 is lab1's, though lan0 has the default gateway.
  const auto viaLab = InterfacesOf(adapters, 9);
  EXPECT_EQ(RouteLines(fresh, RouteOf(fresh, viaLab))[0],
            "New: from 192.168.9.4 (lab1) to 255.255.255.255, port 9, on this network");
  // Not known (Wine may not say): the first interface with a gateway, as before.
  const auto unknown = InterfacesOf(adapters, 0);
  EXPECT_EQ(RouteLines(fresh, RouteOf(fresh, unknown))[0],
            "New: from 10.77.0.2 (lan0) to 255.255.255.255, port 9, on this network");
  // Out of a /32: no network to reach or sweep.
  const auto viaVpn = InterfacesOf(adapters, 11);
  EXPECT_EQ(RouteLines(fresh, RouteOf(fresh, viaVpn)),
            (std::vector<std::string>{"New: from 10.8.0.5 (vpn) to 255.255.255.255, port 9, over a link with no "
                                      "network of its own",
                                      "10.8.0.5/32 has no neighbours of its own (a VPN, most likely): the packet goes to "
                                      "the other end of the link, and Kestrune cannot see a computer answer beyond "
                                      "it."}));
  TWakeWatch watch(viaVpn, false);
  watch.Add({1, "New", kMac, RouteOf(fresh, viaVpn)}, {true, {}}, 0ms);
  TArpBudget budget;
  EXPECT_TRUE(watch.Due(0ms, budget, false, Resolve).empty());
  EXPECT_EQ(watch.Lines(0ms)[0], "New is on another network: Kestrune cannot see it wake up");
}

}  // namespace
}  // namespace kst
