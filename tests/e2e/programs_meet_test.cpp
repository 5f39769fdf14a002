// The two programs meet on the wire: Kestrune's command line wakes a computer, and Vellamar,
// listening on the same LAN, logs the packet it sent.
#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/registry.h"
#include "sender/registry_store.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

using test::Env;

TEST(ProgramsMeet, VellamarLogsWhatKestruneSends) {
  ASSERT_TRUE(test::InSandbox());
  auto registry = MakeSystemRegistry();
  registry->SetRoot(TRegRoot::LocalMachine);
  registry->DeleteKey(kSettingsKey);
  THostList list;
  auto computer = std::make_unique<THostRecord>();
  computer->AssignComputerName("Wake-Me");
  computer->MacAddress = 0x02C0FFEE0001;
  computer->Password = 0xA1A2A3A4A5A6;
  computer->BroadcastAddress = StrToIp(Env("KST_LAN_BROADCAST"));
  computer->LocalIpAddress = StrToIp(Env("KST_HOST_ADDRESS"));
  computer->Port = 9;
  list.push_back(std::move(computer));
  ASSERT_TRUE(TRegistryStore(*registry).SaveHosts(list));

  auto vellamar = TProcess::Start(ProgramPath(KST_VELLAMAR_EXE));
  ASSERT_TRUE(vellamar);
  HWND window = FindProcessWindow(vellamar->Id(), L"VellamarListenForm", L"Vellamar");
  ASSERT_TRUE(window);
  HWND log = FindChild(window, L"Edit");
  ASSERT_TRUE(log);
  Sleep(500);
  ASSERT_EQ(WindowText(log).find("Not listening"), std::string::npos) << WindowText(log);

  auto kestrune = TProcess::Start(ProgramPath(KST_KESTRUNE_EXE), L"/wake-me");
  ASSERT_TRUE(kestrune);
  EXPECT_EQ(kestrune->WaitExit(), 0u);

  const auto seen = [&] { return WindowText(log).find("  MAC Address: 02-C0-FF-EE-00-01") != std::string::npos; };
  ASSERT_TRUE(WaitUntil(seen, 5s)) << WindowText(log);
  const std::string text = WindowText(log);
  EXPECT_NE(text.find("  Source Address: " + Env("KST_HOST_ADDRESS") + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Destination Address: " + Env("KST_LAN_BROADCAST") + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Destination Port: 9\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  SecureOn password: A1-A2-A3-A4-A5-A6\r\n"), std::string::npos) << text;

  PostMessageW(window, WM_USER + 410, 0, 0);
  EXPECT_EQ(vellamar->WaitExit(), 0u);
  registry->DeleteKey(kSettingsKey);
}

}  // namespace
}  // namespace kst::e2e
