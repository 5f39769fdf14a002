#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "listener/win32/admin_win32.h"
#include "listener/win32/wol_listener.h"
#include "netcore/magic_packet.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using test::Env;

std::vector<uint8_t> Bytes(const TMagicPacket& packet) { return {packet.View().begin(), packet.View().end()}; }

// Runs this thread's messages, where the socket notifications arrive, until the listener has
// handed over a packet or the time-out passed.
std::optional<TReceivedMagicPacket> NextPacket(TWolListener& listener,
                                               std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
  std::optional<TReceivedMagicPacket> received;
  listener.OnDataAvailable = [&](TWolListener& sender, const TReceivedMagicPacket& packet) {
    EXPECT_EQ(&sender, &listener);
    if (!received) received = packet;
  };
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!received && std::chrono::steady_clock::now() < end) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  listener.OnDataAvailable = nullptr;
  return received;
}

class WolListener : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::InSandbox()) << "network tests run only inside tools/sandbox"; }

  int LanIndex() const {
    for (size_t i = 0; i < FListener.Addresses().size(); ++i)
      if (FListener.Addresses()[i].Address == Env("KST_HOST_ADDRESS")) return static_cast<int>(i);
    return -1;
  }

  TWolListener FListener;
};

TEST_F(WolListener, OffersTheLanAdapterWithItsMac) {
  ASSERT_FALSE(FListener.Addresses().empty());
  const auto& first = FListener.Addresses()[0];
  EXPECT_EQ(first.Address, Env("KST_HOST_ADDRESS"));  // the one with a gateway comes first
  EXPECT_EQ(first.Mac, Env("KST_HOST_MAC"));
  EXPECT_EQ(first.Description, "lan0");
  EXPECT_FALSE(FListener.Listening());
}

TEST_F(WolListener, RefusesIndexesOutsideTheAddresses) {
  for (int index : {-1, static_cast<int>(FListener.Addresses().size())}) {
    EXPECT_FALSE(FListener.StartListening(index)) << index;
    EXPECT_EQ(FListener.ErrorText(), "Wrong local IP address");
    EXPECT_FALSE(FListener.Listening());
  }
}

TEST_F(WolListener, HandsOverMagicPacketsUntilStopped) {
  ASSERT_TRUE(FListener.StartListening(LanIndex())) << FListener.ErrorText();
  EXPECT_TRUE(FListener.Listening());
  ASSERT_TRUE(test::PeerSend(Env("KST_HOST_ADDRESS"), 9, Bytes(BuildMagicPacket(0x02AA00000021ull, 0)), 1, 40110));
  auto packet = NextPacket(FListener);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->SourceAddress, Env("KST_PEER_ADDRESS"));
  EXPECT_EQ(packet->DestinationAddress, Env("KST_HOST_ADDRESS"));
  EXPECT_EQ(packet->SourcePort, 40110);
  EXPECT_EQ(packet->DestinationPort, 9);
  EXPECT_EQ(packet->Mac, "02-AA-00-00-00-21");
  EXPECT_EQ(packet->Password, "");

  // Starting again after a stop works on the same listener, as a change of adapter does.
  FListener.StopListening();
  EXPECT_FALSE(FListener.Listening());
  ASSERT_TRUE(test::PeerSend(Env("KST_HOST_ADDRESS"), 9, Bytes(BuildMagicPacket(0x02AA00000022ull, 0)), 1, 40111));
  EXPECT_FALSE(NextPacket(FListener, std::chrono::milliseconds(300)));
  ASSERT_TRUE(FListener.StartListening(LanIndex()));
  ASSERT_TRUE(test::PeerSend(Env("KST_LAN_BROADCAST"), 7, Bytes(BuildMagicPacket(0x02AA00000023ull, 0)), 1, 40112));
  packet = NextPacket(FListener);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->Mac, "02-AA-00-00-00-23");
  EXPECT_EQ(packet->DestinationAddress, Env("KST_LAN_BROADCAST"));
}

TEST_F(WolListener, KeepsABurstThatArrivesWhileTheThreadIsBusy) {
  // The window's thread is away for tens of milliseconds whenever it redraws the log; whatever
  // arrives meanwhile must wait in the socket's queue. 3,000 datagrams overflow the system's
  // default queue several times over.
  ASSERT_TRUE(FListener.StartListening(LanIndex())) << FListener.ErrorText();
  constexpr int kBurst = 3000;
  ASSERT_TRUE(test::PeerSend(Env("KST_HOST_ADDRESS"), 9, Bytes(BuildMagicPacket(0x02AA00000031ull, 0)), kBurst, 40113));
  int received = 0;
  FListener.OnDataAvailable = [&](TWolListener&, const TReceivedMagicPacket& packet) {
    received += packet.Mac == "02-AA-00-00-00-31";
  };
  auto quietSince = std::chrono::steady_clock::now();
  for (int last = -1; std::chrono::steady_clock::now() - quietSince < std::chrono::milliseconds(500);) {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (received != last) {
      last = received;
      quietSince = std::chrono::steady_clock::now();
    }
    Sleep(5);
  }
  FListener.OnDataAvailable = nullptr;
  EXPECT_EQ(received, kBurst);
}

TEST(AdminCheck, AdministratorsYesGuestsNo) {
  // Wine runs every process elevated.
  EXPECT_TRUE(IsAdminLoggedOn());
  EXPECT_FALSE(IsMemberOfGroup(DOMAIN_ALIAS_RID_GUESTS));
}

}  // namespace
}  // namespace kst
