// What the listener window writes into its log for each magic packet, and how long the log
// may grow. Lines end with "\r\n", as the edit control holding the log shows them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "listener/datagram.h"

namespace kst {

inline constexpr std::string_view kLogLineEnd = "\r\n";

// The log is emptied before a packet is written when it holds more lines than this.
inline constexpr size_t kLogLineLimit = 700;

// One line of the log, terminated.
std::string LogLine(std::string_view text);

// The block for one packet: a heading, six labelled values, the password only when there is
// one, and an empty line (eight or nine lines). dateTime is the receiving time as shown.
std::string PacketLogBlock(const TReceivedMagicPacket& packet, std::string_view dateTime);

// The number of lines in the log text; a final line end does not start another line.
size_t LogLineCount(std::string_view text);

// Whether the log must be emptied before the next packet's block is written.
bool LogMustBeCleared(std::string_view text);

}  // namespace kst
