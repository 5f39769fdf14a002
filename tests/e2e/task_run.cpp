#include "tests/e2e/task_run.h"

#include <fstream>
#include <sstream>

#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"
#include "tests/e2e/e2e_support.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {
namespace {

// This process's environment with Wine's debug channels set to the event log's lines only.
std::wstring EventLogEnvironment() {
  std::wstring block;
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1)
      if (_wcsnicmp(p, L"WINEDEBUG=", 10) != 0) block.append(p).push_back(L'\0');
    FreeEnvironmentStringsW(strings);
  }
  block.append(L"WINEDEBUG=-all,err+eventlog,warn+eventlog").push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

std::string DebugLogPath() {
  const std::string unix = test::Env("KST_WINE_DEBUG_LOG");
  return unix.empty() ? std::string() : test::WinePath(unix);
}

std::streamoff FileSize(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return file ? static_cast<std::streamoff>(file.tellg()) : 0;
}

// A line such as 0104:err:eventlog:ReportEventW L"office-pc" as "err office-pc".
std::optional<std::string> EventLine(const std::string& line) {
  const size_t channel = line.find(":eventlog:ReportEventW L\"");
  if (channel == std::string::npos) return std::nullopt;
  const size_t kind = line.rfind(':', channel - 1);
  std::string text = line.substr(kind + 1, channel - kind - 1) + " ";
  const size_t end = line.rfind('"');
  for (size_t i = line.find('"', channel) + 1; i < end; ++i) {
    if (line[i] == '\\' && i + 1 < end) ++i;  // \\ and \" as written by Wine's debugstr
    text += line[i];
  }
  return text;
}

}  // namespace

TTaskRun RunKestruneAsTask(const std::wstring& arguments, const std::wstring& desktop,
                           std::chrono::milliseconds timeout) {
  TTaskRun run;
  const std::wstring program = ProgramPath(KST_KESTRUNE_EXE);
  const std::string log = DebugLogPath();
  const std::streamoff start = log.empty() ? 0 : FileSize(log);
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  std::wstring environment = EventLogEnvironment();
  std::wstring desktopName = desktop;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!desktopName.empty()) startup.lpDesktop = desktopName.data();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), nullptr, &startup, &info))
    return run;
  CloseHandle(info.hThread);
  const TUniqueHandle process(info.hProcess);
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
    if (desktop.empty() && !ProcessWindows(info.dwProcessId).empty()) run.WindowShown = true;
    if (std::chrono::steady_clock::now() >= end) break;
  }
  DWORD code = 0;
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 && GetExitCodeProcess(process.get(), &code))
    run.ExitCode = code;
  else
    TerminateProcess(process.get(), 1);
  if (!log.empty()) {
    std::ifstream file(log, std::ios::binary);
    file.seekg(start);
    for (std::string line; std::getline(file, line);)
      if (const auto event = EventLine(line)) run.EventLines.push_back(*event);
  }
  return run;
}

THiddenStation::THiddenStation() {
  // Made without WSF_VISIBLE, as the system makes a service's.
  FStation = CreateWindowStationW(L"KestruneTestStation", 0, WINSTA_ALL_ACCESS, nullptr);
  if (!FStation) return;
  HWINSTA own = GetProcessWindowStation();
  if (SetProcessWindowStation(FStation)) {
    FDesktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
  }
}

THiddenStation::~THiddenStation() {
  if (FDesktop) CloseDesktop(FDesktop);
  if (FStation) CloseWindowStation(FStation);
}

}  // namespace kst::e2e
