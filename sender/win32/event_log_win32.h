// What a command line run leaves for an administrator: lines in the Windows Application event
// log, and whether anybody can see the run at all.
#pragma once

#include <windows.h>

#include "sender/kestrune_app.h"

namespace kst {

// One line under the source "Kestrune"; its text comes from the message table in kestrune.exe.
// Nothing when the log cannot be written.
void WriteRunEvent(const TRunEvent& event) noexcept;

// The account of the process is LocalSystem: known by its SID, since its name is translated
// ("SYSTEM" in English, not in every language of Windows).
bool ProcessRunsAsLocalSystem() noexcept;
bool IsLocalSystemSid(PSID sid) noexcept;

// False when the process's window station is one that no user sees (a service's, or that of a
// task set to run whether the user is logged on or not), or when it cannot be told.
bool ProcessWindowStationVisible() noexcept;

}  // namespace kst
