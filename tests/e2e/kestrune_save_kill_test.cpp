// kestrune.exe killed while it saves a long list at exit: whenever it stops, the next start
// must find a whole list, the one it had before or the one it was writing, never a mixture.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "netcore/address_text.h"
#include "netcore/registry.h"
#include "sender/registry_store.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Long enough that the save takes seconds under Wine, so that the kills land in each of its
// steps; short enough for the time limit of one test on a busy machine.
constexpr int kComputers = 1000;

struct TStored {
  std::string Name;
  uint64_t Mac;
  uint64_t Broadcast;
  uint16_t Port;
  uint32_t Local;
  bool operator==(const TStored&) const = default;
};

// Computer i of the list the test writes; every field differs from its neighbours'.
TStored Computer(int i, uint32_t host) {
  char name[16];
  std::snprintf(name, sizeof name, "PC-%05d", i);
  return {name, 0x02D000000000ull + static_cast<uint64_t>(i) * 0x10001ull, 0x0A4D0000ull + static_cast<uint64_t>(i % 250),
          static_cast<uint16_t>(7 + i % 3), host};
}

int64_t Ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }

class KestruneSaveKill : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    FHost = test::Env("KST_HOST_ADDRESS");
    std::vector<e2e::TComputer> list;
    for (int i = 0; i < kComputers; ++i) {
      const TStored c = Computer(i, StrToIp(FHost));
      list.push_back({c.Name, c.Mac, IpToStr(c.Broadcast), c.Port, 0, "", FHost});
      FCurrent.push_back(c);
    }
    ASSERT_TRUE(FSession.StoreList(list));
  }

  // The list as the next start loads it.
  std::vector<TStored> Stored() {
    std::vector<TStored> list;
    for (const auto& r : FSession.StoredList({FHost}))
      list.push_back({r->ComputerName, r->MacAddress, r->BroadcastAddress, r->Port, r->LocalIpAddress});
    return list;
  }
  bool StagingMarked() {
    IRegistryAccessor& registry = FSession.Registry();
    registry.SetAccess(TRegAccess::Read);
    if (!registry.OpenKey(kListStagingKey, false)) return false;
    const bool marked = registry.ReadDword("Complete").value_or(0) == 1;
    registry.CloseKey();
    return marked;
  }

  // Starts kestrune.exe with the first row selected and checks that its table lists the
  // current list (so each start also checks what the kill before it left); false when a step
  // failed.
  bool StartListed() {
    FSession.StoreSetting("Selection", 1);
    const bool started = FSession.Start(30s);
    EXPECT_TRUE(started) << "no main window with its table";
    if (!started) return false;
    const int rows = static_cast<int>(FCurrent.size());
    const bool listed = e2e::WaitUntil([&] { return FSession.Rows() == rows && FSession.Selected() == 0; }, 30s);
    EXPECT_TRUE(listed) << "the start listed " << FSession.Rows() << " computers, the registry holds " << rows;
    return listed;
  }

  // Starts kestrune.exe, deletes the first computer (answering the question) and asks the
  // program to exit. The moment of that request; nothing when a step failed.
  std::optional<Clock::time_point> StartDeleteAndExit() {
    if (!StartListed()) return std::nullopt;
    FSession.Command(e2e::kCmdDelete);
    HWND box = e2e::FindMessageBox(FSession.Process().Id());
    EXPECT_TRUE(box) << "no question before deleting";
    if (!box || !e2e::PressButton(box, IDYES)) return std::nullopt;
    const bool deleted = FSession.WaitRows(static_cast<int>(FCurrent.size()) - 1);
    EXPECT_TRUE(deleted) << "the table lists " << FSession.Rows() << " computers after the delete";
    if (!deleted) return std::nullopt;
    const auto asked = Clock::now();
    PostMessageW(FSession.Window(), WM_APP_EXIT, 0, 0);
    return asked;
  }

  e2e::TKestruneSession FSession;
  std::string FHost;
  // What the registry holds now, as the test wrote or last found it.
  std::vector<TStored> FCurrent;
};

TEST_F(KestruneSaveKill, EveryKillDuringTheSaveLeavesTheOldOrTheNewListWhole) {
  // One save left to finish, to learn when its steps run on this machine: the copy appears,
  // is marked whole, and is gone once the list has been replaced.
  auto asked = StartDeleteAndExit();
  ASSERT_TRUE(asked);
  std::optional<Clock::time_point> staged, marked, done;
  while (!done && Clock::now() - *asked < 60s) {
    const bool staging = FSession.Registry().KeyExists(kListStagingKey);
    if (!staged && staging) staged = Clock::now();
    if (!marked && staging && StagingMarked()) marked = Clock::now();
    if ((marked && !staging) || !FSession.Running()) done = Clock::now();
    Sleep(10);
  }
  ASSERT_TRUE(done) << "the program did not end";
  EXPECT_TRUE(staged && marked) << "the save wrote no marked copy";
  if (!staged) staged = *asked;
  if (!marked) marked = *asked;
  ASSERT_TRUE(FSession.Process().Terminate());
  FCurrent.erase(FCurrent.begin());
  ASSERT_EQ(Stored(), FCurrent);
  const auto first = *staged - *asked, last = *done - *asked;
  std::fflush(stdout);
  std::printf("save of %zu computers, after the exit request: copy begun %lld ms, marked whole %lld ms, list "
              "replaced and copy gone %lld ms\n",
              FCurrent.size(), static_cast<long long>(Ms(first)), static_cast<long long>(Ms(*marked - *asked)),
              static_cast<long long>(Ms(last)));

  // One kill at once, six spread over the save's steps, one past its end.
  constexpr int kKills = 8;
  for (int k = 0; k < kKills; ++k) {
    const auto delay = k == 0 ? Clock::duration{} : k == kKills - 1 ? last * 5 / 4 : first + (last - first) * (k - 1) / 5;
    asked = StartDeleteAndExit();
    ASSERT_TRUE(asked) << "kill " << k;
    std::this_thread::sleep_until(*asked + delay);
    ASSERT_TRUE(FSession.Process().Terminate());
    const bool staging = FSession.Registry().KeyExists(kListStagingKey), wasMarked = StagingMarked();
    std::vector<TStored> oldList = FCurrent, newList(FCurrent.begin() + 1, FCurrent.end());
    const auto stored = Stored();
    const bool isOld = stored == oldList, isNew = stored == newList;
    // Where the save was: the copy's state tells, with the list it left.
    const char* phase = wasMarked ? "list being replaced"
                        : staging ? (isOld ? "copy being written" : "copy being removed")
                                  : isOld ? "not yet saving" : isNew ? "save done" : "list half written";
    std::fflush(stdout);
    std::printf("kill %d after %5lld ms (%s): next start loads %zu computers, the %s list\n", k,
                static_cast<long long>(Ms(delay)), phase, stored.size(), isOld ? "old" : isNew ? "new" : "MIXED");
    ASSERT_TRUE(isOld || isNew) << "kill " << k << " after " << Ms(delay) << " ms left " << stored.size()
                                << " computers, neither the " << oldList.size() << " before nor the "
                                << newList.size() << " being written";
    FCurrent = stored;
  }
}

}  // namespace
}  // namespace kst
