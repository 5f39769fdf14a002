// The system's HTML Help viewer (hhctrl.ocx), loaded by name at first use and kept for the
// process, so that the programs link nothing beyond the system's own DLLs and a viewer window
// may outlive the window that opened it.
#pragma once

#include <windows.h>

#include <string>

namespace kst {

class THtmlHelp {
 public:
  static THtmlHelp& Process();

  // The program's help file: its own path with the extension ".chm".
  static std::wstring ProgramHelpFile();

  // Opens the file's default topic; false when no viewer window came up.
  bool ShowFile(HWND owner, const std::wstring& file);
  // Closes every viewer window this process opened.
  void CloseAll();

  THtmlHelp(const THtmlHelp&) = delete;
  THtmlHelp& operator=(const THtmlHelp&) = delete;

 private:
  using TEntry = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);
  THtmlHelp();
  ~THtmlHelp();

  HMODULE FModule = nullptr;
  TEntry FEntry = nullptr;
  DWORD_PTR FCookie = 0;
};

}  // namespace kst
