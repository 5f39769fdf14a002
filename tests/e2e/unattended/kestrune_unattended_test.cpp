// Kestrune's command line as a scheduled task under the SYSTEM account runs it: started through
// run-as-system (the user name SYSTEM, Wine's debug output kept), every run ends by itself with
// its exit code and shows nothing, and what was not woken is in the event log. The message
// table that gives Event Viewer the texts of those lines is read from kestrune.exe itself.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include "netcore/magic_packet.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"
#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/task_run.h"
#include "tests/win32/sandbox_env.h"

namespace kst {
namespace {

using namespace std::chrono_literals;

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InSandbox());
    ASSERT_FALSE(test::Env("KST_WINE_DEBUG_LOG").empty()) << "run through tests/e2e/unattended/run-as-system";
    wchar_t user[64];
    DWORD size = 64;
    ASSERT_TRUE(GetUserNameW(user, &size));
    ASSERT_STREQ(user, L"SYSTEM");
  }

  static std::string PacketHex(uint64_t mac) { return test::Hex(BuildMagicPacket(mac, 0).View()); }

  e2e::TKestruneSession FSession;
};

using KestruneUnattended = Unattended;

TEST_F(KestruneUnattended, NothingToDoEndsWithTwoAndTheEventLogSaysWhy) {
  ASSERT_TRUE(FSession.StoreList({{"office-pc", 0x02EA00000001, test::Env("KST_PEER_ADDRESS"), 40016}}));
  const auto usage = e2e::RunKestruneAsTask(L"office-pc");
  EXPECT_EQ(usage.ExitCode, 2u);
  EXPECT_FALSE(usage.WindowShown);
  EXPECT_EQ(usage.EventLines, std::vector<std::string>{"warn office-pc"});

  const auto unknown = e2e::RunKestruneAsTask(L"/Laptop");
  EXPECT_EQ(unknown.ExitCode, 2u);
  EXPECT_FALSE(unknown.WindowShown);
  EXPECT_EQ(unknown.EventLines, std::vector<std::string>{"err laptop"});
}

TEST_F(KestruneUnattended, SendsEndWithTheirCodeAndOnlyFailuresAreLogged) {
  const std::string peer = test::Env("KST_PEER_ADDRESS");
  ASSERT_TRUE(FSession.StoreList(
      {{"Office-PC", 0x02EA00000002, peer, 40016}, {"Ghost", 0x02EA00000003, "", 40016, 0, "no-such-computer"}}));
  const auto good = e2e::RunKestruneAsTask(L"/office-pc");
  EXPECT_EQ(good.ExitCode, 0u);
  EXPECT_FALSE(good.WindowShown);
  EXPECT_TRUE(good.EventLines.empty());
  const std::string hex = PacketHex(0x02EA00000002);
  EXPECT_TRUE(test::WaitForPeerDatagram([&](const auto& d) { return d.PayloadHex == hex; }));

  const auto ghost = e2e::RunKestruneAsTask(L"/ghost");
  EXPECT_EQ(ghost.ExitCode, 1u);
  EXPECT_FALSE(ghost.WindowShown);
  EXPECT_EQ(ghost.EventLines, (std::vector<std::string>{"err Ghost", "err no-such-computer"}));
}

// What Event Viewer shows for each line: the message table's text with the line's strings.
TEST_F(KestruneUnattended, MessageTableHoldsTheTextOfEveryEvent) {
  const std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> exe(
      LoadLibraryExW(e2e::ProgramPath(KST_KESTRUNE_EXE).c_str(), nullptr,
                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE),
      &FreeLibrary);
  ASSERT_TRUE(exe);
  const auto text = [&](DWORD id, std::vector<const wchar_t*> strings) {
    std::vector<DWORD_PTR> arguments;
    for (const wchar_t* s : strings) arguments.push_back(reinterpret_cast<DWORD_PTR>(s));
    wchar_t buffer[1024] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe.get(), id, 0x409, buffer,
                       1024, reinterpret_cast<va_list*>(arguments.data()));
    return Narrow(std::wstring_view(buffer, length));
  };
  // Warnings are 0x8000xxxx, errors 0xC000xxxx; Event Viewer shows the low 16 bits.
  EXPECT_EQ(text(0x80000001, {L"office-pc"}),
            "Kestrune woke no computer: its command line \"office-pc\" names none. \"Kestrune /computername\" wakes a "
            "computer of its list, \"Kestrune /all!\" every one.\r\n");
  EXPECT_EQ(text(0xC0000002, {L"laptop"}), "Kestrune did not wake laptop: no computer of that name is in its list.\r\n");
  EXPECT_EQ(text(0xC0000003, {L"Ghost", L"nas.lan"}),
            "Kestrune did not wake Ghost: its router name nas.lan could not be resolved.\r\n");
  EXPECT_EQ(text(0xC0000004, {L"pc", L"10.0.0.255", L"Access denied."}),
            "Kestrune did not wake pc: the magic packet to 10.0.0.255 could not be sent. Access denied.\r\n");
  EXPECT_EQ(text(0xC0000005, {L"pc", L"10.0.0.255", L"Unreachable."}),
            "Kestrune did not wake pc: the magic packet to 10.0.0.255 could not be sent, and no network adapter with "
            "an IPv4 address was found. Unreachable.\r\n");
}

// On a machine without network adapters (tools/loopback-only): no start-up box, what can be
// sent is sent, and the computer that cannot be is in the event log with the missing adapter.
using KestruneUnattendedWithoutAdapters = Unattended;

TEST_F(KestruneUnattendedWithoutAdapters, SendsWhatItCanAndLogsTheRest) {
  ULONG size = 0;
  ASSERT_EQ(GetAdaptersInfo(nullptr, &size), static_cast<DWORD>(ERROR_NO_DATA))
      << "run through tools/loopback-only: this namespace has network adapters";
  const TWinsockSession winsock;
  TUniqueSocket port(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(40033);
  ASSERT_EQ(bind(port.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const DWORD timeout = 5000;
  setsockopt(port.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  ASSERT_TRUE(FSession.StoreList(
      {{"lan-pc", 0x02EB00000001, "10.77.0.255", 40033}, {"loop-pc", 0x02EB00000002, "127.0.0.1", 40033}}));

  const auto all = e2e::RunKestruneAsTask(L"/all!");
  EXPECT_EQ(all.ExitCode, 1u);
  EXPECT_FALSE(all.WindowShown);
  uint8_t buffer[256];
  const int n = recv(port.get(), reinterpret_cast<char*>(buffer), sizeof buffer, 0);
  EXPECT_EQ(test::Hex({buffer, n > 0 ? static_cast<size_t>(n) : 0u}), PacketHex(0x02EB00000002));
  // The name, the address and the system's reason, which Wine words its own way.
  ASSERT_EQ(all.EventLines.size(), 3u);
  EXPECT_EQ(all.EventLines[0], "err lan-pc");
  EXPECT_EQ(all.EventLines[1], "err 10.77.0.255");
  EXPECT_GT(all.EventLines[2].size(), std::string("err ").size());
}

}  // namespace
}  // namespace kst
