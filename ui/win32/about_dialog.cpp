#include "ui/win32/about_dialog.h"

#include "ui/res/about_ids.h"
#include "ui/win32/form_position_win32.h"

namespace kst {

bool TAboutDialog::OnInit() {
  SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, FVersionLine.c_str());
  SetFormPosition(Owner(), Handle());
  return true;
}

}  // namespace kst
