#include "ui/win32/tool_bar_win32.h"

#include <vector>

namespace kst {

HWND CreateToolBar(HWND parent, int height, std::span<const TToolButtonSpec> buttons) {
  HWND toolBar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                 WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                     CCS_NOPARENTALIGN | CCS_NODIVIDER,
                                 0, 0, 0, height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!toolBar) return nullptr;
  SendMessageW(toolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  std::vector<TBBUTTON> items(buttons.size());
  int image = 0;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const bool separator = buttons[i].Command == 0;
    items[i].iBitmap = separator ? 0 : image++;
    items[i].idCommand = buttons[i].Command;
    items[i].fsState = TBSTATE_ENABLED;
    items[i].fsStyle = separator ? BTNS_SEP : BTNS_BUTTON;
  }
  SendMessageW(toolBar, TB_ADDBUTTONSW, items.size(), reinterpret_cast<LPARAM>(items.data()));
  return toolBar;
}

TUniqueImageList LoadToolBarIcons(HWND toolBar, std::span<const TToolButtonSpec> buttons, int size, int buttonWidth,
                                  int buttonHeight) {
  TUniqueImageList list(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(buttons.size()), 0));
  for (const auto& button : buttons) {
    if (button.Command == 0) continue;
    TUniqueIcon icon(
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), button.Icon, IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    ImageList_AddIcon(list.get(), icon.get());  // the list keeps its own copy
  }
  SendMessageW(toolBar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list.get()));
  SendMessageW(toolBar, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
  SendMessageW(toolBar, TB_SETBUTTONSIZE, 0, MAKELPARAM(buttonWidth, buttonHeight));
  InvalidateRect(toolBar, nullptr, TRUE);
  return list;
}

bool AnswerToolTip(const NMHDR& header, std::span<const TToolButtonSpec> buttons) {
  if (header.code != TTN_GETDISPINFOW) return false;
  auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
  for (const auto& button : buttons)
    if (button.Command != 0 && static_cast<UINT_PTR>(button.Command) == header.idFrom)
      info.lpszText = const_cast<wchar_t*>(button.Hint);
  return true;
}

TUniqueGdiObject CreateArialFont(int height, int weight) {
  return TUniqueGdiObject(CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial"));
}

}  // namespace kst
