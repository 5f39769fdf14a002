#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "sender/wake_assistant.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using TTime = TWakeWatch::TTime;

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

std::string FirstRouteLine(const THostRecord& r, const std::vector<TNetworkInterface>& interfaces) {
  const auto isLocal = [&](uint32_t a) { return a == StrToIp("10.77.0.2") || a == StrToIp("192.168.9.4"); };
  return RouteLines(r, FindRoute(r, interfaces, isLocal)).front();
}

TNeighbourRow Row(const char* address, uint64_t mac) {
  TNeighbourRow row;
  row.Address = StrToIp(address);
  row.Type = 3;
  row.PhysicalLength = 6;
  for (int i = 0; i < 6; ++i) row.Physical[static_cast<size_t>(i)] = static_cast<uint8_t>(mac >> (40 - 8 * i));
  return row;
}

TWatchTarget Target(const char* name, uint64_t mac, const char* destination = "10.77.0.255", uint64_t id = 1) {
  return {id, name, mac, StrToIp(destination)};
}

TEST(WakeRoute, EveryRouteCaseHasItsLine) {
  const auto lan = Lan();
  EXPECT_EQ(FirstRouteLine(Computer("Office-PC", "10.77.0.255", "10.77.0.2"), lan),
            "Office-PC: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network");
  // "any": the address the system picks for the destination, from the network that holds it.
  EXPECT_EQ(FirstRouteLine(Computer("lab", "192.168.9.255"), lan),
            "lab: from 192.168.9.4 (lab1) to 192.168.9.255, port 9, on this network");
  EXPECT_EQ(FirstRouteLine(Computer("far", "10.20.30.255"), lan),
            "far: from 10.77.0.2 (lan0) to 10.20.30.255, port 9, through the gateway 10.77.0.1");
  const THostRecord far = Computer("far", "10.20.30.255");
  EXPECT_EQ(RouteLines(far, FindRoute(far, lan, [](uint32_t) { return true; }))[1],
            "Routers usually drop broadcasts meant for another network: on the router 10.77.0.1, forward UDP port 9 "
            "to 10.20.30.255 (a directed-broadcast rule), or send from a computer of that network.");
  // Bound to an address whose network has no router, off that network: the default router.
  EXPECT_EQ(FirstRouteLine(Computer("via", "10.20.30.255", "192.168.9.4"), lan),
            "via: from 192.168.9.4 (lab1) to 10.20.30.255, port 9, through the gateway 10.77.0.1");
  EXPECT_EQ(FirstRouteLine(Computer("old", "10.77.0.255", "10.77.0.3"), lan),
            "old: the local address 10.77.0.3 is not on this computer");
  THostRecord named = Computer("nas", "");
  named.AssignBroadcastHost("router.example");
  EXPECT_EQ(FirstRouteLine(named, lan), "nas: the router name router.example is resolved at the first send, port 9");
  named.AssignBroadcastHost("10.77.0.255");  // a dotted text is its address, never resolved
  EXPECT_EQ(FirstRouteLine(named, lan), "nas: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network");
}

TEST(WakeWatch, CandidatesComeFromTheTableTheNameOrASweepOfASmallLocalNetwork) {
  TWakeWatch watch(Lan(), false);
  const std::vector<TNeighbourRow> table{Row("10.77.0.40", kMac), Row("10.77.0.41", 0x020000000099)};
  watch.Add(Target("pc", kMac), table, 0ms);
  EXPECT_EQ(watch.Due(table, 0ms, false).Probe, std::vector<uint32_t>{StrToIp("10.77.0.40")});

  TWakeWatch named(Lan(), false);
  named.Add(Target("pc7 (10.77.0.7)", kMac), {}, 0ms);
  EXPECT_EQ(named.Due({}, 0ms, false).Probe, std::vector<uint32_t>{StrToIp("10.77.0.7")});
  EXPECT_EQ(AddressInName("pc (1.2.3)"), 0u);

  TWakeWatch swept(Lan(), false);
  swept.Add(Target("pc", kMac), {}, 0ms);
  const auto probe = swept.Due({}, 0ms, false).Probe;
  ASSERT_EQ(probe.size(), 253u);  // 10.77.0.1 to .254 but our own .2
  EXPECT_EQ(probe.front(), StrToIp("10.77.0.1"));
  EXPECT_EQ(probe[1], StrToIp("10.77.0.3"));
  EXPECT_EQ(probe.back(), StrToIp("10.77.0.254"));

  TWakeWatch wide(Lan("255.255.248.0"), false);  // 2,048 addresses: too wide to sweep
  wide.Add(Target("pc", kMac, "10.77.7.255"), {}, 0ms);
  EXPECT_EQ(wide.Lines(0ms).front(), "pc is on another network: Kestrune cannot see it wake up");
  TWakeWatch away(Lan(), false);
  away.Add(Target("far", kMac, "10.20.30.255"), {}, 0ms);
  EXPECT_TRUE(away.Due({}, 0ms, false).Probe.empty());
  EXPECT_EQ(away.Lines(0ms).front(), "far is on another network: Kestrune cannot see it wake up");
  EXPECT_TRUE(away.Finished(0ms));
}

TEST(WakeWatch, AnEntryCachedFromBeforeTheSendIsNotAnAnswer) {
  TWakeWatch watch(Lan(), false);
  const std::vector<TNeighbourRow> table{Row("10.77.0.40", kMac)};
  watch.Add(Target("Office-PC", kMac), table, 1000ms);
  watch.Answer(StrToIp("10.77.0.40"), kMac, 1500ms);
  EXPECT_EQ(watch.Lines(1500ms).front(), "Waiting for Office-PC to wake up");
  // The entry went (the computer slept), then an answer came back: that one counts.
  watch.Answer(StrToIp("10.77.0.40"), 0, 4000ms);
  watch.Answer(StrToIp("10.77.0.40"), kMac, 7900ms);
  EXPECT_EQ(watch.Lines(7900ms).front(), "Office-PC woke up after 6 s at 10.77.0.40");
  EXPECT_TRUE(watch.Finished(7900ms));

  // A new entry for the MAC, on an address not cached before the send, counts at once; another
  // MAC's answer does not.
  TWakeWatch fresh(Lan(), false);
  fresh.Add(Target("pc", kMac), table, 0ms);
  fresh.Answer(StrToIp("10.77.0.50"), 0x020000000099, 3000ms);
  EXPECT_FALSE(fresh.Finished(3000ms));
  fresh.Answer(StrToIp("10.77.0.50"), kMac, 5200ms);
  EXPECT_EQ(fresh.Lines(5200ms).front(), "pc woke up after 5 s at 10.77.0.50");

  // Read from the table between probes: the same rule.
  TWakeWatch read(Lan(), false);
  read.Add(Target("pc", kMac), table, 0ms);
  read.Table(table, 2000ms);
  EXPECT_FALSE(read.Finished(2000ms));
  read.Table({}, 4000ms);  // the entry has gone
  read.Table(table, 8500ms);
  EXPECT_EQ(read.Lines(8500ms).front(), "pc woke up after 8 s at 10.77.0.40");
}

TEST(WakeWatch, ProbesEveryTwoSecondsSweepsByWidthNotDuringAScanAndGivesUpAfterTwoMinutes) {
  TWakeWatch watch(Lan("255.255.252.0"), false);  // 1,024 addresses: swept every 10 s
  const std::vector<TNeighbourRow> none;
  watch.Add(Target("pc", kMac, "10.77.3.255"), none, 0ms);
  EXPECT_EQ(watch.Due(none, 0ms, false).Probe.size(), 1021u);
  EXPECT_TRUE(watch.Due(none, 2000ms, false).Probe.empty());
  EXPECT_TRUE(watch.Due(none, 10000ms, true).Probe.empty());  // a scan runs
  EXPECT_EQ(watch.NextDue(), 12000ms);
  EXPECT_EQ(watch.Due(none, 12000ms, false).Probe.size(), 1021u);
  // A computer seen in the table is probed every 2 s, no more.
  TWakeWatch seen(Lan(), false);
  const std::vector<TNeighbourRow> table{Row("10.77.0.40", kMac)};
  seen.Add(Target("pc", kMac), table, 0ms);
  EXPECT_EQ(seen.Due(table, 0ms, false).Probe.size(), 1u);
  EXPECT_TRUE(seen.Due(table, 1999ms, false).Probe.empty());
  EXPECT_EQ(seen.Due(table, 2000ms, false).Probe.size(), 1u);
  EXPECT_FALSE(seen.Finished(119999ms));
  EXPECT_TRUE(seen.Finished(120000ms));
  EXPECT_EQ(seen.Lines(120000ms)[0], "pc has not answered after 2 minutes");
  EXPECT_NE(seen.Lines(120000ms)[1].find("Vellamar"), std::string::npos);
  // Sending to it again starts the two minutes again.
  seen.Add(Target("pc", kMac), table, 100000ms);
  EXPECT_FALSE(seen.Finished(219999ms));
  EXPECT_EQ(seen.Lines(150000ms).front(), "Waiting for pc to wake up");
  EXPECT_TRUE(seen.Finished(220000ms));
}

TEST(WakeWatch, SendToAllCountsItsComputers) {
  TWakeWatch watch(Lan(), true);
  watch.Add(Target("A", 0x020000000001, "10.77.0.255", 1), {}, 0ms);
  watch.Add(Target("B", 0x020000000002, "10.77.0.255", 2), {}, 100ms);
  watch.Add(Target("C", 0x020000000003, "10.77.0.255", 3), {}, 200ms);
  watch.Add(Target("Far", 0x020000000004, "10.20.30.255", 4), {}, 300ms);
  EXPECT_EQ(watch.Lines(300ms).front(), "Waiting for 3 of 4 computers to wake up");
  watch.Answer(StrToIp("10.77.0.31"), 0x020000000001, 5000ms);
  watch.Answer(StrToIp("10.77.0.32"), 0x020000000002, 6000ms);
  EXPECT_EQ(watch.Lines(6000ms).front(), "Waiting for 1 of 4 computers to wake up");
  EXPECT_FALSE(watch.Finished(120299ms));
  const auto lines = watch.Lines(120300ms, 4);
  EXPECT_EQ(lines[0], "2 of 4 computers woke up; not answering: C, \xE2\x80\xA6");
  EXPECT_EQ(watch.Lines(120300ms)[0], "2 of 4 computers woke up; not answering: C, Far");

  TWakeWatch all(Lan(), true);
  all.Add(Target("A", 0x020000000001, "10.77.0.255", 1), {}, 0ms);
  all.Add(Target("B", 0x020000000002, "10.77.0.255", 2), {}, 0ms);
  all.Answer(StrToIp("10.77.0.31"), 0x020000000001, 5000ms);
  all.Answer(StrToIp("10.77.0.32"), 0x020000000002, 6000ms);
  EXPECT_TRUE(all.Finished(6000ms));
  EXPECT_EQ(all.Lines(6000ms).front(), "All 2 computers woke up");
}

}  // namespace
}  // namespace kst
