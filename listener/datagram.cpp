#include "listener/datagram.h"

#include <algorithm>

#include "netcore/address_text.h"

namespace kst {
namespace {

uint16_t ReadBigEndian16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

uint32_t ReadBigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) | (uint32_t{bytes[at + 2]} << 8) |
         uint32_t{bytes[at + 3]};
}

std::string GroupText(std::span<const uint8_t, 6> bytes) {
  uint64_t value = 0;
  for (uint8_t b : bytes) value = (value << 8) | b;
  return MacToStr(value);
}

constexpr size_t kMacOffset = 6;
constexpr size_t kMacCopies = 16;
constexpr size_t kPasswordOffset = kMacOffset + 6 * kMacCopies;  // 102

}  // namespace

std::optional<TMagicPacketTexts> ParseMagicPacket(std::span<const uint8_t> payload) {
  if (payload.size() != kPasswordOffset && payload.size() != kPasswordOffset + 6) return std::nullopt;
  if (!std::all_of(payload.begin(), payload.begin() + kMacOffset, [](uint8_t b) { return b == 0xFF; }))
    return std::nullopt;
  const auto mac = payload.subspan<kMacOffset, 6>();
  for (size_t copy = 1; copy < kMacCopies; ++copy)
    if (!std::equal(mac.begin(), mac.end(), payload.begin() + kMacOffset + 6 * copy)) return std::nullopt;
  TMagicPacketTexts texts{GroupText(mac), {}};
  if (payload.size() > kPasswordOffset) texts.Password = GroupText(payload.subspan<kPasswordOffset, 6>());
  return texts;
}

std::optional<TReceivedMagicPacket> DecodeDatagram(std::span<const uint8_t> datagram) {
  const size_t n = datagram.size();
  if (n <= kHeaderTotal) return std::nullopt;
  const size_t udpLength = ReadBigEndian16(datagram, kIpHeaderLength + 4);
  if (n != kIpHeaderLength + udpLength) return std::nullopt;
  auto texts = ParseMagicPacket(datagram.subspan(kHeaderTotal));
  if (!texts) return std::nullopt;
  return TReceivedMagicPacket{IpToStr(ReadBigEndian32(datagram, 12)),
                              IpToStr(ReadBigEndian32(datagram, 16)),
                              std::move(texts->Mac),
                              std::move(texts->Password),
                              ReadBigEndian16(datagram, kIpHeaderLength),
                              ReadBigEndian16(datagram, kIpHeaderLength + 2)};
}

uint32_t DatagramDestination(std::span<const uint8_t> datagram) {
  return datagram.size() < kIpHeaderLength ? 0 : ReadBigEndian32(datagram, 16);
}

bool IsAdapterDestination(uint32_t destination, uint32_t local, uint32_t mask) {
  if (destination == local || destination == 0xFFFFFFFFu) return true;
  return mask != 0 && destination == (local | ~mask);
}

}  // namespace kst
