// Kestrune's private window messages. Their numbers are fixed: other programs post
// WM_APP_EXIT, and sender threads report with the three packet messages.
#pragma once

namespace kst {

inline constexpr unsigned kWmUser = 0x400;

inline constexpr unsigned WM_APP_STARTUP = kWmUser + 110;
inline constexpr unsigned WM_SCAN_END = kWmUser + 111;
inline constexpr unsigned WM_SCAN_COUNT = kWmUser + 112;
inline constexpr unsigned WM_SEND_NEXT = kWmUser + 114;
inline constexpr unsigned WM_ALIGN_TABLE = kWmUser + 115;
// The wake assistant's thread: lParam is a new std::vector<std::string> of the banner's lines,
// which the window frees; wParam the watch's generation (lines of an older one are dropped).
inline constexpr unsigned WM_WATCH_LINES = kWmUser + 120;
// The wake assistant's thread read this machine's networks anew, and they changed.
inline constexpr unsigned WM_WATCH_ROUTE = kWmUser + 121;
inline constexpr unsigned WM_APP_EXIT = kWmUser + 210;
inline constexpr unsigned WM_PACKET_SENT = kWmUser + 211;
inline constexpr unsigned WM_HOST_NOT_RESOLVED = kWmUser + 212;
inline constexpr unsigned WM_PACKET_FAILED = kWmUser + 213;

}  // namespace kst
