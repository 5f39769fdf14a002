// The two programs meet on the wire: Kestrune's command line wakes a computer, and Vellamar,
// listening on the same LAN, logs the packet it sent.
#include <gtest/gtest.h>

#include "tests/e2e/kestrune_session.h"
#include "tests/e2e/vellamar_session.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

using test::Env;

TEST(ProgramsMeet, VellamarLogsWhatKestruneSends) {
  ASSERT_TRUE(test::InSandbox());
  TKestruneSession kestrune;
  ASSERT_TRUE(kestrune.StoreList(
      {{"Wake-Me", 0x02C0FFEE0001, Env("KST_LAN_BROADCAST"), 9, 0xA1A2A3A4A5A6, "", Env("KST_HOST_ADDRESS")}}));

  TVellamarSession vellamar;
  ASSERT_TRUE(vellamar.Start());
  Sleep(500);
  ASSERT_EQ(vellamar.LogText().find("Not listening"), std::string::npos) << vellamar.LogText();

  ASSERT_TRUE(kestrune.Launch(L"/wake-me"));
  EXPECT_EQ(kestrune.Process().WaitExit(), 0u);

  const auto seen = [&] { return vellamar.LogText().find("  MAC Address: 02-C0-FF-EE-00-01") != std::string::npos; };
  ASSERT_TRUE(WaitUntil(seen, 5s)) << vellamar.LogText();
  const std::string text = vellamar.LogText();
  EXPECT_NE(text.find("  Source Address: " + Env("KST_HOST_ADDRESS") + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Destination Address: " + Env("KST_LAN_BROADCAST") + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Destination Port: 9\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  SecureOn password: A1-A2-A3-A4-A5-A6\r\n"), std::string::npos) << text;

  EXPECT_EQ(vellamar.Exit(), 0u);
}

}  // namespace
}  // namespace kst::e2e
