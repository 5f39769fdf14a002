#include "tests/e2e/kestrune_session.h"

#include <gtest/gtest.h>

#include "netcore/address_text.h"
#include "netcore/win32/text_win32.h"
#include "sender/registry_store.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {

namespace {

std::string KeyPath(const std::string& computerKey) {
  return computerKey.empty() ? std::string(kSettingsKey) : std::string(kListKey) + "\\" + computerKey;
}

}  // namespace

std::optional<TProcess> StartKestrune(const std::wstring& arguments, std::optional<WORD> show) {
  return TProcess::Start(ProgramPath(KST_KESTRUNE_EXE), arguments, show);
}

TKestruneSession::TKestruneSession() : FRegistry(MakeSystemRegistry()) {
  FRegistry->SetRoot(TRegRoot::LocalMachine);
  // Outside the sandbox this would be a real user's list.
  if (test::InSandbox()) FRegistry->DeleteKey(kSettingsKey);
}

TKestruneSession::~TKestruneSession() {
  if (FProcess) FProcess->Terminate();
  if (test::InSandbox()) FRegistry->DeleteKey(kSettingsKey);
}

void TKestruneSession::StoreSetting(const char* name, uint32_t value) {
  StoreSettings([&](IRegistryAccessor& reg) { reg.WriteDword(name, value); });
}

void TKestruneSession::StoreSettings(const std::function<void(IRegistryAccessor&)>& write) {
  FRegistry->SetAccess(TRegAccess::All);
  if (!FRegistry->OpenKey(kSettingsKey, true)) {
    ADD_FAILURE() << "cannot make " << kSettingsKey;
    return;
  }
  write(*FRegistry);
  FRegistry->CloseKey();
}

bool TKestruneSession::StoreList(const std::vector<TComputer>& computers) {
  THostList list;
  for (const auto& c : computers) {
    auto r = std::make_unique<THostRecord>();
    r->AssignComputerName(c.Name);
    r->MacAddress = c.Mac;
    r->BroadcastAddress = c.Destination.empty() ? 0 : StrToIp(c.Destination);
    r->Port = c.Port;
    r->LocalIpAddress = c.Local.empty() ? 0 : StrToIp(c.Local);
    r->Password = c.Password;
    r->AssignBroadcastHost(c.Host);
    list.push_back(std::move(r));
  }
  return TRegistryStore(*FRegistry).SaveHosts(list);
}

std::optional<uint64_t> TKestruneSession::StoredNumber(const char* name, const std::string& computerKey) {
  FRegistry->SetAccess(TRegAccess::Read);
  if (!FRegistry->OpenKey(KeyPath(computerKey), false)) return std::nullopt;
  std::optional<uint64_t> value;
  if (const auto info = FRegistry->GetValueInfo(name))
    value = info->Type == REG_DWORD ? FRegistry->ReadDword(name).value_or(0) : TRegistryX(*FRegistry).ReadInt64Def(name, 0);
  FRegistry->CloseKey();
  return value;
}

std::optional<std::string> TKestruneSession::StoredText(const char* name, const std::string& computerKey) {
  FRegistry->SetAccess(TRegAccess::Read);
  if (!FRegistry->OpenKey(KeyPath(computerKey), false)) return std::nullopt;
  std::optional<std::string> value;
  if (FRegistry->GetValueInfo(name)) value = TRegistryX(*FRegistry).ReadStringDef(name, "");
  FRegistry->CloseKey();
  return value;
}

std::vector<std::string> TKestruneSession::ListKeys() {
  FRegistry->SetAccess(TRegAccess::Read);
  if (!FRegistry->OpenKey(kListKey, false)) return {};
  auto names = FRegistry->GetKeyNames();
  FRegistry->CloseKey();
  return names;
}

THostList TKestruneSession::StoredList(const std::vector<std::string>& localAddresses) {
  TKestruneState state;
  TViewSettings view;
  TRegistryStore(*FRegistry).Load(state, view, localAddresses);
  return std::move(state.HostList);
}

std::vector<std::string> TKestruneSession::StoredNames() {
  std::vector<std::string> names;
  for (const auto& r : StoredList()) names.push_back(r->ComputerName + " " + MacToStr(r->MacAddress));
  return names;
}

bool TKestruneSession::Launch(const std::wstring& arguments, std::optional<WORD> show) {
  FProcess.reset();
  FWindow = FTable = FTitles = FStatus = FToolBar = FBanner = nullptr;
  FProcess = FProgram.empty() ? StartKestrune(arguments, show) : TProcess::Start(FProgram, arguments, show);
  return FProcess.has_value();
}

bool TKestruneSession::FindMainWindow(std::chrono::milliseconds timeout) {
  if (!FProcess) return false;
  FWindow = FindProcessWindow(FProcess->Id(), L"KestruneMainWindow", Widen("Kestrune " KST_PROJECT_VERSION), timeout);
  if (!FWindow) return false;
  FTable = FindChild(FWindow, L"SysListView32");
  FTitles = FTable ? FindChild(FTable, L"SysHeader32") : nullptr;
  FStatus = FindChild(FWindow, L"msctls_statusbar32");
  FToolBar = FindChild(FWindow, L"ToolbarWindow32");
  FBanner = FindChild(FWindow, L"KestruneBanner");
  return FTable && FTitles && FStatus && FToolBar && FBanner;
}

bool TKestruneSession::Start(std::chrono::milliseconds timeout) { return Launch() && FindMainWindow(timeout); }

std::optional<DWORD> TKestruneSession::Exit(UINT message, std::chrono::milliseconds timeout) {
  if (!FProcess) return std::nullopt;
  PostMessageW(FWindow, message, 0, 0);
  return FProcess->WaitExit(timeout);
}

}  // namespace kst::e2e
