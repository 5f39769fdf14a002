// The Windows platform of the neighbour evidence over IP Helper calls that behave as Windows
// documents them, since Wine lacks ResolveIpNetEntry2 and a working SendARP: what the portable
// side receives from each of their answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <future>
#include <iterator>
#include <mutex>
#include <vector>

#include "netcore/address_text.h"
#include "netcore/win32/ip_helper_win32.h"

namespace kst {
namespace {

// A silent address costs the system three requests a second apart: Windows' usual default, not a
// documented figure. An answer comes within a millisecond on a LAN.
constexpr DWORD kGiveUpMs = 3000;
constexpr DWORD kAnswerMs = 1;
constexpr DWORD kLanInterface = 7;
constexpr DWORD kGoneInterface = 9;

// What the stand-ins were asked and what they hold. One test at a time uses them.
struct TFakeSystem {
  std::mutex Lock;
  std::vector<ULONG> BestInterfaceAsked;  // dwDestAddr as given
  std::vector<MIB_IPNET_ROW2> RowsAsked;  // rows as ResolveIpNetEntry2 received them
  struct TArpCall {
    IPAddr Dest, Source;
    ULONG LengthIn;
    bool NullPointers;
  };
  std::vector<TArpCall> ArpCalls;
  int TablesGiven = 0, TablesFreed = 0;
  // GetIpNetTable2's next answer: its status, and the rows of its table (NoTable: none given).
  DWORD TableStatus = NO_ERROR;
  bool NoTable = false;
  std::vector<MIB_IPNET_ROW2> TableRows;
};
TFakeSystem* GFake = nullptr;

// The computers that answer ARP on the LAN 10.77.0.0/24.
uint64_t PresentMac(uint32_t address) {
  if (address == StrToIp("10.77.0.5")) return 0x027700000005u;
  if (address == StrToIp("10.77.0.6")) return 0x0277000000A6u;
  return 0;
}

uint32_t HostOrder(ULONG networkOrder) { return ntohl(networkOrder); }

void PutMac(UCHAR* to, uint64_t mac) {
  for (int i = 0; i < 6; ++i) to[i] = static_cast<UCHAR>(mac >> (40 - 8 * i));
}

DWORD WINAPI FakeGetBestInterface(IPAddr dest, PDWORD index) {
  if (index == nullptr) return ERROR_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> guard(GFake->Lock);
    GFake->BestInterfaceAsked.push_back(dest);
  }
  const uint32_t address = HostOrder(dest);
  if ((address & 0xFFFFFF00u) == StrToIp("10.77.0.0")) *index = kLanInterface;
  else if ((address & 0xFFFFFF00u) == StrToIp("10.77.1.0")) *index = kGoneInterface;  // removed since
  else return ERROR_CAN_NOT_COMPLETE;  // no route
  return NO_ERROR;
}

// Flushes the entry and asks anew; blocks until an answer or the system gives up.
NETIO_STATUS WINAPI FakeResolveIpNetEntry2(PMIB_IPNET_ROW2 row, const SOCKADDR_INET*) {
  if (row == nullptr) return ERROR_INVALID_PARAMETER;
  {
    std::lock_guard<std::mutex> guard(GFake->Lock);
    GFake->RowsAsked.push_back(*row);
  }
  if (row->Address.si_family != AF_INET) return ERROR_INVALID_PARAMETER;
  if (row->InterfaceLuid.Value == 0 && row->InterfaceIndex == 0) return ERROR_INVALID_PARAMETER;
  const uint32_t address = HostOrder(row->Address.Ipv4.sin_addr.s_addr);
  if ((address >> 24) == 127) return ERROR_INVALID_PARAMETER;
  if (row->InterfaceLuid.Value == 0 && row->InterfaceIndex != kLanInterface) return ERROR_NOT_FOUND;
  if (const uint64_t mac = PresentMac(address)) {
    Sleep(kAnswerMs);
    PutMac(row->PhysicalAddress, mac);
    row->PhysicalAddressLength = 6;
    row->State = NlnsReachable;
    row->IsUnreachable = FALSE;
    return NO_ERROR;
  }
  Sleep(kGiveUpMs);
  return ERROR_BAD_NET_NAME;
}

void RecordArpCall(IPAddr dest, IPAddr source, PVOID mac, PULONG length) {
  std::lock_guard<std::mutex> guard(GFake->Lock);
  GFake->ArpCalls.push_back({dest, source, length != nullptr ? *length : 0, mac == nullptr || length == nullptr});
}

// SendARP as the systems without ResolveIpNetEntry2 have it (Windows Server 2003 and older): no
// answer is ERROR_GEN_FAILURE; Vista and later say ERROR_BAD_NET_NAME.
DWORD SendArpAs(IPAddr dest, IPAddr source, PVOID mac, PULONG length, DWORD noAnswer) {
  RecordArpCall(dest, source, mac, length);
  if (mac == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
  if (*length == 0) return ERROR_INVALID_USER_BUFFER;
  const uint32_t address = HostOrder(dest);
  if (address == StrToIp("10.77.0.9")) return ERROR_NOT_ENOUGH_MEMORY;  // a system short of memory
  if (const uint64_t found = PresentMac(address)) {
    Sleep(kAnswerMs);
    PutMac(static_cast<UCHAR*>(mac), found);
    *length = 6;
    return NO_ERROR;
  }
  Sleep(kGiveUpMs);
  return noAnswer;
}
DWORD WINAPI FakeSendArpOld(IPAddr dest, IPAddr source, PVOID mac, PULONG length) {
  return SendArpAs(dest, source, mac, length, ERROR_GEN_FAILURE);
}
DWORD WINAPI FakeSendArpVista(IPAddr dest, IPAddr source, PVOID mac, PULONG length) {
  return SendArpAs(dest, source, mac, length, ERROR_BAD_NET_NAME);
}
// Wine's, whatever it is given.
DWORD WINAPI FakeSendArpWine(IPAddr dest, IPAddr source, PVOID mac, PULONG length) {
  RecordArpCall(dest, source, mac, length);
  return ERROR_NOT_SUPPORTED;
}

NETIO_STATUS WINAPI FakeGetIpNetTable2(ADDRESS_FAMILY family, PMIB_IPNET_TABLE2* table) {
  if (table == nullptr || (family != AF_INET && family != AF_INET6 && family != AF_UNSPEC)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> guard(GFake->Lock);
  if (GFake->NoTable) return GFake->TableStatus;
  const size_t n = GFake->TableRows.size();
  auto* t = static_cast<MIB_IPNET_TABLE2*>(std::calloc(1, sizeof(MIB_IPNET_TABLE2) + n * sizeof(MIB_IPNET_ROW2)));
  if (t == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  t->NumEntries = static_cast<ULONG>(n);
  for (size_t i = 0; i < n; ++i) t->Table[i] = GFake->TableRows[i];
  *table = t;
  ++GFake->TablesGiven;
  return GFake->TableStatus;
}

VOID WINAPI FakeFreeMibTable(PVOID memory) {
  std::lock_guard<std::mutex> guard(GFake->Lock);
  ++GFake->TablesFreed;
  std::free(memory);
}

class SystemNeighboursCalls : public ::testing::Test {
 protected:
  void SetUp() override { GFake = &FFake; }
  void TearDown() override { GFake = nullptr; }

  // A Windows of Vista or later by default; a test takes calls away or puts others in.
  static TIpHelperCalls Vista() {
    return {&FakeGetIpNetTable2, &FakeFreeMibTable, &FakeGetBestInterface, &FakeSendArpVista, &FakeResolveIpNetEntry2};
  }
  static TIpHelperCalls WithoutResolve(decltype(&::SendARP) sendArp) {
    TIpHelperCalls calls = Vista();
    calls.ResolveIpNetEntry2 = nullptr;
    calls.SendARP = sendArp;
    return calls;
  }

  static MIB_IPNET_ROW2 Row(const char* address, NL_NEIGHBOR_STATE state, uint64_t mac, ULONG macLength = 6,
                            bool unreachable = false) {
    MIB_IPNET_ROW2 row{};
    row.Address.Ipv4.sin_family = AF_INET;
    row.Address.Ipv4.sin_addr.s_addr = htonl(StrToIp(address));
    row.InterfaceIndex = kLanInterface;
    PutMac(row.PhysicalAddress, mac);
    row.PhysicalAddressLength = macLength;
    row.State = state;
    row.IsUnreachable = unreachable ? TRUE : FALSE;
    return row;
  }

  TFakeSystem FFake;
};

const TArpEvidence kSilent{TArpVerdict::Silent, 0, TAnswerKind::None};
const TArpEvidence kNothing{};

TEST_F(SystemNeighboursCalls, ResolveIpNetEntry2AsksOnTheInterfaceOfTheRoute) {
  const auto platform = MakeSystemNeighbours(Vista());
  EXPECT_TRUE(platform->CanResolve());

  EXPECT_EQ(platform->Resolve(StrToIp("10.77.0.5")), (TArpEvidence{TArpVerdict::Answered, 0x027700000005u, TAnswerKind::Resolved}));
  ASSERT_EQ(FFake.RowsAsked.size(), 1u);
  const MIB_IPNET_ROW2& row = FFake.RowsAsked[0];
  EXPECT_EQ(row.Address.si_family, AF_INET);
  const uint8_t expected[4] = {10, 77, 0, 5};  // as on the wire
  EXPECT_EQ(std::memcmp(&row.Address.Ipv4.sin_addr, expected, 4), 0);
  EXPECT_EQ(row.InterfaceIndex, kLanInterface);
  EXPECT_EQ(row.InterfaceLuid.Value, 0u);
  ASSERT_EQ(FFake.BestInterfaceAsked.size(), 1u);
  EXPECT_EQ(std::memcmp(&FFake.BestInterfaceAsked[0], expected, 4), 0);

  // Blocks until the system gives up.
  EXPECT_EQ(platform->Resolve(StrToIp("10.77.0.40")), kSilent);
  // The interface went away between the two calls, or there is no route: nothing could be asked.
  EXPECT_EQ(platform->Resolve(StrToIp("10.77.1.5")), kNothing);
  EXPECT_EQ(platform->Resolve(StrToIp("10.78.0.5")), kNothing);
  EXPECT_EQ(FFake.RowsAsked.size(), 3u);  // not for the address without a route
  EXPECT_TRUE(FFake.ArpCalls.empty());    // SendARP may answer from the cache: never where this exists
}

TEST_F(SystemNeighboursCalls, WithoutResolveIpNetEntry2SendArpAsks) {
  const auto older = MakeSystemNeighbours(WithoutResolve(&FakeSendArpOld));
  const auto vista = MakeSystemNeighbours(WithoutResolve(&FakeSendArpVista));
  EXPECT_TRUE(older->CanResolve());
  EXPECT_TRUE(vista->CanResolve());
  // Both give up after the same time: asked together.
  auto olderSilent = std::async(std::launch::async, [&] { return older->Resolve(StrToIp("10.77.0.40")); });
  auto vistaSilent = std::async(std::launch::async, [&] { return vista->Resolve(StrToIp("10.77.0.41")); });
  EXPECT_EQ(older->Resolve(StrToIp("10.77.0.6")), (TArpEvidence{TArpVerdict::Answered, 0x0277000000A6u, TAnswerKind::Resolved}));
  EXPECT_EQ(older->Resolve(StrToIp("10.77.0.9")), kNothing);
  EXPECT_EQ(olderSilent.get(), kSilent);
  EXPECT_EQ(vistaSilent.get(), kSilent);

  std::lock_guard<std::mutex> guard(FFake.Lock);
  ASSERT_EQ(FFake.ArpCalls.size(), 6u);  // one look each at whether it works, then the four
  const auto answered = std::find_if(FFake.ArpCalls.begin(), FFake.ArpCalls.end(),
                                     [](const TFakeSystem::TArpCall& c) { return !c.NullPointers && HostOrder(c.Dest) == StrToIp("10.77.0.6"); });
  ASSERT_NE(answered, FFake.ArpCalls.end());
  const uint8_t expected[4] = {10, 77, 0, 6};
  EXPECT_EQ(std::memcmp(&answered->Dest, expected, 4), 0);
  EXPECT_EQ(answered->Source, 0u);  // the system picks the interface
  EXPECT_EQ(answered->LengthIn, 6u);
}

TEST_F(SystemNeighboursCalls, UnderWineNothingCanBeResolved) {
  const auto wine = MakeSystemNeighbours(WithoutResolve(&FakeSendArpWine));
  EXPECT_FALSE(wine->CanResolve());
  EXPECT_EQ(wine->Resolve(StrToIp("10.77.0.5")), kNothing);
  EXPECT_EQ(FFake.ArpCalls.size(), 1u);  // the look at whether it works
}

TEST_F(SystemNeighboursCalls, TableAsTheSystemGivesIt) {
  const auto platform = MakeSystemNeighbours(Vista());
  FFake.TableRows = {
      Row("10.77.0.21", NlnsReachable, 0x027700000015u),
      Row("10.77.0.22", NlnsStale, 0x027700000016u),
      Row("10.77.0.23", NlnsDelay, 0x027700000017u),
      Row("10.77.0.24", NlnsProbe, 0x027700000018u),
      Row("10.77.0.25", NlnsPermanent, 0x027700000019u),
      Row("10.77.0.26", NlnsIncomplete, 0, 0),
      Row("10.77.0.27", NlnsUnreachable, 0x02770000001Bu, 6, true),  // failed, its old MAC kept
      Row("10.77.0.28", NlnsReachable, 0x02770000001Cu, 8),          // not an Ethernet address
      Row("10.77.0.29", static_cast<NL_NEIGHBOR_STATE>(NlnsMaximum), 0x02770000001Du),
  };
  const TNeighbourTable table = platform->ReadTable();
  ASSERT_TRUE(table.Known);
  struct TExpected {
    const char* Address;
    TNeighbourState State;
    uint64_t Mac;
    bool IsUnreachable, Valid;
  };
  const TExpected expected[] = {
      {"10.77.0.21", TNeighbourState::Reachable, 0x027700000015u, false, true},
      {"10.77.0.22", TNeighbourState::Stale, 0x027700000016u, false, true},
      {"10.77.0.23", TNeighbourState::Delay, 0x027700000017u, false, true},
      {"10.77.0.24", TNeighbourState::Probe, 0x027700000018u, false, true},
      {"10.77.0.25", TNeighbourState::Permanent, 0x027700000019u, false, true},
      {"10.77.0.26", TNeighbourState::Incomplete, 0, false, false},
      {"10.77.0.27", TNeighbourState::Unreachable, 0x02770000001Bu, true, false},
      {"10.77.0.28", TNeighbourState::Reachable, 0, false, false},
      {"10.77.0.29", TNeighbourState::Unreachable, 0x02770000001Du, false, false},
  };
  ASSERT_EQ(table.Entries.size(), std::size(expected));
  for (size_t i = 0; i < table.Entries.size(); ++i) {
    const TNeighbourEntry& e = table.Entries[i];
    EXPECT_EQ(e.Address, StrToIp(expected[i].Address)) << i;
    EXPECT_EQ(e.State, expected[i].State) << i;
    EXPECT_EQ(e.Mac, expected[i].Mac) << i;
    EXPECT_EQ(e.IsUnreachable, expected[i].IsUnreachable) << i;
    EXPECT_EQ(e.Valid(), expected[i].Valid) << i;
    EXPECT_EQ(e.InterfaceIndex, kLanInterface) << i;
  }

  // An empty table is known to be empty; a failed read tells nothing, and its table (Wine hands
  // one out with the error) is freed as well.
  struct TCase {
    DWORD Status;
    bool NoTable, Known;
  };
  for (const TCase c : {TCase{ERROR_NOT_FOUND, true, true}, TCase{ERROR_NO_DATA, true, true},
                        TCase{ERROR_NOT_ENOUGH_MEMORY, true, false}, TCase{ERROR_NOT_SUPPORTED, false, false}}) {
    FFake.TableStatus = c.Status;
    FFake.NoTable = c.NoTable;
    FFake.TableRows.clear();
    const TNeighbourTable read = platform->ReadTable();
    EXPECT_EQ(read.Known, c.Known) << c.Status;
    EXPECT_TRUE(read.Entries.empty()) << c.Status;
  }
  EXPECT_EQ(FFake.TablesGiven, 2);
  EXPECT_EQ(FFake.TablesFreed, 2);
}

}  // namespace
}  // namespace kst
