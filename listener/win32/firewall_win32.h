// The platform side of the firewall changes: the Windows version code and the service control
// manager, with its entry points looked up by name in advapi32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "listener/firewall.h"
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

// The firewall record is machine-wide: runs in different sessions read and change it one at a
// time, each holding this machine-wide mutex while it does. Waits a while for it; a run that
// does not get it (another is stuck) goes on, except that its start then undoes nothing.
class TFirewallRecordLock {
 public:
  TFirewallRecordLock() noexcept;
  ~TFirewallRecordLock();
  TFirewallRecordLock(const TFirewallRecordLock&) = delete;
  TFirewallRecordLock& operator=(const TFirewallRecordLock&) = delete;
  bool Held() const noexcept { return FHeld; }

 private:
  TUniqueHandle FMutex;
  bool FHeld = false;
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
