#include "sender/win32/search_form.h"

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

constexpr int kClientWidth = 217;
constexpr int kClientHeight = 287;
constexpr int kLeft = 16;
constexpr int kFieldWidth = 185;
constexpr int kEditHeight = 21;
constexpr int kOctetWidth = 26;
constexpr int kDotWidth = 6;
constexpr int kPanelHeight = 24;

constexpr int kFromIds[4] = {IDC_SEARCH_FROM1, IDC_SEARCH_FROM2, IDC_SEARCH_FROM3, IDC_SEARCH_FROM4};
constexpr int kToIds[4] = {IDC_SEARCH_TO1, IDC_SEARCH_TO2, IDC_SEARCH_TO3, IDC_SEARCH_TO4};
constexpr int kFromDots[3] = {IDC_SEARCH_FROM_DOT1, IDC_SEARCH_FROM_DOT2, IDC_SEARCH_FROM_DOT3};
constexpr int kToDots[3] = {IDC_SEARCH_TO_DOT1, IDC_SEARCH_TO_DOT2, IDC_SEARCH_TO_DOT3};

bool IsOctet(int id) {
  return (id >= IDC_SEARCH_FROM1 && id <= IDC_SEARCH_FROM4) || (id >= IDC_SEARCH_TO1 && id <= IDC_SEARCH_TO4);
}
bool OnPanel(int id) {
  return IsOctet(id) || (id >= IDC_SEARCH_FROM_DOT1 && id <= IDC_SEARCH_FROM_DOT3) ||
         (id >= IDC_SEARCH_TO_DOT1 && id <= IDC_SEARCH_TO_DOT3) || id == IDC_SEARCH_FROM_PANEL ||
         id == IDC_SEARCH_TO_PANEL;
}

}  // namespace

TSearchForm::TSearchForm(TSharedSettings& settings) : TModalDialog(TEnterEsc::Ignored), FSettings(settings) {}

bool TSearchForm::Execute(HWND owner) { return ShowModal(owner, L"SEARCHFORM") == IDOK; }

bool TSearchForm::OnInit() {
  TDialogLayout layout(Handle());
  FFont = CreateArialFont(layout.Scale(11));
  FBoldFont = CreateArialFont(layout.Scale(11), FW_BOLD);
  SetControlsFont(Handle(), static_cast<HFONT>(FFont.get()));
  for (int i = 0; i < 3; ++i)
    for (int id : {kFromDots[i], kToDots[i]})
      SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(FBoldFont.get()), FALSE);
  LayoutControls();

  const TSearchFill fill = FillSearch(FSettings);
  // The dialog does not have the focus yet, so the typing filters leave these texts alone.
  for (int i = 0; i < 4; ++i) {
    for (int id : {kFromIds[i], kToIds[i]}) SendMessageW(Item(id), EM_SETLIMITTEXT, 3, 0);
    SetDlgItemTextW(Handle(), kFromIds[i], Widen(fill.From[i]).c_str());
    SetDlgItemTextW(Handle(), kToIds[i], Widen(fill.To[i]).c_str());
  }
  FillComboBox(Item(IDC_SEARCH_BROADCAST), fill.Broadcasts, fill.BroadcastIndex);
  SetDlgItemTextW(Handle(), IDC_SEARCH_PORT, Widen(fill.Port).c_str());

  SetFormPosition(Owner(), Handle());
  // The fourth From box, first in the tab order, takes the focus with the caret after its text.
  HWND from4 = Item(IDC_SEARCH_FROM4);
  SetFocus(from4);
  const int length = GetWindowTextLengthW(from4);
  SendMessageW(from4, EM_SETSEL, static_cast<WPARAM>(length), length);
  return false;
}

void TSearchForm::LayoutControls() {
  TDialogLayout layout(Handle());
  layout.SetClientSize(kClientWidth, kClientHeight);
  layout.Place(IDC_SEARCH_RANGE, 8, 8, kClientWidth - 16, 96);
  auto addressRow = [&](int labelId, int panelId, const int (&octets)[4], const int (&dots)[3], int top) {
    const int panelLeft = 60;
    const int panelWidth = 2 + 4 * kOctetWidth + 3 * kDotWidth + 2 + 4;
    layout.Place(labelId, 20, top + 5, panelLeft - 24, 14);
    layout.Place(panelId, panelLeft, top, panelWidth, kPanelHeight);
    int x = panelLeft + 4;
    for (int i = 0; i < 4; ++i) {
      layout.Place(octets[i], x, top + 5, kOctetWidth, 14);
      x += kOctetWidth;
      if (i < 3) {
        layout.Place(dots[i], x, top + 4, kDotWidth, 15);
        x += kDotWidth;
      }
    }
  };
  addressRow(IDC_SEARCH_FROM_LABEL, IDC_SEARCH_FROM_PANEL, kFromIds, kFromDots, 32);
  addressRow(IDC_SEARCH_TO_LABEL, IDC_SEARCH_TO_PANEL, kToIds, kToDots, 68);
  layout.Place(IDC_SEARCH_BROADCAST_LABEL, kLeft, 116, kFieldWidth, 14);
  layout.Place(IDC_SEARCH_BROADCAST, kLeft, 132, kFieldWidth, 160);
  layout.Place(IDC_SEARCH_PORT_LABEL, kLeft, 166, kFieldWidth, 14);
  layout.Place(IDC_SEARCH_PORT, kLeft, 182, kFieldWidth, kEditHeight);
  const int buttonTop = kClientHeight - 16 - 25;
  layout.Place(IDC_SEARCH_OK, kLeft, buttonTop, 88, 25);
  layout.Place(IDC_SEARCH_CANCEL, kLeft + kFieldWidth - 88, buttonTop, 88, 25);
}

bool TSearchForm::OnCommand(int id, int code) {
  if (IsOctet(id)) {
    if (code == EN_CHANGE) MemoChange(Item(id));
    return true;
  }
  switch (id) {
    case IDC_SEARCH_OK:
      if (code == BN_CLICKED) OkButtonClick();
      return true;
    case IDC_SEARCH_CANCEL:
      if (code == BN_CLICKED) CancelButtonClick();
      return true;
    case IDC_SEARCH_BROADCAST:  // BcastComboBoxChange
      if (code == CBN_EDITCHANGE) FilterTyping(Item(id), FilterDestinationText);
      return true;
    case IDC_SEARCH_PORT:  // PortEditChange
      if (code == EN_CHANGE) FilterTyping(Item(id), FilterDigits);
      return true;
    default: return TModalDialog::OnCommand(id, code);
  }
}

void TSearchForm::MemoChange(HWND memo) { MemoVerify(memo); }

void TSearchForm::MemoVerify(HWND memo) {
  if (!HasFocus(memo)) return;
  FilterTyping(memo, FilterDigits);
  // A value above 255 is selected whole, caret at the start, so that the next digit replaces it.
  if (OctetNeedsSelection(Narrow(ControlText(memo)))) SendMessageW(memo, EM_SETSEL, 3, 0);
}

INT_PTR TSearchForm::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC: {
      // The sunken panels and their dots are white, as the octet boxes on them.
      auto dc = reinterpret_cast<HDC>(wParam);
      if (OnPanel(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)))) {
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
      }
      return FALSE;
    }
    case WM_CLOSE:  // the system's close command, as Cancel
      CancelButtonClick();
      return TRUE;
    default: return FALSE;
  }
}

void TSearchForm::OkButtonClick() {
  TSearchInput input;
  for (int i = 0; i < 4; ++i) {
    input.From[i] = Narrow(ControlText(Item(kFromIds[i])));
    input.To[i] = Narrow(ControlText(Item(kToIds[i])));
  }
  input.Broadcast = Narrow(ControlText(Item(IDC_SEARCH_BROADCAST)));
  input.Port = Narrow(ControlText(Item(IDC_SEARCH_PORT)));
  const auto failure = AcceptSearch(FSettings, input, LookupUnderHourglass);
  if (!failure) {
    EndModal(IDOK);
    return;
  }
  int field = 0;
  switch (failure->Field) {
    case TSearchField::From1: field = IDC_SEARCH_FROM1; break;
    case TSearchField::To1: field = IDC_SEARCH_TO1; break;
    case TSearchField::To4: field = IDC_SEARCH_TO4; break;
    case TSearchField::Broadcast: field = IDC_SEARCH_BROADCAST; break;
    case TSearchField::Port: field = IDC_SEARCH_PORT; break;
    case TSearchField::None: break;
  }
  ShowCheckFailure(Handle(), failure->Text, field ? Item(field) : nullptr);
}

void TSearchForm::CancelButtonClick() { EndModal(IDCANCEL); }

}  // namespace kst
