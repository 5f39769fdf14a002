#include "sender/win32/event_log_win32.h"

#include <windows.h>

#include <string>
#include <vector>

#include "kestrune_events.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"

namespace kst {
namespace {

// The message table's numbers and severities are those the portable rules use.
constexpr DWORD kEventIds[] = {KST_EVENT_COMMAND_LINE_UNUSABLE, KST_EVENT_NOT_IN_LIST, KST_EVENT_NOT_RESOLVED,
                               KST_EVENT_NOT_SENT, KST_EVENT_NOT_SENT_NO_ADAPTER};
static_assert((KST_EVENT_COMMAND_LINE_UNUSABLE & 0xFFFF) == static_cast<DWORD>(TRunEventKind::CommandLineUnusable));
static_assert((KST_EVENT_NOT_IN_LIST & 0xFFFF) == static_cast<DWORD>(TRunEventKind::NotInList));
static_assert((KST_EVENT_NOT_RESOLVED & 0xFFFF) == static_cast<DWORD>(TRunEventKind::NotResolved));
static_assert((KST_EVENT_NOT_SENT & 0xFFFF) == static_cast<DWORD>(TRunEventKind::NotSent));
static_assert((KST_EVENT_NOT_SENT_NO_ADAPTER & 0xFFFF) == static_cast<DWORD>(TRunEventKind::NotSentNoAdapter));

}  // namespace

void WriteRunEvent(const TRunEvent& event) noexcept {
  try {
    const auto index = static_cast<size_t>(event.Kind) - 1;
    if (index >= std::size(kEventIds)) return;
    const DWORD id = kEventIds[index];
    std::vector<std::wstring> texts;
    for (const auto& s : event.Strings) texts.push_back(Widen(s));
    std::vector<LPCWSTR> strings;
    for (const auto& t : texts) strings.push_back(t.c_str());
    HANDLE source = RegisterEventSourceW(nullptr, L"Kestrune");
    if (!source) return;
    // The severity is in the message's number: 3 an error, 2 a warning.
    const WORD type = (id >> 30) == 3 ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
    ReportEventW(source, type, 0, id, nullptr, static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
    DeregisterEventSource(source);
  } catch (...) {
    // Out of memory: the exit code still tells.
  }
}

bool IsLocalSystemSid(PSID sid) noexcept { return sid && IsWellKnownSid(sid, WinLocalSystemSid); }

bool ProcessRunsAsLocalSystem() noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const TUniqueHandle owned(token);
  // A user SID is at most 68 bytes; the buffer holds it after the TOKEN_USER header.
  alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return false;
  return IsLocalSystemSid(reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid);
}

bool ProcessWindowStationVisible() noexcept {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return false;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace kst
