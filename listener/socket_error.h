// The texts with which the listener says why it is not listening.
#pragma once

#include <string>

namespace kst {

// "Permission denied, 10013": the Winsock error's text, ", ", and the code. A code without a
// text reads ", 10107".
std::string SocketErrorText(int code);

// The name of a failed WSAStartup result, such as "WSASYSNOTREADY"; "WSAERROR" for any other.
std::string StartupErrorText(int result);

}  // namespace kst
