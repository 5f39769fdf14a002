// The machine-wide lock over Vellamar's firewall record, on the platform's mutex.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <set>

#include "listener/win32/firewall_win32.h"

namespace kst {
namespace {

// Runs under other accounts (SYSTEM, another administrator) must be able to open the mutex,
// whoever created it: its descriptor lets in the Administrators and SYSTEM, with all rights.
TEST(FirewallRecordLock, AdministratorsAndSystemMayOpenIt) {
  TFirewallRecordLock lock;
  ASSERT_EQ(lock.Wait(0), IRecordLock::TWait::Acquired);
  const TUniqueHandle mutex(OpenMutexW(READ_CONTROL, FALSE, kFirewallRecordMutex));
  ASSERT_TRUE(mutex);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(dacl);
  std::set<std::wstring> allowed;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    const auto* allow = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    ASSERT_EQ(allow->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    // Generic rights as given, or mapped to the mutex's own.
    EXPECT_TRUE(allow->Mask == GENERIC_ALL || (allow->Mask & MUTEX_ALL_ACCESS) == MUTEX_ALL_ACCESS) << allow->Mask;
    LPWSTR sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(const_cast<DWORD*>(&allow->SidStart), &sid));
    allowed.insert(sid);
    LocalFree(sid);
  }
  LocalFree(descriptor);
  EXPECT_EQ(allowed, (std::set<std::wstring>{L"S-1-5-18", L"S-1-5-32-544"}));
  lock.Release();
}

}  // namespace
}  // namespace kst
