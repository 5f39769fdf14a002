#include <gtest/gtest.h>

#include "listener/packet_log.h"

namespace kst {
namespace {

TReceivedMagicPacket Packet(std::string password) {
  return {"10.77.0.20", "255.255.255.255", "02-AA-00-00-00-01", std::move(password), 51000, 9};
}

std::string Lines(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += LogLine("line " + std::to_string(i));
  return text;
}

TEST(PacketLog, BlockWithoutPasswordIsEightLines) {
  const std::string block = PacketLogBlock(Packet(""), "08/12/2026 10:11:12");
  EXPECT_EQ(block,
            "Magic Packet received.\r\n"
            "  Date, Time: 08/12/2026 10:11:12\r\n"
            "  Source Address: 10.77.0.20\r\n"
            "  Source Port: 51000\r\n"
            "  Destination Address: 255.255.255.255\r\n"
            "  Destination Port: 9\r\n"
            "  MAC Address: 02-AA-00-00-00-01\r\n"
            "\r\n");
  EXPECT_EQ(LogLineCount(block), 8u);
}

TEST(PacketLog, BlockWithPasswordIsNineLines) {
  const std::string block = PacketLogBlock(Packet("00-00-00-00-00-00"), "08/12/2026");
  EXPECT_EQ(LogLineCount(block), 9u);
  EXPECT_NE(block.find("  MAC Address: 02-AA-00-00-00-01\r\n  SecureOn password: 00-00-00-00-00-00\r\n\r\n"),
            std::string::npos);
}

TEST(PacketLog, CountsLinesAsTheLogShowsThem) {
  EXPECT_EQ(LogLineCount(""), 0u);
  EXPECT_EQ(LogLineCount("a"), 1u);
  EXPECT_EQ(LogLineCount("a\r\n"), 1u);
  EXPECT_EQ(LogLineCount("a\r\nb"), 2u);
  EXPECT_EQ(LogLineCount("\r\n\r\n"), 2u);
  EXPECT_EQ(LogLineCount(Lines(3)), 3u);
}

TEST(PacketLog, IsEmptiedOnlyWhenItHoldsMoreThanSevenHundredLines) {
  EXPECT_FALSE(LogMustBeCleared(""));
  EXPECT_FALSE(LogMustBeCleared(Lines(700)));
  EXPECT_TRUE(LogMustBeCleared(Lines(701)));
  // An unterminated last line counts too.
  EXPECT_TRUE(LogMustBeCleared(Lines(700) + "Not listening: Wrong local IP address"));
}

}  // namespace
}  // namespace kst
