#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "netcore/address_text.h"
#include "netcore/windows_stand_in.h"
#include "sender/wake_assistant.h"
#include "sender/wake_probes.h"
#include "tests/unit/neighbour_doubles.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using TTime = TWatchTime;

constexpr uint64_t kMac = 0x027700000030;

std::vector<TNetworkInterface> Lan(const char* mask = "255.255.255.0") {
  TAdapterRecord lan;
  lan.Description = "lan0";
  lan.IpAddressList = {{"10.77.0.2", mask}};
  lan.GatewayList = {{"10.77.0.1", "255.255.255.255"}};
  TAdapterRecord lab;  // a second network without a router
  lab.Description = "lab1";
  lab.IpAddressList = {{"192.168.9.4", "255.255.255.0"}};
  lab.GatewayList = {{"0.0.0.0", ""}};
  return InterfacesOf(std::vector<TAdapterRecord>{lan, lab});
}

THostRecord Computer(const char* name, const char* destination, const char* local = "") {
  THostRecord r;
  r.AssignComputerName(name);
  r.BroadcastAddress = StrToIp(destination);
  r.LocalIpAddress = StrToIp(local);
  r.Port = 9;
  r.MacAddress = kMac;
  return r;
}

TRoute RouteOf(const THostRecord& r, const std::vector<TNetworkInterface>& interfaces) {
  return FindRoute(r, interfaces, [](uint32_t a) { return a == StrToIp("10.77.0.2") || a == StrToIp("192.168.9.4"); });
}

std::vector<std::string> RouteLinesOf(const THostRecord& r, const std::vector<TNetworkInterface>& interfaces) {
  return RouteLines(r, RouteOf(r, interfaces));
}

TWatchTarget Target(const char* name, uint64_t mac, const char* destination = "255.255.255.255", uint64_t id = 1,
                    const std::vector<TNetworkInterface>& interfaces = Lan()) {
  return {id, name, mac, RouteOf(Computer(name, destination), interfaces)};
}

// A neighbour entry: valid (in the Stale state, as Windows names it), or unreachable with its old MAC.
TNeighbourEntry Seen(const char* address, uint64_t mac, bool valid = true,
                     TNeighbourState state = TNeighbourState::Stale) {
  return {StrToIp(address), mac, valid ? state : TNeighbourState::Unreachable, !valid, 1};
}
TNeighbourTable Table(std::vector<TNeighbourEntry> entries) { return {true, std::move(entries)}; }

// An answer as a datagram and the table show it: fresh, or confirmed after Linux checked an entry
// that was valid before.
TAddressEvidence Answer(const char* address, uint64_t mac, TTime at, bool confirmed = false) {
  return {StrToIp(address), {TArpVerdict::Answered, mac, confirmed ? TAnswerKind::Confirmed : TAnswerKind::Fresh}, at};
}
TAddressEvidence Silence(const char* address, TTime at) { return {StrToIp(address), {TArpVerdict::Silent, 0, TAnswerKind::None}, at}; }

std::span<const TTime> Resolve(uint32_t) { return kArpResolveRequests; }

std::vector<uint32_t> Due(TWakeWatch& watch, TTime now, bool scanRunning = false) {
  TArpBudget budget;
  return watch.Due(now, budget, scanRunning, Resolve);
}

std::vector<uint32_t> Addresses(std::initializer_list<const char*> texts) {
  std::vector<uint32_t> result;
  for (const char* t : texts) result.push_back(StrToIp(t));
  return result;
}

TEST(WakeRoute, EveryRouteCaseHasItsLineAndTrueHints) {
  const auto lan = Lan();
  EXPECT_EQ(RouteLinesOf(Computer("Office-PC", "10.77.0.255", "10.77.0.2"), lan),
            (std::vector<std::string>{"Office-PC: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network",
                                      "The packet reaches every computer of this network; after a send Kestrune "
                                      "watches for Office-PC to answer ARP."}));
  // The default a new computer gets: the network of the interface the line names is watched.
  const THostRecord fresh = Computer("New", "255.255.255.255");
  EXPECT_EQ(RouteLinesOf(fresh, lan)[0], "New: from 10.77.0.2 (lan0) to 255.255.255.255, port 9, on this network");
  EXPECT_EQ(IpToStr(RouteOf(fresh, lan).Network), "10.77.0.0");
  EXPECT_EQ(IpToStr(RouteOf(Computer("Lab", "255.255.255.255", "192.168.9.4"), lan).Network), "192.168.9.0");
  // One address: the packet reaches that computer alone.
  EXPECT_EQ(RouteLinesOf(Computer("nas", "10.77.0.40"), lan)[1],
            "The packet reaches only 10.77.0.40, once its MAC address is known here or its adapter answers ARP; "
            "after a send Kestrune watches for nas to answer ARP.");
  // "any": the address the system picks for the destination, from the network that holds it.
  EXPECT_EQ(RouteLinesOf(Computer("lab", "192.168.9.255"), lan)[0],
            "lab: from 192.168.9.4 (lab1) to 192.168.9.255, port 9, on this network");
  // The forwarding rule belongs on the router next to the destination, not on ours.
  EXPECT_EQ(RouteLinesOf(Computer("far", "10.20.30.255"), lan),
            (std::vector<std::string>{"far: from 10.77.0.2 (lan0) to 10.20.30.255, port 9, through the gateway 10.77.0.1",
                                      "Routers drop broadcasts for other networks by default: the router that "
                                      "delivers to the network of 10.20.30.255 must forward UDP port 9 there (a "
                                      "directed-broadcast rule), or send from a computer of that network."}));
  // Bound to an address whose network has no router, off that network: the default router.
  EXPECT_EQ(RouteLinesOf(Computer("via", "10.20.30.255", "192.168.9.4"), lan)[0],
            "via: from 192.168.9.4 (lab1) to 10.20.30.255, port 9, through the gateway 10.77.0.1");
  EXPECT_EQ(RouteLinesOf(Computer("old", "10.77.0.255", "10.77.0.3"), lan)[0],
            "old: the local address 10.77.0.3 is not on this computer");
  THostRecord named = Computer("nas", "");
  named.AssignBroadcastHost("router.example");
  EXPECT_EQ(RouteLinesOf(named, lan)[0], "nas: the router name router.example is resolved at the first send, port 9");
  named.AssignBroadcastHost("10.77.0.255");  // a dotted text is its address, never resolved
  EXPECT_EQ(RouteLinesOf(named, lan)[0], "nas: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network");
}

// Every request a probe causes, and the most of them in any one second.
struct TWire {
  std::vector<TTime> Requests;
  void Probe(TTime now, std::span<const TTime> offsets) {
    for (TTime o : offsets) Requests.push_back(now + o);
  }
  int Peak() {
    std::sort(Requests.begin(), Requests.end());
    int peak = 0;
    for (size_t i = 0; i < Requests.size(); ++i) {
      size_t j = i;
      while (j < Requests.size() && Requests[j] < Requests[i] + 1000ms) ++j;
      peak = std::max(peak, static_cast<int>(j - i));
    }
    return peak;
  }
};

TEST(ArpBudget, NoSecondHoldsMoreThanFifteenAndASweepLeavesRoom) {
  TArpBudget budget;
  TWire wire;
  int booked = 0;
  // Asked for as much as it gives, every 7 ms for a minute, new and rechecked entries alike.
  for (TTime now = 0ms; now < 60000ms; now += 7ms) {
    const auto& offsets = (now.count() / 7) % 3 ? kArpResolveRequests : kArpRecheckRequests;
    if (budget.Book(now, offsets)) {
      wire.Probe(now, offsets);
      ++booked;
    }
  }
  EXPECT_EQ(wire.Peak(), 15);
  EXPECT_GT(booked, 253);  // about 13 requests a second: a /24 of silent addresses in under a minute

  // With the sweep held to 10, candidates still find room.
  TArpBudget shared;
  for (int i = 0; i < 20; ++i) shared.Book(0ms, kArpResolveRequests, 1, 10);
  EXPECT_FALSE(shared.Book(10ms, kArpResolveRequests, 1, 10));
  EXPECT_TRUE(shared.Book(10ms, kArpResolveRequests, 0));
}

TEST(WakeWatch, CandidatesComeBeforeAnySweep) {
  // The table's entries for the MAC, whether they still answer or not.
  TWakeWatch watch(Lan(), false);
  watch.Add(Target("pc", kMac), Table({Seen("10.77.0.40", kMac), Seen("10.77.0.41", 0x020000000099),
                                            Seen("10.77.0.42", kMac, false)}),
            0ms);
  EXPECT_EQ(Due(watch, 0ms), Addresses({"10.77.0.40", "10.77.0.42"}));

  // "name (a.b.c.d)", a name that is an address, a unicast destination, the name server's answer.
  TWakeWatch named(Lan(), false);
  named.Add(Target("pc7 (10.77.0.7)", kMac, "255.255.255.255", 1), {}, 0ms);
  named.Add(Target("10.77.0.8", kMac + 1, "255.255.255.255", 2), {}, 0ms);
  named.Add(Target("nas", kMac + 2, "10.77.0.9", 3), {}, 0ms);
  named.Add(Target("Sleeper-35", kMac + 3, "255.255.255.255", 4), {}, 0ms, true);
  named.AddCandidates(4, Addresses({"10.77.0.35", "10.20.30.40", "10.77.0.2"}));  // off-link and our own dropped
  EXPECT_EQ(Due(named, 0ms), Addresses({"10.77.0.7", "10.77.0.8", "10.77.0.9", "10.77.0.35"}));
  EXPECT_TRUE(IsLookupName("Sleeper-35") && IsLookupName("nas.lan"));
  EXPECT_FALSE(IsLookupName("pc7 (10.77.0.7)") || IsLookupName("10.77.0.8") || IsLookupName("-x") ||
               IsLookupName("a..b"));

  // Without a candidate, 255.255.255.255 sweeps the network of the interface the route names,
  // our own address and those where another computer answers left out, and no sweep while a
  // scan runs.
  TWakeWatch swept(Lan(), false);
  swept.Add(Target("pc", kMac), Table({Seen("10.77.0.3", 0x0200000000EE, true, TNeighbourState::Reachable),
                                        Seen("10.77.0.4", 0x0200000000EF, false)}),
            0ms);
  EXPECT_TRUE(Due(swept, 0ms, true).empty());
  const auto first = Due(swept, 0ms);
  // Seven addresses at once fill the budget's first second, in which each asks twice.
  EXPECT_EQ(first, Addresses({"10.77.0.1", "10.77.0.4", "10.77.0.5", "10.77.0.6", "10.77.0.7", "10.77.0.8",
                              "10.77.0.9"}));
  EXPECT_EQ(swept.Lines(0ms), (std::vector<std::string>{
                                  "Waiting for pc to wake up",
                                  "Kestrune asks by ARP for 02-77-00-00-00-30 across 10.77.0.0/24, at most 15 "
                                  "requests a second, for up to 2 minutes."}));

  // Wider than one pass within a minute, and no candidate: not asked, and it says so.
  TWakeWatch wide(Lan("255.255.254.0"), false);
  wide.Add(Target("pc", kMac, "255.255.255.255", 1, Lan("255.255.254.0")), {}, 0ms);
  EXPECT_TRUE(Due(wide, 0ms).empty());
  EXPECT_TRUE(wide.Finished(0ms));
  EXPECT_EQ(wide.Lines(0ms).front(), "pc was not asked: its network is too wide to sweep");
}

TEST(WakeWatch, OutcomesFollowTheEvidence) {
  const auto lines = [](TWakeWatch& w, TTime now) { return w.Lines(now).front(); };
  // Silence after the send, then an answer there: it woke up, counted from the send.
  TWakeWatch woke(Lan(), false);
  woke.Add(Target("Sleeper-31", kMac), Table({Seen("10.77.0.31", kMac, false)}), 1000ms);
  EXPECT_EQ(lines(woke, 1000ms), "Waiting for Sleeper-31 to wake up");
  woke.Evidence(Silence("10.77.0.31", 4000ms));
  woke.Evidence(Answer("10.77.0.31", 0x020000000099, 5000ms));  // another computer's answer
  EXPECT_FALSE(woke.Finished(5000ms));
  woke.Evidence(Answer("10.77.0.31", kMac, 7900ms));
  EXPECT_EQ(lines(woke, 7900ms), "Sleeper-31 woke up after 6 s at 10.77.0.31");
  EXPECT_TRUE(woke.Finished(7900ms));

  // An answer without a silence before it: awake already, or woken before it was first asked.
  TWakeWatch after(Lan(), false);
  after.Add(Target("Awake", kMac), {}, 0ms);
  after.Evidence(Silence("10.77.0.60", 3000ms));  // elsewhere
  after.Evidence(Answer("10.77.0.61", kMac, 3200ms));
  EXPECT_EQ(lines(after, 3200ms), "Awake answered ARP at 10.77.0.61 3 s after the packet");
  EXPECT_NE(after.Lines(3200ms)[1].find("adapters answer ARP"), std::string::npos);

  // An entry held at the send that stays valid once checked answered before the packet; the
  // watch goes on, and a silence with a new answer after it is a wake.
  TWakeWatch before(Lan(), false);
  before.Add(Target("Awake", kMac), Table({Seen("10.77.0.60", kMac)}), 0ms);
  before.Evidence(Answer("10.77.0.60", kMac, 8000ms, true));
  EXPECT_EQ(lines(before, 8000ms), "Awake answered ARP at 10.77.0.60 before the packet was sent");
  EXPECT_NE(before.Lines(8000ms)[1].find("woke within those seconds"), std::string::npos);
  EXPECT_FALSE(before.Finished(8000ms));
  EXPECT_EQ(Due(before, 11000ms), Addresses({"10.77.0.60"}));  // once a silence there could show
  before.Evidence(Silence("10.77.0.60", 20000ms));
  before.Evidence(Answer("10.77.0.60", kMac, 31000ms));
  EXPECT_EQ(lines(before, 31000ms), "Awake woke up after 31 s at 10.77.0.60");
  // Windows: the Reachable state at the send is the system's own confirmation.
  TWakeWatch reachable(Lan(), false, true);
  reachable.Add(Target("Awake", kMac), Table({Seen("10.77.0.60", kMac, true, TNeighbourState::Reachable)}), 0ms);
  EXPECT_EQ(lines(reachable, 0ms), "Awake answered ARP at 10.77.0.60 before the packet was sent");
  EXPECT_NE(reachable.Lines(0ms)[1].find("fresh answer"), std::string::npos);
  // An entry that turned valid after the probe, though held at the send, is no answer from before.
  TWakeWatch fresh(Lan(), false);
  fresh.Add(Target("pc", kMac), Table({Seen("10.77.0.60", kMac)}), 0ms);
  fresh.Evidence(Answer("10.77.0.60", kMac, 2000ms));
  EXPECT_EQ(lines(fresh, 2000ms), "pc answered ARP at 10.77.0.60 2 s after the packet");

  // Only a computer that was asked "has not answered".
  TWakeWatch silent(Lan(), false, false, 10000ms);
  silent.Add(Target("Insomniac (10.77.0.34)", kMac), {}, 0ms);
  Due(silent, 0ms);
  silent.Evidence(Silence("10.77.0.34", 3000ms));
  EXPECT_EQ(silent.Lines(10000ms),
            (std::vector<std::string>{"Insomniac (10.77.0.34) has not answered after 2 minutes",
                                      "Check Wake-on-LAN in its firmware and its adapter's power settings, that the "
                                      "packet reaches its network (the same network, or a router that forwards it), "
                                      "and run Vellamar on a computer there to see it arrive."}));
  TWakeWatch searching(Lan(), false, false, 10000ms);
  searching.Add(Target("pc", kMac), {}, 0ms);
  Due(searching, 0ms, true);
  EXPECT_EQ(lines(searching, 10000ms), "pc was not asked while a search ran");

  // Through a router nothing can be seen; a computer without a MAC address is not watched.
  TWakeWatch away(Lan(), false);
  away.Add(Target("far", kMac, "10.20.30.255"), {}, 0ms);
  EXPECT_TRUE(Due(away, 0ms).empty());
  EXPECT_EQ(away.Lines(0ms), (std::vector<std::string>{"far is on another network: Kestrune cannot see it wake up",
                                                       "Its packet leaves through the router 10.77.0.1; Kestrune "
                                                       "sees a computer answer only on a network of this computer."}));
  TWakeWatch noMac(Lan(), false);
  noMac.Add(Target("blank", 0), Table({Seen("10.77.0.50", 0)}), 0ms);
  EXPECT_TRUE(Due(noMac, 0ms).empty());
  noMac.Evidence(Answer("10.77.0.50", 0, 100ms));
  EXPECT_EQ(lines(noMac, 100ms), "blank has no MAC address: Kestrune cannot see it wake up");
}

TEST(WakeWatch, GroupsNameEachKindApartAndCountRight) {
  TWakeWatch watch(Lan(), true);
  const TNeighbourTable table = Table({Seen("10.77.0.60", 0x02000000000A)});
  watch.Add(Target("A", 0x020000000001, "10.77.0.255", 1), table, 0ms);
  watch.Add(Target("B", 0x020000000002, "10.77.0.255", 2), table, 10ms);
  watch.Add(Target("C (10.77.0.33)", 0x020000000003, "10.77.0.255", 3), table, 20ms);
  watch.Add(Target("Far", 0x020000000004, "10.20.30.255", 4), table, 30ms);
  watch.Add(Target("Up", 0x02000000000A, "10.77.0.255", 5), table, 40ms);
  watch.Add(Target("Gone", 0x02000000000B, "10.77.0.255", 6), table, 50ms);
  EXPECT_EQ(watch.Lines(50ms).front(), "Waiting for 5 of 6 computers to wake up");
  watch.Evidence(Silence("10.77.0.31", 3000ms));
  watch.Evidence(Answer("10.77.0.31", 0x020000000001, 5000ms));
  watch.Evidence(Answer("10.77.0.32", 0x020000000002, 6000ms));
  watch.Evidence(Answer("10.77.0.60", 0x02000000000A, 8000ms, true));
  Due(watch, 8000ms);
  EXPECT_EQ(watch.Lines(8000ms)[0], "Waiting for 2 of 6 computers to wake up");
  // A deleted or edited computer leaves the watch at once.
  EXPECT_TRUE(watch.Remove(6));
  EXPECT_FALSE(watch.Remove(6));
  EXPECT_EQ(watch.Lines(8000ms, 4),
            (std::vector<std::string>{"Waiting for 1 of 5 computers to wake up", "Woke up: A",
                                      "Answered ARP after the packet, not seen silent before: B",
                                      "Answered ARP before the packet was sent: Up",
                                      "On another network, not seen from here: Far"}));
  const auto over = watch.Lines(120050ms);
  EXPECT_EQ(over[0], "3 of 5 computers answered ARP; not answering: C (10.77.0.33)");
  EXPECT_NE(over.back().find("Vellamar"), std::string::npos);

  TWakeWatch two(Lan(), true);
  two.Add(Target("A", 0x020000000001, "10.77.0.255", 1), {}, 0ms);
  two.Add(Target("B", 0x020000000002, "10.77.0.255", 2), {}, 0ms);
  two.Evidence(Answer("10.77.0.31", 0x020000000001, 5000ms));
  EXPECT_EQ(two.Lines(5000ms).front(), "Waiting for 1 of 2 computers to wake up");
  two.Evidence(Answer("10.77.0.32", 0x020000000002, 6000ms));
  EXPECT_TRUE(two.Finished(6000ms));
  EXPECT_EQ(two.Lines(6000ms).front(), "Both computers answered ARP");
  // Down to one computer, the watch speaks of it alone.
  two.Remove(1);
  EXPECT_EQ(two.Lines(6000ms).front(), "B answered ARP at 10.77.0.32 6 s after the packet");
}

// The system as Linux behaves for the watch: a probe asks up to three times a second apart and
// reports an answer to any of them, or a silence after 3 s; the table read every half second
// shows either that much later.
struct TModelLan {
  std::map<uint32_t, std::pair<TTime, uint64_t>> Awake;  // since when, with which MAC
  std::vector<std::pair<uint32_t, TTime>> Probes;
  void Probe(uint32_t address, TTime now) { Probes.push_back({address, now}); }
  void Deliver(TWakeWatch& watch, TTime now) {
    std::erase_if(Probes, [&](const std::pair<uint32_t, TTime>& p) {
      const auto awake = Awake.find(p.first);
      for (TTime ask : kArpResolveRequests) {
        if (awake != Awake.end() && awake->second.first <= p.second + ask) {
          if (p.second + ask + 500ms > now) return false;
          watch.Evidence({p.first, {TArpVerdict::Answered, awake->second.second, TAnswerKind::Fresh}, p.second + ask + 500ms});
          return true;
        }
      }
      if (p.second + 3500ms > now) return false;
      watch.Evidence({p.first, {TArpVerdict::Silent, 0, TAnswerKind::None}, p.second + 3500ms});
      return true;
    });
  }
};

TEST(WakeWatch, TenSleepersAndASweepStayWithinTheBudgetAndEachWakeShowsWithinThreeSeconds) {
  TWakeWatch watch(Lan(), true);
  TModelLan lan;
  TArpBudget budget;
  TWire wire;
  // Ten named computers that wake 10 s to 55 s after the send, and one never seen that a sweep must find.
  for (uint64_t i = 0; i < 10; ++i) {
    const std::string name = "pc (10.77.0." + std::to_string(100 + i) + ")";
    watch.Add({i + 1, name, 0x020000000100 + i, Target("x", 0).Route}, {}, 0ms);
  }
  watch.Add({11, "hidden", 0x020000000200, Target("x", 0).Route}, {}, 0ms);
  std::vector<TTime> seen(10, TTime::max());
  for (uint32_t i = 0; i < 10; ++i)
    lan.Awake[StrToIp("10.77.0.100") + i] = {TTime(10000 + 5000 * i), 0x020000000100 + i};
  lan.Awake[StrToIp("10.77.0.250")] = {0ms, 0x020000000200};
  for (TTime now = 0ms; now < 120000ms; now += 50ms) {
    lan.Deliver(watch, now);
    for (const auto& address : watch.Due(now, budget, false, Resolve)) {
      wire.Probe(now, kArpResolveRequests);
      lan.Probe(address, now);
    }
    const auto lines = watch.Lines(now, 1000);
    for (size_t i = 0; i < 10; ++i) {
      if (seen[i] == TTime::max() && lines.size() > 1 && lines[1].find("pc (10.77.0." + std::to_string(100 + i) + ")") != std::string::npos)
        seen[i] = now;
    }
  }
  EXPECT_LE(wire.Peak(), 15);
  for (size_t i = 0; i < 10; ++i) EXPECT_LE(seen[i] - TTime(10000 + 5000 * static_cast<int>(i)), 3000ms) << i;
  EXPECT_EQ(watch.Lines(120000ms)[0], "All 11 computers answered ARP");
}

// One round of the watch's probes with the platform's clock in the test's hand; the ARP requests
// the budget booked for them are recorded.
struct TProbeRun {
  TManualClock Clock;
  TArpBudget Budget;
  TWire Wire;
  std::vector<uint32_t> Round(TWakeWatch& watch, IWakeProber& prober) {
    const auto asked = watch.Due(Clock.Now(), Budget, false, [&](uint32_t a) { return prober.RequestsOf(a); });
    for (uint32_t a : asked) {
      Wire.Probe(Clock.Now(), prober.RequestsOf(a));
      prober.Ask(a, Clock.Now());
    }
    return asked;
  }
  // The one resolution under way blocks on its own thread: the clock moves to its end once it
  // sleeps, and what it learnt goes to the watch once it returned.
  void Resolve(TWakeWatch& watch, IWakeProber& prober) {
    const auto waitFor = [](const std::function<bool()>& done) {
      for (int i = 0; i < 400 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    waitFor([&] { return Clock.Sleepers() == 1; });
    ASSERT_TRUE(Clock.NextWake());
    Clock.Advance(*Clock.NextWake() - Clock.Now());
    std::vector<TAddressEvidence> learnt;
    waitFor([&] { return !(learnt = prober.Collect({}, Clock.Now())).empty(); });
    ASSERT_EQ(learnt.size(), 1u);
    watch.Evidence(learnt.front());
  }
  // The table read every half second until then, as the watch reads it.
  void Read(TWakeWatch& watch, IWakeProber& prober, INeighbourPlatform& platform, TTime until) {
    while (Clock.Now() < until) {
      Clock.Advance(500ms);
      for (const auto& e : prober.Collect(platform.ReadTable(), Clock.Now())) watch.Evidence(e);
    }
  }
};

TEST(WakeProbes, OnWindowsEachProbeIsAResolutionThatBlocksUntilAnAnswerOrThreeSeconds) {
  TProbeRun run;
  TWindowsStandIn windows(run.Clock);
  auto prober = MakeWakeProber(windows, run.Clock);
  // A Reachable entry at the send is the system's own word: answered before the packet.
  windows.Cache(StrToIp("10.77.0.60"), 0x02000000000A, TNeighbourState::Reachable);
  TWakeWatch awake(Lan(), false, true);
  awake.Add(Target("Awake", 0x02000000000A), windows.ReadTable(), run.Clock.Now());
  EXPECT_EQ(awake.Lines(run.Clock.Now())[0], "Awake answered ARP at 10.77.0.60 before the packet was sent");

  TWakeWatch sleeper(Lan(), false, true);
  sleeper.Add(Target("pc (10.77.0.31)", kMac), windows.ReadTable(), run.Clock.Now());
  EXPECT_EQ(run.Round(sleeper, *prober), Addresses({"10.77.0.31"}));
  run.Resolve(sleeper, *prober);  // silent: the resolution fails after 3 s
  EXPECT_EQ(run.Clock.Now(), 3000ms);
  EXPECT_EQ(sleeper.Lines(run.Clock.Now())[0], "Waiting for pc (10.77.0.31) to wake up");
  windows.Present(StrToIp("10.77.0.31"), kMac);
  EXPECT_EQ(run.Round(sleeper, *prober), Addresses({"10.77.0.31"}));
  run.Resolve(sleeper, *prober);
  EXPECT_EQ(sleeper.Lines(run.Clock.Now())[0], "pc (10.77.0.31) woke up after 3 s at 10.77.0.31");
  EXPECT_EQ(windows.Requests(), 4);  // three for the silence, one for the answer
}

TEST(WakeProbes, OnWindowsAStaticEntrySetByHandIsNotFlushedByTheWatch) {
  // The user set a static entry here so that a packet to the sleeping computer's address gets
  // there; the system sends to that MAC without asking, and a resolution flushes the entry.
  TProbeRun run;
  TWindowsStandIn windows(run.Clock);
  auto prober = MakeWakeProber(windows, run.Clock);
  windows.Cache(StrToIp("10.77.0.31"), kMac, TNeighbourState::Permanent);
  TWakeWatch watch(Lan(), false, true);
  watch.Add(Target("Desk", kMac, "10.77.0.31"), windows.ReadTable(), run.Clock.Now());
  if (!run.Round(watch, *prober).empty()) run.Resolve(watch, *prober);
  const TNeighbourTable after = windows.ReadTable();
  const TNeighbourEntry* entry = after.Find(StrToIp("10.77.0.31"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->State, TNeighbourState::Permanent);
  EXPECT_EQ(entry->Mac, kMac);
}

TEST(WakeProbes, UnderWineEachProbeIsADatagramThatTheTableDecides) {
  TProbeRun run;
  test::TLinuxNeighbours linux(run.Clock);
  auto prober = MakeWakeProber(linux, run.Clock);
  // An entry left from before the send, of a computer asleep since: Linux checks it 5 s after the
  // datagram and it fails; the answer after that is a wake.
  linux.Leave(StrToIp("10.77.0.31"), kMac, test::TLinuxNeighbours::TState::Stale);
  TWakeWatch watch(Lan(), false, false);
  watch.Add(Target("pc", kMac), linux.ReadTable(), run.Clock.Now());
  prober->Collect(linux.ReadTable(), run.Clock.Now());
  ASSERT_EQ(run.Round(watch, *prober), Addresses({"10.77.0.31"}));
  EXPECT_EQ(prober->RequestsOf(StrToIp("10.77.0.31")).front(), 5000ms);
  run.Read(watch, *prober, linux, 8000ms);
  EXPECT_EQ(watch.Lines(run.Clock.Now())[0], "Waiting for pc to wake up");
  linux.Present(StrToIp("10.77.0.31"), kMac);
  ASSERT_EQ(run.Round(watch, *prober), Addresses({"10.77.0.31"}));
  run.Read(watch, *prober, linux, 8500ms);
  EXPECT_EQ(watch.Lines(run.Clock.Now())[0], "pc woke up after 8 s at 10.77.0.31");
  EXPECT_EQ(linux.Solicited(StrToIp("10.77.0.31")), 2);
}

}  // namespace
}  // namespace kst
