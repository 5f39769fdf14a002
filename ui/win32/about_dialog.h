// The about window of either program: its "ABOUTDIALOG" template (name, icon, what it does),
// the version line filled in here, centred over its owner inside the work area.
#pragma once

#include <string>

#include "ui/win32/window_win32.h"

namespace kst {

class TAboutDialog final : public TModalDialog {
 public:
  explicit TAboutDialog(std::wstring versionLine) : FVersionLine(std::move(versionLine)) {}

  // Shows the program's about window modally over the owner.
  void Show(HWND owner) { ShowModal(owner, L"ABOUTDIALOG"); }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;

  std::wstring FVersionLine;
};

}  // namespace kst
