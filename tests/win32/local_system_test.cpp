// Whether Kestrune runs under the LocalSystem account, told by the account's SID, which is the
// same in every language of Windows, where its name is not.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "sender/win32/event_log_win32.h"

namespace kst {
namespace {

TEST(LocalSystemAccount, KnownByItsSidNotByItsName) {
  const auto sid = [](WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> bytes(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(bytes.size());
    EXPECT_TRUE(CreateWellKnownSid(type, nullptr, bytes.data(), &size));
    return bytes;
  };
  auto system = sid(WinLocalSystemSid);
  auto localService = sid(WinLocalServiceSid);
  auto administrators = sid(WinBuiltinAdministratorsSid);
  EXPECT_TRUE(IsLocalSystemSid(system.data()));
  EXPECT_FALSE(IsLocalSystemSid(localService.data()));
  EXPECT_FALSE(IsLocalSystemSid(administrators.data()));
  EXPECT_FALSE(IsLocalSystemSid(nullptr));
  // Wine runs every program as the user of the prefix, whatever USER says.
  EXPECT_FALSE(ProcessRunsAsLocalSystem());
}

}  // namespace
}  // namespace kst
