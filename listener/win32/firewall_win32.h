// The platform side of the firewall changes: the Windows version code and the service control
// manager, with its entry points looked up by name in advapi32.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "listener/firewall.h"

namespace kst {

// From RtlGetVersion (which, unlike GetVersionEx, is not fooled by a missing manifest entry);
// 0 when it fails or for a version the firewall code does not know.
uint8_t GetWindowsVersionCode() noexcept;

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
