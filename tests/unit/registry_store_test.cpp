#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "sender/registry_store.h"

namespace kst {
namespace {

const std::vector<std::string> kLocal = {"10.77.0.2", "192.168.5.9"};

std::unique_ptr<THostRecord> Computer(std::string name, uint64_t mac) {
  auto r = std::make_unique<THostRecord>();
  r->AssignComputerName(name);
  r->MacAddress = mac;
  r->BroadcastAddress = 0x0A4D00FF;
  r->Port = 9;
  r->LocalIpAddress = StrToIp("10.77.0.2");
  return r;
}

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    FState.SetNetworkDefaults(StrToIp("10.77.0.2"), StrToIp("255.255.255.0"));
  }
  // A machine where Kestrune has run before: the settings key exists.
  void CreateSettingsKey() {
    FReg->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FReg->OpenKey(kSettingsKey, true));
    FReg->CloseKey();
  }
  void WriteSetting(const char* name, auto writer) {
    FReg->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FReg->OpenKey(kSettingsKey, true));
    writer(*FReg, name);
    FReg->CloseKey();
  }
  std::vector<std::string> ListNames() {
    FReg->SetAccess(TRegAccess::Read);
    if (!FReg->OpenKey(kListKey, false)) return {};
    auto names = FReg->GetKeyNames();
    FReg->CloseKey();
    return names;
  }
  void Load() { TRegistryStore(*FReg).Load(FState, FView, kLocal); }

  std::unique_ptr<IRegistryAccessor> FReg = MakeMemoryRegistry();
  TKestruneState FState;
  TViewSettings FView;
};

TEST_F(RegistryStore, CleanMachineGivesEmptyListAndDefaults) {
  FView.Columns = {1, 2, 3, 4};
  Load();
  EXPECT_TRUE(FState.HostList.empty());
  EXPECT_EQ(FView.Columns, kDefaultColumnWidths);
  EXPECT_TRUE(FView.Promo);
  EXPECT_EQ(FView.Selection, 1);
  const auto placed = PlaceWindow(FView.Bounds, 1280, 1024);
  EXPECT_EQ(placed.Width, 500);
  EXPECT_EQ(placed.Height, 300);
  EXPECT_EQ(placed.Left, 390);
  EXPECT_EQ(placed.Top, 362);
  EXPECT_EQ(FState.Settings.HostBroadcastAddress, StrToIp("10.77.0.255"));
}

TEST_F(RegistryStore, UnusableBoundsAreReplacedByCentredWindow) {
  WriteSetting("FormLeft", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 10); });
  WriteSetting("FormTop", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 20); });
  WriteSetting("FormWidth", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 0); });
  WriteSetting("FormHeight", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 400); });
  Load();
  const auto stored = PlaceWindow(FView.Bounds, 1280, 1024);
  EXPECT_EQ(stored.Width, 500);
  EXPECT_EQ(stored.Height, 300);
  EXPECT_EQ(stored.Left, 390);
  WriteSetting("FormWidth", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 640); });
  WriteSetting("FormLeft", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 0xFFFFFFFF); });  // -1
  Load();
  EXPECT_EQ(FView.Bounds.Left, -1);
  EXPECT_EQ(PlaceWindow(FView.Bounds, 1280, 1024).Width, 500);
  EXPECT_EQ(PlaceWindow({10, 20, 0, 300}, 1280, 1024).Width, 500);
  EXPECT_EQ(PlaceWindow({-5, 20, 600, 300}, 1280, 1024).Left, 390);
  EXPECT_EQ(PlaceWindow({10, -1, 600, 300}, 1280, 1024).Top, 362);
  const auto kept = PlaceWindow({10, 20, 600, 400}, 1280, 1024);
  EXPECT_EQ(kept.Left, 10);
  EXPECT_EQ(kept.Width, 600);
  // A screen no larger than the window puts it at 0 on that axis.
  const auto small = PlaceWindow({}, 500, 200);
  EXPECT_EQ(small.Left, 0);
  EXPECT_EQ(small.Top, 0);
}

TEST_F(RegistryStore, ValuesOfAnotherTypeFallBackToDefaults) {
  WriteSetting("Promo", [](IRegistryAccessor& r, const char* n) { r.WriteString(n, "0"); });
  WriteSetting("Columns2", [](IRegistryAccessor& r, const char* n) { r.WriteString(n, "77"); });
  WriteSetting("Columns1", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 55); });
  WriteSetting("HostPort", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 0x10009); });
  Load();
  EXPECT_TRUE(FView.Promo);
  EXPECT_EQ(FView.Columns[2], 138);
  EXPECT_EQ(FView.Columns[1], 55);
  EXPECT_EQ(FState.Settings.HostPort, 9);  // low 16 bits
}

TEST_F(RegistryStore, SearchRangeOfAnotherNetworkIsNotOffered) {
  FState.SetNetworkDefaults(StrToIp("10.1.2.3"), StrToIp("255.0.0.0"));
  const TSharedSettings defaults = FState.Settings;
  TRegistryX x(*FReg);
  WriteSetting("SearchBroadcastAddress", [&](IRegistryAccessor&, const char* n) { x.WriteInt64(n, StrToIp("192.168.1.255")); });
  WriteSetting("SearchFromIpAddress", [&](IRegistryAccessor&, const char* n) { x.WriteInt64(n, StrToIp("192.168.1.1")); });
  WriteSetting("SearchPort", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 9); });
  WriteSetting("SearchBroadcastHost", [](IRegistryAccessor& r, const char* n) { r.WriteString(n, "router"); });
  WriteSetting("HostBroadcastAddress", [&](IRegistryAccessor&, const char* n) { x.WriteInt64(n, StrToIp("192.168.1.255")); });
  WriteSetting("HostBroadcastHost", [](IRegistryAccessor& r, const char* n) { r.WriteString(n, "gw.example"); });
  WriteSetting("HostPort", [](IRegistryAccessor& r, const char* n) { r.WriteDword(n, 9); });
  Load();
  EXPECT_EQ(FState.Settings.SearchBroadcastAddress, defaults.SearchBroadcastAddress);
  EXPECT_EQ(FState.Settings.SearchFromIpAddress, defaults.SearchFromIpAddress);
  EXPECT_EQ(FState.Settings.SearchPort, 7);
  EXPECT_EQ(FState.Settings.SearchBroadcastHost, "");
  // The host settings are restored whatever the network.
  EXPECT_EQ(FState.Settings.HostBroadcastAddress, StrToIp("192.168.1.255"));
  EXPECT_EQ(FState.Settings.HostBroadcastHost, "gw.example");
  EXPECT_EQ(FState.Settings.HostPort, 9);

  // On the network it was saved on, the search range comes back.
  FState.SetNetworkDefaults(StrToIp("192.168.1.20"), StrToIp("255.255.255.0"));
  Load();
  EXPECT_EQ(FState.Settings.SearchFromIpAddress, StrToIp("192.168.1.1"));
  EXPECT_EQ(FState.Settings.SearchPort, 9);
  EXPECT_EQ(FState.Settings.SearchBroadcastHost, "router");
}

TEST_F(RegistryStore, SaveAndLoadRoundTrip) {
  CreateSettingsKey();
  FState.HostList.push_back(Computer("Office-PC", 0xAABBCCDDEEFF));
  auto second = Computer("nas", 0x001122334455);
  second->Password = 0x010203040506;
  second->BroadcastAddress = 0;
  second->AssignBroadcastHost("router.example");
  second->LocalIpAddress = 0;  // any
  second->Port = 65535;
  FState.HostList.push_back(std::move(second));
  FState.Settings.HostBroadcastHost = "gw";
  FState.Settings.SearchPort = 4343;
  FView.Bounds = {11, 22, 640, 480};
  FView.Promo = false;
  FView.Columns = {100, 101, 102, 103};
  FView.Selection = 2;
  ASSERT_TRUE(TRegistryStore(*FReg).Save(FState, FView));

  TKestruneState loaded;
  loaded.SetNetworkDefaults(StrToIp("10.77.0.2"), StrToIp("255.255.255.0"));
  TViewSettings view;
  TRegistryStore(*FReg).Load(loaded, view, kLocal);
  ASSERT_EQ(loaded.HostList.size(), 2u);
  EXPECT_EQ(loaded.HostList[0]->ComputerName, "Office-PC");
  EXPECT_EQ(loaded.HostList[0]->MacAddress, 0xAABBCCDDEEFFu);
  EXPECT_EQ(loaded.HostList[0]->LocalIpAddress, StrToIp("10.77.0.2"));
  const THostRecord& nas = *loaded.HostList[1];
  EXPECT_EQ(nas.Password, 0x010203040506u);
  EXPECT_EQ(nas.BroadcastAddress, 0u);
  EXPECT_EQ(nas.BroadcastHost, "router.example");
  EXPECT_EQ(nas.LocalIpAddress, 0u);
  EXPECT_EQ(nas.Port, 65535);
  EXPECT_EQ(loaded.Settings.HostBroadcastHost, "gw");
  EXPECT_EQ(loaded.Settings.SearchPort, 4343);
  EXPECT_EQ(view.Bounds.Left, 11);
  EXPECT_EQ(view.Bounds.Height, 480);
  EXPECT_FALSE(view.Promo);
  EXPECT_EQ(view.Columns[3], 103);
  EXPECT_EQ(view.Selection, 2);
}

TEST_F(RegistryStore, BinariesAreEightLittleEndianBytes) {
  FState.HostList.push_back(Computer("pc", 0xAABBCCDDEEFF));
  FState.HostList[0]->BroadcastAddress = StrToIp("192.168.1.255");
  TRegistryStore(*FReg).SaveHosts(FState.HostList);
  FReg->SetAccess(TRegAccess::Read);
  ASSERT_TRUE(FReg->OpenKey(std::string(kListKey) + "\\0000", false));
  EXPECT_EQ(FReg->ReadRaw("MacAddress"), (std::vector<uint8_t>{0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0, 0}));
  EXPECT_EQ(FReg->ReadRaw("BroadcastAddress"), (std::vector<uint8_t>{0xFF, 0x01, 0xA8, 0xC0, 0, 0, 0, 0}));
  EXPECT_EQ(FReg->GetValueInfo("Port")->Type, kRegDword);
  EXPECT_EQ(FReg->GetValueInfo("LocalIpAddress")->Type, kRegDword);
  EXPECT_EQ(FReg->ReadString("ComputerName"), "pc");
}

TEST_F(RegistryStore, ShorterListLeavesNoStaleSubkeys) {
  for (int i = 0; i < 3; ++i) FState.HostList.push_back(Computer("pc" + std::to_string(i), 0x100 + i));
  TRegistryStore(*FReg).SaveHosts(FState.HostList);
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"0000", "0001", "0002"}));
  FState.HostList.erase(FState.HostList.begin());
  TRegistryStore(*FReg).SaveHosts(FState.HostList);
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"0000", "0001"}));
  Load();
  ASSERT_EQ(FState.HostList.size(), 2u);
  EXPECT_EQ(FState.HostList[0]->ComputerName, "pc1");
}

TEST_F(RegistryStore, SettingsKeyIsNotCreatedBySave) {
  EXPECT_TRUE(TRegistryStore(*FReg).Save(FState, FView));  // empty list, no key: nothing written
  EXPECT_FALSE(FReg->KeyExists(kSettingsKey));
  FState.HostList.push_back(Computer("pc", 1));
  TRegistryStore(*FReg).Save(FState, FView);
  EXPECT_TRUE(FReg->KeyExists(kListKey));
  FReg->SetAccess(TRegAccess::Read);
  ASSERT_TRUE(FReg->OpenKey(kSettingsKey, false));
  EXPECT_FALSE(FReg->GetValueInfo("FormLeft"));  // settings come from the next exit on
}

TEST_F(RegistryStore, SixByteMacBinaryAndMissingValues) {
  FReg->SetAccess(TRegAccess::All);
  ASSERT_TRUE(FReg->OpenKey(std::string(kListKey) + "\\0000", true));
  const uint8_t six[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  FReg->WriteBinary("MacAddress", six);
  FReg->WriteString("ComputerName", std::string(80, 'x'));
  FReg->WriteDword("LocalIpAddress", StrToIp("172.16.0.1"));  // no longer on this machine
  FReg->CloseKey();
  Load();
  ASSERT_EQ(FState.HostList.size(), 1u);
  const THostRecord& r = *FState.HostList[0];
  EXPECT_EQ(MacToStr(r.MacAddress), "FF-EE-DD-CC-BB-AA");
  EXPECT_EQ(r.ComputerName.size(), 64u);
  EXPECT_EQ(r.LocalIpAddress, StrToIp("10.77.0.2"));  // repaired to the first local address
  EXPECT_EQ(r.Port, 7);
  EXPECT_EQ(r.Password, 0u);
  EXPECT_EQ(r.BroadcastAddress, 0u);
}

TEST_F(RegistryStore, LocalAddressWithoutLocalList) {
  EXPECT_EQ(RepairLocalAddress(StrToIp("192.168.5.9"), kLocal), StrToIp("192.168.5.9"));
  EXPECT_EQ(RepairLocalAddress(0, kLocal), 0u);
  EXPECT_EQ(RepairLocalAddress(StrToIp("1.2.3.4"), {}), 0u);
}

TEST(ListSubkeys, NamesAndNumericOrder) {
  EXPECT_EQ(ListSubkeyName(0), "0000");
  EXPECT_EQ(ListSubkeyName(9999), "9999");
  EXPECT_EQ(ListSubkeyName(10000), "10000");
  EXPECT_EQ(OrderListSubkeys({"0000", "1000", "10000", "1001", "extra", "0002", "9999", "Old"}),
            (std::vector<std::string>{"0000", "0002", "1000", "1001", "9999", "10000", "extra", "Old"}));
  // Values longer than any integer still compare by value.
  EXPECT_EQ(OrderListSubkeys({"100000000000000000000", "99999999999999999999"}),
            (std::vector<std::string>{"99999999999999999999", "100000000000000000000"}));
}

TEST_F(RegistryStore, LongListReloadsInSavedOrder) {
  constexpr size_t kCount = 10003;
  for (size_t i = 0; i < kCount; ++i) FState.HostList.push_back(Computer("pc" + std::to_string(i), i + 1));
  TRegistryStore(*FReg).SaveHosts(FState.HostList);
  Load();
  ASSERT_EQ(FState.HostList.size(), kCount);
  for (size_t i = 0; i < kCount; ++i) ASSERT_EQ(FState.HostList[i]->MacAddress, i + 1) << i;
}

// The memory registry, stopped for good after a given number of changes, as a killed process
// stops: every later change fails. Deleting a tree takes one change per key, as on the platform.
class TStoppingRegistry : public IRegistryAccessor {
 public:
  TStoppingRegistry(IRegistryAccessor& inner, size_t changes) : FInner(inner), FLeft(changes) {}
  bool Stopped() const { return FStopped; }

  void SetRoot(TRegRoot root) override { FInner.SetRoot(root); }
  void SetAccess(TRegAccess access) override {
    FAccess = access;
    FInner.SetAccess(access);
  }
  bool OpenKey(std::string_view path, bool canCreate) override {
    if (canCreate && !FInner.KeyExists(path)) return Change() && FInner.OpenKey(path, true);
    return FInner.OpenKey(path, false);
  }
  bool KeyExists(std::string_view path) override { return FInner.KeyExists(path); }
  void CloseKey() override { FInner.CloseKey(); }
  std::vector<std::string> GetKeyNames() override { return FInner.GetKeyNames(); }
  std::vector<std::string> GetValueNames() override { return FInner.GetValueNames(); }
  bool DeleteKey(std::string_view path) override {
    FInner.SetAccess(TRegAccess::Read);
    std::vector<std::string> names;
    if (FInner.OpenKey(path, false)) names = FInner.GetKeyNames();
    FInner.CloseKey();
    bool deleted = true;
    for (const auto& name : names) deleted &= DeleteKey(std::string(path) + "\\" + name);
    FInner.SetAccess(FAccess);
    return Change() && FInner.DeleteKey(path) && deleted;
  }
  std::optional<TRegValueInfo> GetValueInfo(std::string_view name) override { return FInner.GetValueInfo(name); }
  std::optional<std::vector<uint8_t>> ReadRaw(std::string_view name) override { return FInner.ReadRaw(name); }
  bool WriteRaw(std::string_view name, uint32_t type, std::span<const uint8_t> data) override {
    return Change() && FInner.WriteRaw(name, type, data);
  }
  bool DeleteValue(std::string_view name) override { return Change() && FInner.DeleteValue(name); }

 private:
  bool Change() {
    if (FLeft == 0) FStopped = true;
    if (FStopped) return false;
    --FLeft;
    return true;
  }
  IRegistryAccessor& FInner;
  size_t FLeft;
  bool FStopped = false;
  TRegAccess FAccess = TRegAccess::All;
};

THostList Computers(const std::string& prefix, int count) {
  THostList list;
  for (int i = 0; i < count; ++i) list.push_back(Computer(prefix + std::to_string(i), 0x100 + i));
  return list;
}

// The names the next start lists, "" for a record that came out different from what was saved.
std::vector<std::string> LoadedNames(IRegistryAccessor& registry) {
  TKestruneState state;
  state.SetNetworkDefaults(StrToIp("10.77.0.2"), StrToIp("255.255.255.0"));
  TViewSettings view;
  TRegistryStore(registry).Load(state, view, kLocal);
  std::vector<std::string> names;
  for (size_t i = 0; i < state.HostList.size(); ++i) {
    const THostRecord& r = *state.HostList[i];
    const bool whole = r.MacAddress == 0x100 + i && r.Port == 9 && r.BroadcastAddress == 0x0A4D00FF &&
                       r.LocalIpAddress == StrToIp("10.77.0.2");
    names.push_back(whole ? r.ComputerName : "");
  }
  return names;
}

TEST_F(RegistryStore, SaveStoppedAtAnyChangeLeavesAWholeList) {
  const std::vector<std::string> first = {"old0", "old1", "old2", "old3"};
  const std::vector<std::string> second = {"new0", "new1"};
  const std::vector<std::string> third = {"end0", "end1", "end2"};
  size_t stops = 0, resumed = 0;
  for (size_t k = 0;; ++k) {
    auto reg = MakeMemoryRegistry();
    TRegistryStore(*reg).SaveHosts(Computers("old", 4));
    TStoppingRegistry stopping(*reg, k);
    TRegistryStore(stopping).SaveHosts(Computers("new", 2));
    const auto loaded = LoadedNames(*reg);
    ASSERT_TRUE(loaded == first || loaded == second) << "stopped after " << k << " changes";
    if (!stopping.Stopped()) break;
    ++stops;
    if (!reg->KeyExists(kListStagingKey)) continue;
    // The save after one stopped half-way is just as safe, also while it finishes what was left.
    for (size_t j = 0;; ++j) {
      auto again = MakeMemoryRegistry();
      TRegistryStore(*again).SaveHosts(Computers("old", 4));
      TStoppingRegistry earlier(*again, k);
      TRegistryStore(earlier).SaveHosts(Computers("new", 2));
      TStoppingRegistry next(*again, j);
      TRegistryStore(next).SaveHosts(Computers("end", 3));
      const auto reloaded = LoadedNames(*again);
      ASSERT_TRUE(reloaded == loaded || reloaded == third) << k << " then " << j;
      if (!next.Stopped()) break;
      ++resumed;
    }
  }
  EXPECT_GT(stops, 40u);
  EXPECT_GT(resumed, 200u);

  // A whole save leaves the list key alone, numbered from 0000, and no copy beside it.
  TRegistryStore(*FReg).SaveHosts(Computers("old", 4));
  TStoppingRegistry stopped(*FReg, 30);
  TRegistryStore(stopped).SaveHosts(Computers("new", 2));
  TRegistryStore(*FReg).SaveHosts(Computers("end", 3));
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"0000", "0001", "0002"}));
  EXPECT_FALSE(FReg->KeyExists("SOFTWARE\\Brindlecote\\Kestrune\\ListSaving"));
}

}  // namespace
}  // namespace kst
