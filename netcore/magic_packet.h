// The magic packet: six 0xFF bytes, the MAC address sixteen times, and the six bytes of the
// SecureOn password when there is one. 102 or 108 bytes, nothing else.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kst {

inline constexpr size_t kMagicPacketLength = 102;
inline constexpr size_t kMagicPacketWithPasswordLength = 108;

struct TMagicPacket {
  std::array<uint8_t, kMagicPacketWithPasswordLength> Bytes{};
  size_t Length = 0;

  std::span<const uint8_t> View() const { return {Bytes.data(), Length}; }
};

// A password of 0 means none; any other value is appended, all-zero octets or not.
TMagicPacket BuildMagicPacket(uint64_t macAddress, uint64_t password);

}  // namespace kst
