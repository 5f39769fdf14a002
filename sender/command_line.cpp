#include "sender/command_line.h"

#include <algorithm>
#include <cstddef>

#include "netcore/address_text.h"

namespace kst {

TCommandLineRequest ParseCommandLine(std::string_view commandLine) {
  TCommandLineRequest request;
  const std::string s = LowerAscii(commandLine);
  const size_t slash = s.find('/');
  // Positions counted from 1: the "/" must be neither the first nor the last character.
  if (slash == std::string::npos || slash == 0 || slash + 1 >= s.size()) return request;
  request.Argument = TrimBlanks(std::string_view(s).substr(slash + 1));
  // Windows quotes an argument with blanks ("/lab pc"): a double quote left open before the "/"
  // is closed by the last character, which is then no part of the name.
  const auto quotes = std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(slash), '"');
  if (quotes % 2 == 1 && !request.Argument.empty() && request.Argument.back() == '"') {
    request.Argument.pop_back();
    request.Argument = TrimBlanks(request.Argument);
  }
  request.Kind = request.Argument == "all!" ? TCommandLineRequest::TKind::All : TCommandLineRequest::TKind::Computer;
  return request;
}

std::string UsageText() {
  return "Kestrune command line mode:\r\n"
         "\r\n"
         "   Kestrune /computername\r\n"
         "   Kestrune /all!\r\n"
         "\r\n"
         "where parameters:\r\n"
         "\r\n"
         "   /computername - sends a magic packet to already configured computer (case insensitive),\r\n"
         "   /all! - sends magic packets to all listed computers.";
}

std::string NotFoundText(std::string_view argument) {
  return "Computer " + std::string(argument) + " not found in the list.\r\n\r\n" + UsageText();
}

}  // namespace kst
