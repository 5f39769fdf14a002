#include "sender/editor_rules.h"

#include "netcore/address_text.h"

namespace kst {
namespace {

constexpr const char* kAnyAddress = "any";
constexpr const char* kAllOnes = "255.255.255.255";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsDestinationChar(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '.';
}

template <class Allowed>
std::optional<std::string> RemoveFirstNotAllowed(std::string_view text, Allowed allowed) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (!allowed(text[i])) {
      std::string out(text);
      out.erase(i, 1);
      return out;
    }
  }
  return std::nullopt;
}

int IndexOf(const std::vector<std::string>& list, std::string_view text) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == text) return static_cast<int>(i);
  return -1;
}

// The destination list of both dialogs: all ones, the search broadcast address, then d when new.
void FillDestinations(std::vector<std::string>& list, int& index, uint64_t searchBroadcast, const std::string& d) {
  list = {kAllOnes, IpToStr(searchBroadcast)};
  index = IndexOf(list, d);
  if (index < 0) {
    list.push_back(d);
    index = static_cast<int>(list.size()) - 1;
  }
}

std::string First255(std::string_view text) { return CutText(text, kBroadcastHostMax); }

uint32_t JoinOctets(const std::string (&octets)[4]) {
  return StrToIp(octets[0] + "." + octets[1] + "." + octets[2] + "." + octets[3]);
}

}  // namespace

std::optional<std::string> FilterDestinationText(std::string_view text) {
  return RemoveFirstNotAllowed(text, IsDestinationChar);
}

std::optional<std::string> FilterDigits(std::string_view text) { return RemoveFirstNotAllowed(text, IsDigit); }

bool OctetNeedsSelection(std::string_view text) {
  if (text.empty() || !IsDigits(text)) return false;
  auto value = ReadInteger(text);
  return !value || *value > 255;
}

bool IsNewHost(const TKestruneState& state, int editIndex) {
  return editIndex < 0 || static_cast<size_t>(editIndex) >= state.HostList.size();
}

THostTarget HostTarget(const TKestruneState& state, int editIndex) {
  if (IsNewHost(state, editIndex)) return {};
  return {false, state.HostList[static_cast<size_t>(editIndex)]->Id.Value()};
}

THostFill FillHostEditor(const TKestruneState& state, const THostTarget& target,
                         const std::vector<std::string>& localAddresses) {
  THostFill fill;
  const int editIndex = target.IsNew ? -1 : FindRecord(state.HostList, target.Id);
  fill.IsNew = editIndex < 0;
  fill.LocalItems.push_back(kAnyAddress);
  fill.LocalItems.insert(fill.LocalItems.end(), localAddresses.begin(), localAddresses.end());
  fill.LocalIndex = localAddresses.empty() ? 0 : 1;
  std::string d;
  if (fill.IsNew) {
    d = state.Settings.HostBroadcastHost.empty() ? std::string(kAllOnes) : state.Settings.HostBroadcastHost;
    fill.Port = std::to_string(state.Settings.HostPort);
  } else {
    const THostRecord& r = *state.HostList[static_cast<size_t>(editIndex)];
    int local = r.LocalIpAddress == 0 ? -1 : IndexOf(fill.LocalItems, IpToStr(r.LocalIpAddress));
    fill.LocalIndex = local < 1 ? 0 : local;
    fill.Name = r.ComputerName;
    fill.Mac = MacToStr(r.MacAddress);
    fill.Password = r.Password != 0 ? MacToStr(r.Password) : std::string();
    d = !r.BroadcastHost.empty() ? r.BroadcastHost : IpToStr(r.BroadcastAddress);
    fill.Port = std::to_string(r.Port);
  }
  FillDestinations(fill.Destinations, fill.DestinationIndex, state.Settings.SearchBroadcastAddress, d);
  return fill;
}

std::optional<TCheckFailure> SaveHost(TKestruneState& state, const THostTarget& target, const THostInput& input,
                                      const TLookupHostAddress& lookup) {
  if (input.Name.empty()) return TCheckFailure{"No computer name.", THostField::Name};
  uint64_t mac = StrToMac(input.Mac);
  if (mac == 0) return TCheckFailure{"Wrong MAC address.", THostField::Mac};
  uint64_t password = 0;
  if (!input.Password.empty()) {
    password = StrToMac(input.Password);
    if (password == 0) return TCheckFailure{"Wrong SecureOn password.", THostField::Password};
  }
  const std::string destination = First255(input.Destination);
  const std::string resolved = lookup ? lookup(destination) : std::string();
  uint32_t address = StrToIp(resolved);
  if (address == 0) return TCheckFailure{"Wrong broadcast address.", THostField::Destination};
  uint16_t port = StrToPort(input.Port);
  if (port == 0) return TCheckFailure{"Wrong port number.", THostField::Port};

  std::unique_ptr<THostRecord> created;
  THostRecord* record = nullptr;
  // A record deleted while the editor was open gets the input as a new one: nothing typed is lost.
  const int editIndex = target.IsNew ? -1 : FindRecord(state.HostList, target.Id);
  if (editIndex < 0) {
    created = std::make_unique<THostRecord>();
    record = created.get();
  } else {
    record = state.HostList[static_cast<size_t>(editIndex)].get();
  }
  record->LocalIpAddress = StrToIp(input.LocalItem);
  record->AssignComputerName(input.Name);
  record->MacAddress = mac;
  record->Password = password;
  record->BroadcastAddress = address;
  state.Settings.HostBroadcastAddress = address;
  if (input.Destination != resolved) {
    record->AssignBroadcastHost(input.Destination);
    state.Settings.HostBroadcastHost = record->BroadcastHost;
  } else {
    record->BroadcastHost.clear();
    state.Settings.HostBroadcastHost.clear();
  }
  record->Port = port;
  state.Settings.HostPort = port;
  if (created) state.HostList.push_back(std::move(created));
  return std::nullopt;
}

TSearchFill FillSearch(const TSharedSettings& settings) {
  TSearchFill fill;
  for (int i = 0; i < 4; ++i) {
    if (settings.SearchFromIpAddress > 0) fill.From[i] = IpOctetToStr(i + 1, settings.SearchFromIpAddress);
    if (settings.SearchToIpAddress > 0) fill.To[i] = IpOctetToStr(i + 1, settings.SearchToIpAddress);
  }
  const std::string d = settings.SearchBroadcastHost.empty() ? std::string(kAllOnes) : settings.SearchBroadcastHost;
  FillDestinations(fill.Broadcasts, fill.BroadcastIndex, settings.SearchBroadcastAddress, d);
  fill.Port = std::to_string(settings.SearchPort);
  return fill;
}

std::optional<TSearchFailure> AcceptSearch(TSharedSettings& settings, const TSearchInput& input,
                                           const TLookupHostAddress& lookup) {
  uint32_t from = JoinOctets(input.From);
  if (from == 0) return TSearchFailure{"Wrong From IP address.", TSearchField::From1};
  uint32_t to = JoinOctets(input.To);
  if (to == 0) return TSearchFailure{"Wrong To IP address.", TSearchField::To1};
  if (to < from) return TSearchFailure{"Wrong IP address range.", TSearchField::To4};
  const std::string broadcast = First255(input.Broadcast);
  const std::string resolved = lookup ? lookup(broadcast) : std::string();
  uint32_t b = StrToIp(resolved);
  if (b == 0) return TSearchFailure{"Wrong broadcast address.", TSearchField::Broadcast};
  uint16_t port = StrToPort(input.Port);
  if (port == 0) return TSearchFailure{"Wrong port number.", TSearchField::Port};
  settings.SearchFromIpAddress = from;
  settings.SearchToIpAddress = to;
  settings.SearchBroadcastAddress = b;
  settings.SearchBroadcastHost = input.Broadcast != resolved ? CutText(input.Broadcast, kBroadcastHostMax) : "";
  settings.SearchPort = port;
  return std::nullopt;
}

std::string FoundComputerName(std::string_view hostName, std::string_view addressText) {
  if (hostName.empty() || IsAddressText(hostName)) return hostName.empty() ? std::string(addressText) : std::string(hostName);
  return CutText(std::string(hostName) + " (" + std::string(addressText) + ")", kComputerNameMax);
}

std::string ScanCountText(int n, int count) {
  return "Scanned " + std::to_string(n) + " of " + std::to_string(count) + " IP addresses";
}

int GetNewHosts(TKestruneState& state) {
  auto& found = state.NewHostList;
  if (!found.empty() && !state.HostList.empty()) {
    for (size_t i = 0; i < found.size();) {
      bool listed = false;
      for (const auto& h : state.HostList)
        if (h->MacAddress == found[i]->MacAddress) listed = true;
      if (listed)
        found.erase(found.begin() + static_cast<std::ptrdiff_t>(i));
      else
        ++i;
    }
  }
  return static_cast<int>(found.size());
}

bool CreateNewListing(TKestruneState& state) {
  if (state.NewHostList.empty()) return false;
  for (auto& r : state.NewHostList) state.HostList.push_back(std::move(r));
  state.NewHostList.clear();
  return true;
}

int32_t ScanCountOf(const TSharedSettings& settings) {
  uint32_t diff = static_cast<uint32_t>(settings.SearchToIpAddress) - static_cast<uint32_t>(settings.SearchFromIpAddress);
  return static_cast<int32_t>(diff + 1u);
}

}  // namespace kst
