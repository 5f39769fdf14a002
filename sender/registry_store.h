// Kestrune's store in the registry: settings under SOFTWARE\Brindlecote\Kestrune and one
// numbered subkey of List per computer. Read once at start-up, written once at exit, through
// the registry accessor, so that it runs the same on the real registry and in memory.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "netcore/registry.h"
#include "sender/host_record.h"

namespace kst {

inline constexpr char kSettingsKey[] = "SOFTWARE\\Brindlecote\\Kestrune";
inline constexpr char kListKey[] = "SOFTWARE\\Brindlecote\\Kestrune\\List";
// While a save runs: the new list, written whole before the list key is replaced.
inline constexpr char kListStagingKey[] = "SOFTWARE\\Brindlecote\\Kestrune\\ListSaving";
inline constexpr std::array<int, 4> kDefaultColumnWidths{130, 121, 138, 83};
inline constexpr int kDefaultWindowWidth = 500;
inline constexpr int kDefaultWindowHeight = 300;

struct TWindowBounds {
  int Left = -1;
  int Top = -1;
  int Width = 0;
  int Height = 0;
};

// What the window shows and keeps besides the list: geometry, banner, columns, selection.
struct TViewSettings {
  TWindowBounds Bounds;
  bool Promo = true;  // banner area expanded
  std::array<int, 4> Columns = kDefaultColumnWidths;
  int Selection = 1;  // table row of the selected computer (index + 1); 0: none
};

// The stored bounds when they are usable (left, top >= 0, width, height > 0); otherwise a
// 500 x 300 window centred on the screen (at 0 on an axis where the screen is not larger).
TWindowBounds PlaceWindow(const TWindowBounds& stored, int screenWidth, int screenHeight);

// "0000", "0001", ..., "9999", "10000".
std::string ListSubkeyName(size_t index);

// The order in which stored computers are loaded: numeric names by their value ("10000"
// after "9999", not between "1000" and "1001" as the registry enumerates them), then names
// that are not numbers, in the order given.
std::vector<std::string> OrderListSubkeys(std::vector<std::string> names);

// The local address a computer gets: a stored address that is on this machine, 0 ("any"),
// or else the first local address (0 when there is none).
uint32_t RepairLocalAddress(uint32_t stored, const std::vector<std::string>& localAddresses);

class TRegistryStore {
 public:
  explicit TRegistryStore(IRegistryAccessor& registry) : FRegistry(registry) {}

  // Expects the shared settings and network values of the state to hold their start-up
  // defaults. localAddresses: the addresses of the local address list, first is the default.
  // When the adapters could not be enumerated (addressesKnown false), stored local addresses
  // cannot be checked and are kept as they are, so that saving at exit does not erase them.
  void Load(TKestruneState& state, TViewSettings& view, const std::vector<std::string>& localAddresses,
            bool addressesKnown = true);
  // Writes the settings (only when their key exists), then the list. False when any value or
  // computer could not be written; everything else is still written.
  bool Save(const TKestruneState& state, const TViewSettings& view);
  bool SaveHosts(const THostList& list);

 private:
  // The list key, or the copy a save left marked whole when it stopped while replacing.
  std::string ListKeyToLoad();

  IRegistryAccessor& FRegistry;
};

}  // namespace kst
