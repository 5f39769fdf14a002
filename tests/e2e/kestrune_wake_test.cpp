// The banner's wake assistant in the real window: the route of the selected computer, and the
// computers of the sandbox that sleep until their magic packet comes (tools/sleeping_computers.py).
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "netcore/address_text.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

constexpr int kBannerLineId = 301, kBannerToggleId = 309;
constexpr COLORREF kBannerBack = RGB(30, 60, 120);
const char* const kSleeperMacs[] = {"02-77-00-00-01-31", "02-77-00-00-01-32", "02-77-00-00-01-33",
                                    "02-77-00-00-01-34"};

// A computer of the sandbox LAN, woken on port 9.
e2e::TComputer Computer(const char* name, const char* mac, const char* destination, const char* local) {
  return {name, StrToMac(mac), destination, 9, 0, "", local};
}

class KestruneWake : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()); }
  void TearDown() override {
    if (FSession.Running()) FSession.Process().Terminate();
    test::ChangeAddress("del 10.77.0.3/24");
    // Awake computers would answer the scans of later tests, and so would the neighbour entries
    // they leave behind.
    for (const char* mac : kSleeperMacs) test::PutToSleep(mac);
    for (const char* address : {"10.77.0.31", "10.77.0.32", "10.77.0.33", "10.77.0.34"})
      test::ChangeAddress(std::string("forget ") + address);
  }

  // Starts Kestrune's window over the list, the first computer selected, the banner open.
  void Start(const std::vector<e2e::TComputer>& computers) {
    FSession.StoreSetting("Promo", 1);
    FSession.StoreSetting("Selection", 1);
    ASSERT_TRUE(FSession.StoreList(computers));
    ASSERT_TRUE(FSession.Start());
    ASSERT_TRUE(FSession.WaitSelected(0));
  }

  std::string Line(int i) { return e2e::WindowText(GetDlgItem(FSession.Banner(), kBannerLineId + i)); }
  bool WaitLine(int i, const std::string& text, std::chrono::milliseconds timeout = 5s) {
    return e2e::WaitUntil([&] { return Line(i) == text; }, timeout);
  }
  int BannerHeight() {
    RECT r{};
    GetWindowRect(FSession.Banner(), &r);
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
    GetWindowRect(FSession.Banner(), &r);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, r.left + 3, r.top + 20);
    ReleaseDC(nullptr, screen);
    return colour;
  }

  e2e::TKestruneSession FSession;
};

TEST_F(KestruneWake, TheSelectedComputersRouteAndTheBannerFolded) {
  test::ChangeAddress("add 10.77.0.3/24");  // the third computer's local address, until it goes
  Start({Computer("Office-PC", "02-77-00-00-02-01", "10.77.0.255", "10.77.0.2"),
         Computer("Branch", "02-77-00-00-02-02", "192.168.50.255", "10.77.0.2"),
         Computer("Moved", "02-77-00-00-02-03", "10.77.0.255", "10.77.0.3")});
  EXPECT_TRUE(WaitLine(0, "Office-PC: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-on-this-network").empty());
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Branch: from 10.77.0.2 (lan0) to 192.168.50.255, port 9, through the gateway 10.77.0.1"))
      << Line(0);
  EXPECT_NE(Line(1).find("10.77.0.1"), std::string::npos) << Line(1);  // the remedy names the router
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-through-the-gateway").empty());
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Moved: from 10.77.0.3 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  test::ChangeAddress("del 10.77.0.3/24");
  ::Sleep(1100);  // the sender's check reads the machine's addresses at most once a second
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_UP, 0);
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Moved: the local address 10.77.0.3 is not on this computer")) << Line(0);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-local-address-gone").empty());

  // Open: 125 pixels, every line shown; folded: 16 pixels, the first line alone, the table
  // right below it on the screen.
  EXPECT_EQ(BannerHeight(), 125);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(FSession.Banner(), kBannerLineId + 1)));
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
  Click(FSession.Banner());
  EXPECT_TRUE(e2e::WaitUntil([&] { return BannerHeight() == 16; }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return !IsWindowVisible(GetDlgItem(FSession.Banner(), kBannerLineId + 1)); }));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(FSession.Banner(), kBannerLineId)));
  EXPECT_EQ(Line(0), "Moved: the local address 10.77.0.3 is not on this computer");
  EXPECT_EQ(e2e::WindowText(GetDlgItem(FSession.Banner(), kBannerToggleId)), "\xE2\x96\xBC Open");
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() != kBannerBack; }));
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-banner-folded").empty());
  Click(FSession.Banner());
  EXPECT_TRUE(e2e::WaitUntil([&] { return BannerHeight() == 125; }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
}

TEST_F(KestruneWake, ASleepingComputerWakesAndTheBannerSaysWhen) {
  Start({Computer("Sleeper-31", kSleeperMacs[0], "10.77.0.255", "10.77.0.2")});
  FSession.Command(e2e::kCmdSend);
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
  Start({Computer("Sleeper-32", kSleeperMacs[1], "10.77.0.255", "10.77.0.2"),
         Computer("Sleeper-33", kSleeperMacs[2], "10.77.0.255", "10.77.0.2"),
         Computer("Insomniac", kSleeperMacs[3], "10.77.0.255", "10.77.0.2")});
  FSession.Command(e2e::kCmdSendAll);
  EXPECT_TRUE(WaitLine(0, "Waiting for 1 of 3 computers to wake up", 25s)) << Line(0);
  EXPECT_EQ(Line(1), "Woke up: Sleeper-32, Sleeper-33");
  EXPECT_EQ(PixelInBanner(), kBannerBack);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-send-to-all-waiting").empty());
  // The watch still runs for the third: closing waits for its thread, and the process ends.
  EXPECT_EQ(FSession.Exit(WM_CLOSE, 15s), 0u);
}

}  // namespace
}  // namespace kst
