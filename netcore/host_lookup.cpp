#include "netcore/host_lookup.h"

#include "netcore/utf8.h"

namespace kst {

std::string CutHostName(std::string_view name) {
  constexpr size_t kMaxHostName = 64;
  return CutUtf8(name, kMaxHostName);
}

}  // namespace kst
