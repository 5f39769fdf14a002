// The system's own words for an error code, as a message box shows them (no line break at the
// end), for tests that check what a program tells the user.
#pragma once

#include <windows.h>

#include <string>

namespace kst::test {

std::string SystemText(DWORD code);

}  // namespace kst::test
