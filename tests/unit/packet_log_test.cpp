#include <gtest/gtest.h>

#include "listener/packet_log.h"

namespace kst {
namespace {

TReceivedMagicPacket Packet(std::string password) {
  return {"10.77.0.20", "255.255.255.255", "02-AA-00-00-00-01", std::move(password), 51000, 9};
}

const std::string kBlock = PacketLogBlock(Packet(""), "now");

// A log that holds `count` lines, all written to the control already.
TPacketLog WrittenLog(size_t count) {
  TPacketLog log;
  for (size_t i = 0; i < count; ++i) log.AddLine("line " + std::to_string(i));
  log.TakeUpdate();
  return log;
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
}

TEST(PacketLog, IsEmptiedOnlyWhenItHoldsMoreThanSevenHundredLines) {
  TPacketLog full = WrittenLog(700);
  full.AddPacket(Packet(""), "now");
  auto update = full.TakeUpdate();
  EXPECT_FALSE(update.ClearFirst);
  EXPECT_EQ(update.Text, kBlock);
  EXPECT_EQ(full.LineCount(), 708u);

  TPacketLog overfull = WrittenLog(701);
  overfull.AddPacket(Packet(""), "now");
  update = overfull.TakeUpdate();
  EXPECT_TRUE(update.ClearFirst);
  EXPECT_EQ(update.Text, kBlock);
  EXPECT_EQ(overfull.LineCount(), 8u);
}

TEST(PacketLog, BoundCountsLinesNotYetWritten) {
  TPacketLog log = WrittenLog(695);
  log.AddPacket(Packet(""), "first");  // 703 lines, the block still pending
  log.AddPacket(Packet("01-02-03-04-05-06"), "second");
  const auto update = log.TakeUpdate();
  EXPECT_TRUE(update.ClearFirst);
  EXPECT_EQ(update.Text, PacketLogBlock(Packet("01-02-03-04-05-06"), "second"));
  EXPECT_EQ(log.LineCount(), 9u);
}

TEST(PacketLog, PendingTextIsHandedOverOnceInOrder) {
  TPacketLog log;
  EXPECT_FALSE(log.HasUpdate());
  log.AddLine("Not listening: Wrong local IP address");
  log.AddPacket(Packet(""), "now");
  EXPECT_TRUE(log.HasUpdate());
  auto update = log.TakeUpdate();
  EXPECT_FALSE(update.ClearFirst);
  EXPECT_EQ(update.Text, "Not listening: Wrong local IP address\r\n" + kBlock);
  EXPECT_FALSE(log.HasUpdate());
  update = log.TakeUpdate();
  EXPECT_FALSE(update.ClearFirst);
  EXPECT_EQ(update.Text, "");
  EXPECT_EQ(log.LineCount(), 9u);
}

TEST(PacketLog, ClearDropsWhatWasNotYetWritten) {
  TPacketLog log = WrittenLog(3);
  log.AddLine("dropped");
  log.Clear();
  EXPECT_TRUE(log.HasUpdate());
  log.AddLine("kept");
  const auto update = log.TakeUpdate();
  EXPECT_TRUE(update.ClearFirst);
  EXPECT_EQ(update.Text, "kept\r\n");
  EXPECT_EQ(log.LineCount(), 1u);
}

}  // namespace
}  // namespace kst
