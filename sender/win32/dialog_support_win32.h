// What the computer editor and the search dialog share: pixel layout at the screen's DPI, the
// typing filters applied to a control, the message box of a failed check, and list filling.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kst {

// Positions at 96 dots per inch, scaled to the screen's.
class TDialogLayout {
 public:
  explicit TDialogLayout(HWND dialog);
  int Scale(int pixels) const noexcept;
  // Resizes the dialog so that its client area is width x height.
  void SetClientSize(int width, int height) const;
  void Place(int id, int x, int y, int width, int height) const;
  // Width of the control's text in its font, unscaled back to 96 dots per inch.
  int TextWidth(int id) const;

 private:
  HWND FDialog;
  UINT FDpi;
};

std::wstring ControlText(HWND control);
// True while the control (or, for a combo box, its edit field) has the keyboard focus.
bool HasFocus(HWND control);

using TTextFilter = std::optional<std::string> (*)(std::string_view);
// When the control has the focus and its text holds a character that the filter does not allow,
// removes the first such character, writes the text back and leaves the caret where it was
// removed. Characters outside ASCII are never allowed. True when the text was written back.
bool FilterTyping(HWND control, TTextFilter filter);

// The address of a destination text, looked up under the hourglass.
std::string LookupUnderHourglass(std::string_view destination);

// A failed check: its text in an error box, then the focus on the field concerned.
void ShowCheckFailure(HWND dialog, const std::string& text, HWND field);

// Replaces the combo box's items and selects the one at index.
void FillComboBox(HWND combo, const std::vector<std::string>& items, int index);

// Gives every control of the dialog the font.
void SetControlsFont(HWND dialog, HFONT font);

}  // namespace kst
