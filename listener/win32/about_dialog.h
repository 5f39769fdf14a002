// The about window: program name, version and what the program does.
#pragma once

#include "ui/win32/window_win32.h"

namespace kst {

class TAboutDialog final : public TModalDialog {
 public:
  TAboutDialog() = default;

 private:
  bool OnInit() override;
};

}  // namespace kst
