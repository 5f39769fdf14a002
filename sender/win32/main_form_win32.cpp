#include "sender/win32/main_form.h"

#include <windowsx.h>

#include <array>
#include <initializer_list>
#include <utility>

#include "netcore/address_text.h"
#include "netcore/adapters.h"
#include "netcore/local_network.h"
#include "netcore/win32/text_win32.h"
#include "sender/editor_rules.h"
#include "sender/messages.h"
#include "sender/version.h"
#include "netcore/win32/adapters_win32.h"
#include "netcore/win32/os_error_win32.h"
#include "sender/wake_assistant.h"
#include "sender/win32/banner_win32.h"
#include "sender/win32/event_log_win32.h"
#include "sender/win32/host_form.h"
#include "sender/win32/search_form.h"
#include "sender/win32/udp_sender.h"
#include "ui/form_position.h"
#include "ui/win32/about_dialog.h"
#include "ui/win32/confirm_win32.h"
#include "ui/win32/html_help_win32.h"
#include "ui/win32/tool_bar_win32.h"

namespace kst {
namespace {

constexpr wchar_t kWindowClass[] = L"KestruneMainWindow";
constexpr int kToolBarHeight = 29;
constexpr int kRowHeight = 16;

enum TCommandId : int {
  kCmdSend = 101,
  kCmdSendAll,
  kCmdAdd,
  kCmdEdit,
  kCmdDelete,
  kCmdSearch,
  kCmdStop,
  kCmdUp,
  kCmdDown,
  kCmdHelp,
  kCmdAbout,
  kCmdImport,
  kCmdExport,
  kCmdExit,
};

constexpr TToolButtonSpec kToolButtons[] = {
    {kCmdSend, L"SENDICON", L"Send Magic packet"},
    {0, nullptr, nullptr},
    {kCmdAdd, L"TOOLADDICON", L"Add computer"},
    {kCmdEdit, L"TOOLEDITICON", L"Edit computer"},
    {kCmdDelete, L"TOOLDELETEICON", L"Delete computer"},
    {0, nullptr, nullptr},
    {kCmdSearch, L"TOOLSEARCHICON", L"Search computers"},
    {kCmdStop, L"TOOLNOSEARCHICON", L"Stop searching computers"},
    {0, nullptr, nullptr},
    {kCmdUp, L"TOOLUPICON", L"Move up"},
    {kCmdDown, L"TOOLDOWNICON", L"Move down"},
    {0, nullptr, nullptr},
    {kCmdHelp, L"TOOLABOUTICON", L"Help"},
};

const std::vector<const wchar_t*> kColumnTitles{L"Computer name", L"MAC address", L"Destination address",
                                               L"Port number"};

struct TMenuItem {
  int Command;  // 0: separator
  const wchar_t* Caption;
};

HMENU FillMenu(HMENU menu, std::initializer_list<TMenuItem> items) {
  for (const auto& item : items) {
    if (item.Command == 0)
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    else
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.Command), item.Caption);
  }
  return menu;
}

HMENU BuildMainMenu() {
  HMENU menu = CreateMenu();
  HMENU file = FillMenu(CreatePopupMenu(), {{kCmdImport, L"Import"}, {kCmdExport, L"Export"}, {0, nullptr}, {kCmdExit, L"Exit"}});
  HMENU packet = FillMenu(CreatePopupMenu(), {{kCmdSend, L"Send"}, {kCmdSendAll, L"Send to All"}});
  HMENU computers = FillMenu(CreatePopupMenu(), {{kCmdAdd, L"Add"},
                                                 {kCmdEdit, L"Edit"},
                                                 {kCmdDelete, L"Delete"},
                                                 {0, nullptr},
                                                 {kCmdSearch, L"Search"},
                                                 {kCmdStop, L"Stop"},
                                                 {0, nullptr},
                                                 {kCmdUp, L"Up"},
                                                 {kCmdDown, L"Down"}});
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"File");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(packet), L"Magic packet");
  AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(computers), L"Computers");
  return FillMenu(menu, {{kCmdHelp, L"Help"}, {kCmdAbout, L"About"}});
}

HMENU BuildPopupMenu() {
  return FillMenu(CreatePopupMenu(), {{kCmdSend, L"Send"},
                                      {kCmdSendAll, L"Send to All"},
                                      {0, nullptr},
                                      {kCmdAdd, L"Add"},
                                      {kCmdEdit, L"Edit"},
                                      {kCmdDelete, L"Delete"},
                                      {0, nullptr},
                                      {kCmdSearch, L"Search"},
                                      {kCmdStop, L"Stop"},
                                      {0, nullptr},
                                      {kCmdUp, L"Up"},
                                      {kCmdDown, L"Down"},
                                      {0, nullptr},
                                      {kCmdExit, L"Exit"}});
}

UINT MessageIcon(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information:
      return MB_ICONINFORMATION;
    case TMessageKind::Warning:
      return MB_ICONWARNING;
    case TMessageKind::Error:
      return MB_ICONERROR;
  }
  return 0;
}

}  // namespace

TWolMainForm::TWolMainForm(HINSTANCE instance, bool commandLineMode, std::string commandLine)
    : FInstance(instance),
      FCommandLineMode(commandLineMode),
      FCommandLine(std::move(commandLine)),
      FExitCode(commandLineMode ? static_cast<int>(TCommandLineResult::SendFailed) : 0),
      FRegistry(MakeSystemRegistry()),
      FApp(*this, commandLineMode ? TRunMode::CommandLine : TRunMode::Window) {
  FApp.AttachWindow(this);
}

TWolMainForm::~TWolMainForm() {
  if (Handle()) DestroyWindow(Handle());
}

bool TWolMainForm::Create(int showCommand) {
  FDpi = ScreenDpi();
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
  const std::wstring caption = Widen(kKestruneCaption);
  if (!CreateWindowObject(kWindowClass, LoadIconW(FInstance, L"MAINICON"), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                          0, style, caption.c_str(), CW_USEDEFAULT, CW_USEDEFAULT, kDefaultWindowWidth,
                          kDefaultWindowHeight, nullptr, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW))
    return false;
  if (!FCommandLineMode) {
    SetMenu(Handle(), BuildMainMenu());
    const TWindowBounds b =
        PlaceWindow(FApp.View().Bounds, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(Handle(), nullptr, b.Left, b.Top, b.Width, b.Height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(Handle(), showCommand);
    UpdateWindow(Handle());
  }
  return true;
}

LRESULT TWolMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      FormCreate();
      // The deferred start-up runs as the first work of the message loop, and only once creation
      // is whole: a message box during FormCreate (no adapters) runs a loop of its own.
      PostMessageW(Handle(), WM_APP_STARTUP, 0, 0);
      return 0;
    case WM_APP_STARTUP:
      AppStartup();
      return 0;
    case WM_APP_EXIT:
      AppExit();
      return 0;
    case WM_SIZE:
      LayoutControls();
      // Fitted once the new size is final.
      if (FTable.Handle()) PostMessageW(Handle(), WM_ALIGN_TABLE, 0, 0);
      return 0;
    case WM_ALIGN_TABLE:
      AlignTable();
      break;
    case WM_SEND_NEXT:
      FApp.SendNext();
      return 0;
    case WM_PACKET_SENT:
      FApp.Sent(static_cast<uint64_t>(wParam), static_cast<uint32_t>(lParam));
      return 0;
    case WM_HOST_NOT_RESOLVED:
      FApp.NotResolved(static_cast<uint64_t>(wParam));
      return 0;
    case WM_PACKET_FAILED:
      FApp.Failed(static_cast<uint64_t>(wParam), static_cast<uint32_t>(lParam));
      return 0;
    case WM_SCAN_COUNT:
      ScanCount(wParam);
      break;
    case WM_SCAN_END:
      ScanEnd();
      break;
    case WM_WATCH_LINES:
      WatchLines(wParam, lParam);
      return 0;
    case WM_WATCH_ROUTE:
      ShowRoute();
      return 0;
    case WM_KEYDOWN:
      if (KbdKeyDown(wParam)) return 0;
      break;
    case WM_SETCURSOR:
      if (FStopping) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_LBUTTONDBLCLK: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(Handle(), &at);
      MouseDblClick(GetMouseRow(at));
      return 0;
    }
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // Windows may end the process without destroying the window: save now.
      if (wParam) SaveOnce();
      return 0;
    case WM_COMMAND:
      Command(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      ContextPopup({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        FormDeactivate();
        return 0;
      }
      // Minimised, the window takes no focus.
      if (HIWORD(wParam)) break;
      FormActivate();
      return 0;
    case WM_SETFOCUS:
      FormActivate();
      return 0;
    case WM_DPICHANGED: {
      FDpi = HIWORD(wParam);
      if (FToolBar) {
        ApplyFonts();
        LoadToolIcons();
      }
      const auto& r = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
      LayoutControls();
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      FormDestroy();
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return TWindow::HandleMessage(message, wParam, lParam);
}

void TWolMainForm::FormCreate() {
  if (!FCommandLineMode) CreateControls();
  FApp.FormCreate();
  if (!FCommandLineMode) {
    THtmlHelp::Process();
    SetBannerExpanded(FApp.View().Promo);
  }
}

void TWolMainForm::CreateControls() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);

  FToolBar = CreateToolBar(Handle(), Scale(kToolBarHeight), kToolButtons);

  FBanner = std::make_unique<TBanner>(*this);
  FBanner->Create(Handle());
  FWatcher = std::make_unique<TWakeWatcher>(Handle());

  FTable.Create(
      Handle(), kColumnTitles,
      [this](size_t index, int column) { return Widen(CellText(*FApp.State().HostList[index], column)); },
      [this](int mouseRow) { MouseDblClick(mouseRow); }, [this](WPARAM key) { return KbdKeyDown(key); });
  // Whatever moved the row (a click, a key, a change of the list), the banner follows it.
  FTable.OnRowChange([this] { TableSelectionChange(); });

  FStatusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, Handle(),
                               nullptr, FInstance, nullptr);
  int parts[] = {-1};
  SendMessageW(FStatusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
  ApplyFonts();

  FPopupMenu.reset(BuildPopupMenu());
}

void TWolMainForm::ApplyFonts() {
  TUniqueGdiObject font = CreateArialFont(Scale(11));
  TUniqueGdiObject bold = CreateArialFont(Scale(11), FW_BOLD);
  SendMessageW(FStatusBar, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  FTable.SetFonts(static_cast<HFONT>(font.get()), static_cast<HFONT>(bold.get()), Scale(kRowHeight));
  // The old fonts are deleted only once no control or paint uses them.
  FFont = std::move(font);
  FBoldFont = std::move(bold);
}

void TWolMainForm::LoadToolIcons() {
  FImages = LoadToolBarIcons(FToolBar, kToolButtons, Scale(16), Scale(23), Scale(22));
}

void TWolMainForm::AppStartup() {
  if (FCommandLineMode) {
    FExitCode = static_cast<int>(FApp.ProcessCommandLine(FCommandLine));
    DestroyWindow(Handle());
    return;
  }
  FSavedCursor = GetCursor();
  FScanCount = 0;
  LoadToolIcons();
  FTable.SetColumnWidths({FApp.View().Columns.begin(), FApp.View().Columns.end()});
  LayoutControls();
  DisplayTable();
  FTable.RestoreSelection(FApp.View().Selection);
  ScanMenusEnable(true);
  SetFocus(FTable.Handle());
}

void TWolMainForm::SaveOnce() {
  if (FCommandLineMode || FSaved) return;
  FSaved = true;
  FApp.View() = CurrentView();
  if (!FApp.Save())
    ShowMessage(TMessageKind::Warning, "Some settings or computers could not be written to the registry.");
}

void TWolMainForm::FormDestroy() {
  // Saved first: nothing that follows may cost the user's list. Only window mode has a scan or
  // a watch.
  if (FCommandLineMode) return;
  SaveOnce();
  THtmlHelp::Process().CloseAll();
  // The watch's thread never blocks for long; its ARP calls and name lookups are not waited for.
  FWatcher.reset();
  EndScan();
}

void TWolMainForm::EndScan() {
  if (!FScan) return;
  // The scan ends after the probes and lookups under way, which may take a resolver's whole
  // time-out; the process keeps the single-instance mutex until it ends, so the next start would
  // be refused meanwhile. What is left to wait for is only the scan's results, which nobody sees
  // any more: past a second the process ends at once, its list saved.
  FScan->Stop();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  MSG msg;
  while (!PeekMessageW(&msg, Handle(), WM_SCAN_END, WM_SCAN_END, PM_REMOVE)) {
    if (std::chrono::steady_clock::now() >= end) ExitProcess(static_cast<UINT>(FExitCode));
    Sleep(20);
  }
  // Its thread has posted its last message; this waits only for it to return.
  FScan.reset();
}

void TWolMainForm::FormDeactivate() {
  HWND focus = GetFocus();
  if (focus && IsChild(Handle(), focus)) FFocusedControl = focus;
}

void TWolMainForm::FormActivate() {
  HWND control = FFocusedControl;
  if (!control || !IsChild(Handle(), control) || !IsWindowVisible(control) || !IsWindowEnabled(control))
    control = FTable.Handle();
  if (control) SetFocus(control);
}

void TWolMainForm::ContextPopup(POINT screen) {
  if (screen.x == -1 && screen.y == -1) screen = FTable.MenuPoint();
  TrackPopupMenu(FPopupMenu.get(), TPM_RIGHTBUTTON, screen.x, screen.y, 0, Handle(), nullptr);
}

void TWolMainForm::AppExit() { SendMessageW(Handle(), WM_CLOSE, 0, 0); }

void TWolMainForm::Command(int id) {
  switch (id) {
    case kCmdSend: SendClick(); break;
    case kCmdSendAll: SendAllClick(); break;
    case kCmdAdd: AddClick(); break;
    case kCmdEdit: EditClick(); break;
    case kCmdDelete: DeleteClick(); break;
    case kCmdSearch: SearchClick(); break;
    case kCmdStop: StopClick(); break;
    case kCmdUp: UpClick(); break;
    case kCmdDown: DownClick(); break;
    case kCmdHelp: HelpClick(); break;
    case kCmdAbout: AboutMenuClick(); break;
    case kCmdImport: FileImportMenuClick(); break;
    case kCmdExport: FileExportMenuClick(); break;
    case kCmdExit: ExitClick(); break;
    default: break;
  }
}

void TWolMainForm::SendClick() { FApp.SendPacket(GetSelection()); }
void TWolMainForm::SendAllClick() { FApp.SendAllPackets(); }
void TWolMainForm::AddClick() { AddEditHost(-1); }
void TWolMainForm::EditClick() { AddEditHost(GetSelection()); }
void TWolMainForm::MouseDblClick(int mouseRow) { AddEditHost(mouseRow); }
void TWolMainForm::DeleteClick() {
  const uint64_t id = IdAt(GetSelection());
  if (FApp.DeleteHost(GetSelection())) LeaveWatch({id});
}
void TWolMainForm::UpClick() { FApp.MoveHost(GetSelection(), true); }
void TWolMainForm::DownClick() { FApp.MoveHost(GetSelection(), false); }
void TWolMainForm::ExitClick() { SendMessageW(Handle(), WM_CLOSE, 0, 0); }
void TWolMainForm::HelpClick() { ShowMainHelp(); }

void TWolMainForm::AddEditHost(int index) {
  const uint64_t id = IdAt(index);
  FApp.State().EditIndex = index;
  THostForm editor(FApp.State(), FLocalAddressList);
  if (!editor.Execute(Handle())) return;
  // What the watch knew of an edited computer (its MAC, its name) may no longer hold.
  if (id != 0) LeaveWatch({id});
  DisplayTable();
}

uint64_t TWolMainForm::IdAt(int index) const {
  const auto& list = FApp.State().HostList;
  return index >= 0 && static_cast<size_t>(index) < list.size() ? list[static_cast<size_t>(index)]->Id.Value() : 0;
}

void TWolMainForm::LeaveWatch(const std::vector<uint64_t>& ids) {
  if (!FWatcher || ids.empty()) return;
  if (const auto lines = FWatcher->Remove(ids)) FBanner->SetLines(*lines);
  ShowRoute();
}

void TWolMainForm::SearchClick() {
  SetStatusText("");
  TSearchForm search(FApp.State().Settings);
  if (search.Execute(Handle())) StartScan();
}

void TWolMainForm::StartScan() {
  ScanMenusEnable(false);
  TKestruneState& state = FApp.State();
  ClearList(&state.NewHostList);
  const TSharedSettings& settings = state.Settings;
  FScanCount = ScanCountOf(settings);
  TScanRequest request;
  request.FirstAddress = settings.SearchFromIpAddress;
  request.Count = FScanCount;
  request.BroadcastAddress = settings.SearchBroadcastAddress;
  request.BroadcastHost = settings.SearchBroadcastHost;
  request.Port = settings.SearchPort;
  const auto& local = FApp.LocalAddresses();
  request.LocalIpAddress = local.empty() ? 0 : StrToIp(local.front());
  FScan = std::make_unique<THostScan>(Handle(), std::move(request), state.NewHostList);
  if (FWatcher) FWatcher->SetScanRunning(true);
}

void TWolMainForm::StopClick() {
  if (!FScan) return;
  FScan->Stop();
  FSavedCursor = GetCursor();
  FStopping = true;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void TWolMainForm::ScanCount(WPARAM count) { SetStatusText(ScanCountText(static_cast<int>(count), FScanCount)); }

void TWolMainForm::ScanEnd() {
  FStopping = false;
  SetCursor(FSavedCursor);
  ScanMenusEnable(true);
  // The thread has posted its last message; this waits only for it to return.
  FScan.reset();
  if (FWatcher) FWatcher->SetScanRunning(false);
  const int found = GetNewHosts(FApp.State());
  if (found < 1) {
    SetStatusText("No new computers found");
    return;
  }
  if (!ConfirmYesNo("Found " + std::to_string(found) + " new computers. Do you want to add them ?")) return;
  if (CreateNewListing(FApp.State())) DisplayTable();
  SetStatusText("");
}

bool TWolMainForm::KbdKeyDown(WPARAM key) {
  switch (key) {
    case VK_RETURN: EditClick(); return true;
    case VK_INSERT: AddClick(); return true;
    case VK_DELETE: DeleteClick(); return true;
    case 'B':
      // Ctrl+B folds or opens the banner.
      if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0) return false;
      SetBannerExpanded(!BannerExpanded());
      return true;
    default: return false;
  }
}

void TWolMainForm::AlignTable() {
  if (!FTable.Handle()) return;
  RECT client;
  GetClientRect(Handle(), &client);
  RECT status;
  GetWindowRect(FStatusBar, &status);
  TTableMetrics m;
  m.ColumnWidths = FTable.ColumnWidths();
  m.RowCount = FTable.RowCount();
  m.RowHeight = FTable.RowHeight();
  m.ClientWidth = client.right;
  m.ClientHeight = client.bottom;
  m.StatusBarHeight = status.bottom - status.top;
  m.ToolBarHeight = Scale(kToolBarHeight);
  m.BannerHeight = Scale(FApp.View().Promo ? kBannerExpanded : kBannerCollapsed);
  const auto fit = FitTable(m);
  if (fit) FTable.Place(fit->Left, fit->Top, fit->Width, fit->Height, fit->Fits);
}

LRESULT TWolMainForm::Notify(const NMHDR& header) {
  if (AnswerToolTip(header, kToolButtons)) return 0;
  if (LRESULT result = 0; FTable.Notify(header, result)) return result;
  return 0;
}

void TWolMainForm::LayoutControls() {
  if (!FToolBar) return;
  RECT client;
  GetClientRect(Handle(), &client);
  SendMessageW(FStatusBar, WM_SIZE, 0, 0);
  const int banner = Scale(FApp.View().Promo ? kBannerExpanded : kBannerCollapsed);
  const int toolBar = Scale(kToolBarHeight);
  MoveWindow(FToolBar, 0, 0, client.right, toolBar, TRUE);
  MoveWindow(FBanner->Handle(), 0, toolBar, client.right, banner, TRUE);
  FBanner->Layout();
  AlignTable();
}

void TWolMainForm::DisplayTable() {
  FTable.DisplayTable(FApp.State().HostList.size());
  AlignTable();
  ShowRoute();
}

void TWolMainForm::TableSelectionChange() {
  if (FWatcher) FWatcher->Dismiss();
  ShowRoute();
}

std::function<bool(uint32_t)> TWolMainForm::IsLocal(std::span<const TNetworkInterface> interfaces) {
  return [interfaces](uint32_t a) {
    return (a >> 24) == 127 ||
           std::any_of(interfaces.begin(), interfaces.end(), [&](const TNetworkInterface& i) { return i.Address == a; });
  };
}

void TWolMainForm::ShowRoute() {
  if (!FBanner || !FWatcher || FWatcher->Shown()) return;
  const int index = GetSelection();
  const auto& list = FApp.State().HostList;
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    FBanner->SetLines({"Kestrune", "Select a computer to see how its magic packet will travel; after a send, this "
                                   "banner tells whether the computer woke up."});
    return;
  }
  // The addresses as last read, off this thread and at most once a second: the local address
  // list stays as it was built at start.
  const auto interfaces = FWatcher->Interfaces();
  const THostRecord& record = *list[static_cast<size_t>(index)];
  FBanner->SetLines(RouteLines(record, FindRoute(record, interfaces, IsLocal(interfaces))));
}

void TWolMainForm::PacketSent(const THostRecord& record, uint32_t, bool sendAll, bool startGroup) {
  if (!FWatcher) return;
  // The watch follows the route the line shows (the address sent to is the record's by now).
  const auto interfaces = FWatcher->Interfaces();
  FWatcher->Add({record.Id.Value(), record.ComputerName, record.MacAddress,
                 FindRoute(record, interfaces, IsLocal(interfaces))},
                sendAll, startGroup);
}

void TWolMainForm::WatchLines(WPARAM generation, LPARAM lines) {
  const std::unique_ptr<std::vector<std::string>> owned(reinterpret_cast<std::vector<std::string>*>(lines));
  if (FBanner && owned && FWatcher && FWatcher->Shown() && generation == FWatcher->Generation())
    FBanner->SetLines(*owned);
}

void TWolMainForm::ScanMenusEnable(bool enable) {
  for (const auto& b : kToolButtons) {
    if (b.Command == 0) continue;
    const bool on = b.Command == kCmdStop ? !enable : enable;
    SendMessageW(FToolBar, TB_ENABLEBUTTON, b.Command, MAKELPARAM(on ? TRUE : FALSE, 0));
  }
  HMENU menu = GetMenu(Handle());
  // The Magic packet menu follows the tool bar: no sends while a scan runs.
  for (int id : {kCmdSend, kCmdSendAll, kCmdAdd, kCmdEdit, kCmdDelete, kCmdSearch, kCmdUp, kCmdDown}) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
  }
  EnableMenuItem(menu, kCmdStop, MF_BYCOMMAND | (enable ? MF_GRAYED : MF_ENABLED));
  for (int id : {kCmdSend, kCmdSendAll, kCmdAdd, kCmdEdit, kCmdDelete, kCmdSearch, kCmdUp, kCmdDown})
    EnableMenuItem(FPopupMenu.get(), id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
  EnableMenuItem(FPopupMenu.get(), kCmdStop, MF_BYCOMMAND | (enable ? MF_GRAYED : MF_ENABLED));
}

void TWolMainForm::ShowMainHelp() {
  if (!THtmlHelp::Process().ShowFile(Handle(), THtmlHelp::ProgramHelpFile()))
    ShowMessage(TMessageKind::Warning, "Help file or HTML Help viewer could not be found.");
}

void TWolMainForm::AboutMenuClick() { TAboutDialog(L"Version " + Widen(kKestruneVersion)).Show(Handle()); }

void TWolMainForm::BannerClick(POINT pressedAt, LONG pressedTime) {
  SetBannerExpanded(!BannerExpanded());
  FTable.IgnoreSecondClick(pressedAt, pressedTime);
}

void TWolMainForm::SetBannerExpanded(bool expanded) {
  FApp.View().Promo = expanded;
  LayoutControls();
  if (FBanner) InvalidateRect(FBanner->Handle(), nullptr, TRUE);
}

void TWolMainForm::FileExportMenuClick() {
  // The normal bounds, as the registry keeps them: a maximised window's own are the screen's.
  FIniDialogs.ExportDlg(Handle(), FApp.State(), CurrentView());
}

void TWolMainForm::FileImportMenuClick() {
  TViewSettings& view = FApp.View();
  std::vector<uint64_t> before;
  for (const auto& r : FApp.State().HostList) before.push_back(r->Id.Value());
  if (!FIniDialogs.ImportDlg(Handle(), FApp.State(), view, LocalAddresses())) return;
  LeaveWatch(before);
  FTable.SetColumnWidths({view.Columns.begin(), view.Columns.end()});
  DisplayTable();
  SetBannerExpanded(view.Promo);
  // A maximised window would keep its old normal bounds, and exit would store those.
  if (IsZoomed(Handle())) ShowWindow(Handle(), SW_RESTORE);
  SetWindowPos(Handle(), nullptr, view.Bounds.Left, view.Bounds.Top, view.Bounds.Width, view.Bounds.Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

TViewSettings TWolMainForm::CurrentView() const {
  TViewSettings view = const_cast<TKestruneApp&>(FApp).View();
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (GetWindowPlacement(Handle(), &placement)) {
    // The placement is in work-area coordinates, the stored bounds are screen pixels as the
    // window is placed at start: shift by the work area's offset, or a task bar on the left
    // or top would move the window at every start.
    const RECT& p = placement.rcNormalPosition;
    TRect r{p.left, p.top, p.right, p.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&p, MONITOR_DEFAULTTONEAREST), &monitor)) {
      const RECT& m = monitor.rcMonitor;
      const RECT& w = monitor.rcWork;
      r = PlacementToScreen(r, {m.left, m.top, m.right, m.bottom}, {w.left, w.top, w.right, w.bottom});
    }
    view.Bounds = {r.Left, r.Top, r.Width(), r.Height()};
  }
  const std::vector<int> widths = FTable.ColumnWidths();
  for (size_t c = 0; c < view.Columns.size() && c < widths.size(); ++c) view.Columns[c] = widths[c];
  view.Selection = GetSelection() + 1;
  return view;
}

std::vector<std::string> TWolMainForm::LocalAddresses() {
  // Read once: adapters or addresses that appear later are seen at the next start.
  if (!FLocalAddressesRead) {
    FLocalAddressesRead = true;
    FLocalAddressList = GetLocalAddressList();
  }
  std::vector<std::string> names;
  for (const auto& entry : FLocalAddressList) names.push_back(entry.Name);
  return names;
}

std::string TWolMainForm::LocalIp() { return GetLocalIp(); }

std::string TWolMainForm::LocalSubnetMask(const std::string& localIp) {
  // The primary address is known already: finding it again would ask the resolver twice.
  return FindLocalSubnetMask(*FRegistry, [&] { return localIp; });
}

void TWolMainForm::ShowMessage(TMessageKind kind, const std::string& text) {
  const std::wstring body = Widen(text);
  const std::wstring title = Widen(MessageTitle(kind));
  HWND owner = Handle() && IsWindowVisible(Handle()) ? Handle() : nullptr;
  MessageBoxW(owner, body.c_str(), title.c_str(), MB_OK | MessageIcon(kind));
}

std::string TWolMainForm::UserName() {
  wchar_t name[257];
  DWORD size = 257;
  if (!GetUserNameW(name, &size) || size == 0) return "Unknown";
  return Narrow(std::wstring(name, size - 1));
}

bool TWolMainForm::StartSender(uint64_t hostId, const std::string& destination, const std::string& localAddress,
                               uint64_t macAddress, uint64_t password, uint16_t port) {
  if (FWatcher) FWatcher->SendStarting(hostId);
  return TUdpSender::Start(hostId, Handle(), destination, localAddress, macAddress, password, port);
}

void TWolMainForm::PostSendNext() { PostMessageW(Handle(), WM_SEND_NEXT, 0, 0); }

void TWolMainForm::SetStatusText(const std::string& text) {
  const std::wstring wide = Widen(text);
  SendMessageW(FStatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string TWolMainForm::LongTimeText() {
  wchar_t text[128];
  const int n = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 128);
  return n > 0 ? Narrow(std::wstring(text, static_cast<size_t>(n - 1))) : std::string();
}

bool TWolMainForm::ConfirmYesNo(const std::string& text) { return ConfirmBox(BoxOwner(), Widen(text)); }

HWND TWolMainForm::BoxOwner() const {
  // A scan's question may come while a dialog is open over the window (the editor): the box
  // must be modal to that dialog, the one Windows activates for the window, or closing the
  // dialog under the box would give the window back while the box still waits, and the box's
  // end would too. Down a chain of dialogs (the editor's error box) to the one taking input.
  HWND owner = Handle();
  for (HWND popup; !IsWindowEnabled(owner) && (popup = GetLastActivePopup(owner)) != nullptr && popup != owner;)
    owner = popup;
  return owner;
}

bool TWolMainForm::LocalSystem() { return ProcessRunsAsLocalSystem(); }

bool TWolMainForm::WindowStationVisible() { return ProcessWindowStationVisible(); }

void TWolMainForm::WriteEventLog(const TRunEvent& event) { WriteRunEvent(event); }

TSendReport TWolMainForm::SendMagicPacketSync(const std::string& destination, const std::string& localAddress,
                                              uint16_t port, uint64_t macAddress, uint64_t password) {
  const TSendResult result = SendMagicPacketOnce(destination, localAddress, port, macAddress, password);
  TSendReport report;
  report.Address = result.Address;
  switch (result.Outcome) {
    case TSendOutcome::Sent:
      report.Outcome = TSendReport::TOutcome::Sent;
      break;
    case TSendOutcome::NotResolved:
      report.Outcome = TSendReport::TOutcome::NotResolved;
      break;
    case TSendOutcome::NotStarted:
    case TSendOutcome::Failed:
      report.Reason = SystemErrorText(result.Error);
      break;
  }
  return report;
}

}  // namespace kst
