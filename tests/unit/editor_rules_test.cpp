#include <gtest/gtest.h>

#include "sender/editor_rules.h"

namespace kst {
namespace {

std::string Resolver(std::string_view text) {
  if (text == "router.lan") return "10.77.0.1";
  if (text == "10.77.0.255" || text == "255.255.255.255" || text == "0.0.0.0") return std::string(text);
  return "";
}

std::unique_ptr<THostRecord> Host(std::string name, uint64_t mac) {
  auto r = std::make_unique<THostRecord>();
  r->ComputerName = std::move(name);
  r->MacAddress = mac;
  return r;
}

TEST(EditorRules, FiltersRemoveFirstForbiddenCharacterOnly) {
  EXPECT_EQ(FilterDestinationText("rou_ter:1"), "router:1");
  EXPECT_EQ(FilterDestinationText("Ab-9.z"), std::nullopt);
  EXPECT_EQ(FilterDigits("7a"), "7");
  EXPECT_EQ(FilterDigits("1.2"), "12");
  EXPECT_EQ(FilterDigits("65535"), std::nullopt);
  EXPECT_TRUE(OctetNeedsSelection("300"));
  EXPECT_TRUE(OctetNeedsSelection("256"));
  EXPECT_FALSE(OctetNeedsSelection("255"));
  EXPECT_FALSE(OctetNeedsSelection(""));
}

TEST(EditorRules, HostChecksInOrderAndNothingWrittenOnFailure) {
  TKestruneState state;
  state.Settings.HostPort = 9;
  THostInput in{"", "zz", "12", "nowhere.invalid", "65536", "any"};
  auto check = [&](const char* text, THostField field) {
    auto failure = SaveHost(state, {}, in, Resolver);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Text, text);
    EXPECT_EQ(failure->Field, field);
  };
  check("No computer name.", THostField::Name);
  in.Name = " ";  // blanks are a name
  check("Wrong MAC address.", THostField::Mac);
  in.Mac = "00-00-00-00-00-00";
  check("Wrong MAC address.", THostField::Mac);
  in.Mac = "aa:bb:cc:dd:ee:ff";
  check("Wrong SecureOn password.", THostField::Password);
  in.Password = "";
  check("Wrong broadcast address.", THostField::Destination);
  in.Destination = "0.0.0.0";
  check("Wrong broadcast address.", THostField::Destination);
  in.Destination = "router.lan";
  check("Wrong port number.", THostField::Port);
  EXPECT_TRUE(state.HostList.empty());
  EXPECT_EQ(state.Settings.HostPort, 9);
  EXPECT_EQ(state.Settings.HostBroadcastHost, "");
  in.Port = "65535";
  in.Name = std::string(70, 'n');
  in.LocalItem = "10.77.0.2";
  EXPECT_FALSE(SaveHost(state, {}, in, Resolver).has_value());
  ASSERT_EQ(state.HostList.size(), 1u);
  const THostRecord& r = *state.HostList[0];
  EXPECT_EQ(r.ComputerName, std::string(64, 'n'));
  EXPECT_EQ(r.MacAddress, 0xAABBCCDDEEFFull);
  EXPECT_EQ(r.Password, 0u);
  EXPECT_EQ(r.BroadcastAddress, 0x0A4D0001u);
  EXPECT_EQ(r.BroadcastHost, "router.lan");
  EXPECT_EQ(r.LocalIpAddress, 0x0A4D0002u);
  EXPECT_EQ(r.Port, 65535);
  EXPECT_EQ(state.Settings.HostBroadcastHost, "router.lan");
  EXPECT_EQ(state.Settings.HostBroadcastAddress, 0x0A4D0001u);
  EXPECT_EQ(state.Settings.HostPort, 65535);
  // An address as destination: no host name, and the edit is in place.
  in.Destination = "10.77.0.255";
  in.Port = "1";
  in.LocalItem = "any";
  EXPECT_FALSE(SaveHost(state, HostTarget(state, 0), in, Resolver).has_value());
  ASSERT_EQ(state.HostList.size(), 1u);
  EXPECT_EQ(state.HostList[0]->BroadcastHost, "");
  EXPECT_EQ(state.HostList[0]->LocalIpAddress, 0u);
  EXPECT_EQ(state.Settings.HostBroadcastHost, "");
}

TEST(EditorRules, HostFillingForNewAndExisting) {
  TKestruneState state;
  state.Settings.HostBroadcastHost = "router.lan";
  state.Settings.HostPort = 9;
  state.Settings.SearchBroadcastAddress = 0x0A4D00FF;
  auto fresh = FillHostEditor(state, {}, {"10.77.0.2", "10.78.0.2"});
  EXPECT_TRUE(fresh.IsNew);
  EXPECT_EQ(fresh.Port, "9");
  EXPECT_EQ(fresh.Destinations, (std::vector<std::string>{"255.255.255.255", "10.77.0.255", "router.lan"}));
  EXPECT_EQ(fresh.DestinationIndex, 2);
  EXPECT_EQ(fresh.LocalItems, (std::vector<std::string>{"any", "10.77.0.2", "10.78.0.2"}));
  EXPECT_EQ(fresh.LocalIndex, 1);
  EXPECT_EQ(FillHostEditor(state, {}, {}).LocalIndex, 0);

  auto r = Host("pc", 0xAABBCCDDEEFF);
  r->BroadcastAddress = 0x0A4D00FF;
  r->LocalIpAddress = 0x0A4D0063;  // not a local address any more
  r->Port = 40000;
  state.HostList.push_back(std::move(r));
  auto old = FillHostEditor(state, HostTarget(state, 0), {"10.77.0.2"});
  EXPECT_FALSE(old.IsNew);
  EXPECT_EQ(old.Name, "pc");
  EXPECT_EQ(old.Mac, "AA-BB-CC-DD-EE-FF");
  EXPECT_EQ(old.Password, "");
  EXPECT_EQ(old.Port, "40000");
  EXPECT_EQ(old.Destinations, (std::vector<std::string>{"255.255.255.255", "10.77.0.255"}));
  EXPECT_EQ(old.DestinationIndex, 1);
  EXPECT_EQ(old.LocalIndex, 0);
  EXPECT_TRUE(HostTarget(state, 1).IsNew);  // outside the list
}

TEST(EditorRules, NewOrExistingIsDecidedWhenTheEditorOpensAndHoldsWhileTheListChanges) {
  // Enter on the blank row of an empty list: a new computer, also once a scan has added one.
  TKestruneState state;
  const THostTarget blankRow = HostTarget(state, 0);
  state.NewHostList.push_back(Host("found", 0x020000000001));
  ASSERT_TRUE(CreateNewListing(state));
  EXPECT_TRUE(FillHostEditor(state, blankRow, {}).IsNew);
  THostInput in{"typed", "02-00-00-00-00-09", "", "255.255.255.255", "7", "any"};
  EXPECT_FALSE(SaveHost(state, blankRow, in, Resolver).has_value());
  ASSERT_EQ(state.HostList.size(), 2u);
  EXPECT_EQ(state.HostList[0]->ComputerName, "found");
  EXPECT_EQ(state.HostList[0]->MacAddress, 0x020000000001u);
  EXPECT_EQ(state.HostList[1]->ComputerName, "typed");

  // An existing computer is the one that was opened, wherever the list moves it.
  const THostTarget typed = HostTarget(state, 1);
  state.HostList.erase(state.HostList.begin());
  EXPECT_EQ(FillHostEditor(state, typed, {}).Name, "typed");
  in.Name = "renamed";
  EXPECT_FALSE(SaveHost(state, typed, in, Resolver).has_value());
  ASSERT_EQ(state.HostList.size(), 1u);
  EXPECT_EQ(state.HostList[0]->ComputerName, "renamed");
  // Gone meanwhile: what was typed is kept as a new computer.
  state.HostList.clear();
  in.Name = "kept";
  EXPECT_FALSE(SaveHost(state, typed, in, Resolver).has_value());
  ASSERT_EQ(state.HostList.size(), 1u);
  EXPECT_EQ(state.HostList[0]->ComputerName, "kept");
}

TEST(EditorRules, SearchFillingAndChecksInOrder) {
  TSharedSettings s = TSharedSettings::ForNetwork(0xC0A8010A, 0xFFFFFF00);
  auto fill = FillSearch(s);
  EXPECT_EQ(fill.From[0] + " " + fill.From[1] + " " + fill.From[2] + " " + fill.From[3], "192 168 1 1");
  EXPECT_EQ(fill.To[3], "254");
  EXPECT_EQ(fill.Broadcasts, (std::vector<std::string>{"255.255.255.255", "192.168.1.255"}));
  EXPECT_EQ(fill.BroadcastIndex, 0);
  EXPECT_EQ(fill.Port, "7");

  const TSharedSettings before = s;
  TSearchInput in{{"10", "77", "0", "300"}, {"10", "77", "0", ""}, "nowhere.invalid", "0"};
  auto check = [&](const char* text, TSearchField field) {
    auto failure = AcceptSearch(s, in, Resolver);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->Text, text);
    EXPECT_EQ(failure->Field, field);
  };
  check("Wrong From IP address.", TSearchField::From1);
  in.From[3] = "5";
  check("Wrong To IP address.", TSearchField::To1);
  in.To[3] = "4";
  check("Wrong IP address range.", TSearchField::To4);
  in.To[3] = "5";  // a range of one address
  check("Wrong broadcast address.", TSearchField::Broadcast);
  in.Broadcast = "router.lan";
  check("Wrong port number.", TSearchField::Port);
  EXPECT_EQ(s.SearchFromIpAddress, before.SearchFromIpAddress);
  EXPECT_EQ(s.SearchPort, before.SearchPort);
  in.Port = "9";
  EXPECT_FALSE(AcceptSearch(s, in, Resolver).has_value());
  EXPECT_EQ(s.SearchFromIpAddress, 0x0A4D0005u);
  EXPECT_EQ(s.SearchToIpAddress, 0x0A4D0005u);
  EXPECT_EQ(s.SearchBroadcastAddress, 0x0A4D0001u);
  EXPECT_EQ(s.SearchBroadcastHost, "router.lan");
  EXPECT_EQ(s.SearchPort, 9);
  EXPECT_EQ(ScanCountOf(s), 1);
  EXPECT_EQ(FillSearch(s).Broadcasts, (std::vector<std::string>{"255.255.255.255", "10.77.0.1", "router.lan"}));
}

TEST(EditorRules, FoundNamesAndProgressText) {
  EXPECT_EQ(FoundComputerName("pc1", "10.77.0.7"), "pc1 (10.77.0.7)");
  EXPECT_EQ(FoundComputerName("", "10.77.0.7"), "10.77.0.7");
  EXPECT_EQ(FoundComputerName("10.77.0.7", "10.77.0.7"), "10.77.0.7");
  EXPECT_EQ(FoundComputerName(std::string(60, 'h'), "10.77.0.7"), std::string(60, 'h') + " (10");
  EXPECT_EQ(ScanCountText(3, 254), "Scanned 3 of 254 IP addresses");
}

TEST(EditorRules, GetNewHostsDropsListedMacsAndMergeKeepsOrder) {
  TKestruneState state;
  state.NewHostList.push_back(Host("a", 1));
  state.NewHostList.push_back(Host("b", 2));
  EXPECT_EQ(GetNewHosts(state), 2);  // empty list: all new
  state.NewHostList.push_back(Host("c", 2));
  state.NewHostList.push_back(Host("d", 0x1000000000001ull));  // differs above bit 47
  state.HostList.push_back(Host("other name", 1));
  EXPECT_EQ(GetNewHosts(state), 3);
  ASSERT_TRUE(CreateNewListing(state));
  ASSERT_EQ(state.HostList.size(), 4u);
  EXPECT_EQ(state.HostList[1]->ComputerName, "b");
  EXPECT_EQ(state.HostList[2]->ComputerName, "c");
  EXPECT_EQ(state.HostList[3]->ComputerName, "d");
  EXPECT_TRUE(state.NewHostList.empty());
  EXPECT_FALSE(CreateNewListing(state));
}

}  // namespace
}  // namespace kst
