// The machine-wide lock over Vellamar's firewall record, on the platform's mutex.
#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <thread>

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

// A mutex of that name that lets nobody in (another program's, or made by a stranger) is never
// taken as held: the runs then change nothing, rather than go on without the lock.
TEST(FirewallRecordLock, OneThatCannotBeOpenedIsNeverHeld) {
  PSECURITY_DESCRIPTOR nobody = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &nobody, nullptr));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nobody, FALSE};
  const TUniqueHandle stranger(CreateMutexW(&attributes, FALSE, kFirewallRecordMutex));
  LocalFree(nobody);
  ASSERT_TRUE(stranger);
  TFirewallRecordLock lock;
  EXPECT_EQ(lock.Wait(0), IRecordLock::TWait::Failed);
  EXPECT_FALSE(lock.FailureText().empty());
}

// A run killed while it held the lock does not keep the others out. (Last: the killed holder's
// handle stays open until this process ends.)
TEST(FirewallRecordLock, AbandonedByAKilledRunIsTaken) {
  std::thread([] {
    HANDLE held = CreateMutexW(nullptr, FALSE, kFirewallRecordMutex);
    ASSERT_EQ(WaitForSingleObject(held, 0), WAIT_OBJECT_0);
  }).join();  // ends holding it, as a killed process would
  TFirewallRecordLock next;
  EXPECT_EQ(next.Wait(0), IRecordLock::TWait::Acquired);
}

}  // namespace
}  // namespace kst
