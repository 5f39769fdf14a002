// Vellamar's only window: choose the adapter to listen on, see its addresses, and read the log
// of the magic packets that arrive.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "listener/firewall_session.h"
#include "listener/packet_log.h"
#include "listener/win32/wol_listener.h"
#include "ui/win32/gui_handles_win32.h"
#include "ui/win32/dpi_win32.h"
#include "ui/win32/window_win32.h"

namespace kst {

// Other programs send this to close Vellamar the way its Exit button does.
inline constexpr UINT WM_LISTENER_EXIT = WM_USER + 410;
// From the firewall job's thread: lParam owns a TFirewallNotice.
inline constexpr UINT WM_FIREWALL_NOTICE = WM_APP + 1;

class TListenForm final : public TWindow {
 public:
  TListenForm() = default;

  // Creates the window (which sets everything up and starts listening), centred on the screen,
  // and shows it. False when the window could not be created.
  bool Show(int showCommand) noexcept;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT Notify(const NMHDR& header);

  int Scale(int pixels) const noexcept { return ScaleForDpi(pixels, FDpi); }
  void CreateControls();
  void ApplyFont();
  void LoadToolIcons();
  void Layout();
  void Paint();

  void FormCreate();
  // The close box, the Exit button and the exit message: the window goes once this run's
  // firewall changes are undone, which may first wait for another run.
  void FormClose();
  // Closing while a job waits for another run's lock: it waits only for changes of this run.
  void WaitingAtClose();
  void CloseWithoutWaiting();
  void FormDestroy();
  void ShowAddresses();
  void LocalIpComboBoxChange();
  void DataAvailable(const TReceivedMagicPacket& packet);
  void ExitToolButtonClick();
  void ClearToolButtonClick();
  void FirewallToolButtonClick();
  void HelpToolButtonClick();
  void LinkLabelClick();
  void AppExit();
  void FirewallNotice(std::unique_ptr<TFirewallNotice> notice);
  // The Firewall button takes no second click while a firewall job runs.
  void EnableFirewallButton();

  int SelectedIndex() const noexcept;
  void AddLogLine(const std::string& text);
  // Hands what the log gathered to the log control.
  void WriteLog();

  UINT FDpi = 96;
  TUniqueGdiObject FFont;
  TUniqueImageList FIconImageList;
  // Null when the adapters could not be listed: the window then runs without listening.
  std::unique_ptr<TWolListener> FListener;
  TPacketLog FLog;
  // The firewall changes of this run, made and undone off this thread.
  std::unique_ptr<TFirewallSession> FFirewall;
  bool FFirewallWaiting = false;  // the running job waits for another run
  bool FHadChanges = false;       // this run had changes to undo when the running job began
  bool FClosing = false;          // the window goes when the firewall job ends
  bool FCloseNow = false;         // closed again meanwhile: without waiting for the lock
  ULONGLONG FLastLogWrite = 0;
  // The least time between two writes while packets stream (see WriteLog).
  ULONGLONG FLogInterval = 100;
  bool FLogTimerSet = false;

  // Children, destroyed with the window.
  HWND FIconToolBar = nullptr;
  HWND FLabel2 = nullptr;
  HWND FLocalIpComboBox = nullptr;
  HWND FIpLabel1 = nullptr;
  HWND FIpLabel2 = nullptr;
  HWND FMacLabel1 = nullptr;
  HWND FMacLabel2 = nullptr;
  HWND FShowMemo = nullptr;
  HWND FLinkLabel = nullptr;
};

}  // namespace kst
