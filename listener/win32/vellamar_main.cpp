// Vellamar's start: one instance per machine session, then the listener window.
#include <windows.h>
#include <commctrl.h>

#include "listener/win32/listen_form.h"
#include "netcore/win32/handles_win32.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
  try {
    // The mutex stays open until the process ends; a second start finds it.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, L"VellamarOfBrindlecote");
    const DWORD error = GetLastError();
    const kst::TUniqueHandle instanceMutex(mutex);
    if (error == ERROR_ALREADY_EXISTS) {
      MessageBoxW(nullptr, L"Vellamar is already running !", L"Information", MB_OK | MB_ICONINFORMATION);
      return 0;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    kst::TListenForm form;
    if (!form.Show(showCommand)) return 1;
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
  } catch (...) {
    return 1;
  }
}
