#include "listener/win32/about_dialog.h"

#include "listener/res/resource.h"
#include "listener/version.h"
#include "ui/win32/form_position_win32.h"

namespace kst {

bool TAboutDialog::OnInit() {
  SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, L"Version " VELLAMAR_VERSION_TEXT);
  SetFormPosition(Owner(), Handle());
  return true;
}

}  // namespace kst
