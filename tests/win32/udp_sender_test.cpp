#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"
#include "netcore/win32/handles_win32.h"
#include "sender/messages.h"
#include "sender/win32/udp_sender.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using test::Env;
using test::Hex;

// A window that only collects the sender's posted messages.
class TOutcomeWindow {
 public:
  TOutcomeWindow() : FWindow(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {}
  HWND Handle() const { return FWindow.get(); }

  // The next packet message, or nothing after the time-out.
  std::optional<MSG> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    MSG msg{};
    do {
      if (PeekMessageW(&msg, FWindow.get(), WM_PACKET_SENT, WM_PACKET_FAILED, PM_REMOVE)) return msg;
      Sleep(5);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
  }

 private:
  TUniqueWindow FWindow;
};

class TLoopbackReceiver {
 public:
  TLoopbackReceiver() : FSocket(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(FSocket.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int size = sizeof addr;
    getsockname(FSocket.get(), reinterpret_cast<sockaddr*>(&addr), &size);
    FPort = ntohs(addr.sin_port);
    const DWORD timeout = 3000;
    setsockopt(FSocket.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  }
  uint16_t Port() const { return FPort; }

  struct TDatagram {
    std::vector<uint8_t> Bytes;
    std::string Source;
  };
  std::optional<TDatagram> Receive() {
    std::vector<uint8_t> buffer(2048);
    sockaddr_in from{};
    int fromSize = sizeof from;
    const int n = recvfrom(FSocket.get(), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                           reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return TDatagram{buffer, IpToStr(ntohl(from.sin_addr.s_addr))};
  }

 private:
  TWinsockSession FWinsock;
  TUniqueSocket FSocket;
  uint16_t FPort = 0;
};

class UdpSender : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()) << "network tests run only inside tools/sandbox"; }
  TWinsockSession FWinsock;
};

uint64_t Token(uint64_t n) { return n; }

std::string PacketHex(uint64_t mac, uint64_t password) { return Hex(BuildMagicPacket(mac, password).View()); }

// Sends one packet the chosen way; for the thread, checks its one message.
void SendOnce(bool thread, const std::string& destination, const std::string& local, uint16_t port, uint64_t mac,
              uint64_t password) {
  if (!thread) {
    EXPECT_TRUE(SendMagicPacketSync(destination, local, port, mac, password));
    return;
  }
  TOutcomeWindow window;
  ASSERT_TRUE(TUdpSender::Start(Token(0x1234), window.Handle(), destination, local, mac, password, port));
  const auto msg = window.Wait();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->message, WM_PACKET_SENT);
  EXPECT_EQ(msg->wParam, 0x1234u);
  EXPECT_EQ(static_cast<uint32_t>(msg->lParam), StrToIp(destination));
  EXPECT_FALSE(window.Wait(std::chrono::milliseconds(200)));  // exactly one message per send
}

TEST_F(UdpSender, BothWaysDeliverExactBytesOnLoopback) {
  TLoopbackReceiver receiver;
  for (bool thread : {true, false}) {
    for (uint64_t password : {0ull, 0xA1B2C3D4E5F6ull}) {
      SCOPED_TRACE(std::string(thread ? "thread" : "blocking") + (password ? ", 108 bytes" : ", 102 bytes"));
      SendOnce(thread, "127.0.0.1", "127.0.0.1", receiver.Port(), 0x001122334455ull, password);
      const auto d = receiver.Receive();
      ASSERT_TRUE(d);
      EXPECT_EQ(d->Bytes.size(), password ? 108u : 102u);
      EXPECT_EQ(Hex(d->Bytes), PacketHex(0x001122334455ull, password));
      EXPECT_EQ(d->Source, "127.0.0.1");
    }
  }
}

TEST_F(UdpSender, ASendToAllChainOfTwoThousandSendersEachPostsItsOneOutcome) {
  // As Send to All starts them: the next once the last has posted. Threads that end as fast as
  // these, left to run on their own, once crashed the program under Wine.
  TLoopbackReceiver receiver;
  TOutcomeWindow window;
  for (uint64_t id = 1; id <= 2000; ++id) {
    ASSERT_TRUE(TUdpSender::Start(Token(id), window.Handle(), "127.0.0.1", "", 0x02AA00000000ull + id, 0, receiver.Port()));
    const auto msg = window.Wait();
    ASSERT_TRUE(msg) << id;
    ASSERT_EQ(msg->message, WM_PACKET_SENT) << id;
    ASSERT_EQ(msg->wParam, id);
  }
}

TEST_F(UdpSender, BothWaysReachThePeerFromTheChosenAddress) {
  const std::string peer = Env("KST_PEER_ADDRESS");
  uint64_t mac = 0x02AA00000100ull;
  for (bool thread : {true, false}) {
    for (uint64_t password : {0ull, 0x665544332211ull}) {
      SCOPED_TRACE(std::string(thread ? "thread" : "blocking") + (password ? ", 108 bytes" : ", 102 bytes"));
      ++mac;
      SendOnce(thread, peer, Env("KST_HOST_ADDRESS"), 40001, mac, password);
      const std::string hex = PacketHex(mac, password);
      const auto seen = test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == hex; });
      ASSERT_TRUE(seen);
      EXPECT_EQ(seen->Source, Env("KST_HOST_ADDRESS"));
      EXPECT_EQ(seen->Destination, peer);
      EXPECT_EQ(seen->DestinationPort, 40001);
    }
  }
}

TEST_F(UdpSender, BroadcastsReachThePeer) {
  // The limited broadcast and the LAN's own broadcast address both need SO_BROADCAST.
  TOutcomeWindow window;
  ASSERT_TRUE(TUdpSender::Start(Token(2), window.Handle(), "255.255.255.255", Env("KST_HOST_ADDRESS"),
                                0x02AA00000003ull, 0, 9));
  auto msg = window.Wait();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->message, WM_PACKET_SENT);
  EXPECT_EQ(static_cast<uint32_t>(msg->lParam), 0xFFFFFFFFu);
  const std::string limited = PacketHex(0x02AA00000003ull, 0);
  auto seen = test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == limited; });
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->Destination, "255.255.255.255");
  EXPECT_EQ(seen->DestinationPort, 9);

  const std::string lanBroadcast = Env("KST_LAN_BROADCAST");
  ASSERT_TRUE(TUdpSender::Start(Token(3), window.Handle(), lanBroadcast, "0.0.0.0", 0x02AA00000004ull, 0, 7));
  msg = window.Wait();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->message, WM_PACKET_SENT);
  EXPECT_EQ(static_cast<uint32_t>(msg->lParam), StrToIp(lanBroadcast));
  const std::string directed = PacketHex(0x02AA00000004ull, 0);
  seen = test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == directed; });
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->Destination, lanBroadcast);
  EXPECT_EQ(seen->DestinationPort, 7);
}

TEST_F(UdpSender, UnresolvableDestinationsPostNotResolved) {
  TOutcomeWindow window;
  for (const char* destination : {"", "no-such-computer.invalid", "1.2.3.4.5"}) {
    SCOPED_TRACE(destination);
    ASSERT_TRUE(TUdpSender::Start(Token(7), window.Handle(), destination, "", 0x02AA00000005ull, 0, 40003));
    const auto msg = window.Wait();
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->message, WM_HOST_NOT_RESOLVED);
    EXPECT_EQ(msg->wParam, 7u);
    EXPECT_EQ(msg->lParam, 0);
    EXPECT_FALSE(SendMagicPacketSync(destination, "", 40003, 0x02AA00000005ull, 0));
  }
  // Nothing left the machine for any of them.
  const std::string hex = PacketHex(0x02AA00000005ull, 0);
  EXPECT_FALSE(test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == hex; }, std::chrono::milliseconds(300)));
}

TEST_F(UdpSender, LocalAddressNotOnThisMachinePostsFailed) {
  TOutcomeWindow window;
  const std::string peer = Env("KST_PEER_ADDRESS");
  ASSERT_TRUE(TUdpSender::Start(Token(9), window.Handle(), peer, "10.99.99.99", 0x02AA00000006ull, 0, 40004));
  const auto msg = window.Wait();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->message, WM_PACKET_FAILED);
  EXPECT_EQ(msg->wParam, 9u);
  EXPECT_EQ(static_cast<uint32_t>(msg->lParam), StrToIp(peer));
  EXPECT_FALSE(SendMagicPacketSync(peer, "10.99.99.99", 40004, 0x02AA00000006ull, 0));
}

TEST_F(UdpSender, HostNameResolvesToTheResolversFirstAddress) {
  // "multi-homed" has two addresses in the sandbox; the sender takes the resolver's first.
  std::vector<std::string> all;
  ADDRINFOA hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  PADDRINFOA list = nullptr;
  ASSERT_EQ(getaddrinfo("multi-homed", nullptr, &hints, &list), 0);
  for (auto* item = list; item; item = item->ai_next)
    all.push_back(IpToStr(ntohl(reinterpret_cast<sockaddr_in*>(item->ai_addr)->sin_addr.s_addr)));
  freeaddrinfo(list);
  ASSERT_EQ(all.size(), 2u);

  TOutcomeWindow window;
  ASSERT_TRUE(TUdpSender::Start(Token(11), window.Handle(), "multi-homed", "", 0x02AA00000007ull, 0, 40005));
  const auto msg = window.Wait();
  ASSERT_TRUE(msg);
  EXPECT_EQ(msg->message, WM_PACKET_SENT);
  EXPECT_EQ(IpToStr(static_cast<uint32_t>(msg->lParam)), all.front());
}

}  // namespace
}  // namespace kst
