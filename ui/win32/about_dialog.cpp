#include "ui/win32/about_dialog.h"

#include "ui/res/about_ids.h"
#include "ui/win32/form_position_win32.h"

namespace kst {
namespace {

using THtmlHelpW = HWND(WINAPI*)(HWND, const wchar_t*, UINT, DWORD_PTR);
constexpr UINT kHhDisplayTopic = 0;

// The help file is the program's own path with the extension ".chm".
std::wstring HelpFilePath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n < MAX_PATH ? n : 0);
  const size_t dot = file.find_last_of(L".\\/");
  if (dot != std::wstring::npos && file[dot] == L'.') file.resize(dot);
  return file + L".chm";
}

// The viewer lives in hhctrl.ocx, loaded once and kept for the process: its window outlives
// the about window.
THtmlHelpW HtmlHelpEntry() {
  static const HMODULE module = LoadLibraryW(L"hhctrl.ocx");
  if (!module) return nullptr;
  return reinterpret_cast<THtmlHelpW>(reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")));
}

}  // namespace

bool TAboutDialog::OnInit() {
  SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, FVersionLine.c_str());
  SetFormPosition(Owner(), Handle());
  return true;
}

bool TAboutDialog::OnCommand(int id, int code) {
  if (id != IDC_ABOUT_HELP) return TModalDialog::OnCommand(id, code);
  const THtmlHelpW htmlHelp = HtmlHelpEntry();
  const HWND viewer = htmlHelp ? htmlHelp(Owner(), HelpFilePath().c_str(), kHhDisplayTopic, 0) : nullptr;
  if (!viewer) {
    MessageBoxW(Handle(), L"Help file or HTML Help viewer could not be found.", L"Warning", MB_OK | MB_ICONWARNING);
  }
  return true;
}

}  // namespace kst
