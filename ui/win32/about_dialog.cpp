#include "ui/win32/about_dialog.h"

#include "ui/res/about_ids.h"
#include "ui/win32/form_position_win32.h"
#include "ui/win32/html_help_win32.h"

namespace kst {

bool TAboutDialog::OnInit() {
  SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, FVersionLine.c_str());
  SetFormPosition(Owner(), Handle());
  return true;
}

bool TAboutDialog::OnCommand(int id, int code) {
  if (id != IDC_ABOUT_HELP) return TModalDialog::OnCommand(id, code);
  if (!THtmlHelp::Process().ShowFile(Owner(), THtmlHelp::ProgramHelpFile()))
    MessageBoxW(Handle(), L"Help file or HTML Help viewer could not be found.", L"Warning", MB_OK | MB_ICONWARNING);
  return true;
}

}  // namespace kst
