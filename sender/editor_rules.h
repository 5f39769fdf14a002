// What the computer editor and the search dialog decide, apart from their windows: how they are
// filled, what typing may leave in a field, the checks of Save and OK in their order (the message
// and the field that gets the focus), and what a successful check writes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sender/host_record.h"

namespace kst {

// Resolves a host name or address text to the dotted text of an address; empty when it fails.
using TLookupHostAddress = std::function<std::string(std::string_view)>;

// Typing filters: the text with its first character that is not allowed removed; nullopt when
// every character is allowed (nothing to write back).
std::optional<std::string> FilterDestinationText(std::string_view text);  // A-Z a-z 0-9 - .
std::optional<std::string> FilterDigits(std::string_view text);           // 0-9
// An octet box's text above 255 is selected whole, so that the next digit replaces it.
bool OctetNeedsSelection(std::string_view text);

// ---- Computer editor ----

enum class THostField { None, Name, Mac, Password, Destination, Port };

struct THostFill {
  std::string Name, Mac, Password, Port;
  std::vector<std::string> Destinations;  // the destination list, in order
  int DestinationIndex = 0;               // the selected item: the destination text
  std::vector<std::string> LocalItems;    // "any", then the local addresses
  int LocalIndex = 0;
  bool IsNew = true;
};

bool IsNewHost(const TKestruneState& state, int editIndex);

// What the editor works on, decided once, when it is created: a new computer, or the record
// then at EditIndex, found again by its identity when Save stores it, wherever the list has
// moved it meanwhile (a scan's computers are added while the editor is open).
struct THostTarget {
  bool IsNew = true;
  uint64_t Id = 0;
};
THostTarget HostTarget(const TKestruneState& state, int editIndex);

THostFill FillHostEditor(const TKestruneState& state, const THostTarget& target,
                         const std::vector<std::string>& localAddresses);

struct THostInput {
  std::string Name, Mac, Password, Destination, Port, LocalItem;
};

struct TCheckFailure {
  std::string Text;
  THostField Field = THostField::None;
};

// Runs the checks of Save in order; on success writes the record (appended when new, or when
// the edited one is no longer listed) and the three editor defaults, all together. lookup runs
// only once the first three checks have passed.
std::optional<TCheckFailure> SaveHost(TKestruneState& state, const THostTarget& target, const THostInput& input,
                                      const TLookupHostAddress& lookup);

// ---- Search dialog ----

enum class TSearchField { None, From1, To1, To4, Broadcast, Port };

struct TSearchFill {
  std::string From[4], To[4];  // most significant first; empty when the setting is 0
  std::vector<std::string> Broadcasts;
  int BroadcastIndex = 0;
  std::string Port;
};

TSearchFill FillSearch(const TSharedSettings& settings);

struct TSearchInput {
  std::string From[4], To[4];
  std::string Broadcast, Port;
};

struct TSearchFailure {
  std::string Text;
  TSearchField Field = TSearchField::None;
};

// Runs the checks of OK in order; on success writes the five search settings together.
std::optional<TSearchFailure> AcceptSearch(TSharedSettings& settings, const TSearchInput& input,
                                           const TLookupHostAddress& lookup);

// ---- Scan results ----

// "pc1 (10.77.0.7)" cut to 64 characters; the bare address when the name is empty or an address.
std::string FoundComputerName(std::string_view hostName, std::string_view addressText);
// "Scanned n of count IP addresses".
std::string ScanCountText(int n, int count);
// Drops the found records whose MAC address is listed; returns how many remain.
int GetNewHosts(TKestruneState& state);
// Moves every found record, in order, to the end of the list; false when there was none.
bool CreateNewListing(TKestruneState& state);
// Scan count of the stored range, as a signed 32-bit number.
int32_t ScanCountOf(const TSharedSettings& settings);

}  // namespace kst
