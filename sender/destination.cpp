#include "sender/destination.h"

#include "netcore/address_text.h"

namespace kst {

uint32_t ResolveDestination(std::string_view destination,
                            const std::function<std::string(std::string_view)>& resolveFirst) {
  if (destination.empty()) return 0;
  if (IsAddressText(destination)) return StrToIp(destination);
  const std::string resolved = resolveFirst ? resolveFirst(destination) : std::string();
  return resolved.empty() ? 0 : StrToIp(resolved);
}

}  // namespace kst
