#include <gtest/gtest.h>

#include "sender/host_record.h"

namespace kst {
namespace {

std::unique_ptr<THostRecord> Record(std::string name) {
  auto r = std::make_unique<THostRecord>();
  r->AssignComputerName(name);
  return r;
}

TEST(HostRecord, TextFieldsAreCutNotRefused) {
  THostRecord r;
  r.AssignComputerName(std::string(70, 'n'));
  EXPECT_EQ(r.ComputerName, std::string(64, 'n'));
  r.AssignComputerName(std::string(64, 'm'));
  EXPECT_EQ(r.ComputerName.size(), 64u);
  r.AssignBroadcastHost(std::string(300, 'h'));
  EXPECT_EQ(r.BroadcastHost, std::string(255, 'h'));
  // Characters, not bytes: a two-byte letter at the cut stays whole.
  r.AssignComputerName(std::string(63, 'a') + "\xC3\xA4\xC3\xA4");
  EXPECT_EQ(r.ComputerName, std::string(63, 'a') + "\xC3\xA4");
}

// Text from a damaged store or another program: a byte that is no whole character counts as
// one character (it becomes one replacement character on the screen), so that no text is
// longer than four bytes a character and no whole character is split.
TEST(HostRecord, TextThatIsNotUtf8IsCutByTheSameCount) {
  THostRecord r;
  r.AssignComputerName(std::string(300, '\x80'));  // continuation bytes only
  EXPECT_EQ(r.ComputerName, std::string(64, '\x80'));
  r.AssignComputerName(std::string(62, 'a') + "\xE2\x82" + "\xE2\x82\xAC");  // a cut euro sign, then a whole one
  EXPECT_EQ(r.ComputerName, std::string(62, 'a') + "\xE2\x82");
  r.AssignComputerName(std::string(63, 'a') + "\xF0\x9F\x98\x80" + "b");  // a four-byte character at the cut
  EXPECT_EQ(r.ComputerName, std::string(63, 'a') + "\xF0\x9F\x98\x80");
  r.AssignComputerName(std::string(63, 'a') + "\xED\xA0\x80");  // an encoded surrogate: three characters
  EXPECT_EQ(r.ComputerName, std::string(63, 'a') + "\xED");
  r.AssignBroadcastHost("");
  EXPECT_EQ(r.BroadcastHost, "");
  r.AssignBroadcastHost(std::string(254, 'h') + "\xC0\xAF" + "x");  // an overlong "/": two characters
  EXPECT_EQ(r.BroadcastHost, std::string(254, 'h') + "\xC0");
}

TEST(HostRecord, DestinationForSendingAndForShowing) {
  THostRecord r;
  r.BroadcastHost = "router.example";
  EXPECT_EQ(r.DestinationText(), "router.example");
  EXPECT_EQ(r.DisplayDestination(), "router.example");
  r.BroadcastAddress = 0xFFFFFFFF0A4D00FFull;  // only the low 32 bits are the address
  EXPECT_EQ(r.DestinationText(), "10.77.0.255");
  EXPECT_EQ(r.DisplayDestination(), "router.example");
  r.BroadcastHost.clear();
  EXPECT_EQ(r.DisplayDestination(), "10.77.0.255");
}

TEST(HostList, GetHostIndexFindsFirstLowerCasedMatch) {
  THostList list;
  list.push_back(Record("Server"));
  list.push_back(Record("OFFICE-PC"));
  list.push_back(Record("office-pc"));
  EXPECT_EQ(GetHostIndex(list, "office-pc"), 1);
  EXPECT_EQ(GetHostIndex(list, "server"), 0);
  EXPECT_EQ(GetHostIndex(list, "OFFICE-PC"), -1);  // the argument is not converted
  EXPECT_EQ(GetHostIndex(list, "laptop"), -1);
  EXPECT_EQ(GetHostIndex(THostList{}, "server"), -1);
}

TEST(HostList, ClearListAndMembership) {
  THostList list;
  list.push_back(Record("a"));
  list.push_back(Record("b"));
  const THostRecord* second = list[1].get();
  EXPECT_TRUE(ContainsRecord(list, second));
  THostRecord equal = *second;
  EXPECT_FALSE(ContainsRecord(list, &equal));  // identity, not equality
  ClearList(&list);
  EXPECT_TRUE(list.empty());
  ClearList(nullptr);  // a missing list is left alone
}

TEST(SharedSettings, NetworkDefaults) {
  TKestruneState state;
  state.SetNetworkDefaults(0xC0A8010A, 0xFFFFFF00);  // 192.168.1.10/24
  EXPECT_EQ(state.NetworkAddress, 0xC0A80100u);
  EXPECT_EQ(state.NetworkMask, 0xFFFFFF00u);
  EXPECT_EQ(state.Settings.HostBroadcastAddress, 0xC0A801FFu);
  EXPECT_EQ(state.Settings.SearchBroadcastAddress, 0xC0A801FFu);
  EXPECT_EQ(state.Settings.SearchFromIpAddress, 0xC0A80101u);
  EXPECT_EQ(state.Settings.SearchToIpAddress, 0xC0A801FEu);
  EXPECT_EQ(state.Settings.HostPort, 7);
  EXPECT_EQ(state.Settings.SearchPort, 7);
  EXPECT_TRUE(state.Settings.HostBroadcastHost.empty());
  // No primary address: network 0, broadcast from the mask alone.
  state.SetNetworkDefaults(0, 0xFFFFFF00);
  EXPECT_EQ(state.Settings.HostBroadcastAddress, 0x000000FFu);
  EXPECT_EQ(state.Settings.SearchFromIpAddress, 1u);
}

}  // namespace
}  // namespace kst
