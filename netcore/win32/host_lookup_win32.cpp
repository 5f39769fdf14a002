#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "netcore/address_text.h"
#include "netcore/host_lookup.h"
#include "netcore/win32/handles_win32.h"
#include "netcore/win32/text_win32.h"

namespace kst {
namespace {

constexpr size_t kMaxHostText = 255;

}  // namespace

std::vector<std::string> ResolveAddresses(std::string_view host) {
  std::vector<std::string> addresses;
  if (host.empty()) return addresses;
  TWinsockSession winsock;
  if (!winsock.Started()) return addresses;
  ADDRINFOW hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  PADDRINFOW list = nullptr;
  const std::wstring name = Widen(host.substr(0, kMaxHostText));
  if (GetAddrInfoW(name.c_str(), nullptr, &hints, &list) != 0) return addresses;
  for (auto* item = list; item != nullptr; item = item->ai_next) {
    if (item->ai_family != AF_INET || item->ai_addr == nullptr) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(item->ai_addr);
    addresses.push_back(IpToStr(ntohl(in->sin_addr.s_addr)));
  }
  FreeAddrInfoW(list);
  return addresses;
}

std::string LookupHostAddress(std::string_view hostOrAddress) {
  auto all = ResolveAddresses(hostOrAddress);
  return all.empty() ? std::string() : all.back();
}

std::string ResolveFirstAddress(std::string_view host) {
  auto all = ResolveAddresses(host);
  return all.empty() ? std::string() : all.front();
}

std::string LookupHostName(std::string_view dottedAddress) {
  const uint32_t address = StrToIp(dottedAddress);
  if (address == 0) return {};
  TWinsockSession winsock;
  if (!winsock.Started()) return {};
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  wchar_t name[NI_MAXHOST] = {};
  if (GetNameInfoW(reinterpret_cast<const sockaddr*>(&in), sizeof in, name, NI_MAXHOST, nullptr, 0,
                   NI_NAMEREQD) != 0)
    return {};
  return CutHostName(Narrow(name));
}

}  // namespace kst
