// Kestrune's main window: the computer table with its tool bar, menu, banner and status bar.
// In command line mode the same window stays hidden, serves the command line and closes.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "netcore/adapters.h"
#include "netcore/registry.h"
#include "sender/kestrune_app.h"
#include "sender/win32/host_scan.h"
#include "sender/win32/host_table_win32.h"
#include "sender/win32/ini_dialogs_win32.h"
#include "sender/win32/wake_watch.h"
#include "ui/win32/dpi_win32.h"
#include "ui/win32/gui_handles_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

class TBanner;

class TWolMainForm final : public TWindow, public IKestrunePlatform, private IKestruneWindow {
 public:
  TWolMainForm(HINSTANCE instance, bool commandLineMode, std::string commandLine);
  ~TWolMainForm() override;
  TWolMainForm(const TWolMainForm&) = delete;
  TWolMainForm& operator=(const TWolMainForm&) = delete;

  // Creates the window (shown only in window mode). False when the window cannot be created.
  bool Create(int showCommand);
  // Folds the banner away or opens it; the choice is kept at exit.
  void SetBannerExpanded(bool expanded);
  // A click on the banner, its button pressed there (screen) then: folds or opens it; the
  // second click of a double click, landing on the table that the fold moved under the pointer,
  // does not pick a row.
  void BannerClick(POINT pressedAt, LONG pressedTime);
  bool BannerExpanded() { return FApp.View().Promo; }
  // The process exit code: always 0 in window mode; in command line mode what the command
  // line came to, 1 until it has been served.
  int ExitCode() const { return FExitCode; }
  HFONT Font() const { return static_cast<HFONT>(FFont.get()); }
  HFONT BoldFont() const { return static_cast<HFONT>(FBoldFont.get()); }
  // Pixels at 96 dots per inch, for the screen's DPI.
  int Scale(int pixels) const noexcept { return ScaleForDpi(pixels, FDpi); }

  // Platform services for the start-up logic.
  std::vector<std::string> LocalAddresses() override;
  std::string LocalIp() override;
  std::string LocalSubnetMask(const std::string& localIp) override;
  IRegistryAccessor& Registry() override { return *FRegistry; }
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  std::string UserName() override;
  bool LocalSystem() override;
  bool WindowStationVisible() override;
  void WriteEventLog(const TRunEvent& event) override;
  TSendReport SendMagicPacketSync(const std::string& destination, const std::string& localAddress, uint16_t port,
                                  uint64_t macAddress, uint64_t password) override;

 private:
  // Services for the window-mode rules.
  bool StartSender(uint64_t hostId, const std::string& destination, const std::string& localAddress,
                   uint64_t macAddress, uint64_t password, uint16_t port) override;
  void PostSendNext() override;
  void SetStatusText(const std::string& text) override;
  std::string LongTimeText() override;
  bool ConfirmYesNo(const std::string& text) override;
  // The owner of a box: the dialog the user works in over the window, else the window.
  HWND BoxOwner() const;
  void PacketSent(const THostRecord& record, uint32_t address, bool sendAll, bool startGroup) override;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  void FormCreate();
  void CreateControls();
  void AppStartup();
  void FormDestroy();
  // The focused control is remembered when the window loses the activation and gets the focus
  // back when the window is active again (after a dialog, a message box, another program).
  void FormDeactivate();
  void FormActivate();
  // The pop-up menu at a point on the screen; from the keyboard (-1, -1) at the current row.
  void ContextPopup(POINT screen);
  void AppExit();
  void Command(int id);
  // Commands, named after what the user chose.
  void SendClick();
  void SendAllClick();
  void AddClick();
  void EditClick();
  // mouseRow as GetMouseRow gives it.
  void MouseDblClick(int mouseRow);
  void DeleteClick();
  void UpClick();
  void DownClick();
  void SearchClick();
  // Starts the address-range scan with the search settings the search dialog stored.
  void StartScan();
  void StopClick();
  void ExitClick();
  void HelpClick();
  void FileImportMenuClick();
  void FileExportMenuClick();
  // Enter, Insert, Delete and Ctrl+B in the table or the window; true when the key was one of
  // them.
  bool KbdKeyDown(WPARAM key);
  // Opens the computer editor for the computer at index (outside the list: a new computer).
  void AddEditHost(int index);
  void ScanCount(WPARAM count);
  void ScanEnd();
  void AlignTable();
  // Saves settings and list once, at the end of the session or when the window goes.
  void SaveOnce();
  // Stops the scan and waits a moment for it; past that the process ends at once.
  void EndScan();
  LRESULT Notify(const NMHDR& header);
  void LayoutControls();
  // Fonts for the screen's DPI, given to the controls.
  void ApplyFonts();
  // The nine tool bar icons at the size for the screen's DPI.
  void LoadToolIcons();

  void DisplayTable() override;
  // The wake assistant: the selected computer's route while no watch is shown, else the watch.
  void TableSelectionChange();
  void ShowRoute();
  void WatchLines(WPARAM generation, LPARAM lines);
  // The computers leave the watch (deleted, edited, replaced by an import).
  void LeaveWatch(const std::vector<uint64_t>& ids);
  // The sender's check of a stored local address, over the networks the route line uses.
  static std::function<bool(uint32_t)> IsLocal(std::span<const TNetworkInterface> interfaces);
  // The record identity at a table index; 0 outside the list.
  uint64_t IdAt(int index) const;
  int GetSelection() const { return FTable.GetSelection(); }
  void SetSelection(int row) override { FTable.SetSelection(row); }
  int GetMouseRow(POINT screen) const { return FTable.GetMouseRow(screen); }
  void ScanMenusEnable(bool enable);
  void ShowMainHelp();
  void AboutMenuClick();
  TViewSettings CurrentView() const;

  HINSTANCE FInstance;
  bool FCommandLineMode;
  std::string FCommandLine;
  int FExitCode;
  std::unique_ptr<IRegistryAccessor> FRegistry;
  // The local addresses with their adapter descriptions, read once when the window is created.
  std::vector<TLocalAddressEntry> FLocalAddressList;
  bool FLocalAddressesRead = false;
  TKestruneApp FApp;
  TIniDialogs FIniDialogs;
  HWND FToolBar = nullptr;
  std::unique_ptr<TBanner> FBanner;
  THostTable FTable;
  HWND FStatusBar = nullptr;
  HWND FFocusedControl = nullptr;
  TUniqueMenu FPopupMenu;
  TUniqueImageList FImages;
  UINT FDpi = 96;
  TUniqueGdiObject FFont;
  TUniqueGdiObject FBoldFont;
  bool FSaved = false;
  HCURSOR FSavedCursor = nullptr;
  int FScanCount = 0;
  bool FStopping = false;  // the hourglass shows until the scan has ended
  // Declared after FApp, so that it is destroyed first: the scan appends to FApp's
  // NewHostList until its thread has ended.
  std::unique_ptr<THostScan> FScan;
  std::unique_ptr<TWakeWatcher> FWatcher;
};

}  // namespace kst
