// Kestrune's command line as the system passes it (program path included), served over a
// stored list: whatever is typed, at most the asked computers get a packet and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "netcore/address_text.h"
#include "sender/command_line.h"
#include "sender/kestrune_app.h"
#include "sender/registry_store.h"

namespace {

class TCountingPlatform : public kst::IKestrunePlatform {
 public:
  std::vector<std::string> LocalAddresses() override { return {"10.77.0.2"}; }
  std::string LocalIp() override { return "10.77.0.2"; }
  std::string LocalSubnetMask(const std::string&) override { return "255.255.255.0"; }
  kst::IRegistryAccessor& Registry() override { return *FRegistry; }
  void ShowMessage(kst::TMessageKind, const std::string& text) override {
    if (text.empty()) std::abort();
    ++Messages;
  }
  std::string UserName() override { return "fuzz"; }
  bool LocalSystem() override { return false; }
  bool WindowStationVisible() override { return true; }
  void WriteEventLog(const kst::TRunEvent& event) override {
    if (event.Strings.empty()) std::abort();
  }
  kst::TSendReport SendMagicPacketSync(const std::string&, const std::string&, uint16_t, uint64_t mac,
                                       uint64_t) override {
    if (mac == 0) std::abort();
    ++Sends;
    return {kst::TSendReport::TOutcome::Sent, 0, {}};
  }

  int Messages = 0;
  int Sends = 0;

 private:
  std::unique_ptr<kst::IRegistryAccessor> FRegistry = kst::MakeMemoryRegistry();
};

// Three computers, two of them of the same name in other letter case, one with a name of
// non-ASCII letters.
void FillList(kst::TKestruneState& state) {
  const char* names[] = {"Lab-PC", "lab-pc", "R\xC3\xA4knare"};
  for (const char* name : names) {
    auto r = std::make_unique<kst::THostRecord>();
    r->AssignComputerName(name);
    r->MacAddress = 0x001122334455ull;
    r->BroadcastAddress = kst::StrToIp("10.77.0.255");
    state.HostList.push_back(std::move(r));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto request = kst::ParseCommandLine(line);
  if (request.Kind == kst::TCommandLineRequest::TKind::Computer) {
    // Blanks alone after the "/" leave an empty name, which is looked up like any other.
    if (request.Argument.size() >= size) std::abort();
    if (kst::LowerAscii(request.Argument) != request.Argument) std::abort();
  } else if (!request.Argument.empty() && request.Kind == kst::TCommandLineRequest::TKind::Usage) {
    std::abort();
  }

  TCountingPlatform platform;
  kst::TKestruneApp app(platform);
  FillList(app.State());
  const auto result = app.ProcessCommandLine(line);
  // Exactly one of: a message, one packet, or a packet to every computer.
  const int total = platform.Messages + platform.Sends;
  switch (request.Kind) {
    case kst::TCommandLineRequest::TKind::Usage:
      if (platform.Messages != 1 || platform.Sends != 0) std::abort();
      if (result != kst::TCommandLineResult::NothingToDo) std::abort();
      break;
    case kst::TCommandLineRequest::TKind::All:
      if (platform.Sends != 3 || platform.Messages != 0) std::abort();
      if (result != kst::TCommandLineResult::AllSent) std::abort();
      break;
    case kst::TCommandLineRequest::TKind::Computer:
      if (total != 1) std::abort();
      // Every send succeeds here: a name sent to is done, a name not found has nothing to do.
      if (result != (platform.Sends == 1 ? kst::TCommandLineResult::AllSent : kst::TCommandLineResult::NothingToDo))
        std::abort();
      break;
  }
  return 0;
}
