#include <gtest/gtest.h>

#include <vector>

#include "listener/datagram.h"
#include "listener/socket_error.h"
#include "netcore/magic_packet.h"

namespace kst {
namespace {

using TBytes = std::vector<uint8_t>;

TBytes Payload(uint64_t mac, uint64_t password = 0) {
  const auto packet = BuildMagicPacket(mac, password);
  return {packet.View().begin(), packet.View().end()};
}

// An IPv4 datagram as a raw socket delivers it: header (20 bytes unless options are given),
// UDP header, payload. udpLength overrides the UDP length field.
TBytes Datagram(const TBytes& payload, uint16_t sourcePort = 40000, uint16_t destinationPort = 9,
                int udpLength = -1, size_t optionBytes = 0) {
  TBytes d = {static_cast<uint8_t>(0x45 + optionBytes / 4), 0, 0, 0, 0, 0, 0, 0, 64, 17, 0, 0,
              10, 77, 0, 20,     // source 10.77.0.20
              10, 77, 0, 255};   // destination 10.77.0.255
  d.insert(d.end(), optionBytes, 1);
  const auto length = static_cast<uint16_t>(udpLength >= 0 ? udpLength : static_cast<int>(8 + payload.size()));
  const TBytes udp = {static_cast<uint8_t>(sourcePort >> 8), static_cast<uint8_t>(sourcePort),
                      static_cast<uint8_t>(destinationPort >> 8), static_cast<uint8_t>(destinationPort),
                      static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0, 0};
  d.insert(d.end(), udp.begin(), udp.end());
  d.insert(d.end(), payload.begin(), payload.end());
  return d;
}

TEST(DecodeDatagram, MagicPacketWithoutPasswordGivesAddressesPortsAndMac) {
  const auto packet = DecodeDatagram(Datagram(Payload(0x02AA0BCCDDEEull), 51234, 9));
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->SourceAddress, "10.77.0.20");
  EXPECT_EQ(packet->DestinationAddress, "10.77.0.255");
  EXPECT_EQ(packet->SourcePort, 51234);
  EXPECT_EQ(packet->DestinationPort, 9);
  EXPECT_EQ(packet->Mac, "02-AA-0B-CC-DD-EE");
  EXPECT_EQ(packet->Password, "");
}

TEST(DecodeDatagram, MagicPacketWithPasswordOnAnyPort) {
  for (uint16_t port : {7, 9, 40000, 65535}) {
    const auto packet = DecodeDatagram(Datagram(Payload(0x001122334455ull, 0xA1B2C3D4E5F6ull), 65535, port));
    ASSERT_TRUE(packet) << port;
    EXPECT_EQ(packet->DestinationPort, port);
    EXPECT_EQ(packet->SourcePort, 65535);
    EXPECT_EQ(packet->Mac, "00-11-22-33-44-55");
    EXPECT_EQ(packet->Password, "A1-B2-C3-D4-E5-F6");
  }
}

TEST(DecodeDatagram, AllZeroPasswordIsShownNotTakenAsAbsent) {
  TBytes payload = Payload(0x001122334455ull);
  payload.insert(payload.end(), 6, 0);
  const auto packet = DecodeDatagram(Datagram(payload));
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->Password, "00-00-00-00-00-00");
}

TEST(DecodeDatagram, ShortOrInconsistentDatagramsAreDropped) {
  const TBytes magic = Datagram(Payload(0x001122334455ull));
  for (size_t n : {size_t{0}, size_t{20}, size_t{28}})
    EXPECT_FALSE(DecodeDatagram(std::span(magic).first(n))) << n;
  // 28 bytes whose UDP length claims exactly a header: still too short.
  EXPECT_FALSE(DecodeDatagram(Datagram({}, 1, 2, 8)));
  // The UDP length must account for every byte received, no more and no less.
  EXPECT_FALSE(DecodeDatagram(Datagram(Payload(0x001122334455ull), 1, 9, 8 + 101)));
  EXPECT_FALSE(DecodeDatagram(Datagram(Payload(0x001122334455ull), 1, 9, 8 + 103)));
  EXPECT_FALSE(DecodeDatagram(std::span(magic).first(magic.size() - 1)));
}

TEST(DecodeDatagram, HeaderWithOptionsIsDropped) {
  // The options shift the UDP header; read at offset 20 its fields make no consistent length.
  EXPECT_FALSE(DecodeDatagram(Datagram(Payload(0x001122334455ull), 40000, 9, -1, 4)));
  EXPECT_FALSE(DecodeDatagram(Datagram(Payload(0x001122334455ull), 40000, 9, -1, 8)));
}

TEST(DecodeDatagram, PayloadsOfOtherLengthsAreDropped) {
  TBytes withFourBytePassword = Payload(0x001122334455ull);
  withFourBytePassword.insert(withFourBytePassword.end(), {1, 2, 3, 4});
  EXPECT_FALSE(DecodeDatagram(Datagram(withFourBytePassword)));
  TBytes trailing = Payload(0x001122334455ull, 0xA1B2C3D4E5F6ull);
  trailing.push_back(0);
  EXPECT_FALSE(DecodeDatagram(Datagram(trailing)));
  EXPECT_FALSE(DecodeDatagram(Datagram(TBytes(101, 0xFF))));
}

TEST(ParseMagicPacket, MustStartAtTheFirstPayloadByte) {
  // The sequence shifted by six bytes, with six 0xFF bytes in front: still 108 bytes long.
  TBytes shifted(6, 0xFF);
  const TBytes magic = Payload(0x001122334455ull);
  shifted.insert(shifted.end(), magic.begin(), magic.end());
  ASSERT_EQ(shifted.size(), 108u);
  EXPECT_FALSE(ParseMagicPacket(shifted));
  EXPECT_FALSE(DecodeDatagram(Datagram(shifted)));
}

TEST(ParseMagicPacket, EveryByteOfTheSyncAndTheSixteenCopiesCounts) {
  const TBytes magic = Payload(0x001122334455ull, 0xA1B2C3D4E5F6ull);
  ASSERT_TRUE(ParseMagicPacket(magic));
  for (size_t i = 0; i < 102; ++i) {
    TBytes broken = magic;
    broken[i] ^= 0x01;
    EXPECT_FALSE(ParseMagicPacket(broken)) << "byte " << i;
  }
  // The password bytes are free.
  TBytes otherPassword = magic;
  otherPassword[107] = 0;
  EXPECT_EQ(ParseMagicPacket(otherPassword)->Password, "A1-B2-C3-D4-E5-00");
}

TEST(ParseMagicPacket, OneWrongByteInTheSixteenthCopyInsideADatagram) {
  TBytes payload = Payload(0x001122334455ull);
  payload[6 + 15 * 6 + 5] = 0x56;
  EXPECT_FALSE(DecodeDatagram(Datagram(payload)));
}

TEST(AdapterDestination, KeepsTheAddressItsSubnetBroadcastAndTheLimitedBroadcast) {
  const uint32_t local = 0x0A4D0002, mask = 0xFFFFFF00;  // 10.77.0.2/24
  EXPECT_TRUE(IsAdapterDestination(0x0A4D0002, local, mask));
  EXPECT_TRUE(IsAdapterDestination(0x0A4D00FF, local, mask));
  EXPECT_TRUE(IsAdapterDestination(0xFFFFFFFF, local, mask));
  EXPECT_FALSE(IsAdapterDestination(0x0A4D0014, local, mask));  // another computer of the LAN
  EXPECT_FALSE(IsAdapterDestination(0x7F000001, local, mask));  // loopback
  EXPECT_FALSE(IsAdapterDestination(0x0A4D01FF, local, mask));  // another subnet's broadcast
  EXPECT_FALSE(IsAdapterDestination(0x0A4D0000, local, mask));  // the network address
  // A /22 subnet's broadcast; an unknown mask leaves only the address and 255.255.255.255.
  EXPECT_TRUE(IsAdapterDestination(0xC0A807FF, 0xC0A80501, 0xFFFFFC00));
  EXPECT_FALSE(IsAdapterDestination(0x0A4D00FF, local, 0));
  EXPECT_TRUE(IsAdapterDestination(0xFFFFFFFF, local, 0));
}

TEST(AdapterDestination, IsReadFromTheIpHeader) {
  EXPECT_EQ(DatagramDestination(Datagram(Payload(1))), 0x0A4D00FFu);
  EXPECT_EQ(DatagramDestination(TBytes(19, 0xFF)), 0u);
}

TEST(SocketErrorText, ListedCodeGivesTextAndCode) {
  EXPECT_EQ(SocketErrorText(10013), "Permission denied, 10013");
  EXPECT_EQ(SocketErrorText(10004), "Interrupted system call, 10004");
  EXPECT_EQ(SocketErrorText(10059), "Too many references: can't splice, 10059");
  EXPECT_EQ(SocketErrorText(11004), "No Data, 11004");
}

TEST(SocketErrorText, UnlistedCodeGivesOnlyTheCode) {
  EXPECT_EQ(SocketErrorText(10107), ", 10107");
  EXPECT_EQ(SocketErrorText(0), ", 0");
  EXPECT_EQ(SocketErrorText(11005), ", 11005");
}

TEST(SocketErrorText, StartupFailuresAreNamed) {
  EXPECT_EQ(StartupErrorText(10091), "WSASYSNOTREADY");
  EXPECT_EQ(StartupErrorText(10092), "WSAVERNOTSUPPORTED");
  EXPECT_EQ(StartupErrorText(10036), "WSAEINPROGRESS");
  EXPECT_EQ(StartupErrorText(10067), "WSAEPROCLIM");
  EXPECT_EQ(StartupErrorText(10014), "WSAEFAULT");
  EXPECT_EQ(StartupErrorText(10093), "WSAERROR");
}

}  // namespace
}  // namespace kst
