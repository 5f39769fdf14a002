// The platform side of the firewall changes: the Windows version code and the service control
// manager, with its entry points looked up by name in advapi32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "listener/firewall.h"
#include "listener/firewall_session.h"
#include "netcore/win32/handles_win32.h"

namespace kst {

// From RtlGetVersion (which, unlike GetVersionEx, is not fooled by a missing manifest entry);
// 0 when it fails or for a version the firewall code does not know.
uint8_t GetWindowsVersionCode() noexcept;

// This run's tag in the firewall record.
std::string CurrentOwnerTag();
// Whether the run the tag names still runs; a process that exists but may not be asked counts
// as running, so that its changes are never undone under it.
bool OwnerRunning(std::string_view tag) noexcept;

// The name of the machine-wide mutex over the firewall record.
inline constexpr wchar_t kFirewallRecordMutex[] = L"Global\\VellamarFirewallRecord";

// The firewall record is machine-wide: runs in different sessions and under other accounts
// read and change it one at a time, each holding this mutex while it does. Whoever creates it
// first gives it a security descriptor that lets administrators and SYSTEM open it, so that no
// run is locked out by the account of another.
class TFirewallRecordLock final : public IRecordLock {
 public:
  TFirewallRecordLock() noexcept;
  ~TFirewallRecordLock() override;
  TFirewallRecordLock(const TFirewallRecordLock&) = delete;
  TFirewallRecordLock& operator=(const TFirewallRecordLock&) = delete;

  TWait Wait(uint32_t milliseconds) override;
  void Release() override;
  std::string FailureText() override;

 private:
  TUniqueHandle FMutex;
  bool FHeld = false;
  DWORD FError = 0;
};

class TServManager final : public IServiceControl {
 public:
  TServManager() noexcept;
  ~TServManager() override;
  TServManager(const TServManager&) = delete;
  TServManager& operator=(const TServManager&) = delete;

  bool Available() const noexcept { return FAvailable; }
  int GetServiceState(std::string_view name) override;
  bool StopServiceAndWait(std::string_view name) override;
  bool StartServiceAndWait(std::string_view name) override;

 private:
  SC_HANDLE OpenService(std::string_view name);
  void WaitForState(SC_HANDLE service, DWORD wanted, SERVICE_STATUS& status);

  HMODULE FModule = nullptr;
  SC_HANDLE FManager = nullptr;
  bool FAvailable = false;
  decltype(&::OpenSCManagerA) FOpenSCManager = nullptr;
  decltype(&::LockServiceDatabase) FLockServiceDatabase = nullptr;
  decltype(&::UnlockServiceDatabase) FUnlockServiceDatabase = nullptr;
  decltype(&::CreateServiceA) FCreateService = nullptr;
  decltype(&::CloseServiceHandle) FCloseServiceHandle = nullptr;
  decltype(&::OpenServiceA) FOpenService = nullptr;
  decltype(&::ControlService) FControlService = nullptr;
  decltype(&::QueryServiceStatus) FQueryServiceStatus = nullptr;
  decltype(&::DeleteService) FDeleteService = nullptr;
  decltype(&::StartServiceA) FStartService = nullptr;
  decltype(&::EnumServicesStatusA) FEnumServicesStatus = nullptr;
  decltype(&::QueryServiceConfigA) FQueryServiceConfig = nullptr;
  SERVICE_STATUS FStatus{};
};

}  // namespace kst
