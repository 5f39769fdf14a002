#include "listener/packet_log.h"

#include <algorithm>

namespace kst {
namespace {

std::string LogLine(std::string_view text) {
  std::string line(text);
  line += kLogLineEnd;
  return line;
}

}  // namespace

std::string PacketLogBlock(const TReceivedMagicPacket& packet, std::string_view dateTime) {
  std::string block = LogLine("Magic Packet received.");
  auto add = [&block](std::string_view label, std::string_view value) {
    block += label;
    block += value;
    block += kLogLineEnd;
  };
  add("  Date, Time: ", dateTime);
  add("  Source Address: ", packet.SourceAddress);
  add("  Source Port: ", std::to_string(packet.SourcePort));
  add("  Destination Address: ", packet.DestinationAddress);
  add("  Destination Port: ", std::to_string(packet.DestinationPort));
  add("  MAC Address: ", packet.Mac);
  if (!packet.Password.empty()) add("  SecureOn password: ", packet.Password);
  block += kLogLineEnd;
  return block;
}

size_t LogLineCount(std::string_view text) {
  auto lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

void TPacketLog::AddPacket(const TReceivedMagicPacket& packet, std::string_view dateTime) {
  if (FLineCount > kLogLineLimit) Clear();
  const std::string block = PacketLogBlock(packet, dateTime);
  FPending += block;
  FLineCount += LogLineCount(block);
}

void TPacketLog::AddLine(std::string_view text) {
  FPending += LogLine(text);
  ++FLineCount;
}

void TPacketLog::Clear() {
  FClearFirst = true;
  FPending.clear();
  FLineCount = 0;
}

TPacketLog::TUpdate TPacketLog::TakeUpdate() {
  TUpdate update{FClearFirst, std::move(FPending)};
  FClearFirst = false;
  FPending.clear();
  return update;
}

}  // namespace kst
