// What Kestrune does at start, on its command line and at exit, apart from any window: the
// network defaults, loading and saving the store, and serving "/name" and "/all!". The window
// (or a test) supplies the platform.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "netcore/registry.h"
#include "sender/host_record.h"
#include "sender/registry_store.h"

namespace kst {

enum class TMessageKind { Information, Warning, Error };

// Title of a message box of that kind: "Information", "Warning", "Error".
const char* MessageTitle(TMessageKind kind);

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
  virtual void SendMagicPacketSync(const std::string& destination, const std::string& localAddress, uint16_t port,
                                   uint64_t macAddress, uint64_t password) = 0;
};

class TKestruneApp {
 public:
  explicit TKestruneApp(IKestrunePlatform& platform) : FPlatform(platform) {}

  // Local address list, network defaults, then the stored settings and list. A failed adapter
  // enumeration is shown and start-up goes on with an empty address list: the stored list is
  // still loaded, so that saving at exit never replaces it with nothing.
  void FormCreate();
  // Serves the whole command line (program path included) and returns when every send is done.
  void ProcessCommandLine(std::string_view commandLine);
  // Blocking send to the computer at index; nothing for an index outside the list.
  void SendMagicPacket(int index);
  // Writes the settings and the list; false when something could not be written.
  bool Save();

  TKestruneState& State() { return FState; }
  TViewSettings& View() { return FView; }
  const std::vector<std::string>& LocalAddresses() const { return FLocalAddresses; }

 private:
  IKestrunePlatform& FPlatform;
  TKestruneState FState;
  TViewSettings FView;
  std::vector<std::string> FLocalAddresses;
  bool FAddressesKnown = false;
};

}  // namespace kst
