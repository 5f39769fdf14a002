#include "sender/kestrune_app.h"

#include <exception>

#include "netcore/address_text.h"
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

void TKestruneApp::FormCreate() {
  FLocalAddresses.clear();
  FAddressesKnown = false;
  try {
    FLocalAddresses = FPlatform.LocalAddresses();
    FAddressesKnown = true;
  } catch (const std::exception& e) {
    FPlatform.ShowMessage(TMessageKind::Error, e.what());
  }
  const std::string localIp = FPlatform.LocalIp();
  const uint32_t local = StrToIp(localIp);
  const uint32_t mask = StrToIp(FPlatform.LocalSubnetMask(localIp));
  FState.SetNetworkDefaults(local, mask);
  TRegistryStore(FPlatform.Registry()).Load(FState, FView, FLocalAddresses, FAddressesKnown);
}

void TKestruneApp::ProcessCommandLine(std::string_view commandLine) {
  const TCommandLineRequest request = ParseCommandLine(commandLine);
  switch (request.Kind) {
    case TCommandLineRequest::TKind::Usage:
      FPlatform.ShowMessage(TMessageKind::Information, UsageText());
      return;
    case TCommandLineRequest::TKind::All:
      for (size_t i = 0; i < FState.HostList.size(); ++i) SendMagicPacket(static_cast<int>(i));
      return;
    case TCommandLineRequest::TKind::Computer:
      break;
  }
  const int index = GetHostIndex(FState.HostList, request.Argument);
  if (index >= 0) {
    SendMagicPacket(index);
    return;
  }
  // A scheduled task runs as SYSTEM with nobody to answer a message box.
  if (FPlatform.UserName() != "SYSTEM") FPlatform.ShowMessage(TMessageKind::Warning, NotFoundText(request.Argument));
}

void TKestruneApp::SendMagicPacket(int index) {
  if (index < 0 || static_cast<size_t>(index) >= FState.HostList.size()) return;
  const THostRecord& r = *FState.HostList[static_cast<size_t>(index)];
  FPlatform.SendMagicPacketSync(r.DestinationText(), IpToStr(r.LocalIpAddress), r.Port, r.MacAddress, r.Password);
}

bool TKestruneApp::Save() { return TRegistryStore(FPlatform.Registry()).Save(FState, FView); }

}  // namespace kst
