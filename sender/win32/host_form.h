// The computer editor: adds a new computer to the list or changes the one at EditIndex when
// the editor is created.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "netcore/adapters.h"
#include "sender/editor_rules.h"
#include "sender/host_record.h"
#include "ui/win32/gui_handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

class THostForm final : public TModalDialog {
 public:
  // The local addresses as the window read them at its start, with their adapter descriptions.
  THostForm(TKestruneState& state, const std::vector<TLocalAddressEntry>& localAddresses);

  // Shows the editor centred over the owner; true when Save stored the computer.
  bool Execute(HWND owner);

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  void LayoutControls();
  void AddHints();
  void SaveButtonClick();
  void CancelButtonClick();
  // The hint shown when the mouse rests on a hint label.
  std::wstring HintText(HWND label) const;
  HWND Item(int id) const { return GetDlgItem(Handle(), id); }

  TKestruneState& FState;
  const THostTarget FTarget;
  const std::vector<TLocalAddressEntry>& FLocalAddresses;
  TUniqueGdiObject FFont;
  TUniqueGdiObject FBoldFont;
  HWND FToolTip = nullptr;
  std::wstring FHint;  // the text the tool tip is showing
};

}  // namespace kst
