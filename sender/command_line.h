// Kestrune's command line mode: "kestrune /computername" wakes the first computer of that
// name (letter case ignored), "kestrune /all!" wakes every computer in list order.
#pragma once

#include <string>
#include <string_view>

namespace kst {

struct TCommandLineRequest {
  enum class TKind { Usage, All, Computer };
  TKind Kind = TKind::Usage;
  std::string Argument;  // the computer name in lower case (Computer only)
};

// Reads the whole command line as the system passed it, program path included: everything
// after the first "/", lower-cased and trimmed. No "/", or one at the very start or end, asks
// for the usage text.
TCommandLineRequest ParseCommandLine(std::string_view commandLine);

// The process exit code of a command line run, which scheduled tasks and scripts read.
enum class TCommandLineResult : int {
  AllSent = 0,      // every asked packet was sent ("/all!" over an empty list included)
  SendFailed = 1,   // at least one computer could not be sent to
  NothingToDo = 2,  // the usage text, or a name that is not in the list
};

std::string UsageText();
// The warning for a name that is not in the list.
std::string NotFoundText(std::string_view argument);

}  // namespace kst
