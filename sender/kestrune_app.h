// What Kestrune does at start, on its command line and at exit, apart from any window: the
// network defaults, loading and saving the store, and serving "/name" and "/all!". The window
// (or a test) supplies the platform.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netcore/registry.h"
#include "sender/command_line.h"
#include "sender/host_record.h"
#include "sender/registry_store.h"

namespace kst {

enum class TMessageKind { Information, Warning, Error };

// Title of a message box of that kind: "Information", "Warning", "Error".
const char* MessageTitle(TMessageKind kind);

// A line in the Windows Application event log, which an administrator reads in Event Viewer
// when a scheduled wake failed: the message of its kind (the message table in kestrune.exe,
// with the same numbers) filled in with its strings, the computer's name first.
enum class TRunEventKind : uint16_t {
  CommandLineUnusable = 1,  // the command line itself; a warning, the others are errors
  NotInList = 2,            // the name asked for
  NotResolved = 3,          // the computer's name, its router name
  NotSent = 4,              // the computer's name, the address, the system's reason
  NotSentNoAdapter = 5,     // as NotSent, on a machine without a network adapter
};
struct TRunEvent {
  TRunEventKind Kind = TRunEventKind::CommandLineUnusable;
  std::vector<std::string> Strings;
  bool operator==(const TRunEvent&) const = default;
};

// What became of one blocking send.
struct TSendReport {
  enum class TOutcome { Sent, NotResolved, Failed };
  TOutcome Outcome = TOutcome::Failed;
  uint32_t Address = 0;  // the destination's address, once resolved
  std::string Reason;    // Failed: why, in the system's words
};

// Nobody can answer a message box: a scheduled task under the SYSTEM account (the user name
// exactly "SYSTEM", or the account itself, which Windows names in its own language), or a
// process on a window station that no user sees (a task that runs whether the user is logged
// on or not, a service).
bool IsUnattended(std::string_view userName, bool localSystem, bool windowStationVisible);

// The parameters of a whole command line: what follows the program's path (quoted or up to
// the first blank) and the blanks after it.
std::string_view CommandLineParameters(std::string_view commandLine);

class IKestrunePlatform {
 public:
  virtual ~IKestrunePlatform() = default;
  // Addresses of the local address list, the default first. Throws std::exception (with the
  // system's message text) when the adapters cannot be enumerated.
  virtual std::vector<std::string> LocalAddresses() = 0;
  virtual std::string LocalIp() = 0;           // primary local address; empty when none
  // The mask of the interface holding the primary local address (asked once, passed in here);
  // "255.255.255.0" when none is found.
  virtual std::string LocalSubnetMask(const std::string& localIp) = 0;
  virtual IRegistryAccessor& Registry() = 0;
  virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;
  virtual std::string UserName() = 0;          // "Unknown" when it cannot be read
  // The process runs under the LocalSystem account, whatever its name.
  virtual bool LocalSystem() = 0;
  // False when the process runs on a window station that no user sees.
  virtual bool WindowStationVisible() = 0;
  virtual void WriteEventLog(const TRunEvent& event) = 0;
  // Sent only when the whole datagram was sent.
  virtual TSendReport SendMagicPacketSync(const std::string& destination, const std::string& localAddress,
                                          uint16_t port, uint64_t macAddress, uint64_t password) = 0;
};

// What the window offers the window-mode rules: starting a sender thread, posting to itself,
// the status bar, the table, a Yes/No question and the system's clock.
class IKestruneWindow {
 public:
  virtual ~IKestruneWindow() = default;
  // Starts a sender for these values; its one result arrives later through Sent, NotResolved
  // or Failed with hostId, or never when Winsock cannot be started. False when no sender could
  // be started at all.
  virtual bool StartSender(uint64_t hostId, const std::string& destination, const std::string& localAddress,
                           uint64_t macAddress, uint64_t password, uint16_t port) = 0;
  virtual void PostSendNext() = 0;  // WM_SEND_NEXT to the window itself
  virtual void SetStatusText(const std::string& text) = 0;
  virtual std::string LongTimeText() = 0;  // the current local time in the system's long time format
  virtual bool ConfirmYesNo(const std::string& text) = 0;  // a "Confirm" box; true on Yes
  virtual void DisplayTable() = 0;
  virtual void SetSelection(int row) = 0;  // table row, 1 = first computer
  // A packet went out to the computer (at address): the wake assistant watches for it. sendAll:
  // part of Send to All; startGroup: its first success, which begins a new watch of the group.
  virtual void PacketSent(const THostRecord& /*record*/, uint32_t /*address*/, bool /*sendAll*/,
                          bool /*startGroup*/) {}
};

// The texts of the table's cells: column 0 the name, 1 the MAC address, 2 the destination as
// shown, 3 the port; empty outside the four columns.
std::string CellText(const THostRecord& record, int column);

// The status bar texts of the three send outcomes.
std::string SentText(const THostRecord& record, uint32_t address, const std::string& time);
std::string NotResolvedText(const THostRecord& record);
std::string FailedText(const THostRecord& record, uint32_t address);
std::string DeleteQuestion(const THostRecord& record);

// Where the table goes: exactly its size below the banner when it fits, otherwise all of the
// client area between the banner and the status bar, with scroll bars.
struct TTableFit {
  bool Fits = false;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TTableFit&) const = default;
};
struct TTableMetrics {
  std::vector<int> ColumnWidths;
  int RowCount = 0;  // the title row included
  int RowHeight = 16;
  int ClientWidth = 0, ClientHeight = 0;
  int StatusBarHeight = 0, ToolBarHeight = 0, BannerHeight = 0;
};
// Nothing to fit (no columns or no rows): nullopt.
std::optional<TTableFit> FitTable(const TTableMetrics& m);

enum class TRunMode { Window, CommandLine };

class TKestruneApp {
 public:
  explicit TKestruneApp(IKestrunePlatform& platform, TRunMode mode = TRunMode::Window)
      : FPlatform(platform), FMode(mode) {}

  // Window mode: the window that carries out the rules below.
  void AttachWindow(IKestruneWindow* window) { FWindow = window; }

  // Local address list, network defaults, then the stored settings and list. A failed adapter
  // enumeration is shown (except to an unattended command line) and start-up goes on with an
  // empty address list: the stored list is still loaded, so that saving at exit never replaces
  // it with nothing.
  void FormCreate();
  // Serves the whole command line (program path included) and returns when every send is done,
  // with the process exit code. Unattended it shows nothing; every computer it does not wake,
  // and a command line that names none, leave a line in the event log.
  TCommandLineResult ProcessCommandLine(std::string_view commandLine);
  // Blocking send to the computer at index; nothing for an index outside the list. True when
  // the packet was sent; otherwise the event log says why.
  bool SendMagicPacket(int index);
  // Writes the settings and the list; false when something could not be written.
  bool Save();

  // Window mode. index: an index of HostList; outside it nothing happens. A sender that cannot
  // be started counts as that computer's failed send: its text shows and Send to All ends.
  void SendPacket(int index);
  void SendAllPackets();
  void SendNext();
  // The outcomes, each ignored entirely when its computer is no longer in the list.
  void Sent(uint64_t hostId, uint32_t address);
  void NotResolved(uint64_t hostId);
  void Failed(uint64_t hostId, uint32_t address);
  // Asks first; true when the computer was removed.
  bool DeleteHost(int index);
  // Moves one place up or down inside the list and selects the moved computer's row.
  bool MoveHost(int index, bool up);
  bool SendingAll() const { return FSendingAll; }
  int SendAllIndex() const { return FSendAllIndex; }

  TKestruneState& State() { return FState; }
  const TKestruneState& State() const { return FState; }
  TViewSettings& View() { return FView; }
  const std::vector<std::string>& LocalAddresses() const { return FLocalAddresses; }

 private:
  bool Unattended();

  IKestrunePlatform& FPlatform;
  TRunMode FMode;
  IKestruneWindow* FWindow = nullptr;
  uint32_t FAdapterError = 0;  // the system's code when the adapters could not be listed
  int FSendAllIndex = 0;
  bool FSendingAll = false;
  bool FGroupStarted = false;  // the running Send to All has begun its watch
  TKestruneState FState;
  TViewSettings FView;
  std::vector<std::string> FLocalAddresses;
  bool FAddressesKnown = false;
};

}  // namespace kst
