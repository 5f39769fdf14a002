// Address, MAC and port texts typed by users or read from files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "netcore/address_text.h"
#include "sender/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const uint32_t ip = kst::StrToIp(text);
  if (ip != 0 && kst::StrToIp(kst::IpToStr(ip)) != ip) std::abort();
  const uint64_t mac = kst::StrToMac(text);
  if (mac >> 48) std::abort();
  if (mac != 0 && kst::StrToMac(kst::MacToStr(mac)) != mac) std::abort();
  const uint16_t port = kst::StrToPort(text);
  if (port != 0 && kst::StrToPort(std::to_string(port)) != port) std::abort();
  (void)kst::ReadInteger(text);
  const auto request = kst::ParseCommandLine(text);
  if (request.Argument.size() > size) std::abort();
  (void)kst::TrimBlanks(text);
  return 0;
}
