// Kestrune as a user runs it: the shipped kestrune.exe with a registry the test wrote.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"
#include "netcore/registry.h"
#include "sender/command_line.h"
#include "sender/registry_store.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/picture.h"
#include "tests/e2e/task_run.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TComputer;
using e2e::TRgb;

const TRgb kSelectedGrey{224, 224, 224};
TRgb WindowColour() { return e2e::ToRgb(GetSysColor(COLOR_WINDOW)); }

// Every key and value below the path, as name -> type and bytes, to compare runs.
using TRegistryImage = std::map<std::string, std::pair<uint32_t, std::vector<uint8_t>>>;

void ImageKey(IRegistryAccessor& reg, const std::string& path, TRegistryImage& image) {
  reg.SetAccess(TRegAccess::Read);
  if (!reg.OpenKey(path, false)) return;
  image[path + "\\"] = {};
  for (const char* name : {"FormLeft", "FormTop", "FormWidth", "FormHeight", "Promo", "Columns0", "Columns1",
                           "Columns2", "Columns3", "Selection", "HostBroadcastAddress", "HostBroadcastHost",
                           "HostPort", "SearchFromIpAddress", "SearchToIpAddress", "SearchBroadcastAddress",
                           "SearchBroadcastHost", "SearchPort", "LocalIpAddress", "ComputerName", "MacAddress",
                           "Password", "BroadcastAddress", "BroadcastHost", "Port"}) {
    if (auto info = reg.GetValueInfo(name)) image[path + "\\" + name] = {info->Type, *reg.ReadRaw(name)};
  }
  const auto children = reg.GetKeyNames();
  reg.CloseKey();
  for (const auto& child : children) ImageKey(reg, path + "\\" + child, image);
}

class Kestrune : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()); }

  // Writes the list, every computer sending from this machine, and the settings key, as a
  // machine where Kestrune ran.
  void StoreList(std::vector<TComputer> computers) {
    FSession.StoreSetting("Promo", 1);
    for (auto& c : computers) c.Local = test::Env("KST_HOST_ADDRESS");
    ASSERT_TRUE(FSession.StoreList(computers));
  }
  TRegistryImage Image() {
    TRegistryImage image;
    ImageKey(FSession.Registry(), kSettingsKey, image);
    return image;
  }
  static std::string PacketHex(uint64_t mac, uint64_t password = 0) {
    return test::Hex(BuildMagicPacket(mac, password).View());
  }
  static bool PeerGot(uint64_t mac, std::chrono::milliseconds timeout = 3s) {
    const std::string hex = PacketHex(mac);
    return test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == hex; }, timeout).has_value();
  }

  e2e::TKestruneSession FSession;
};

TEST_F(Kestrune, NameWakesTheFirstMatchingComputerOnly) {
  const std::string broadcast = test::Env("KST_LAN_BROADCAST");
  StoreList({{"Server", 0x02E100000001, test::Env("KST_PEER_ADDRESS"), 9},
             {"OFFICE-PC", 0x02E100000002, broadcast, 40010, 0x112233445566},
             {"office-pc", 0x02E100000003, broadcast, 40011}});
  const TRegistryImage before = Image();
  auto process = e2e::StartKestrune(L"/Office-PC");
  ASSERT_TRUE(process);
  EXPECT_EQ(process->WaitExit(), 0u);
  const std::string hex = PacketHex(0x02E100000002, 0x112233445566);
  const auto seen = test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == hex; });
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->DestinationPort, 40010);
  EXPECT_EQ(seen->Destination, broadcast);
  EXPECT_EQ(seen->Source, test::Env("KST_HOST_ADDRESS"));
  EXPECT_FALSE(PeerGot(0x02E100000003, 300ms));
  EXPECT_FALSE(PeerGot(0x02E100000001, 0ms));
  EXPECT_EQ(Image(), before);  // command line runs never write the registry
}

TEST_F(Kestrune, AllSendsEveryComputerInListOrder) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  StoreList({{"a", 0x02E200000001, peer, 40012}, {"b", 0x02E200000002, peer, 40012}, {"c", 0x02E200000003, peer, 40012}});
  const TRegistryImage before = Image();
  auto process = e2e::StartKestrune(L"/all!");
  ASSERT_TRUE(process);
  EXPECT_EQ(process->WaitExit(), 0u);
  ASSERT_TRUE(PeerGot(0x02E200000003));
  std::vector<std::string> order;
  for (const auto& d : test::ReadPeerLog())
    for (uint64_t mac : {0x02E200000001ull, 0x02E200000002ull, 0x02E200000003ull})
      if (d.PayloadHex == PacketHex(mac)) order.push_back(MacToStr(mac));
  EXPECT_EQ(order, (std::vector<std::string>{"02-E2-00-00-00-01", "02-E2-00-00-00-02", "02-E2-00-00-00-03"}));
  EXPECT_EQ(Image(), before);
}

TEST_F(Kestrune, RouterNameNotResolvedExitsWithOneAfterSendingToTheOthers) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  StoreList({{"First", 0x02E900000001, peer, 40015},
             {"Ghost", 0x02E900000002, "", 40015, 0, "no-such-computer"},
             {"Third", 0x02E900000003, peer, 40015}});
  auto process = e2e::StartKestrune(L"/ghost");
  ASSERT_TRUE(process);
  EXPECT_EQ(process->WaitExit(), 1u);
  EXPECT_FALSE(e2e::FindMessageBox(process->Id(), 0ms));

  process = e2e::StartKestrune(L"/all!");
  ASSERT_TRUE(process);
  EXPECT_EQ(process->WaitExit(), 1u);
  EXPECT_TRUE(PeerGot(0x02E900000001));
  EXPECT_TRUE(PeerGot(0x02E900000003));
  EXPECT_FALSE(PeerGot(0x02E900000002, 0ms));
}

TEST_F(Kestrune, UnknownNameShowsTheWarningAndSendsNothing) {
  StoreList({{"server", 0x02E300000001, test::Env("KST_PEER_ADDRESS"), 40013}});
  const TRegistryImage before = Image();
  auto process = e2e::StartKestrune(L"/Laptop");
  ASSERT_TRUE(process);
  HWND box = e2e::FindMessageBox(process->Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::WindowText(box), "Warning");
  EXPECT_EQ(e2e::MessageBoxText(box), NotFoundText("laptop"));
  EXPECT_TRUE(e2e::PressButton(box, IDOK));
  EXPECT_EQ(process->WaitExit(), 2u);
  EXPECT_FALSE(PeerGot(0x02E300000001, 300ms));
  EXPECT_EQ(Image(), before);
}

TEST_F(Kestrune, ParameterWithoutSlashShowsUsage) {
  StoreList({{"office-pc", 0x02E400000001, test::Env("KST_PEER_ADDRESS"), 40014}});
  const TRegistryImage before = Image();
  auto process = e2e::StartKestrune(L"office-pc");
  ASSERT_TRUE(process);
  HWND box = e2e::FindMessageBox(process->Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::WindowText(box), "Information");
  EXPECT_EQ(e2e::MessageBoxText(box), UsageText());
  EXPECT_TRUE(e2e::PressButton(box, IDOK));
  EXPECT_EQ(process->WaitExit(), 2u);
  EXPECT_FALSE(PeerGot(0x02E400000001, 300ms));
  EXPECT_EQ(Image(), before);
}

// A task set to run whether the user is logged on or not runs on a window station that nobody
// sees: there no box waits for an answer, and every run ends with its exit code.
TEST_F(Kestrune, OnAWindowStationNobodySeesNoBoxWaits) {
  StoreList({{"office-pc", 0x02E400000002, test::Env("KST_PEER_ADDRESS"), 40014}});
  const e2e::THiddenStation station;
  ASSERT_TRUE(station.Made());
  EXPECT_EQ(e2e::RunKestruneAsTask(L"office-pc", station.Desktop()).ExitCode, 2u);
  EXPECT_EQ(e2e::RunKestruneAsTask(L"/laptop", station.Desktop()).ExitCode, 2u);
  EXPECT_EQ(e2e::RunKestruneAsTask(L"/office-pc", station.Desktop()).ExitCode, 0u);
  EXPECT_TRUE(PeerGot(0x02E400000002));
}

TEST_F(Kestrune, WindowModeSavesAtCloseAndRefusesASecondInstance) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  StoreList({{"Office-PC", 0x02E500000001, peer, 9}, {"nas", 0x02E500000002, peer, 9}, {"laptop", 0x02E500000003, peer, 7}});
  FSession.StoreSetting("Selection", 2);  // the second computer was selected at the last exit

  ASSERT_TRUE(FSession.Start());
  EXPECT_EQ(e2e::WindowText(FSession.Window()), "Kestrune 2.0.11");
  EXPECT_TRUE(FSession.WaitRows(3));
  EXPECT_TRUE(FSession.WaitSelected(1));
  // The stored second row, light grey; the others in the table's colour.
  const auto shot = e2e::ScreenPicture("kestrune-window", 500ms);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(FSession.Table(), 2)), kSelectedGrey);
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(FSession.Table(), 1)), WindowColour());
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(FSession.Table(), 3)), WindowColour());

  auto second = e2e::StartKestrune();
  ASSERT_TRUE(second);
  HWND box = e2e::FindMessageBox(second->Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::MessageBoxText(box), "Kestrune is already running !");
  EXPECT_TRUE(e2e::PressButton(box, IDOK));
  EXPECT_EQ(second->WaitExit(), 0u);
  EXPECT_TRUE(FSession.Process().Running());

  // Another program asks it to close.
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.ListKeys(), (std::vector<std::string>{"0000", "0001", "0002"}));
  EXPECT_GT(FSession.StoredNumber("FormWidth").value_or(0), 0u);
  EXPECT_EQ(FSession.StoredNumber("Columns0"), 130u);
  EXPECT_EQ(FSession.StoredNumber("Selection"), 2u);
  EXPECT_EQ(FSession.StoredNumber("HostBroadcastAddress"), StrToIp(test::Env("KST_LAN_BROADCAST")));
  EXPECT_EQ(FSession.StoredText("ComputerName", "0002"), "laptop");
}

TEST_F(Kestrune, SendShowsItsOutcomeAndDeleteAsksFirst) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  StoreList({{"Peer-One", 0x02E600000001, peer, 40020}});
  ASSERT_TRUE(FSession.Start());
  ASSERT_TRUE(FSession.WaitSelected(0));

  FSession.Command(e2e::kCmdSend);
  const std::string sent = "PEER-ONE: magic packet sent to " + peer + " at ";
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText().rfind(sent, 0) == 0; }));
  // A single computer is selected but never highlighted.
  const auto shot = e2e::ScreenPicture("kestrune-one-computer");
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(FSession.Table(), 1)), WindowColour());

  FSession.Command(e2e::kCmdDelete);
  HWND box = e2e::FindMessageBox(FSession.Process().Id());
  ASSERT_TRUE(box);
  EXPECT_EQ(e2e::WindowText(box), "Confirm");
  EXPECT_EQ(e2e::MessageBoxText(box), "Are you sure to delete PEER-ONE computer entry ?");
  EXPECT_TRUE(e2e::PressButtonByText(box, L"&No"));
  Sleep(300);
  EXPECT_EQ(FSession.Rows(), 1);

  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.ListKeys(), (std::vector<std::string>{"0000"}));
}

// The window as started and drawn: one row per computer, the table exactly its size below the
// banner, or all of the client area when the window is too small for it.
class KestruneWindow : public Kestrune {
 protected:
  void Start(const std::vector<e2e::TComputer>& computers) {
    StoreList(computers);
    ASSERT_TRUE(FSession.Start());
    ASSERT_TRUE(FSession.WaitRows(static_cast<int>(computers.size())));
  }
  // The table's place in the window's client area.
  RECT TableRect() const {
    RECT r;
    GetWindowRect(FSession.Table(), &r);
    MapWindowPoints(nullptr, FSession.Window(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  bool TableAt(const RECT& place) const {
    const RECT r = TableRect();
    return EqualRect(&place, &r) != 0;
  }
  bool Scrolls() const { return (GetWindowLongW(FSession.Table(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL)) != 0; }
};

TEST_F(KestruneWindow, SendToAllStopsAtTheComputerThatCannotBeSent) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  Start({{"First", 0x02E700000001, peer, 40018},
         {"Ghost", 0x02E700000002, "", 40018, 0, "no-such-computer"},
         {"Third", 0x02E700000003, peer, 40018}});
  FSession.Command(e2e::kCmdSendAll);
  EXPECT_TRUE(PeerGot(0x02E700000001));
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText() == "Router name NO-SUCH-COMPUTER could not be resolved"; }));
  EXPECT_FALSE(PeerGot(0x02E700000003, 1500ms));
  EXPECT_EQ(FSession.Exit(), 0u);
}

TEST_F(KestruneWindow, HostNameDestinationIsResolvedAndKeptBesideTheName) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  Start({{"Named", 0x02E700000011, "", 40018, 0, "peer-computer"}, {"Other", 0x02E700000012, peer, 40018}});
  FSession.Command(e2e::kCmdSend);  // the first computer selected
  EXPECT_TRUE(PeerGot(0x02E700000011));
  const std::string sent = "NAMED: magic packet sent to " + peer + " at ";
  EXPECT_TRUE(e2e::WaitUntil([&] { return FSession.StatusText().rfind(sent, 0) == 0; }));
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_EQ(FSession.StoredNumber("BroadcastAddress", "0000"), StrToIp(peer));
  EXPECT_EQ(FSession.StoredText("BroadcastHost", "0000"), "peer-computer");
}

TEST_F(KestruneWindow, TableFitsBelowTheBannerAndFillsTheWindowWhenItIsTooSmall) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  Start({{"Office-PC", 0x02E700000021, peer, 9}, {"nas", 0x02E700000022, peer, 9}, {"laptop", 0x02E700000023, peer, 7}});
  HWND window = FSession.Window(), table = FSession.Table();
  SetWindowPos(window, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
  // Four rows of 16 pixels and a grid line, the default column widths, below the tool bar
  // (29) and the open banner (125).
  const RECT fitted{0, 154, 3 + 131 + 122 + 139 + 84, 154 + 4 * 17 + 3};
  EXPECT_TRUE(e2e::WaitUntil([&] { return TableAt(fitted); }));
  EXPECT_FALSE(Scrolls());
  FSession.Command(e2e::kCmdDown);  // the second computer selected
  EXPECT_TRUE(FSession.WaitSelected(1));
  const auto shot = e2e::ScreenPicture("kestrune-three-computers");
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(table, 2)), kSelectedGrey);
  EXPECT_EQ(shot->Pixel(e2e::TableRowPoint(table, 3)), WindowColour());
  // Drawn exactly at its place: the banner right above it, the window's face right beside and
  // below it, the last row's grid line at its bottom.
  POINT corner{fitted.left, fitted.top};
  ClientToScreen(window, &corner);
  const TRgb face = e2e::ToRgb(GetSysColor(COLOR_BTNFACE));
  const TRgb grid = e2e::ToRgb(GetSysColor(COLOR_BTNSHADOW));
  const int width = fitted.right - fitted.left, height = fitted.bottom - fitted.top;
  EXPECT_NE(shot->Pixel(corner.x + 200, corner.y - 1), face);
  EXPECT_NE(shot->Pixel(corner.x + 200, corner.y - 1), WindowColour());
  EXPECT_EQ(shot->Pixel(corner.x + width, corner.y + 40), face);
  EXPECT_EQ(shot->Pixel(corner.x + 200, corner.y + height), face);
  EXPECT_EQ(shot->Pixel(corner.x + 110, corner.y + height - 3), grid);

  SetWindowPos(window, nullptr, 0, 0, 400, 250, SWP_NOMOVE | SWP_NOZORDER);
  RECT client, status;
  GetClientRect(window, &client);
  GetWindowRect(FSession.Status(), &status);
  const RECT filled{0, 154, client.right, client.bottom - (status.bottom - status.top)};
  EXPECT_TRUE(e2e::WaitUntil([&] { return TableAt(filled); }));
  EXPECT_TRUE(Scrolls());

  SetWindowPos(window, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(e2e::WaitUntil([&] { return TableAt(fitted); }));
  EXPECT_EQ(FSession.Exit(), 0u);
}

TEST_F(KestruneWindow, IdleCommandsAndHelpOpensTheViewer) {
  Start({{"Office-PC", 0x02E700000031, test::Env("KST_PEER_ADDRESS"), 9}});
  for (int command = e2e::kCmdSend; command <= e2e::kCmdHelp; ++command) {
    if (command == e2e::kCmdSendAll) continue;  // it has no button
    EXPECT_EQ(FSession.Enabled(command), command != e2e::kCmdStop) << command;
  }
  const DWORD id = FSession.Process().Id();
  const size_t before = e2e::ProcessWindows(id).size();
  FSession.Command(e2e::kCmdHelp);
  EXPECT_TRUE(e2e::WaitUntil([&] {
    for (HWND w : e2e::ProcessWindows(id))
      if (e2e::ClassName(w) == "#32770") return false;  // the warning: no viewer came up
    return e2e::ProcessWindows(id).size() > before;
  }));
  Sleep(500);
  EXPECT_FALSE(e2e::FindMessageBox(id, 0ms));
  EXPECT_EQ(FSession.Exit(), 0u);
}

TEST_F(KestruneWindow, EndOfTheSessionSavesTheListOnceOnly) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  Start({{"Going", 0x02E700000041, peer, 9}, {"Staying", 0x02E700000042, peer, 9}});
  FSession.Command(e2e::kCmdDelete);  // the selected first computer
  HWND box = e2e::FindMessageBox(FSession.Process().Id());
  ASSERT_TRUE(box);
  EXPECT_TRUE(e2e::PressButtonByText(box, L"&Yes"));
  ASSERT_TRUE(FSession.WaitRows(1));

  // Windows ends the session; the process may end without its window being destroyed.
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(FSession.Window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer);
  EXPECT_EQ(FSession.ListKeys(), (std::vector<std::string>{"0000"}));
  EXPECT_EQ(FSession.StoredText("ComputerName", "0000"), "Staying");

  // Saved once: the exit that follows writes nothing again.
  FSession.Registry().DeleteKey(kSettingsKey);
  EXPECT_EQ(FSession.Exit(), 0u);
  EXPECT_TRUE(FSession.ListKeys().empty());
}

}  // namespace
}  // namespace kst
