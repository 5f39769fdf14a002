#include "netcore/magic_packet.h"

#include <cstring>

#include "netcore/address_text.h"

namespace kst {

TMagicPacket BuildMagicPacket(uint64_t macAddress, uint64_t password) {
  TMagicPacket packet;
  uint8_t* out = packet.Bytes.data();
  std::memset(out, 0xFF, 6);
  uint8_t mac[6];
  for (int i = 1; i <= 6; ++i) mac[i - 1] = MacByte(i, macAddress);
  for (size_t r = 1; r <= 16; ++r) std::memcpy(out + 6 * r, mac, 6);
  packet.Length = kMagicPacketLength;
  if (password != 0) {
    for (int i = 1; i <= 6; ++i) out[101 + i] = MacByte(i, password);
    packet.Length = kMagicPacketWithPasswordLength;
  }
  return packet;
}

}  // namespace kst
