#include "listener/listen_address.h"

#include <algorithm>

namespace kst {

std::string AdapterMacText(std::string_view hardwareAddress) {
  if (hardwareAddress.size() != 17) return {};
  std::string text(hardwareAddress);
  std::replace(text.begin(), text.end(), ':', '-');
  return text;
}

std::vector<TListenAddress> ListenAddresses(const std::vector<TLocalAddressEntry>& entries) {
  std::vector<TListenAddress> list;
  list.reserve(entries.size());
  for (const auto& entry : entries) list.push_back({entry.Name, entry.Value, AdapterMacText(entry.HardwareAddress)});
  return list;
}

}  // namespace kst
