// The local addresses the listener offers, each with its adapter's description and MAC text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "netcore/adapters.h"

namespace kst {

struct TListenAddress {
  std::string Address;      // dotted text
  std::string Description;  // the adapter's description
  std::string Mac;          // "AA-BB-CC-DD-EE-FF", or empty when the adapter has no six-byte address
};

// The adapter's own hardware text ("00:0C:29:3A:5B:7C") in the form users read, kept only when
// it is exactly six bytes' worth of text; anything else gives empty text.
std::string AdapterMacText(std::string_view hardwareAddress);

// The local address list, in its order, with each entry's MAC text.
std::vector<TListenAddress> ListenAddresses(const std::vector<TLocalAddressEntry>& entries);

}  // namespace kst
