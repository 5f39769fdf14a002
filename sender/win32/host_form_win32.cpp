#include "sender/win32/host_form.h"

#include <commctrl.h>

#include "netcore/host_lookup.h"
#include "netcore/win32/text_win32.h"
#include "sender/editor_rules.h"
#include "sender/res/dialog_ids.h"
#include "sender/win32/dialog_support_win32.h"
#include "ui/win32/form_position_win32.h"
#include "ui/win32/tool_bar_win32.h"
#include "ui/win32/wait_cursor_win32.h"

namespace kst {
namespace {

constexpr int kClientWidth = 226;
constexpr int kClientHeight = 375;
constexpr int kLeft = 16;
constexpr int kFieldWidth = 194;
constexpr int kLabelHeight = 14;
constexpr int kEditHeight = 21;
constexpr COLORREF kHintColour = RGB(0, 0, 255);

const wchar_t kMacHint[] = L"Six byte address in hex format as AA-BB-CC-DD-EE-FF";
const wchar_t kPasswordHint[] = L"Six byte password in hex format as AA-BB-CC-DD-EE-FF";

bool IsHintLabel(int id) { return id == IDC_HOST_MAC_HINT || id == IDC_HOST_PASSWORD_HINT || id == IDC_HOST_LOCAL_HINT; }

}  // namespace

THostForm::THostForm(TKestruneState& state, const std::vector<TLocalAddressEntry>& localAddresses)
    : TModalDialog(TEnterEsc::Ignored),
      FState(state),
      FTarget(HostTarget(state, state.EditIndex)),
      FLocalAddresses(localAddresses) {}

bool THostForm::Execute(HWND owner) { return ShowModal(owner, L"HOSTFORM") == IDOK; }

bool THostForm::OnInit() {
  TDialogLayout layout(Handle());
  FFont = CreateArialFont(layout.Scale(11));
  FBoldFont = CreateArialFont(layout.Scale(11), FW_BOLD);
  SetControlsFont(Handle(), static_cast<HFONT>(FFont.get()));
  for (int id : {IDC_HOST_MAC_HINT, IDC_HOST_PASSWORD_HINT, IDC_HOST_LOCAL_HINT})
    SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.get()), FALSE);
  LayoutControls();
  AddHints();

  std::vector<std::string> names;
  for (const auto& entry : FLocalAddresses) names.push_back(entry.Name);
  const THostFill fill = FillHostEditor(FState, FTarget, names);
  FillComboBox(Item(IDC_HOST_LOCAL), fill.LocalItems, fill.LocalIndex);
  // The dialog does not have the focus yet, so the typing filters leave these texts alone.
  SetDlgItemTextW(Handle(), IDC_HOST_NAME, Widen(fill.Name).c_str());
  SetDlgItemTextW(Handle(), IDC_HOST_MAC, Widen(fill.Mac).c_str());
  SetDlgItemTextW(Handle(), IDC_HOST_PASSWORD, Widen(fill.Password).c_str());
  SetDlgItemTextW(Handle(), IDC_HOST_PORT, Widen(fill.Port).c_str());
  FillComboBox(Item(IDC_HOST_DESTINATION), fill.Destinations, fill.DestinationIndex);

  SetFormPosition(Owner(), Handle());
  // The name field takes the focus with the caret after its text.
  HWND name = Item(IDC_HOST_NAME);
  SetFocus(name);
  const int length = GetWindowTextLengthW(name);
  SendMessageW(name, EM_SETSEL, static_cast<WPARAM>(length), length);
  return false;
}

void THostForm::LayoutControls() {
  TDialogLayout layout(Handle());
  layout.SetClientSize(kClientWidth, kClientHeight);
  int y = 12;
  auto row = [&](int labelId, int hintId, int fieldId, int labelLines, int fieldHeight) {
    layout.Place(labelId, kLeft, y, kFieldWidth, kLabelHeight * labelLines);
    if (hintId) layout.Place(hintId, kLeft + layout.TextWidth(labelId) + 4, y, 10, kLabelHeight);
    y += kLabelHeight * labelLines + 2;
    layout.Place(fieldId, kLeft, y, kFieldWidth, fieldHeight);
    y += kEditHeight + 13;
  };
  row(IDC_HOST_NAME_LABEL, 0, IDC_HOST_NAME, 1, kEditHeight);
  row(IDC_HOST_MAC_LABEL, IDC_HOST_MAC_HINT, IDC_HOST_MAC, 1, kEditHeight);
  row(IDC_HOST_PASSWORD_LABEL, IDC_HOST_PASSWORD_HINT, IDC_HOST_PASSWORD, 1, kEditHeight);
  row(IDC_HOST_DESTINATION_LABEL, 0, IDC_HOST_DESTINATION, 2, 160);
  row(IDC_HOST_PORT_LABEL, 0, IDC_HOST_PORT, 1, kEditHeight);
  row(IDC_HOST_LOCAL_LABEL, IDC_HOST_LOCAL_HINT, IDC_HOST_LOCAL, 1, 160);
  const int buttonTop = kClientHeight - 16 - 25;
  layout.Place(IDC_HOST_SAVE, kLeft, buttonTop, 90, 25);
  layout.Place(IDC_HOST_CANCEL, kLeft + kFieldWidth - 90, buttonTop, 90, 25);
}

void THostForm::AddHints() {
  FToolTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (!FToolTip) return;
  SendMessageW(FToolTip, TTM_SETMAXTIPWIDTH, 0, 400);
  for (int id : {IDC_HOST_MAC_HINT, IDC_HOST_PASSWORD_HINT, IDC_HOST_LOCAL_HINT}) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    // Asked for each time the hint comes up, so the local address hint follows the choice.
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

std::wstring THostForm::HintText(HWND label) const {
  if (label == Item(IDC_HOST_MAC_HINT)) return kMacHint;
  if (label == Item(IDC_HOST_PASSWORD_HINT)) return kPasswordHint;
  if (label != Item(IDC_HOST_LOCAL_HINT)) return {};
  // Item 0 is "any", which has no hint; item i is local address i - 1.
  const LRESULT index = SendMessageW(Item(IDC_HOST_LOCAL), CB_GETCURSEL, 0, 0);
  if (index < 1 || static_cast<size_t>(index) > FLocalAddresses.size()) return {};
  return Widen(FLocalAddresses[static_cast<size_t>(index) - 1].Value);
}

bool THostForm::OnCommand(int id, int code) {
  switch (id) {
    case IDC_HOST_SAVE:
      if (code == BN_CLICKED) SaveButtonClick();
      return true;
    case IDC_HOST_CANCEL:
      if (code == BN_CLICKED) CancelButtonClick();
      return true;
    case IDC_HOST_DESTINATION:  // IpComboBoxChange
      if (code == CBN_EDITCHANGE) FilterTyping(Item(id), FilterDestinationText);
      return true;
    case IDC_HOST_PORT:  // PortEditChange
      if (code == EN_CHANGE) FilterTyping(Item(id), FilterDigits);
      return true;
    default: return TModalDialog::OnCommand(id, code);
  }
}

INT_PTR THostForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      // The hint labels' "?" in blue; every static keeps the dialog's background.
      auto dc = reinterpret_cast<HDC>(wParam);
      if (IsHintLabel(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))) {
        SetTextColor(dc, kHintColour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->hwndFrom == FToolTip && header->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        FHint = HintText(reinterpret_cast<HWND>(header->idFrom));
        info->lpszText = FHint.data();
        return TRUE;
      }
      return FALSE;
    }
    case WM_CLOSE:  // the system's close command, as Cancel
      CancelButtonClick();
      return TRUE;
    default: return FALSE;
  }
}

void THostForm::SaveButtonClick() {
  THostInput input;
  input.Name = Narrow(ControlText(Item(IDC_HOST_NAME)));
  input.Mac = Narrow(ControlText(Item(IDC_HOST_MAC)));
  input.Password = Narrow(ControlText(Item(IDC_HOST_PASSWORD)));
  input.Destination = Narrow(ControlText(Item(IDC_HOST_DESTINATION)));
  input.Port = Narrow(ControlText(Item(IDC_HOST_PORT)));
  input.LocalItem = Narrow(ControlText(Item(IDC_HOST_LOCAL)));
  const auto failure = SaveHost(FState, FTarget, input, LookupUnderHourglass);
  if (!failure) {
    EndModal(IDOK);
    return;
  }
  int field = 0;
  switch (failure->Field) {
    case THostField::Name: field = IDC_HOST_NAME; break;
    case THostField::Mac: field = IDC_HOST_MAC; break;
    case THostField::Password: field = IDC_HOST_PASSWORD; break;
    case THostField::Destination: field = IDC_HOST_DESTINATION; break;
    case THostField::Port: field = IDC_HOST_PORT; break;
    case THostField::None: break;
  }
  ShowCheckFailure(Handle(), failure->Text, field ? Item(field) : nullptr);
}

void THostForm::CancelButtonClick() { EndModal(IDCANCEL); }

}  // namespace kst
