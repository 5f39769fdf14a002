// Kestrune's entry: window mode (no parameters) runs once per machine; command line mode
// ("/name", "/all!") may run beside it and beside itself.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"
#include "sender/win32/main_form.h"

namespace {

bool HasParameters() {
  int count = 0;
  if (LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count)) LocalFree(args);
  return count > 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  const bool commandLineMode = HasParameters();
  kst::TUniqueHandle mutex;
  if (!commandLineMode) {
    mutex.reset(CreateMutexW(nullptr, FALSE, L"KestruneOfBrindlecote"));
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      MessageBoxW(nullptr, L"Kestrune is already running !", L"Information", MB_OK | MB_ICONINFORMATION);
      return 0;
    }
  }
  // Every send starts and ends Winsock of its own; one start-up held for the whole run keeps
  // the library loaded between them, instead of loading and unloading it for each packet.
  const kst::TWinsockSession winsock;
  // Scheduled tasks and scripts read the exit code: a command line run that ends before it was
  // served must not report success.
  int exitCode = commandLineMode ? 1 : 0;
  try {
    auto form = std::make_unique<kst::TWolMainForm>(instance, commandLineMode, kst::Narrow(GetCommandLineW()));
    if (!form->Create(showCommand)) return exitCode;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    exitCode = form->ExitCode();
  } catch (...) {
    // Nothing more to do: the window has saved what it could.
  }
  return exitCode;
}
