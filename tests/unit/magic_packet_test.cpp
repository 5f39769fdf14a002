#include <gtest/gtest.h>

#include <vector>

#include "netcore/magic_packet.h"

namespace kst {
namespace {

std::vector<uint8_t> Expected(std::vector<uint8_t> mac, std::vector<uint8_t> password = {}) {
  std::vector<uint8_t> bytes(6, 0xFF);
  for (int r = 0; r < 16; ++r) bytes.insert(bytes.end(), mac.begin(), mac.end());
  bytes.insert(bytes.end(), password.begin(), password.end());
  return bytes;
}

std::vector<uint8_t> Bytes(const TMagicPacket& p) { return {p.View().begin(), p.View().end()}; }

TEST(MagicPacket, WithoutPasswordIs102Bytes) {
  const auto packet = BuildMagicPacket(0x001122334455ull, 0);
  EXPECT_EQ(packet.Length, 102u);
  EXPECT_EQ(Bytes(packet), Expected({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
}

TEST(MagicPacket, WithPasswordAppendsItInWrittenOrder) {
  const auto packet = BuildMagicPacket(0x001122334455ull, 0xA1B2C3D4E5F6ull);
  EXPECT_EQ(packet.Length, 108u);
  EXPECT_EQ(Bytes(packet), Expected({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}));
}

TEST(MagicPacket, PasswordWithZeroOctetsButNonZeroValueIsSent) {
  // Only the whole value 0 means "no password"; bits above 48 make the value non-zero.
  EXPECT_EQ(BuildMagicPacket(0x001122334455ull, 0x1000000000000ull).Length, 108u);
  EXPECT_EQ(BuildMagicPacket(0x001122334455ull, 0x000000000001ull).Length, 108u);
}

TEST(MagicPacket, ZeroMacIsNotRefused) {
  const auto packet = BuildMagicPacket(0, 0);
  EXPECT_EQ(Bytes(packet), Expected({0, 0, 0, 0, 0, 0}));
}

TEST(MagicPacket, BitsAboveFortyEightAreIgnored) {
  EXPECT_EQ(Bytes(BuildMagicPacket(0xABCD001122334455ull, 0)), Bytes(BuildMagicPacket(0x001122334455ull, 0)));
}

}  // namespace
}  // namespace kst
