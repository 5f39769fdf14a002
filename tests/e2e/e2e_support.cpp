#include "tests/e2e/e2e_support.h"

#include <fstream>

#include "netcore/win32/text_win32.h"
#include "tests/win32/sandbox_env.h"

namespace kst::e2e {

std::wstring ProgramPath(const char* unixPath) { return Widen(test::WinePath(unixPath)); }

std::optional<TProcess> TProcess::Start(const std::wstring& program, const std::wstring& arguments,
                                        std::optional<WORD> show) {
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (show) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = *show;
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return std::nullopt;
  CloseHandle(info.hThread);
  return TProcess(TUniqueHandle(info.hProcess), info.dwProcessId);
}

TProcess::~TProcess() {
  if (FProcess && Running()) {
    TerminateProcess(FProcess.get(), 1);
    WaitForSingleObject(FProcess.get(), 5000);
  }
}

bool TProcess::Running() const noexcept { return FProcess && WaitForSingleObject(FProcess.get(), 0) == WAIT_TIMEOUT; }

bool TProcess::Terminate() const noexcept {
  if (!FProcess) return false;
  if (!Running()) return true;
  if (!TerminateProcess(FProcess.get(), 1)) return false;
  return WaitForSingleObject(FProcess.get(), 5000) == WAIT_OBJECT_0;
}

std::optional<DWORD> TProcess::WaitExit(std::chrono::milliseconds timeout) const noexcept {
  if (!FProcess) return std::nullopt;
  if (WaitForSingleObject(FProcess.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(FProcess.get(), &code)) return std::nullopt;
  return code;
}

std::vector<HWND> ProcessWindows(DWORD processId) {
  struct TSearch {
    DWORD ProcessId;
    std::vector<HWND> Found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<TSearch*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s.ProcessId && IsWindowVisible(window)) s.Found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::string ClassName(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return Narrow(std::wstring_view(name, length > 0 ? static_cast<size_t>(length) : 0));
}

std::string WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           5000, &copied))
    return {};
  text.resize(copied);
  return Narrow(text);
}

HWND FindProcessWindow(DWORD processId, const std::wstring& className, const std::wstring& caption,
                       std::chrono::milliseconds timeout) {
  const std::string wantedClass = Narrow(className), wantedCaption = Narrow(caption);
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : ProcessWindows(processId)) {
          if (!wantedClass.empty() && ClassName(window) != wantedClass) continue;
          if (!wantedCaption.empty() && WindowText(window) != wantedCaption) continue;
          found = window;
          return true;
        }
        return false;
      },
      timeout);
  return found;
}

namespace {

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  return all;
}

}  // namespace

HWND FindChild(HWND parent, const std::wstring& className, int index) {
  const std::string wanted = Narrow(className);
  for (HWND child : Descendants(parent))
    if (_stricmp(ClassName(child).c_str(), wanted.c_str()) == 0 && index-- == 0) return child;
  return nullptr;
}

HWND FindChildById(HWND parent, int id) {
  for (HWND child : Descendants(parent))
    if (GetDlgCtrlID(child) == id) return child;
  return nullptr;
}

HWND FindMessageBox(DWORD processId, std::chrono::milliseconds timeout) {
  return FindProcessWindow(processId, L"#32770", L"", timeout);
}

std::string MessageBoxText(HWND box) {
  // The message is the static control with identifier 0xFFFF; the icon is a static without text.
  if (HWND text = GetDlgItem(box, 0xFFFF)) return WindowText(text);
  for (HWND child : Descendants(box))
    if (_stricmp(ClassName(child).c_str(), "Static") == 0) {
      std::string text = WindowText(child);
      if (!text.empty()) return text;
    }
  return {};
}

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string& text) { SetText(GetDlgItem(dialog, id), text); }

void SetText(HWND window, const std::string& text) {
  const std::wstring wide = Widen(text);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
}

HWND FocusedWindow(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

bool PressButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) return false;
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

bool PressButtonByText(HWND dialog, const std::wstring& text) {
  const std::string wanted = Narrow(text);
  for (HWND child : Descendants(dialog))
    if (_stricmp(ClassName(child).c_str(), "Button") == 0 && WindowText(child) == wanted) {
      DWORD_PTR result = 0;
      return SendMessageTimeoutW(child, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
    }
  return false;
}

std::string TakeScreenshot(const std::string& name) {
  const std::string shots = test::Env("KST_SHOTS"), artifacts = test::Env("KST_ARTIFACTS");
  if (shots.empty() || artifacts.empty()) return {};
  const std::string png = artifacts + "/" + name + ".png";
  const std::string base = test::WinePath(shots + "/" + name);
  DeleteFileA((base + ".done").c_str());
  {
    std::ofstream request(base + ".tmp", std::ios::binary);
    request << png << '\n';
  }
  // The agent takes only complete requests.
  if (!MoveFileExA((base + ".tmp").c_str(), (base + ".req").c_str(), MOVEFILE_REPLACE_EXISTING)) return {};
  const bool done =
      WaitUntil([&] { return GetFileAttributesA((base + ".done").c_str()) != INVALID_FILE_ATTRIBUTES; }, 10s);
  DeleteFileA((base + ".done").c_str());
  if (!done || GetFileAttributesA(test::WinePath(png).c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return png;
}

}  // namespace kst::e2e
