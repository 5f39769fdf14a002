#include "listener/win32/firewall_win32.h"

#include <sddl.h>

#include <string>

#include "netcore/win32/os_error_win32.h"

namespace kst {
namespace {

template <class F>
bool Resolve(HMODULE module, const char* name, F& entry) {
  FARPROC proc = GetProcAddress(module, name);
  entry = reinterpret_cast<F>(reinterpret_cast<void*>(proc));
  return proc != nullptr;
}

class TWinClock final : public IWaitClock {
 public:
  uint32_t TickCount() override { return GetTickCount(); }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

}  // namespace

uint8_t GetWindowsVersionCode() noexcept {
  struct TVersionInfo {
    ULONG Size, Major, Minor, Build, Platform;
    WCHAR ServicePack[128];
  };
  using TRtlGetVersion = LONG(WINAPI*)(TVersionInfo*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return 0;
  TRtlGetVersion getVersion = nullptr;
  if (!Resolve(ntdll, "RtlGetVersion", getVersion)) return 0;
  TVersionInfo info{};
  info.Size = sizeof info;
  if (getVersion(&info) != 0) return 0;
  return WindowsVersionCode(info.Major, info.Minor);
}

std::string CurrentOwnerTag() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return OwnerTag(GetCurrentProcessId(), (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime);
}

bool OwnerRunning(std::string_view tag) noexcept {
  try {
    const auto owner = ParseOwnerTag(tag);
    if (!owner) return false;
    const TUniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner->ProcessId));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    FILETIME created{}, exited{}, kernel{}, user{};
    DWORD code = 0;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user) ||
        !GetExitCodeProcess(process.get(), &code))
      return true;
    // The id may belong to a later process by now.
    const uint64_t started = (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
    return started == owner->StartTime && code == STILL_ACTIVE;
  } catch (...) {
    return true;
  }
}

TFirewallRecordLock::TFirewallRecordLock() noexcept {
  // Full access for the built-in Administrators and for SYSTEM, nobody else.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;BA)(A;;GA;;;SY)", SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    FError = GetLastError();
    return;
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  FMutex.reset(CreateMutexW(&attributes, FALSE, kFirewallRecordMutex));
  if (!FMutex) FError = GetLastError();
  LocalFree(descriptor);
}

TFirewallRecordLock::~TFirewallRecordLock() { Release(); }

IRecordLock::TWait TFirewallRecordLock::Wait(uint32_t milliseconds) {
  if (!FMutex) return TWait::Failed;
  switch (WaitForSingleObject(FMutex.get(), milliseconds)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder died; the record is as it left it, each step of which is whole
      FHeld = true;
      return TWait::Acquired;
    case WAIT_TIMEOUT:
      return TWait::TimedOut;
  }
  FError = GetLastError();
  return TWait::Failed;
}

void TFirewallRecordLock::Release() {
  if (FHeld) ReleaseMutex(FMutex.get());
  FHeld = false;
}

std::string TFirewallRecordLock::FailureText() { return SystemErrorText(FError); }

TServManager::TServManager() noexcept {
  FModule = LoadLibraryA("advapi32.dll");
  if (!FModule) return;
  bool all = true;
  all &= Resolve(FModule, "OpenSCManagerA", FOpenSCManager);
  all &= Resolve(FModule, "LockServiceDatabase", FLockServiceDatabase);
  all &= Resolve(FModule, "UnlockServiceDatabase", FUnlockServiceDatabase);
  all &= Resolve(FModule, "CreateServiceA", FCreateService);
  all &= Resolve(FModule, "CloseServiceHandle", FCloseServiceHandle);
  all &= Resolve(FModule, "OpenServiceA", FOpenService);
  all &= Resolve(FModule, "ControlService", FControlService);
  all &= Resolve(FModule, "QueryServiceStatus", FQueryServiceStatus);
  all &= Resolve(FModule, "DeleteService", FDeleteService);
  all &= Resolve(FModule, "StartServiceA", FStartService);
  all &= Resolve(FModule, "EnumServicesStatusA", FEnumServicesStatus);
  all &= Resolve(FModule, "QueryServiceConfigA", FQueryServiceConfig);
  FAvailable = all;
  if (FAvailable) FManager = FOpenSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

TServManager::~TServManager() {
  if (FAvailable && FManager) FCloseServiceHandle(FManager);
  if (FModule) FreeLibrary(FModule);
}

SC_HANDLE TServManager::OpenService(std::string_view name) {
  if (!FAvailable || !FManager) return nullptr;
  return FOpenService(FManager, std::string(name).c_str(), SERVICE_ALL_ACCESS);
}

int TServManager::GetServiceState(std::string_view name) {
  SC_HANDLE service = OpenService(name);
  if (!service) return 7;
  const BOOL queried = FQueryServiceStatus(service, &FStatus);
  FCloseServiceHandle(service);
  if (!queried) return 7;
  switch (FStatus.dwCurrentState) {
    case SERVICE_STOPPED: return 0;
    case SERVICE_START_PENDING: return 1;
    case SERVICE_STOP_PENDING: return 2;
    case SERVICE_RUNNING: return 3;
    case SERVICE_CONTINUE_PENDING: return 4;
    case SERVICE_PAUSE_PENDING: return 5;
    case SERVICE_PAUSED: return 6;
  }
  return 7;
}

void TServManager::WaitForState(SC_HANDLE service, DWORD wanted, SERVICE_STATUS& status) {
  TWinClock clock;
  TServiceStatus portable;
  kst::WaitForState(
      [&](TServiceStatus& s) {
        if (!FQueryServiceStatus(service, &status)) return false;
        s = {status.dwCurrentState, status.dwCheckPoint, status.dwWaitHint};
        return true;
      },
      wanted, portable, clock);
}

bool TServManager::StopServiceAndWait(std::string_view name) {
  SC_HANDLE service = OpenService(name);
  if (!service) return false;
  SERVICE_STATUS status{};
  bool stopped = false;
  if (FControlService(service, SERVICE_CONTROL_STOP, &status)) {
    WaitForState(service, SERVICE_STOPPED, status);
    stopped = status.dwCurrentState == SERVICE_STOPPED;
  }
  FCloseServiceHandle(service);
  return stopped;
}

bool TServManager::StartServiceAndWait(std::string_view name) {
  SC_HANDLE service = OpenService(name);
  if (!service) return false;
  SERVICE_STATUS status{};
  bool running = false;
  if (FStartService(service, 0, nullptr)) {
    WaitForState(service, SERVICE_RUNNING, status);
    running = status.dwCurrentState == SERVICE_RUNNING;
  }
  FCloseServiceHandle(service);
  return running;
}

}  // namespace kst
