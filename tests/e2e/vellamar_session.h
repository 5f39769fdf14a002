// The shipped vellamar.exe started as a user starts it, with its window and log found.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tests/e2e/e2e_support.h"

namespace kst::e2e {

// Vellamar's message that closes it, as other programs send it.
inline constexpr UINT kVellamarExit = WM_USER + 410;

// One run (or several, one after the other) of vellamar.exe; one still running when the session
// goes is asked to exit, and terminated when it does not.
class TVellamarSession {
 public:
  TVellamarSession() = default;
  TVellamarSession(const TVellamarSession&) = delete;
  TVellamarSession& operator=(const TVellamarSession&) = delete;
  ~TVellamarSession() {
    if (Running() && FWindow) Exit();
  }

  // Starts vellamar.exe and finds its window ("Vellamar") and log; false when one is missing.
  bool Start() {
    FProcess.reset();
    FProcess = TProcess::Start(ProgramPath(KST_VELLAMAR_EXE));
    FWindow = FProcess ? FindProcessWindow(FProcess->Id(), L"VellamarListenForm", L"Vellamar") : nullptr;
    FLog = FWindow ? FindChild(FWindow, L"Edit") : nullptr;
    return FLog != nullptr;
  }
  // Sends the exit message; the exit code, or nothing when it was not taken or the process did
  // not end within the time-out.
  std::optional<DWORD> Exit(std::chrono::milliseconds timeout = 10s) {
    DWORD_PTR result = 0;
    if (!FProcess || !SendMessageTimeoutW(FWindow, kVellamarExit, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) return {};
    return FProcess->WaitExit(timeout);
  }
  bool Running() const { return FProcess && FProcess->Running(); }

  TProcess& Process() { return *FProcess; }
  HWND Window() const { return FWindow; }
  HWND Log() const { return FLog; }
  std::string LogText() const { return WindowText(FLog); }

 private:
  std::optional<TProcess> FProcess;
  HWND FWindow = nullptr, FLog = nullptr;
};

}  // namespace kst::e2e
