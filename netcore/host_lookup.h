// Host name resolution in both directions. Each call starts and ends its own Winsock use, may
// block for the resolver's time-out, and never throws: failure is an empty text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kst {

// Dotted text of the last address the resolver lists for the name (a dotted text resolves to
// itself); empty when it cannot be resolved. At most 255 characters of the name are used.
std::string LookupHostAddress(std::string_view hostOrAddress);
// Dotted text of the first address the resolver lists; empty when it cannot be resolved.
std::string ResolveFirstAddress(std::string_view host);
// Every IPv4 address the resolver lists for the name, in its order, as dotted text.
std::vector<std::string> ResolveAddresses(std::string_view host);
// Name of the host at the dotted address, cut to 64 characters; empty when there is none.
std::string LookupHostName(std::string_view dottedAddress);

// A name as the resolver gave it, cut to the 64 characters a computer name holds: whole
// characters, so that a non-ASCII name keeps its length and never ends in half a character.
std::string CutHostName(std::string_view name);

}  // namespace kst
