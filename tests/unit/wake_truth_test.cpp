// Cases where the wake assistant's banner said what was not so on a real network. Each test
// states what is true; they fail while the fault is there.
#include <gtest/gtest.h>

#include <regex>

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
void RunRounds(TWakeWatch& watch, TTime until, const std::map<uint32_t, std::pair<TTime, uint64_t>>& awake = {}) {
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
    for (uint32_t a : watch.Due(now, budget, false, Resolve)) asked.push_back({a, now});
  }
}

bool Says(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST(WakeTruth, AComputerNeverAskedIsNeitherNotAnsweringNorBlamedOnASearch) {
  // Send to All over sixteen computers of a /24, fifteen of which this machine remembers from
  // before (old entries, now unanswered): the candidates take the whole budget, the sweep for
  // the sixteenth never runs, and no scan was ever started.
  TWakeWatch group(Lan(), true);
  TNeighbourTable table{true, {}};
  for (uint64_t i = 0; i < 15; ++i)
    table.Entries.push_back({StrToIp("10.77.0.100") + static_cast<uint32_t>(i), 0x020000000100 + i,
                             TNeighbourState::Unreachable, true, 1});
  for (uint64_t i = 0; i < 15; ++i) group.Add(Target("pc", 0x020000000100 + i, i + 1), table, 0ms);
  group.Add(Target("Hidden", 0x020000000200, 16), table, 0ms);
  RunRounds(group, 121000ms);
  const auto lines = group.Lines(121000ms);
  EXPECT_FALSE(Says(lines, "while a search ran")) << lines[0] << " / " << lines.back();

  // Eight remembered computers that stay off hold the sweep to seven requests a second: its
  // pass over the /24 does not reach 10.77.0.250 within the 2 minutes, where the ninth computer
  // answers all along. It was never asked there, yet it is "not answering".
  TWakeWatch eight(Lan(), true);
  TNeighbourTable old{true, {}};
  for (uint64_t i = 0; i < 8; ++i)
    old.Entries.push_back({StrToIp("10.77.0.100") + static_cast<uint32_t>(i), 0x020000000100 + i,
                           TNeighbourState::Unreachable, true, 1});
  for (uint64_t i = 0; i < 8; ++i) eight.Add(Target("pc", 0x020000000100 + i, i + 1), old, 0ms);
  eight.Add(Target("Awake", 0x020000000200, 9), old, 0ms);
  RunRounds(eight, 121000ms, {{StrToIp("10.77.0.250"), {0ms, 0x020000000200}}});
  EXPECT_FALSE(Says({eight.Lines(121000ms)[0]}, "Awake")) << eight.Lines(121000ms)[0];

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
  EXPECT_FALSE(Says(wideWatch.Lines(121000ms), "while a search ran")) << wideWatch.Lines(121000ms)[0];
}

TEST(WakeTruth, AWatchBegunOnNetworksReadBeforeAnAddressChangeAsksNothingAndBlamesASearch) {
  // The laptop moved from 10.77.0.0/24 to 10.88.0.0/24 while Kestrune was open; the send's
  // route was found with the networks as last read (before the change), the watch with the
  // networks read at the send.
  TWakeWatch watch(Network("10.88.0.2", "10.88.0.1"), false);
  watch.Add(Target("pc", kMac, 1, "255.255.255.255", Lan()), {true, {}}, 0ms);
  TArpBudget budget;
  size_t asked = 0;
  for (TTime now = 0ms; now < 120000ms; now += 100ms) asked += watch.Due(now, budget, false, Resolve).size();
  const auto lines = watch.Lines(121000ms);
  EXPECT_GT(asked, 0u) << "the banner said \"" << watch.Lines(1000ms)[1] << "\" for 2 minutes";
  EXPECT_FALSE(Says(lines, "while a search ran")) << lines[0];
}

TEST(WakeTruth, AUnicastDestinationBeyondARouterNeedsNoDirectedBroadcastRule) {
  const auto lines = RouteLines(Computer("remote", "10.20.30.40"), RouteOf(Computer("remote", "10.20.30.40"), Lan()));
  EXPECT_EQ(lines[0], "remote: from 10.77.0.2 (lan0) to 10.20.30.40, port 9, through the gateway 10.77.0.1");
  // A packet to one address is routed like any other; no router forwards it as a broadcast.
  EXPECT_EQ(lines[1].find("directed-broadcast"), std::string::npos) << lines[1];
}

TEST(WakeTruth, TheAnswerToThePacketsOwnArpIsNotAnAnswerBeforeThePacket) {
  // Windows: a packet to the computer's own address makes the system resolve it; the adapter
  // (awake, or answering ARP for its sleeping computer) answers within a millisecond, and the
  // table the watch reads once the send is reported holds a Reachable entry.
  TManualClock clock;
  TWindowsStandIn windows(clock);
  const uint32_t nas = StrToIp("10.77.0.40");
  windows.Present(nas, kMac);
  ASSERT_TRUE(windows.Solicit(nas));  // the magic packet
  clock.Advance(20ms);                // its outcome reaches the window, the watch reads the table
  TWakeWatch watch(Lan(), false, true);
  watch.Add(Target("nas", kMac, 1, "10.77.0.40"), windows.ReadTable(), clock.Now());
  EXPECT_NE(watch.Lines(clock.Now())[0], "nas answered ARP at 10.77.0.40 before the packet was sent");
}

TEST(WakeTruth, AStaticNeighbourEntryAnswersNothing) {
  // Administrators add static entries so that a unicast magic packet reaches a sleeping
  // computer. The system never asks for such an address: its entry is the same 8.5 s after a
  // datagram whether the computer is there or not.
  const uint32_t pc = StrToIp("10.77.0.50");
  const TNeighbourTable table{true, {{pc, kMac, TNeighbourState::Permanent, false, 1}}};
  TWakeWatch watch(Lan(), false);
  watch.Add(Target("static", kMac, 1, "10.77.0.50"), table, 0ms);
  TSolicitation asked(pc, table, 1000ms);
  const TArpEvidence evidence = asked.Observe(table, 9500ms);
  watch.Evidence({pc, evidence, 9500ms});
  EXPECT_NE(watch.Lines(9500ms)[0], "static answered ARP at 10.77.0.50 before the packet was sent");
}

TEST(WakeTruth, ASleeperFoundBySweepingIsNotSaidToWakeLaterThanItDid) {
  // No name, no entry: the sweep asks 10.77.0.20 in its first seconds (asleep), the computer
  // wakes 10 s after the send, and the sweep comes back to it only on its next pass.
  TWakeWatch watch(Lan(), false);
  watch.Add(Target("Sleeper", kMac, 1), {true, {}}, 0ms);
  RunRounds(watch, 121000ms, {{StrToIp("10.77.0.20"), {10000ms, kMac}}});
  const std::string line = watch.Lines(121000ms)[0];
  std::smatch m;
  ASSERT_TRUE(std::regex_match(line, m, std::regex("Sleeper woke up after ([0-9]+) s at 10\\.77\\.0\\.20"))) << line;
  EXPECT_LE(std::stoi(m[1].str()), 14) << line;
}

}  // namespace
}  // namespace kst
