// Where a magic packet goes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kst {

// A text made only of digits and dots is the address it spells; it is never sent to the
// resolver. Such a text that is not four octets of 0..255 (1.2.3.4.5, 1.2.3, 0.0.0.0) has no
// address: it must not end up as a limited broadcast. Any other non-empty text is a host name
// whose first resolved address is used. 0 means "not resolved".
uint32_t ResolveDestination(std::string_view destination,
                            const std::function<std::string(std::string_view)>& resolveFirst);

}  // namespace kst
