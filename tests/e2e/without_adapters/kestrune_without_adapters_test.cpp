// Kestrune on a machine without any network adapter: run through tools/loopback-only, where the
// namespace has only loopback and Wine's adapter table is empty. The start-up error box comes
// first; the stored list must still be served from the command line and shown and kept by the
// window.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/magic_packet.h"
#include "netcore/registry.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"
#include "sender/messages.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"
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
    FRegistry->SetRoot(TRegRoot::LocalMachine);
    FRegistry->DeleteKey(kSettingsKey);
    THostList list;
    for (int i = 0; i < 2; ++i) {
      auto r = std::make_unique<THostRecord>();
      r->AssignComputerName(i == 0 ? "PC1" : "pc2");
      r->MacAddress = 0x02EE00000001ull + static_cast<uint64_t>(i);
      r->BroadcastAddress = StrToIp("127.0.0.1");
      r->Port = static_cast<uint16_t>(40031 + i);
      list.push_back(std::move(r));
    }
    ASSERT_TRUE(TRegistryStore(*FRegistry).SaveHosts(list));
    FRegistry->SetAccess(TRegAccess::All);
    ASSERT_TRUE(FRegistry->OpenKey(kSettingsKey, true));
    for (uint32_t n = 0; n < 4; ++n) FRegistry->WriteDword("Columns" + std::to_string(n), 111 + 11 * n);
    FRegistry->WriteDword("Selection", 2);
    FRegistry->CloseKey();
  }
  void TearDown() override { FRegistry->DeleteKey(kSettingsKey); }

  static std::optional<TProcess> Run(const std::wstring& arguments) {
    return TProcess::Start(e2e::ProgramPath(KST_KESTRUNE_EXE), arguments);
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
  std::optional<uint32_t> Stored(const char* name) {
    FRegistry->SetAccess(TRegAccess::Read);
    if (!FRegistry->OpenKey(kSettingsKey, false)) return std::nullopt;
    auto value = FRegistry->ReadDword(name);
    FRegistry->CloseKey();
    return value;
  }

  TWinsockSession FWinsock;
  std::unique_ptr<IRegistryAccessor> FRegistry = MakeSystemRegistry();
};

TEST_F(KestruneWithoutAdapters, CommandLineStillServesTheStoredList) {
  TLoopbackPort first(40031), second(40032);
  ASSERT_TRUE(first.Bound() && second.Bound());

  auto one = Run(L"/pc1");
  ASSERT_TRUE(one);
  AnswerNoAdapterBox(*one);
  EXPECT_EQ(first.Receive(), PacketHex(0x02EE00000001));
  EXPECT_EQ(one->WaitExit(15s), 0u);

  auto all = Run(L"/all!");
  ASSERT_TRUE(all);
  AnswerNoAdapterBox(*all);
  EXPECT_EQ(first.Receive(), PacketHex(0x02EE00000001));
  EXPECT_EQ(second.Receive(), PacketHex(0x02EE00000002));
  EXPECT_EQ(all->WaitExit(15s), 0u);
}

TEST_F(KestruneWithoutAdapters, WindowShowsTheStoredListAndExitKeepsItsLayout) {
  auto process = Run(L"");
  ASSERT_TRUE(process);
  AnswerNoAdapterBox(*process);
  HWND window = e2e::FindProcessWindow(process->Id(), L"", Widen("Kestrune " KST_PROJECT_VERSION), 30s);
  ASSERT_TRUE(window);
  HWND table = e2e::FindChild(window, L"SysListView32");
  ASSERT_TRUE(table);
  EXPECT_TRUE(e2e::WaitUntil([&] { return SendMessageW(table, LVM_GETITEMCOUNT, 0, 0) == 2; }));
  EXPECT_TRUE(e2e::WaitUntil([&] { return SendMessageW(table, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED) == 1; }));

  PostMessageW(window, WM_APP_EXIT, 0, 0);
  EXPECT_EQ(process->WaitExit(15s), 0u);
  EXPECT_EQ(Stored("Columns0"), 111u);
  EXPECT_EQ(Stored("Columns1"), 122u);
  EXPECT_EQ(Stored("Columns2"), 133u);
  EXPECT_EQ(Stored("Columns3"), 144u);
  EXPECT_EQ(Stored("Selection"), 2u);
}

}  // namespace
}  // namespace kst
