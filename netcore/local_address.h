// Whether an IPv4 address belongs to this machine.
#pragma once

#include <cstdint>

namespace kst {

// True for the loopback range and for every address of the machine's interfaces; also true
// when the interface table cannot be read, so that the caller's own attempt decides.
bool IsLocalAddress(uint32_t address) noexcept;

}  // namespace kst
