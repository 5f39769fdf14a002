#include "sender/kestrune_app.h"

#include <algorithm>
#include <exception>

#include "netcore/address_text.h"
#include "netcore/os_error.h"
#include "sender/command_line.h"

namespace kst {

const char* MessageTitle(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::Information:
      return "Information";
    case TMessageKind::Warning:
      return "Warning";
    case TMessageKind::Error:
      return "Error";
  }
  return "";
}

namespace {

constexpr uint32_t kErrorNoData = 232;  // the adapter table has no entry at all

// What the failure means to the user first; the system's own text, which alone says little
// ("The pipe is being closed."), follows.
std::string AdapterFailureText(const std::exception& e) {
  const auto* os = dynamic_cast<const TOsError*>(&e);
  const char* what = os != nullptr && os->Code() == kErrorNoData
                         ? "No network adapter with an IPv4 address was found, so magic packets cannot be sent "
                           "and computers cannot be searched for until one is connected."
                         : "The network adapters could not be read, so the local addresses of the computers "
                           "cannot be checked or chosen.";
  return std::string(what) + "\r\n\r\n" + e.what();
}

}  // namespace

bool IsUnattended(std::string_view userName, bool localSystem, bool windowStationVisible) {
  return userName == "SYSTEM" || localSystem || !windowStationVisible;
}

std::string_view CommandLineParameters(std::string_view commandLine) {
  size_t at = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    at = commandLine.find('"', 1);
    at = at == std::string_view::npos ? commandLine.size() : at + 1;
  } else {
    at = std::min(commandLine.find_first_of(" \t"), commandLine.size());
  }
  at = std::min(commandLine.find_first_not_of(" \t", at), commandLine.size());
  return commandLine.substr(at);
}

bool TKestruneApp::Unattended() {
  return IsUnattended(FPlatform.UserName(), FPlatform.LocalSystem(), FPlatform.WindowStationVisible());
}

void TKestruneApp::FormCreate() {
  FLocalAddresses.clear();
  FAddressesKnown = false;
  FAdapterError = 0;
  try {
    FLocalAddresses = FPlatform.LocalAddresses();
    FAddressesKnown = true;
  } catch (const std::exception& e) {
    const auto* os = dynamic_cast<const TOsError*>(&e);
    FAdapterError = os != nullptr ? os->Code() : 1;
    // An unattended run goes on at once: what it then fails to send is in the event log.
    if (FMode == TRunMode::Window || !Unattended()) FPlatform.ShowMessage(TMessageKind::Error, AdapterFailureText(e));
  }
  const std::string localIp = FPlatform.LocalIp();
  const uint32_t local = StrToIp(localIp);
  const uint32_t mask = StrToIp(FPlatform.LocalSubnetMask(localIp));
  FState.SetNetworkDefaults(local, mask);
  TRegistryStore(FPlatform.Registry()).Load(FState, FView, FLocalAddresses, FAddressesKnown);
}

TCommandLineResult TKestruneApp::ProcessCommandLine(std::string_view commandLine) {
  const TCommandLineRequest request = ParseCommandLine(commandLine);
  // A scheduled task has nobody to answer a message box.
  const bool unattended = Unattended();
  switch (request.Kind) {
    case TCommandLineRequest::TKind::Usage:
      FPlatform.WriteEventLog({TRunEventKind::CommandLineUnusable, {std::string(CommandLineParameters(commandLine))}});
      if (!unattended) FPlatform.ShowMessage(TMessageKind::Information, UsageText());
      return TCommandLineResult::NothingToDo;
    case TCommandLineRequest::TKind::All: {
      // A failure does not stop the others: every computer still gets its packet.
      bool allSent = true;
      for (size_t i = 0; i < FState.HostList.size(); ++i)
        if (!SendMagicPacket(static_cast<int>(i))) allSent = false;
      return allSent ? TCommandLineResult::AllSent : TCommandLineResult::SendFailed;
    }
    case TCommandLineRequest::TKind::Computer:
      break;
  }
  const int index = GetHostIndex(FState.HostList, request.Argument);
  if (index >= 0) return SendMagicPacket(index) ? TCommandLineResult::AllSent : TCommandLineResult::SendFailed;
  FPlatform.WriteEventLog({TRunEventKind::NotInList, {request.Argument}});
  if (!unattended) FPlatform.ShowMessage(TMessageKind::Warning, NotFoundText(request.Argument));
  return TCommandLineResult::NothingToDo;
}

bool TKestruneApp::SendMagicPacket(int index) {
  if (index < 0 || static_cast<size_t>(index) >= FState.HostList.size()) return false;
  const THostRecord& r = *FState.HostList[static_cast<size_t>(index)];
  const TSendReport report = FPlatform.SendMagicPacketSync(r.DestinationText(), IpToStr(r.LocalIpAddress), r.Port,
                                                           r.MacAddress, r.Password);
  switch (report.Outcome) {
    case TSendReport::TOutcome::Sent:
      return true;
    case TSendReport::TOutcome::NotResolved:
      FPlatform.WriteEventLog({TRunEventKind::NotResolved, {r.ComputerName, r.DestinationText()}});
      return false;
    case TSendReport::TOutcome::Failed:
      break;
  }
  const auto kind = FAdapterError == kErrorNoData ? TRunEventKind::NotSentNoAdapter : TRunEventKind::NotSent;
  FPlatform.WriteEventLog({kind, {r.ComputerName, IpToStr(report.Address), report.Reason}});
  return false;
}

std::string CellText(const THostRecord& record, int column) {
  switch (column) {
    case 0:
      return record.ComputerName;
    case 1:
      return MacToStr(record.MacAddress);
    case 2:
      return record.DisplayDestination();
    case 3:
      return std::to_string(record.Port);
    default:
      return {};
  }
}

std::string SentText(const THostRecord& record, uint32_t address, const std::string& time) {
  return UpperAscii(record.ComputerName) + ": magic packet sent to " + IpToStr(address) + " at " + time;
}

std::string NotResolvedText(const THostRecord& record) {
  return "Router name " + UpperAscii(record.BroadcastHost) + " could not be resolved";
}

std::string FailedText(const THostRecord& record, uint32_t address) {
  return UpperAscii(record.ComputerName) + ": failed sending magic packet to " + IpToStr(address);
}

std::string DeleteQuestion(const THostRecord& record) {
  return "Are you sure to delete " + UpperAscii(record.ComputerName) + " computer entry ?";
}

std::optional<TTableFit> FitTable(const TTableMetrics& m) {
  if (m.ColumnWidths.empty() || m.RowCount <= 0) return std::nullopt;
  int width = 3;
  for (int w : m.ColumnWidths) width += w + 1;
  const int height = m.RowCount * (m.RowHeight + 1) + 3;
  const int available = m.ClientHeight - m.StatusBarHeight - m.ToolBarHeight - m.BannerHeight;
  if (width <= m.ClientWidth && height <= available)
    return TTableFit{true, 0, m.ToolBarHeight + m.BannerHeight, width, height};
  // Aligned to the client: all that the bars and the banner leave, scrolled.
  return TTableFit{false, 0, m.ToolBarHeight + m.BannerHeight, m.ClientWidth, available > 0 ? available : 0};
}

void TKestruneApp::SendPacket(int index) {
  if (!FWindow || index < 0 || static_cast<size_t>(index) >= FState.HostList.size()) return;
  const THostRecord& r = *FState.HostList[static_cast<size_t>(index)];
  if (!FWindow->StartSender(r.Id.Value(), r.DestinationText(), IpToStr(r.LocalIpAddress), r.MacAddress, r.Password,
                            r.Port))
    Failed(r.Id.Value(), static_cast<uint32_t>(r.BroadcastAddress));
}

void TKestruneApp::SendAllPackets() {
  FSendAllIndex = 0;
  if (!FWindow || FState.HostList.empty()) return;
  FSendingAll = true;
  FGroupStarted = false;
  FWindow->PostSendNext();
}

void TKestruneApp::SendNext() {
  if (static_cast<size_t>(FSendAllIndex) < FState.HostList.size()) {
    SendPacket(FSendAllIndex);
    ++FSendAllIndex;
  } else {
    FSendingAll = false;
  }
}

void TKestruneApp::Sent(uint64_t hostId, uint32_t address) {
  const int index = FindRecord(FState.HostList, hostId);
  if (!FWindow || index < 0) return;
  THostRecord& r = *FState.HostList[static_cast<size_t>(index)];
  // The resolved address is kept, so later sends no longer ask the resolver.
  if (address != 0 && address != r.BroadcastAddress) r.BroadcastAddress = address;
  FWindow->SetStatusText(SentText(r, address, FWindow->LongTimeText()));
  FWindow->PacketSent(r, address, FSendingAll, FSendingAll && !FGroupStarted);
  if (FSendingAll) {
    FGroupStarted = true;
    FWindow->PostSendNext();
  }
}

void TKestruneApp::NotResolved(uint64_t hostId) {
  const int index = FindRecord(FState.HostList, hostId);
  if (!FWindow || index < 0) return;
  FWindow->SetStatusText(NotResolvedText(*FState.HostList[static_cast<size_t>(index)]));
  FSendingAll = false;
}

void TKestruneApp::Failed(uint64_t hostId, uint32_t address) {
  const int index = FindRecord(FState.HostList, hostId);
  if (!FWindow || index < 0) return;
  FWindow->SetStatusText(FailedText(*FState.HostList[static_cast<size_t>(index)], address));
  FSendingAll = false;
}

bool TKestruneApp::DeleteHost(int index) {
  auto& list = FState.HostList;
  if (!FWindow || index < 0 || static_cast<size_t>(index) >= list.size()) return false;
  if (!FWindow->ConfirmYesNo(DeleteQuestion(*list[static_cast<size_t>(index)]))) return false;
  list.erase(list.begin() + index);
  FWindow->DisplayTable();
  return true;
}

bool TKestruneApp::MoveHost(int index, bool up) {
  auto& list = FState.HostList;
  const int count = static_cast<int>(list.size());
  if (!FWindow || index < 0 || index >= count) return false;
  const int to = up ? index - 1 : index + 1;
  if (to < 0 || to >= count) return false;
  std::swap(list[static_cast<size_t>(index)], list[static_cast<size_t>(to)]);
  FWindow->DisplayTable();
  FWindow->SetSelection(to + 1);
  return true;
}

bool TKestruneApp::Save() { return TRegistryStore(FPlatform.Registry()).Save(FState, FView); }

}  // namespace kst
