// Kestrune driven from outside over a store the test wrote: settings and a computer list put
// where a machine that ran it keeps them, the shipped kestrune.exe started over them, its window
// and controls found, commands posted as the menu and tool bar post them, and what it saved at
// exit read back. Sandbox requests (names, addresses, sleeping computers) are in sandbox_env.h.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "netcore/registry.h"
#include "sender/host_record.h"
#include "sender/messages.h"
#include "tests/e2e/e2e_support.h"

namespace kst::e2e {

// Main window commands (WM_COMMAND identifiers of the menu and the tool bar).
enum TKestruneCommand : int {
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
};

// kestrune.exe started with the arguments, apart from any session; nothing when it did not start.
std::optional<TProcess> StartKestrune(const std::wstring& arguments = L"", std::optional<WORD> show = std::nullopt);

// One computer of a stored list; what is left out is stored as a new record holds it.
struct TComputer {
  std::string Name;
  uint64_t Mac = 0;
  std::string Destination = {};  // dotted address; empty: none (the host name is resolved)
  uint16_t Port = kDefaultPort;
  uint64_t Password = 0;
  std::string Host = {};   // the destination as a name
  std::string Local = {};  // the address of this machine to send from; empty: any
};

// One run (or several, one after the other) of kestrune.exe over Kestrune's key of the machine's
// registry, which it empties when made and when it goes (inside the sandbox only); a program
// still running then is terminated first.
class TKestruneSession {
 public:
  TKestruneSession();
  ~TKestruneSession();
  TKestruneSession(const TKestruneSession&) = delete;
  TKestruneSession& operator=(const TKestruneSession&) = delete;

  // --- the store, before and after a run
  // Writes a DWORD setting, making the settings key (with it, exit saves the settings too).
  void StoreSetting(const char* name, uint32_t value);
  // Writes settings through write, the settings key open and made.
  void StoreSettings(const std::function<void(IRegistryAccessor&)>& write);
  // Writes the computer list as exit writes it; false when it could not.
  bool StoreList(const std::vector<TComputer>& computers);
  // A stored number (DWORD, or 8 binary bytes) of the settings, or of a listed computer's key
  // ("0000", "0001"...); nothing when missing.
  std::optional<uint64_t> StoredNumber(const char* name, const std::string& computerKey = "");
  // A stored text, as StoredNumber.
  std::optional<std::string> StoredText(const char* name, const std::string& computerKey = "");
  // The names of the list's keys as written ("0000", "0001"...).
  std::vector<std::string> ListKeys();
  // The list as the next start loads it, with these local addresses of this machine.
  THostList StoredList(const std::vector<std::string>& localAddresses = {});
  // "NAME MAC" of every computer of StoredList(), in order ("Office-PC 02-E8-00-00-00-01").
  std::vector<std::string> StoredNames();
  // The machine's registry at Kestrune's root, for what the calls above do not read.
  IRegistryAccessor& Registry() { return *FRegistry; }

  // --- the program
  // Starts kestrune.exe with the arguments (a command-line run, or the window without any);
  // false when it did not start. A process of an earlier start still running is ended first.
  bool Launch(const std::wstring& arguments = L"", std::optional<WORD> show = std::nullopt);
  // Finds the main window ("Kestrune VERSION") and its controls; false when one is missing.
  bool FindMainWindow(std::chrono::milliseconds timeout = 10s);
  // Later launches start this build of the program (a Windows path) instead of kestrune.exe.
  void UseProgram(std::wstring program) { FProgram = std::move(program); }
  // Launch() and FindMainWindow(): the window of a new run.
  bool Start(std::chrono::milliseconds timeout = 10s);
  // Posts message (WM_APP_EXIT as another program asks, WM_CLOSE as the close box) to the window;
  // the exit code, or nothing when the process did not end within the time-out.
  std::optional<DWORD> Exit(UINT message = WM_APP_EXIT, std::chrono::milliseconds timeout = 10s);

  bool Running() const { return FProcess && FProcess->Running(); }
  TProcess& Process() { return *FProcess; }
  HWND Window() const { return FWindow; }
  HWND Table() const { return FTable; }
  HWND Titles() const { return FTitles; }  // the table's title row
  HWND Status() const { return FStatus; }
  HWND ToolBar() const { return FToolBar; }
  HWND Banner() const { return FBanner; }

  // --- the window
  // Posts a menu or tool bar command to the main window.
  void Command(int command) const { PostMessageW(FWindow, WM_COMMAND, command, 0); }
  // Posts the command and finds the dialog it opens by caption; null when none came.
  HWND OpenDialog(int command, const std::wstring& caption) const {
    Command(command);
    return FindProcessWindow(FProcess->Id(), L"#32770", caption);
  }
  // The table's rows, and the index of its selected row (-1: none).
  int Rows() const { return static_cast<int>(SendMessageW(FTable, LVM_GETITEMCOUNT, 0, 0)); }
  int Selected() const { return static_cast<int>(SendMessageW(FTable, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); }
  // Waits until the table has that many rows, or that row selected.
  bool WaitRows(int rows, std::chrono::milliseconds timeout = 5s) const {
    return WaitUntil([&] { return Rows() == rows; }, timeout);
  }
  bool WaitSelected(int row, std::chrono::milliseconds timeout = 5s) const {
    return WaitUntil([&] { return Selected() == row; }, timeout);
  }
  std::string StatusText() const { return WindowText(FStatus); }
  // Whether the tool bar button of the command is enabled.
  bool Enabled(int command) const { return SendMessageW(FToolBar, TB_ISBUTTONENABLED, command, 0) != 0; }

 private:
  std::unique_ptr<IRegistryAccessor> FRegistry;
  std::optional<TProcess> FProcess;
  std::wstring FProgram;
  HWND FWindow = nullptr, FTable = nullptr, FTitles = nullptr, FStatus = nullptr, FToolBar = nullptr,
       FBanner = nullptr;
};

}  // namespace kst::e2e
