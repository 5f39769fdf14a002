// The banner's wake assistant in the real window: the route of the selected computer, and the
// computers of the sandbox that sleep until their magic packet comes (tools/sleeping_computers.py).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "netcore/address_text.h"
#include "netcore/registry.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TProcess;

constexpr int kCmdSend = 101, kCmdSendAll = 102;
constexpr int kBannerLineId = 301, kBannerToggleId = 309;
constexpr COLORREF kBannerBack = RGB(30, 60, 120);
const char* const kSleeperMacs[] = {"02-77-00-00-01-31", "02-77-00-00-01-32", "02-77-00-00-01-33",
                                    "02-77-00-00-01-34"};

struct TComputer {
  std::string Name;
  const char* Mac;
  const char* Destination;
  const char* Local;
};

class KestruneWake : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->DeleteKey(kSettingsKey);
  }
  void TearDown() override {
    if (FProcess) FProcess->Terminate();
    FRegistry->DeleteKey(kSettingsKey);
    ChangeAddress("del 10.77.0.3/24");
    // Awake computers would answer the scans of later tests, and so would the neighbour entries
    // they leave behind.
    for (const char* mac : kSleeperMacs) PutToSleep(mac);
    for (const char* address : {"10.77.0.31", "10.77.0.32", "10.77.0.33", "10.77.0.34"})
      ChangeAddress(std::string("forget ") + address);
  }

  // Adds or takes away an address of this machine ("add 10.77.0.3/24").
  static void ChangeAddress(const std::string& request) {
    const std::string dir = test::WinePath(test::Env("KST_HOST_COMMANDS"));
    const std::string done = dir + "\\address.done";
    DeleteFileA(done.c_str());
    std::ofstream(dir + "\\address.addr") << request << "\n";
    e2e::WaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5s);
  }

  static void PutToSleep(const char* mac) {
    const std::string dir = test::WinePath(test::Env("KST_SLEEPER_COMMANDS"));
    const std::string done = dir + "\\" + mac + ".done";
    DeleteFileA(done.c_str());
    std::ofstream(dir + "\\" + mac + ".sleep").close();
    e2e::WaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 5s);
  }

  // Starts Kestrune's window over the list, the first computer selected, the banner open.
  void Start(const std::vector<TComputer>& computers) {
    FRegistry->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FRegistry->OpenKey(kSettingsKey, true));
    FRegistry->WriteDword("Promo", 1);
    FRegistry->WriteDword("Selection", 1);
    FRegistry->CloseKey();
    THostList list;
    for (const auto& c : computers) {
      auto r = std::make_unique<THostRecord>();
      r->AssignComputerName(c.Name);
      r->MacAddress = StrToMac(c.Mac);
      r->BroadcastAddress = StrToIp(c.Destination);
      r->LocalIpAddress = StrToIp(c.Local);
      r->Port = 9;
      list.push_back(std::move(r));
    }
    ASSERT_TRUE(TRegistryStore(*FRegistry).SaveHosts(list));
    FProcess = TProcess::Start(e2e::ProgramPath(KST_KESTRUNE_EXE));
    ASSERT_TRUE(FProcess);
    FWindow = e2e::FindProcessWindow(FProcess->Id(), L"KestruneMainWindow", L"");
    ASSERT_TRUE(FWindow);
    FBanner = e2e::FindChild(FWindow, L"KestruneBanner");
    FTable = e2e::FindChild(FWindow, L"SysListView32");
    ASSERT_TRUE(FBanner && FTable);
    ASSERT_TRUE(e2e::WaitUntil([&] { return SendMessageW(FTable, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) == 0; }));
  }

  std::string Line(int i) { return e2e::WindowText(GetDlgItem(FBanner, kBannerLineId + i)); }
  bool WaitLine(int i, const std::string& text, std::chrono::milliseconds timeout = 5s) {
    return e2e::WaitUntil([&] { return Line(i) == text; }, timeout);
  }
  int BannerHeight() {
    RECT r{};
    GetWindowRect(FBanner, &r);
    return r.bottom - r.top;
  }
  // A click on the banner: the button goes down and comes up on it.
  static void Click(HWND banner) {
    PostMessageW(banner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(banner, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  // The colour on the screen 20 pixels below the banner's top edge.
  COLORREF PixelInBanner() {
    RECT r{};
    GetWindowRect(FBanner, &r);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, r.left + 3, r.top + 20);
    ReleaseDC(nullptr, screen);
    return colour;
  }

  std::unique_ptr<IRegistryAccessor> FRegistry = MakeSystemRegistry();
  std::optional<TProcess> FProcess;
  HWND FWindow = nullptr, FBanner = nullptr, FTable = nullptr;
};

TEST_F(KestruneWake, TheSelectedComputersRouteAndTheBannerFolded) {
  ChangeAddress("add 10.77.0.3/24");  // the third computer's local address, until it goes
  Start({{"Office-PC", "02-77-00-00-02-01", "10.77.0.255", "10.77.0.2"},
         {"Branch", "02-77-00-00-02-02", "192.168.50.255", "10.77.0.2"},
         {"Moved", "02-77-00-00-02-03", "10.77.0.255", "10.77.0.3"}});
  EXPECT_TRUE(WaitLine(0, "Office-PC: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-on-this-network").empty());
  PostMessageW(FTable, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Branch: from 10.77.0.2 (lan0) to 192.168.50.255, port 9, through the gateway 10.77.0.1"))
      << Line(0);
  EXPECT_NE(Line(1).find("10.77.0.1"), std::string::npos) << Line(1);  // the remedy names the router
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-through-the-gateway").empty());
  PostMessageW(FTable, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Moved: from 10.77.0.3 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  ChangeAddress("del 10.77.0.3/24");
  ::Sleep(1100);  // the sender's check reads the machine's addresses at most once a second
  PostMessageW(FTable, WM_KEYDOWN, VK_UP, 0);
  PostMessageW(FTable, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Moved: the local address 10.77.0.3 is not on this computer")) << Line(0);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-local-address-gone").empty());

  // Open: 125 pixels, every line shown; folded: 16 pixels, the first line alone, the table
  // right below it on the screen.
  EXPECT_EQ(BannerHeight(), 125);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(FBanner, kBannerLineId + 1)));
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
  Click(FBanner);
  EXPECT_TRUE(e2e::WaitUntil([&] { return BannerHeight() == 16; }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindowVisible(GetDlgItem(FBanner, kBannerLineId + 1)); }));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(FBanner, kBannerLineId)));
  EXPECT_EQ(Line(0), "Moved: the local address 10.77.0.3 is not on this computer");
  EXPECT_EQ(e2e::WindowText(GetDlgItem(FBanner, kBannerToggleId)), "\xE2\x96\xBC Open");
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() != kBannerBack; }));
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-banner-folded").empty());
  Click(FBanner);
  EXPECT_TRUE(e2e::WaitUntil([&] { return BannerHeight() == 125; }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
}

TEST_F(KestruneWake, ASleepingComputerWakesAndTheBannerSaysWhen) {
  Start({{"Sleeper-31", kSleeperMacs[0], "10.77.0.255", "10.77.0.2"}});
  PostMessageW(FWindow, WM_COMMAND, kCmdSend, 0);
  EXPECT_TRUE(WaitLine(0, "Waiting for Sleeper-31 to wake up")) << Line(0);
  std::smatch m;
  std::string line;
  ASSERT_TRUE(e2e::WaitUntil(
      [&] {
        line = Line(0);
        return std::regex_match(line, m, std::regex("Sleeper-31 woke up after ([0-9]+) s at 10\\.77\\.0\\.31"));
      },
      20s))
      << line;
  const int seconds = std::stoi(m[1].str());
  EXPECT_GE(seconds, 5);
  EXPECT_LE(seconds, 9);
  EXPECT_EQ(PixelInBanner(), kBannerBack);  // the open banner, where the text stands
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-woke-up").empty());
}

TEST_F(KestruneWake, SendToAllCountsTheComputersThatWokeAndExitWaitsForTheWatch) {
  Start({{"Sleeper-32", kSleeperMacs[1], "10.77.0.255", "10.77.0.2"},
         {"Sleeper-33", kSleeperMacs[2], "10.77.0.255", "10.77.0.2"},
         {"Insomniac", kSleeperMacs[3], "10.77.0.255", "10.77.0.2"}});
  PostMessageW(FWindow, WM_COMMAND, kCmdSendAll, 0);
  EXPECT_TRUE(WaitLine(0, "Waiting for 1 of 3 computers to wake up", 25s)) << Line(0);
  EXPECT_EQ(Line(1), "Woke up: Sleeper-32, Sleeper-33");
  EXPECT_EQ(PixelInBanner(), kBannerBack);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-send-to-all-waiting").empty());
  // The watch still runs for the third: closing waits for its thread, and the process ends.
  PostMessageW(FWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(FProcess->WaitExit(15s), 0u);
}

}  // namespace
}  // namespace kst
