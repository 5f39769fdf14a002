// Raising an operating-system error with the system's own message text.
#pragma once

#include <cstdint>
#include <string>

#include "netcore/os_error.h"

namespace kst {

// The system's message text for the code, without the line break it ends with; a plain
// "System error N." when the system has none.
std::string SystemErrorText(uint32_t code);

// Throws TOsError with the code and its message text. The code travels in the exception: the
// thread's last-error value does not survive the unwinding (the runtime's TLS calls reset it).
[[noreturn]] void RaiseOsError(uint32_t code);

}  // namespace kst
