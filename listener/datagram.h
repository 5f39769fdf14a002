// Recognising magic packets in what a raw IPv4 socket delivers: one IPv4 datagram, header
// first. Only byte buffers and texts here; the socket lives in listener/win32/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kst {

// The receive buffer holds one datagram: a 20-byte IPv4 header, an 8-byte UDP header and up to
// 2048 bytes of payload. A header with options is never looked into: such a datagram fails the
// length test below and is dropped.
inline constexpr size_t kIpHeaderLength = 20;
inline constexpr size_t kUdpHeaderLength = 8;
inline constexpr size_t kHeaderTotal = kIpHeaderLength + kUdpHeaderLength;
inline constexpr size_t kReceiveBufferSize = kHeaderTotal + 2048;

struct TMagicPacketTexts {
  std::string Mac;       // "AA-BB-CC-DD-EE-FF"
  std::string Password;  // same form, or empty when the packet carries none
};

// A magic packet that fills the whole payload: six 0xFF bytes, sixteen copies of one MAC
// address, and for 108 bytes a six-byte SecureOn password. Any other length is not one.
std::optional<TMagicPacketTexts> ParseMagicPacket(std::span<const uint8_t> payload);

struct TReceivedMagicPacket {
  std::string SourceAddress;
  std::string DestinationAddress;
  std::string Mac;
  std::string Password;
  uint16_t SourcePort = 0;
  uint16_t DestinationPort = 0;
};

// One received datagram, recognised: more than 28 bytes, exactly 20 + the UDP length field, a
// payload of 102 or 108 bytes holding a magic packet. The protocol byte and the header length
// nibble are not examined. Texts are made only for a recognised packet, so that the traffic
// the listener drops costs a few reads.
std::optional<TReceivedMagicPacket> DecodeDatagram(std::span<const uint8_t> datagram);

// The IPv4 destination of a received datagram (bytes 16 to 19), as an address value; 0 when the
// datagram is too short to hold one.
uint32_t DatagramDestination(std::span<const uint8_t> datagram);

// Whether a datagram to destination belongs to the traffic of the adapter address local with
// its mask: sent to that address, to its subnet's broadcast address, or to 255.255.255.255.
// A mask of 0 (unknown) leaves only the address and the limited broadcast.
bool IsAdapterDestination(uint32_t destination, uint32_t local, uint32_t mask);

}  // namespace kst
