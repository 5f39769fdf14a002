// The floor of "kestrune.exe /all!": load every stored computer, then send each its magic
// packet on a socket of its own, with Winsock started and cleaned up around every packet and
// one start-up held for the whole process (as Kestrune does), broadcast allowed on every socket.
// Exit code 0 when every packet was sent whole.
#include <winsock2.h>

#include "floor_read.h"

namespace {

bool Send(const floor_bench::TComputer& c) {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  bool sent = false;
  char packet[108];
  int length = 102;
  std::memset(packet, 0xFF, 6);
  for (int i = 0; i < 16; ++i)
    for (int b = 0; b < 6; ++b) packet[6 + 6 * i + b] = static_cast<char>(c.Mac >> (8 * (5 - b)));
  if (c.Password != 0) {
    for (int b = 0; b < 6; ++b) packet[102 + b] = static_cast<char>(c.Password >> (8 * (5 - b)));
    length = 108;
  }
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s != INVALID_SOCKET) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(c.Local);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(c.Port);
    to.sin_addr.s_addr = htonl(static_cast<uint32_t>(c.Broadcast));
    const int on = 1;
    sent = bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
           setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0 &&
           sendto(s, packet, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == length;
    closesocket(s);
  }
  WSACleanup();
  return sent;
}

}  // namespace

int main() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 2;
  bool all = true;
  for (const auto& c : floor_bench::LoadComputers()) all &= Send(c);
  WSACleanup();
  return all ? 0 : 1;
}
