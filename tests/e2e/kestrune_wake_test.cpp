// The banner's wake assistant in the real window: the route of the selected computer, and the
// computers of the sandbox that sleep until their magic packet comes (tools/sleeping_computers.py).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "netcore/address_text.h"
#include "netcore/local_network.h"
#include "netcore/win32/handles_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

constexpr int kBannerLineId = 301, kBannerToggleId = 309;
constexpr COLORREF kBannerBack = RGB(30, 60, 120);
// The sandbox's sleeping computers: 31 to 33 wake after 5, 3 and 4 s, 34 never, 35 after 10 s
// (the LAN's name server knows it as sleeper-35), 40 after 2 s (no name, woken by one test only);
// kAwakeMac never sleeps once a test brings it up (at 10.77.0.60).
const char* const kSleeperMacs[] = {"02-77-00-00-01-31", "02-77-00-00-01-32", "02-77-00-00-01-33",
                                    "02-77-00-00-01-34", "02-77-00-00-01-35", "02-77-00-00-01-40"};
constexpr const char* kAwakeMac = "02-77-00-00-01-60";

// A computer of the sandbox LAN, woken on port 9; a new computer's destination unless given.
e2e::TComputer Computer(const char* name, const char* mac, const char* destination = "255.255.255.255",
                        const char* local = "") {
  return {name, StrToMac(mac), destination, 9, 0, "", local};
}

// Makes this machine hold a valid neighbour entry for the address, as it does after talking to
// the computer there; false when none came.
bool TalkTo(const char* address) {
  TWinsockSession winsock;
  TUniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(9);
  to.sin_addr.s_addr = htonl(StrToIp(address));
  sendto(s.get(), "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return e2e::WaitUntil([&] { return FindNeighbourMac(ReadNeighbourTable(), StrToIp(address)) != 0; });
}

class KestruneWake : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    ASSERT_TRUE(test::UseNames("answer"));
  }
  void TearDown() override {
    if (FSession.Running()) FSession.Process().Terminate();
    test::ChangeAddress("del 10.77.0.3/24");
    // Awake computers would answer the scans of later tests; what this machine remembers of
    // them stays, as it would on a real network.
    for (const char* mac : kSleeperMacs) test::PutToSleep(mac);
    for (const auto& mac : FBroughtUp) test::PutToSleep(mac);
    test::UseNames("refuse");
  }

  // Starts Kestrune's window over the list, the first computer selected, the banner open.
  void Start(const std::vector<e2e::TComputer>& computers) {
    FSession.StoreSetting("Promo", 1);
    FSession.StoreSetting("Selection", 1);
    ASSERT_TRUE(FSession.StoreList(computers));
    ASSERT_TRUE(FSession.Start());
    ASSERT_TRUE(FSession.WaitSelected(0));
  }

  // The computer that never sleeps, at 10.77.0.60, until the test ends.
  bool BringUpAwake() {
    FBroughtUp.push_back(kAwakeMac);
    return test::BringUp("10.77.0.60", kAwakeMac);
  }

  std::string Line(int i) { return e2e::WindowText(GetDlgItem(FSession.Banner(), kBannerLineId + i)); }
  bool WaitLine(int i, const std::string& text, std::chrono::milliseconds timeout = 5s) {
    return e2e::WaitUntil([&] { return Line(i) == text; }, timeout);
  }
  // Waits until the first line matches; its number N ("after N s"), or -1.
  int WaitSeconds(const std::string& pattern, std::chrono::milliseconds timeout) {
    std::smatch m;
    std::string line;
    const bool seen = e2e::WaitUntil(
        [&] {
          line = Line(0);
          return std::regex_match(line, m, std::regex(pattern));
        },
        timeout);
    EXPECT_TRUE(seen) << line;
    return seen ? std::stoi(m[1].str()) : -1;
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
  std::vector<std::string> FBroughtUp;
};

TEST_F(KestruneWake, TheSelectedComputersRouteAndTheBannerFolded) {
  test::ChangeAddress("add 10.77.0.3/24");  // the third computer's local address, until it goes
  Start({Computer("Office-PC", "02-77-00-00-02-01", "10.77.0.255", "10.77.0.2"),
         Computer("Branch", "02-77-00-00-02-02", "192.168.50.255", "10.77.0.2"),
         Computer("Moved", "02-77-00-00-02-03", "10.77.0.255", "10.77.0.3")});
  EXPECT_TRUE(WaitLine(0, "Office-PC: from 10.77.0.2 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  EXPECT_EQ(Line(1), "The packet reaches every computer of this network; after a send Kestrune watches for Office-PC "
                     "to answer ARP.");
  EXPECT_TRUE(e2e::WaitUntil([&] { return PixelInBanner() == kBannerBack; }));
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-on-this-network").empty());
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Branch: from 10.77.0.2 (lan0) to 192.168.50.255, port 9, through the gateway 10.77.0.1"))
      << Line(0);
  // The forwarding rule belongs on the router next to the destination's network, not on ours.
  EXPECT_NE(Line(1).find("the router that delivers to the network of 192.168.50.255"), std::string::npos) << Line(1);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-route-through-the-gateway").empty());
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_TRUE(WaitLine(0, "Moved: from 10.77.0.3 (lan0) to 10.77.0.255, port 9, on this network")) << Line(0);
  test::ChangeAddress("del 10.77.0.3/24");
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

TEST_F(KestruneWake, ASleeperTheNameServerKnowsWakesUpAndTheBannerSaysWhen) {
  Start({Computer("sleeper-35", kSleeperMacs[4])});
  FSession.Command(e2e::kCmdSend);
  EXPECT_TRUE(WaitLine(0, "Waiting for sleeper-35 to wake up")) << Line(0);
  // Asked at the address the name server gave (and at its old entry, when an earlier test left
  // one): silent, then answering once awake after 10 s.
  const int seconds = WaitSeconds("sleeper-35 woke up after ([0-9]+) s at 10\\.77\\.0\\.35", 25s);
  EXPECT_GE(seconds, 10);
  EXPECT_LE(seconds, 13);
  EXPECT_TRUE(std::regex_match(Line(1), std::regex("It was silent at 10\\.77\\.0\\.35 [0-9]+ s after the packet and "
                                                   "answered for 02-77-00-00-01-35 there at " + std::to_string(seconds) +
                                                   " s: it woke up in between\\.")))
      << Line(1);
  EXPECT_EQ(PixelInBanner(), kBannerBack);  // the open banner, where the text stands
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-woke-up").empty());
}

TEST_F(KestruneWake, ASleeperWithoutANameIsFoundBySweepingItsNetwork) {
  Start({Computer("Sleeper-40", kSleeperMacs[5])});
  FSession.Command(e2e::kCmdSend);
  EXPECT_TRUE(WaitLine(1, "Kestrune asks by ARP for 02-77-00-00-01-40 across 10.77.0.0/24, at most 15 requests a "
                          "second, for up to 2 minutes."))
      << Line(1);
  // The sweep reaches 10.77.0.40 after the computer woke (2 s): it was never seen silent there.
  EXPECT_GE(WaitSeconds("Sleeper-40 answered ARP at 10\\.77\\.0\\.40 ([0-9]+) s after the packet", 40s), 2);
}

TEST_F(KestruneWake, AnAwakeComputerIsToldApartByWhetherThisMachineKnewIt) {
  // Known: this machine talked to it before the send.
  ASSERT_TRUE(BringUpAwake());
  ASSERT_TRUE(TalkTo("10.77.0.60"));
  Start({Computer("Awake-60", kAwakeMac)});
  FSession.Command(e2e::kCmdSend);
  EXPECT_TRUE(WaitLine(0, "Awake-60 answered ARP at 10.77.0.60 before the packet was sent", 20s)) << Line(0);
  EXPECT_TRUE(FSession.Exit(WM_CLOSE).has_value());

  // Never seen: a computer that came up with a MAC no entry holds, found by the sweep.
  char mac[18];
  snprintf(mac, sizeof mac, "02-77-00-02-%02X-%02X", static_cast<unsigned>(GetTickCount64() >> 8) & 0xFF,
           static_cast<unsigned>(GetTickCount64()) & 0xFF);
  ASSERT_TRUE(test::BringUp("10.77.0.61", mac));
  FBroughtUp.push_back(mac);
  Start({Computer("Fresh-61", mac)});
  FSession.Command(e2e::kCmdSend);
  EXPECT_GE(WaitSeconds("Fresh-61 answered ARP at 10\\.77\\.0\\.61 ([0-9]+) s after the packet", 40s), 0);
  EXPECT_NE(Line(1).find("it may have been awake already"), std::string::npos) << Line(1);
}

TEST_F(KestruneWake, SendToAllNamesEachOutcomeApartAndADeletedComputerLeavesAtOnce) {
  ASSERT_TRUE(BringUpAwake());
  ASSERT_TRUE(TalkTo("10.77.0.60"));
  Start({Computer("sleeper-35", kSleeperMacs[4]), Computer("Awake-60", kAwakeMac),
         Computer("Insomniac", kSleeperMacs[3])});
  FSession.Command(e2e::kCmdSendAll);
  EXPECT_TRUE(WaitLine(0, "Waiting for 1 of 3 computers to wake up", 30s)) << Line(0);
  EXPECT_EQ(Line(1), "Woke up: sleeper-35");
  EXPECT_EQ(Line(2), "Answered ARP before the packet was sent: Awake-60");
  EXPECT_EQ(PixelInBanner(), kBannerBack);
  EXPECT_FALSE(e2e::TakeScreenshot("kestrune-send-to-all-waiting").empty());
  // Insomniac deleted while it is waited for: the banner no longer counts it.
  PostMessageW(FSession.Table(), WM_KEYDOWN, VK_END, 0);
  ASSERT_TRUE(FSession.WaitSelected(2));
  FSession.Command(e2e::kCmdDelete);
  HWND box = e2e::FindMessageBox(FSession.Process().Id());
  ASSERT_TRUE(box);
  EXPECT_TRUE(e2e::PressButtonByText(box, L"&Yes"));
  EXPECT_TRUE(WaitLine(0, "Both computers answered ARP", 1s)) << Line(0);
}

TEST_F(KestruneWake, OnWindowsEachProbeIsAResolutionAndTheSleeperStillWakesUp) {
  // A build whose neighbour calls behave as Windows' do: every probe blocks until an answer or
  // the system gives up, on threads of the watch's own.
  FSession.UseProgram(e2e::ProgramPath(KST_KESTRUNE_WINDOWS_ARP_EXE));
  // It was awake a while ago, as the test before left it: the entry it left is STALE. (One still
  // REACHABLE, seconds after it answered, Linux would not check; the stand-in, which cannot flush
  // an entry as Windows does, would take it for an answer.)
  ASSERT_TRUE(test::LeaveNeighbourEntry("stale", "10.77.0.35", kSleeperMacs[4]));
  Start({Computer("sleeper-35", kSleeperMacs[4])});
  FSession.Command(e2e::kCmdSend);
  const int seconds = WaitSeconds("sleeper-35 woke up after ([0-9]+) s at 10\\.77\\.0\\.35", 25s);
  EXPECT_GE(seconds, 10);
  EXPECT_LE(seconds, 14);
}

TEST_F(KestruneWake, AnExitWaitsNeitherForTheWatchNorForAHeldUpNameLookupAndTheNextStartIsLetIn) {
  // The LAN's name server is down: the C library gives a lookup up 10 s after it asked.
  ASSERT_TRUE(test::UseNames("silent"));
  const int asked = test::NameServerQueries("sleeper-35");
  Start({Computer("sleeper-35", kSleeperMacs[4]), Computer("Insomniac", kSleeperMacs[3])});
  FSession.Command(e2e::kCmdSendAll);
  EXPECT_TRUE(WaitLine(0, "Waiting for 2 of 2 computers to wake up")) << Line(0);
  ASSERT_TRUE(e2e::WaitUntil([&] { return test::NameServerQueries("sleeper-35") > asked; }));
  // Closed while the lookup hangs and the watch has nearly two minutes to go: the process ends
  // before either could, saving first.
  EXPECT_EQ(FSession.Exit(WM_CLOSE, 8s), 0u);
  EXPECT_EQ(FSession.StoredNames(), (std::vector<std::string>{"sleeper-35 02-77-00-00-01-35", "Insomniac 02-77-00-00-01-34"}));
  // Its mutex went with it: the next start gets its window, not "Kestrune is already running !".
  ASSERT_TRUE(FSession.Start());
  EXPECT_FALSE(e2e::FindMessageBox(FSession.Process().Id(), 1s));
}

}  // namespace
}  // namespace kst
