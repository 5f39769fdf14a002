// The wake assistant's whole watch of a computer that never wakes: two minutes of ARP on the
// sandbox's LAN, counted on the wire from this machine's MAC (tools/sleeping_computers.py).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "netcore/address_text.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

constexpr int kBannerLineId = 301;

TEST(KestruneWakeBudget, ANeverWakingComputerIsAskedForTwoMinutesAtMostFifteenRequestsASecond) {
  ASSERT_TRUE(test::InSandbox());
  e2e::TKestruneSession session;
  session.StoreSetting("Promo", 1);
  session.StoreSetting("Selection", 1);
  // A new computer's destination, and a name nobody knows: the watch sweeps the whole /24.
  ASSERT_TRUE(session.StoreList({{"Insomniac", StrToMac("02-77-00-00-01-34"), "255.255.255.255", 9}}));
  ASSERT_TRUE(session.Start());
  ASSERT_TRUE(session.WaitSelected(0));
  const auto line = [&](int i) { return e2e::WindowText(GetDlgItem(session.Banner(), kBannerLineId + i)); };
  const double sent = kst::test::WallClockNow();
  session.Command(e2e::kCmdSend);
  EXPECT_TRUE(e2e::WaitUntil([&] { return line(0) == "Insomniac has not answered after 2 minutes"; }, 135s))
      << line(0);
  const double over = kst::test::WallClockNow();
  std::vector<test::TArpRequest> requests = test::ArpRequestsLogFromHost();
  std::erase_if(requests, [&](const test::TArpRequest& r) { return r.Time < sent || r.Time > over; });
  // The watch's requests: it asks no computer that answers, so its requests and their
  // retransmissions go to every computer. Linux also checks on its own, by unicast, the entries
  // of the computers that answered a datagram once (here every 5 s plus its reachable time, 1 to
  // 3 s, for as long as it keeps them); those requests are the system's, counted apart.
  std::vector<double> asked;
  std::map<std::string, std::vector<double>> checked;
  for (const auto& r : requests) {
    if (r.Broadcast)
      asked.push_back(r.Time);
    else
      checked[r.Address].push_back(r.Time);
  }
  size_t peak = 0;
  for (size_t i = 0, j = 0; i < asked.size(); ++i) {
    while (j < asked.size() && asked[j] < asked[i] + 1.0) ++j;
    peak = std::max(peak, j - i);
  }
  EXPECT_LE(peak, 15u);
  // Asked all the time: a pass of the /24 takes about a minute of the budget.
  EXPECT_GE(asked.size(), 1000u) << "peak " << peak;
  // A check is up to three requests a second apart (the last ones when the computer has gone to
  // sleep since), and the next comes 5 s after the last answer at the soonest.
  for (const auto& [address, times] : checked) {
    EXPECT_NE(address, "10.77.0.34");  // never answered: nothing to check
    for (size_t i = 0; i < times.size(); ++i) {
      const auto within = std::count_if(times.begin() + static_cast<std::ptrdiff_t>(i), times.end(),
                                        [&](double t) { return t < times[i] + 5.0; });
      EXPECT_LE(within, 3) << address;
    }
  }
  EXPECT_EQ(line(1),
            "Check Wake-on-LAN in its firmware and its adapter's power settings, that the packet reaches its network "
            "(the same network, or a router that forwards it), and run Vellamar on a computer there to see it arrive.");
}

}  // namespace
}  // namespace kst
