// vellamar.exe as a user runs it, on the sandbox LAN: the peer computer sends datagrams and the
// test reads what the window's log shows.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "netcore/magic_packet.h"
#include "netcore/win32/handles_win32.h"
#include "tests/e2e/picture.h"
#include "tests/e2e/vellamar_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

using test::Env;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// The log's packet blocks, the date and time line left out (it is checked apart).
std::vector<std::vector<std::string>> PacketBlocks(const std::string& log) {
  std::vector<std::vector<std::string>> blocks;
  for (const auto& line : SplitLines(log)) {
    if (line == "Magic Packet received.") blocks.emplace_back();
    if (blocks.empty()) continue;
    if (line.starts_with("  Date, Time: ")) {
      EXPECT_NE(line.find_first_of("0123456789", 14), std::string::npos) << line;
      continue;
    }
    blocks.back().push_back(line);
  }
  return blocks;
}

bool HasChildText(HWND window, const std::string& text) {
  for (int i = 0; HWND label = FindChild(window, L"Static", i); ++i)
    if (WindowText(label) == text) return true;
  return false;
}

// The dots per inch the programs scale their windows by (the screen's).
UINT GetDpiForSystemOrDefault() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::vector<std::string> Block(const std::string& destination, int sourcePort, int destinationPort,
                               const std::string& mac, const std::string& password = "") {
  std::vector<std::string> block = {"Magic Packet received.",
                                    "  Source Address: " + Env("KST_PEER_ADDRESS"),
                                    "  Source Port: " + std::to_string(sourcePort),
                                    "  Destination Address: " + destination,
                                    "  Destination Port: " + std::to_string(destinationPort),
                                    "  MAC Address: " + mac};
  if (!password.empty()) block.push_back("  SecureOn password: " + password);
  block.push_back("");
  return block;
}

class Vellamar : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()) << "run inside tools/sandbox"; }

  bool HasStatic(const std::string& text) const { return HasChildText(FVellamar.Window(), text); }
  std::string Log() const { return FVellamar.LogText(); }
  size_t LoggedPackets() const { return PacketBlocks(Log()).size(); }

  TVellamarSession FVellamar;
};

std::vector<uint8_t> Bytes(const TMagicPacket& packet) { return {packet.View().begin(), packet.View().end()}; }

// A datagram from this machine to itself over loopback: traffic no adapter carries.
bool SendOverLoopback(const std::vector<uint8_t>& payload, uint16_t port) {
  TWinsockSession winsock;
  TUniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return s && sendto(s.get(), reinterpret_cast<const char*>(payload.data()), static_cast<int>(payload.size()), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<int>(payload.size());
}

TEST_F(Vellamar, LogsMagicPacketsToTheAdapterAndItsBroadcastsOnly) {
  ASSERT_TRUE(FVellamar.Start());
  // The adapter of the LAN is chosen and shown; listening started without complaint.
  EXPECT_TRUE(HasStatic(Env("KST_HOST_ADDRESS")));
  EXPECT_TRUE(HasStatic(Env("KST_HOST_MAC")));
  EXPECT_EQ(Log(), "");

  const std::string lanBroadcast = Env("KST_LAN_BROADCAST"), own = Env("KST_HOST_ADDRESS");
  ASSERT_TRUE(test::PeerSend(lanBroadcast, 9, Bytes(BuildMagicPacket(0x02AA00000011ull, 0)), 1, 40101));
  ASSERT_TRUE(test::PeerSend("255.255.255.255", 7, Bytes(BuildMagicPacket(0x02AA00000012ull, 0xA1B2C3D4E5F6ull)),
                             1, 40102));
  ASSERT_TRUE(WaitUntil([&] { return LoggedPackets() == 2; }));
  {
    // The two packets' lines are written in the log as the user sees it.
    const auto shot = TPicture::Load(TakeScreenshot("vellamar-two-packets"));
    ASSERT_TRUE(shot) << "no screenshot";
    EXPECT_GT(DarkPixels(*shot, FVellamar.Log()), 500);
  }

  // Not a magic packet: right length, one byte of the sixteenth copy wrong.
  auto broken = Bytes(BuildMagicPacket(0x02AA00000013ull, 0));
  broken[101] ^= 0xFF;
  ASSERT_TRUE(test::PeerSend(own, 9, broken, 1, 40103));
  ASSERT_TRUE(SendOverLoopback(Bytes(BuildMagicPacket(0x02AA00000016ull, 0)), 9));
  ASSERT_TRUE(test::PeerSend(own, 40000, Bytes(BuildMagicPacket(0x02AA00000014ull, 0x000000000001ull)), 1, 40104));
  ASSERT_TRUE(test::PeerSend(own, 9, Bytes(BuildMagicPacket(0x02AA00000015ull, 0)), 1, 40105));
  ASSERT_TRUE(WaitUntil([&] { return LoggedPackets() == 4; }));

  const auto blocks = PacketBlocks(Log());
  ASSERT_EQ(blocks.size(), 4u) << Log();
  EXPECT_EQ(blocks[0], Block(lanBroadcast, 40101, 9, "02-AA-00-00-00-11"));
  EXPECT_EQ(blocks[1], Block("255.255.255.255", 40102, 7, "02-AA-00-00-00-12", "A1-B2-C3-D4-E5-F6"));
  EXPECT_EQ(blocks[2], Block(own, 40104, 40000, "02-AA-00-00-00-14", "00-00-00-00-00-01"));
  EXPECT_EQ(blocks[3], Block(own, 40105, 9, "02-AA-00-00-00-15"));
}

// Clicks the tool button at the given position (0 is the first) as the mouse would.
void ClickToolButton(HWND window, int position) {
  HWND toolBar = FindChild(window, L"ToolbarWindow32");
  ASSERT_TRUE(toolBar);
  RECT r{};
  GetClientRect(toolBar, &r);
  // Square buttons side by side from the left edge, as high as the tool bar's buttons are.
  const int side = 23 * static_cast<int>(GetDpiForSystemOrDefault()) / 96;
  const LPARAM at = MAKELPARAM(position * side + side / 2, r.bottom / 2);
  PostMessageW(toolBar, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(toolBar, WM_LBUTTONUP, 0, at);
}

TEST_F(Vellamar, ClearButtonEmptiesTheLogAndAboutOpensOverTheWindow) {
  ASSERT_TRUE(FVellamar.Start());
  ASSERT_TRUE(test::PeerSend(Env("KST_HOST_ADDRESS"), 9, Bytes(BuildMagicPacket(0x02AA00000031ull, 0)), 1, 40106));
  ASSERT_TRUE(WaitUntil([&] { return LoggedPackets() == 1; }));
  ClickToolButton(FVellamar.Window(), 1);
  EXPECT_TRUE(WaitUntil([&] { return Log().empty(); })) << Log();

  ClickToolButton(FVellamar.Window(), 3);
  HWND about = FindProcessWindow(FVellamar.Process().Id(), L"#32770", L"About Vellamar");
  ASSERT_TRUE(about) << "no about window";
  EXPECT_TRUE(HasChildText(about, "Vellamar"));
  EXPECT_TRUE(HasChildText(about, std::string("Version ") + KST_PROJECT_VERSION));
  RECT owner{}, box{};
  GetWindowRect(FVellamar.Window(), &owner);
  GetWindowRect(about, &box);
  EXPECT_NEAR((box.left + box.right) / 2, (owner.left + owner.right) / 2, 1);
  EXPECT_NEAR((box.top + box.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
  {
    const auto shot = TPicture::Load(TakeScreenshot("vellamar-about"));
    ASSERT_TRUE(shot);
    EXPECT_EQ(InsideCorner(*shot, about), ToRgb(GetSysColor(COLOR_BTNFACE)));
    EXPECT_GT(DarkPixels(*shot, about), 100);
  }
  ASSERT_TRUE(PressButton(about, IDOK));
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
}

TEST_F(Vellamar, SecondStartSaysItIsAlreadyRunningAndLeavesTheFirstAlone) {
  ASSERT_TRUE(FVellamar.Start());
  auto second = TProcess::Start(ProgramPath(KST_VELLAMAR_EXE));
  ASSERT_TRUE(second);
  HWND box = FindMessageBox(second->Id());
  ASSERT_TRUE(box) << "no message box";
  EXPECT_EQ(WindowText(box), "Information");
  EXPECT_EQ(MessageBoxText(box), "Vellamar is already running !");
  EXPECT_TRUE(FindProcessWindow(second->Id(), L"VellamarListenForm", L"", std::chrono::milliseconds(0)) == nullptr);
  ASSERT_TRUE(PressButton(box, IDOK));
  EXPECT_EQ(second->WaitExit(), 0u);

  EXPECT_TRUE(FVellamar.Running());
  EXPECT_TRUE(IsWindow(FVellamar.Window()));
  EXPECT_TRUE(HasStatic(Env("KST_HOST_ADDRESS")));
}

TEST_F(Vellamar, ClosesOnItsExitMessage) {
  ASSERT_TRUE(FVellamar.Start());
  EXPECT_EQ(FVellamar.Exit(), 0u);
  // A new start finds no running copy.
  ASSERT_TRUE(FVellamar.Start());
}

}  // namespace
}  // namespace kst::e2e
