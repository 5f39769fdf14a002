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

// The block for one packet: a heading, six labelled values, the password only when there is
// one, and an empty line (eight or nine lines). dateTime is the receiving time as shown.
std::string PacketLogBlock(const TReceivedMagicPacket& packet, std::string_view dateTime);

// The number of lines in the log text; a final line end does not start another line.
size_t LogLineCount(std::string_view text);

// The log's contents as the window writes them. Text is gathered here and handed to the log
// control in pieces, because redrawing the control costs far more than recognising a packet
// (milliseconds per update under Wine) and packets may come faster than that. It counts the
// lines of the whole log, written and pending, to keep the bound.
class TPacketLog {
 public:
  // A packet's block; the log is emptied first when it holds more than kLogLineLimit lines.
  void AddPacket(const TReceivedMagicPacket& packet, std::string_view dateTime);
  // A line of its own (why listening failed, for example).
  void AddLine(std::string_view text);
  void Clear();

  struct TUpdate {
    bool ClearFirst = false;  // empty the control before appending
    std::string Text;         // to append
  };
  // What the control needs to show everything added so far; nothing is pending afterwards.
  TUpdate TakeUpdate();

  size_t LineCount() const { return FLineCount; }
  bool HasUpdate() const { return FClearFirst || !FPending.empty(); }

 private:
  size_t FLineCount = 0;
  bool FClearFirst = false;
  std::string FPending;
};

}  // namespace kst
