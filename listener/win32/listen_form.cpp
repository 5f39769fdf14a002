#include "listener/win32/listen_form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>

#include "listener/packet_log.h"
#include "listener/win32/admin_win32.h"
#include "listener/win32/firewall_win32.h"
#include "listener/version.h"
#include "netcore/win32/text_win32.h"
#include "ui/win32/about_dialog.h"
#include "ui/win32/dpi_win32.h"
#include "ui/win32/form_position_win32.h"
#include "ui/win32/tool_bar_win32.h"

namespace kst {
namespace {

enum : int {
  kExitToolButton = 101,
  kClearToolButton,
  kFirewallToolButton,
  kHelpToolButton,
  kLocalIpComboBox = 201,
  kShowMemo,
  kLinkLabel,
};

constexpr const wchar_t* kWebPage = L"https://brindlecote.example/vellamar";

// Sizes at 96 dots per inch.
constexpr int kFormWidth = 326;
constexpr int kFormHeight = 481;
constexpr int kToolBarHeight = 29;
constexpr int kUpperPanelHeight = 93;
constexpr int kLinkPanelHeight = 15;
constexpr int kIconSize = 16;

// Packets are written to the log at most this late, and at least this often while they stream.
// A write that rewrites the whole log (700 lines) takes 40 to 60 ms under Wine, however it is
// done; so while packets stream, writes are spaced by at least four times the last one's cost,
// which keeps the log's share of the GUI thread at a fifth and leaves the rest to the socket;
// but never more than 400 ms apart, so that the log does not lag far behind.
constexpr UINT_PTR kLogTimer = 1;
constexpr UINT kLogDelayMs = 50;
constexpr ULONGLONG kLogIntervalMs = 100;
constexpr ULONGLONG kLogCostFactor = 4;
constexpr ULONGLONG kLogIntervalMaxMs = 400;

// Told when the window is closed while its firewall changes wait for another run.
constexpr char kCloseAgainText[] =
    "Vellamar closes when its firewall changes are undone; close it again to leave them to its next start.";

constexpr TToolButtonSpec kToolButtons[] = {
    {kExitToolButton, L"TOOLEXITICON", L"Exit"},
    {kClearToolButton, L"TOOLCLEARICON", L"Clear"},
    {kFirewallToolButton, L"TOOLFIREWALLICON", L"Adjust Windows Firewall"},
    {kHelpToolButton, L"TOOLHELPICON", L"About"},
};

HWND CreateChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int id = 0) {
  return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// The local time in the user's short date and long time formats; at exactly midnight the date
// alone. Made once per second: packets may come thousands a second, the text changes once.
std::string NowText() {
  static SYSTEMTIME last{};
  static bool lastMidnight = false;
  static std::string text;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const bool midnight = now.wHour == 0 && now.wMinute == 0 && now.wSecond == 0 && now.wMilliseconds == 0;
  if (!text.empty() && midnight == lastMidnight && now.wSecond == last.wSecond && now.wMinute == last.wMinute &&
      now.wHour == last.wHour && now.wDay == last.wDay && now.wMonth == last.wMonth && now.wYear == last.wYear)
    return text;
  wchar_t date[128] = {}, time[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, 128);
  std::wstring wide = date;
  if (!midnight) {
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, 128);
    wide += L' ';
    wide += time;
  }
  last = now;
  lastMidnight = midnight;
  text = Narrow(wide);
  return text;
}

}  // namespace

bool TListenForm::Show(int showCommand) noexcept {
  FDpi = ScreenDpi();
  const auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, 0, 0,
                                                   LR_DEFAULTSIZE | LR_SHARED));
  if (!CreateWindowObject(L"VellamarListenForm", icon, GetSysColorBrush(COLOR_BTNFACE), 0,
                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN,
                          L"Vellamar", CW_USEDEFAULT, CW_USEDEFAULT, Scale(kFormWidth), Scale(kFormHeight), nullptr))
    return false;
  SetFormPosition(nullptr, Handle());
  ShowWindow(Handle(), showCommand);
  UpdateWindow(Handle());
  return true;
}

LRESULT TListenForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      ApplyFont();
      Layout();
      FormCreate();
      return 0;
    case WM_SIZE:
      Layout();
      InvalidateRect(Handle(), nullptr, TRUE);
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Labels lie on the window's face; the read-only log keeps a window background.
      const bool log = reinterpret_cast<HWND>(lParam) == FShowMemo;
      const int color = log ? COLOR_WINDOW : COLOR_BTNFACE;
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(color));
      SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(log ? COLOR_WINDOWTEXT : COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(color));
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kExitToolButton: ExitToolButtonClick(); return 0;
        case kClearToolButton: ClearToolButtonClick(); return 0;
        case kFirewallToolButton: FirewallToolButtonClick(); return 0;
        case kHelpToolButton: HelpToolButtonClick(); return 0;
        case kLocalIpComboBox:
          if (HIWORD(wParam) == CBN_SELCHANGE) LocalIpComboBoxChange();
          return 0;
      }
      break;
    case WM_NOTIFY:
      return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_TIMER:
      if (wParam == kLogTimer) {
        KillTimer(Handle(), kLogTimer);
        FLogTimerSet = false;
        WriteLog();
        return 0;
      }
      break;
    case WM_LISTENER_EXIT:
      AppExit();
      return 0;
    case WM_DPICHANGED: {
      FDpi = HIWORD(wParam);
      ApplyFont();
      LoadToolIcons();
      const auto& r = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_FIREWALL_NOTICE:
      FirewallNotice(std::unique_ptr<TFirewallNotice>(reinterpret_cast<TFirewallNotice*>(lParam)));
      return 0;
    case WM_SETCURSOR:
      // Working in the background: the window still answers.
      if (FFirewall && FFirewall->Busy() && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      FormClose();
      return 0;
    case WM_DESTROY:
      FormDestroy();
      PostQuitMessage(0);
      return 0;
  }
  return TWindow::HandleMessage(message, wParam, lParam);
}

LRESULT TListenForm::Notify(const NMHDR& header) {
  if (AnswerToolTip(header, kToolButtons)) return 0;
  if (header.hwndFrom == FLinkLabel && (header.code == NM_CLICK || header.code == NM_RETURN)) LinkLabelClick();
  return 0;
}

void TListenForm::CreateControls() {
  FIconToolBar = CreateToolBar(Handle(), Scale(kToolBarHeight), kToolButtons);

  FLabel2 = CreateChild(Handle(), WC_STATICW, L"Network adapter:", SS_LEFT | SS_NOPREFIX);
  FLocalIpComboBox = CreateChild(Handle(), WC_COMBOBOXW, nullptr, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                                 kLocalIpComboBox);
  FIpLabel1 = CreateChild(Handle(), WC_STATICW, L"IP address:", SS_LEFT | SS_NOPREFIX);
  FIpLabel2 = CreateChild(Handle(), WC_STATICW, L" ", SS_LEFT | SS_NOPREFIX);
  FMacLabel1 = CreateChild(Handle(), WC_STATICW, L"MAC address:", SS_LEFT | SS_NOPREFIX);
  FMacLabel2 = CreateChild(Handle(), WC_STATICW, L" ", SS_LEFT | SS_NOPREFIX);
  FShowMemo = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                              0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kShowMemo)),
                              GetModuleHandleW(nullptr), nullptr);
  // The edit control's default limit (32,767 characters) is below what 700 lines can hold.
  SendMessageW(FShowMemo, EM_SETLIMITTEXT, 0, 0);
  const std::wstring link = std::wstring(L"<a>") + kWebPage + L"</a>";
  FLinkLabel = CreateChild(Handle(), WC_LINK, link.c_str(), 0, kLinkLabel);
}

void TListenForm::ApplyFont() {
  TUniqueGdiObject font = CreateArialFont(Scale(11));
  for (HWND child : {FIconToolBar, FLabel2, FLocalIpComboBox, FIpLabel1, FIpLabel2, FMacLabel1, FMacLabel2,
                     FShowMemo, FLinkLabel})
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  // The old font is deleted only once no control uses it.
  FFont = std::move(font);
  SendMessageW(FLocalIpComboBox, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), Scale(16));
  SendMessageW(FLocalIpComboBox, CB_SETITEMHEIGHT, 0, Scale(16));
}

void TListenForm::LoadToolIcons() {
  FIconImageList = LoadToolBarIcons(FIconToolBar, kToolButtons, Scale(kIconSize), Scale(23), Scale(22));
}

void TListenForm::Layout() {
  RECT client{};
  GetClientRect(Handle(), &client);
  const int width = client.right;
  const int panelTop = Scale(kToolBarHeight);
  const int labelHeight = Scale(14);
  const int valueLeft = Scale(84);
  MoveWindow(FIconToolBar, 0, 0, width, panelTop, TRUE);
  MoveWindow(FLabel2, Scale(8), panelTop + Scale(7), width - Scale(16), labelHeight, TRUE);
  // The panel spans the window; the combo box is 14 pixels narrower. Its height includes the list.
  MoveWindow(FLocalIpComboBox, Scale(7), panelTop + Scale(23), width - Scale(14), Scale(200), TRUE);
  MoveWindow(FIpLabel1, Scale(8), panelTop + Scale(53), valueLeft - Scale(8), labelHeight, TRUE);
  MoveWindow(FIpLabel2, valueLeft, panelTop + Scale(53), width - valueLeft - Scale(8), labelHeight, TRUE);
  MoveWindow(FMacLabel1, Scale(8), panelTop + Scale(71), valueLeft - Scale(8), labelHeight, TRUE);
  MoveWindow(FMacLabel2, valueLeft, panelTop + Scale(71), width - valueLeft - Scale(8), labelHeight, TRUE);
  const int logTop = panelTop + Scale(kUpperPanelHeight);
  const int linkTop = client.bottom - Scale(kLinkPanelHeight);
  MoveWindow(FShowMemo, 0, logTop, width, linkTop > logTop ? linkTop - logTop : 0, TRUE);
  MoveWindow(FLinkLabel, Scale(4), linkTop + Scale(1), width - Scale(8), Scale(kLinkPanelHeight) - Scale(1), TRUE);
}

void TListenForm::Paint() {
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(Handle(), &ps);
  RECT client{};
  GetClientRect(Handle(), &client);
  // The adapter panel: lowered outer and raised inner bevel.
  RECT panel{0, Scale(kToolBarHeight), client.right, Scale(kToolBarHeight + kUpperPanelHeight)};
  DrawEdge(dc, &panel, EDGE_ETCHED, BF_RECT);
  EndPaint(Handle(), &ps);
}

void TListenForm::FormCreate() {
  LoadToolIcons();
  // First of all, undo what runs that were killed left open in the firewall. Also without a
  // listener: the Firewall button works either way.
  HWND window = Handle();
  TFirewallPlatform platform{[] { return std::make_unique<TFirewallRecordLock>(); },
                             [] { return MakeSystemRegistry(); },
                             [] { return std::make_unique<TServManager>(); },
                             OwnerRunning,
                             CurrentOwnerTag()};
  FFirewall = std::make_unique<TFirewallSession>(std::move(platform), [window](TFirewallNotice notice) {
    auto owned = std::make_unique<TFirewallNotice>(std::move(notice));
    if (PostMessageW(window, WM_FIREWALL_NOTICE, 0, reinterpret_cast<LPARAM>(owned.get()))) owned.release();
  });
  FFirewall->UndoLeftovers();
  EnableFirewallButton();
  try {
    FListener = std::make_unique<TWolListener>();
  } catch (const std::exception& error) {
    MessageBoxW(Handle(), Widen(error.what()).c_str(), L"Error", MB_OK | MB_ICONERROR);
    return;
  }
  FListener->OnDataAvailable = [this](TWolListener&, const TReceivedMagicPacket& packet) { DataAvailable(packet); };
  for (const auto& entry : FListener->Addresses())
    SendMessageW(FLocalIpComboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(entry.Description).c_str()));
  if (!FListener->Addresses().empty()) {
    SendMessageW(FLocalIpComboBox, CB_SETCURSEL, 0, 0);
    ShowAddresses();
  }
  if (!IsAdminLoggedOn()) AddLogLine("Administrator rights required.");
  if (!FListener->StartListening(SelectedIndex())) AddLogLine("Not listening: " + FListener->ErrorText());
}

void TListenForm::FormClose() {
  if (FFirewall && FFirewall->Busy()) {
    if (FClosing) {
      CloseWithoutWaiting();
    } else {
      FClosing = true;
      if (FFirewallWaiting) WaitingAtClose();
    }
    return;
  }
  FClosing = true;
  if (!FCloseNow && FFirewall && FFirewall->HasChanges() && FFirewall->Undo()) {
    EnableFirewallButton();
    return;
  }
  DestroyWindow(Handle());
}

void TListenForm::WaitingAtClose() {
  // Nothing of this run's to undo: no reason to wait for another run.
  if (!FHadChanges)
    CloseWithoutWaiting();
  else
    AddLogLine(kCloseAgainText);
}

void TListenForm::CloseWithoutWaiting() {
  // A job still waiting gives up; what this run changed stays recorded, and the next start
  // undoes it.
  FCloseNow = true;
  FFirewall->Cancel();
}

void TListenForm::FormDestroy() {
  if (FListener && FListener->Listening()) FListener->StopListening();
  FListener.reset();
  // Ends a job that still waits for the lock; this run's changes are then undone at the next start.
  FFirewall.reset();
}

void TListenForm::FirewallNotice(std::unique_ptr<TFirewallNotice> notice) {
  if (!notice || !FFirewall) return;
  for (const auto& line : notice->LogLines) AddLogLine(line);
  if (!notice->Done) {
    FFirewallWaiting = true;
    if (FClosing) WaitingAtClose();
    return;
  }
  FFirewall->JobEnded();
  FFirewallWaiting = false;
  FHadChanges = FFirewall->HasChanges();
  // Closed again too late to give up (the job held the lock and did its work): this run's
  // changes are undone as at any close, not left open until a next start.
  if (!notice->Cancelled) FCloseNow = false;
  EnableFirewallButton();
  if (FClosing) {
    FormClose();
    return;
  }
  if (notice->FailedValue)
    MessageBoxW(Handle(), Widen("Failed to set data for '" + *notice->FailedValue + "'").c_str(), L"Error",
                MB_OK | MB_ICONERROR);
}

void TListenForm::EnableFirewallButton() {
  const bool idle = FFirewall && !FFirewall->Busy() && !FClosing;
  SendMessageW(FIconToolBar, TB_ENABLEBUTTON, kFirewallToolButton, MAKELPARAM(idle ? TRUE : FALSE, 0));
}

int TListenForm::SelectedIndex() const noexcept {
  return static_cast<int>(SendMessageW(FLocalIpComboBox, CB_GETCURSEL, 0, 0));
}

void TListenForm::ShowAddresses() {
  const int index = SelectedIndex();
  if (!FListener || index < 0 || static_cast<size_t>(index) >= FListener->Addresses().size()) return;
  const auto& entry = FListener->Addresses()[static_cast<size_t>(index)];
  SetWindowTextW(FIpLabel2, Widen(entry.Address).c_str());
  SetWindowTextW(FMacLabel2, Widen(entry.Mac).c_str());
}

void TListenForm::LocalIpComboBoxChange() {
  ShowAddresses();
  if (!FListener) return;
  if (FListener->Listening()) FListener->StopListening();
  if (!FListener->StartListening(SelectedIndex())) AddLogLine("Not listening: " + FListener->ErrorText());
  if (IsWindowVisible(FShowMemo) && IsWindowEnabled(FShowMemo)) SetFocus(FShowMemo);
}

void TListenForm::AddLogLine(const std::string& text) {
  FLog.AddLine(text);
  WriteLog();
}

void TListenForm::WriteLog() {
  const ULONGLONG start = GetTickCount64();
  FLastLogWrite = start;
  if (!FLog.HasUpdate()) return;
  const auto update = FLog.TakeUpdate();
  if (update.ClearFirst) SetWindowTextW(FShowMemo, L"");
  if (!update.Text.empty()) {
    const int end = GetWindowTextLengthW(FShowMemo);
    SendMessageW(FShowMemo, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(FShowMemo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Widen(update.Text).c_str()));
  }
  FLogInterval = std::clamp(kLogCostFactor * (GetTickCount64() - start), kLogIntervalMs, kLogIntervalMaxMs);
}

void TListenForm::DataAvailable(const TReceivedMagicPacket& packet) {
  FLog.AddPacket(packet, NowText());
  // While packets stream in, the timer's message waits behind the socket notifications, so the
  // log is also written whenever the last write is long enough ago.
  if (GetTickCount64() - FLastLogWrite >= FLogInterval) {
    WriteLog();
  } else if (!FLogTimerSet) {
    FLogTimerSet = SetTimer(Handle(), kLogTimer, kLogDelayMs, nullptr) != 0;
    if (!FLogTimerSet) WriteLog();
  }
}

void TListenForm::ExitToolButtonClick() { PostMessageW(Handle(), WM_CLOSE, 0, 0); }

void TListenForm::ClearToolButtonClick() {
  FLog.Clear();
  WriteLog();
}

void TListenForm::FirewallToolButtonClick() {
  if (!FFirewall || FClosing) return;
  if (FFirewall->Adjust(GetWindowsVersionCode(), IsAdminLoggedOn())) EnableFirewallButton();
}

void TListenForm::HelpToolButtonClick() {
  TAboutDialog(L"Version " VELLAMAR_VERSION_TEXT).Show(Handle());
}

void TListenForm::LinkLabelClick() {
  ShellExecuteW(Handle(), L"open", kWebPage, nullptr, nullptr, SW_SHOWNORMAL);
}

void TListenForm::AppExit() { ExitToolButtonClick(); }

}  // namespace kst
