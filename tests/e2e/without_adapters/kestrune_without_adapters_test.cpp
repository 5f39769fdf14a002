// Kestrune on a machine without any network adapter: run through tools/loopback-only, where the
// namespace has only loopback and Wine's adapter table is empty. The start-up error box comes
// first; the stored list must still be served from the command line and shown and kept by the
// window.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include "netcore/magic_packet.h"
#include "netcore/registry.h"
#include "netcore/win32/handles_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using e2e::TProcess;

constexpr char kNoAdapter[] =
    "No network adapter with an IPv4 address was found, so magic packets cannot be sent and computers cannot be "
    "searched for until one is connected.\r\n\r\n";

// A UDP port on loopback that collects what arrives.
class TLoopbackPort {
 public:
  explicit TLoopbackPort(uint16_t port) : FSocket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    FBound = bind(FSocket.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const DWORD timeout = 5000;
    setsockopt(FSocket.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  }
  bool Bound() const { return FBound; }
  // The payload of the next datagram as hexadecimal text; empty after the time-out.
  std::string Receive() {
    uint8_t buffer[2048];
    const int n = recv(FSocket.get(), reinterpret_cast<char*>(buffer), sizeof buffer, 0);
    return n > 0 ? test::Hex({buffer, static_cast<size_t>(n)}) : std::string();
  }

 private:
  TUniqueSocket FSocket;
  bool FBound = false;
};

class KestruneWithoutAdapters : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    ULONG size = 0;
    ASSERT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<DWORD>(ERROR_NO_DATA))
        << "run through tools/loopback-only: this namespace has network adapters";
    ASSERT_TRUE(FSession.StoreList({{"PC1", 0x02EE00000001, "127.0.0.1", 40031}, {"pc2", 0x02EE00000002, "127.0.0.1", 40032}}));
    FSession.StoreSettings([](IRegistryAccessor& reg) {
      for (uint32_t n = 0; n < 4; ++n) reg.WriteDword("Columns" + std::to_string(n), 111 + 11 * n);
      reg.WriteDword("Selection", 2);
    });
  }
  // The start-up box says what is missing, then the system's text; OK goes on.
  static void AnswerNoAdapterBox(const TProcess& process) {
    HWND box = e2e::FindMessageBox(process.Id(), 30s);
    ASSERT_TRUE(box);
    EXPECT_EQ(e2e::WindowText(box), "Error");
    const std::string text = e2e::MessageBoxText(box);
    EXPECT_EQ(text.rfind(kNoAdapter, 0), 0u) << text;
    EXPECT_GT(text.size(), std::string(kNoAdapter).size()) << text;
    EXPECT_TRUE(e2e::PressButton(box, IDOK));
  }
  static std::string PacketHex(uint64_t mac) { return test::Hex(BuildMagicPacket(mac, 0).View()); }

  TWinsockSession FWinsock;
  e2e::TKestruneSession FSession;
};

TEST_F(KestruneWithoutAdapters, CommandLineStillServesTheStoredList) {
  TLoopbackPort first(40031), second(40032);
  ASSERT_TRUE(first.Bound() && second.Bound());

  auto one = e2e::StartKestrune(L"/pc1");
  ASSERT_TRUE(one);
  AnswerNoAdapterBox(*one);
  EXPECT_EQ(first.Receive(), PacketHex(0x02EE00000001));
  EXPECT_EQ(one->WaitExit(15s), 0u);

  auto all = e2e::StartKestrune(L"/all!");
  ASSERT_TRUE(all);
  AnswerNoAdapterBox(*all);
  EXPECT_EQ(first.Receive(), PacketHex(0x02EE00000001));
  EXPECT_EQ(second.Receive(), PacketHex(0x02EE00000002));
  EXPECT_EQ(all->WaitExit(15s), 0u);
}

TEST_F(KestruneWithoutAdapters, WindowShowsTheStoredListAndExitKeepsItsLayout) {
  ASSERT_TRUE(FSession.Launch());
  AnswerNoAdapterBox(FSession.Process());
  ASSERT_TRUE(FSession.FindMainWindow(30s));
  EXPECT_TRUE(FSession.WaitRows(2));
  EXPECT_TRUE(FSession.WaitSelected(1));

  EXPECT_EQ(FSession.Exit(WM_APP_EXIT, 15s), 0u);
  EXPECT_EQ(FSession.StoredNumber("Columns0"), 111u);
  EXPECT_EQ(FSession.StoredNumber("Columns1"), 122u);
  EXPECT_EQ(FSession.StoredNumber("Columns2"), 133u);
  EXPECT_EQ(FSession.StoredNumber("Columns3"), 144u);
  EXPECT_EQ(FSession.StoredNumber("Selection"), 2u);
}

}  // namespace
}  // namespace kst
