// The search dialog: the address range, broadcast destination and port of a scan.
#pragma once

#include <windows.h>

#include "sender/host_record.h"
#include "ui/win32/gui_handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

class TSearchForm final : public TModalDialog {
 public:
  explicit TSearchForm(TSharedSettings& settings);

  // Shows the dialog centred over the owner; true when OK stored the five search settings.
  bool Execute(HWND owner);

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  void LayoutControls();
  // MemoChange of any of the eight octet boxes.
  void MemoChange(HWND memo);
  void MemoVerify(HWND memo);
  void OkButtonClick();
  void CancelButtonClick();
  HWND Item(int id) const { return GetDlgItem(Handle(), id); }

  TSharedSettings& FSettings;
  TUniqueGdiObject FFont;
  TUniqueGdiObject FBoldFont;
};

}  // namespace kst
