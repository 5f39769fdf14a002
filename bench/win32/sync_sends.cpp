// Wall time of N blocking sends (each with its own Winsock start, socket and bind) to a
// receiver on loopback, and how many of them arrived. Run inside tools/sandbox under Wine.
#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <atomic>

#include "netcore/win32/handles_win32.h"
#include "sender/win32/udp_sender.h"

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  kst::TWinsockSession winsock;
  kst::TUniqueSocket receiver(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(receiver.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int size = sizeof addr;
  getsockname(receiver.get(), reinterpret_cast<sockaddr*>(&addr), &size);
  const int bufferSize = 4 << 20;
  setsockopt(receiver.get(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bufferSize), sizeof bufferSize);
  const DWORD timeout = 1000;
  setsockopt(receiver.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

  std::atomic<int> received{0};
  std::thread reader([&] {
    char buffer[256];
    while (recv(receiver.get(), buffer, sizeof buffer, 0) == 102) ++received;
  });

  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i)
    kst::SendMagicPacketSync("127.0.0.1", "127.0.0.1", ntohs(addr.sin_port), 0x001122334455ull + static_cast<unsigned>(i), 0);
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  reader.join();
  std::printf("blocking sends: %d, received: %d, wall time: %.3f s, %.3f ms per send\n", count, received.load(),
              elapsed, 1000.0 * elapsed / count);
  return received.load() == count ? 0 : 1;
}
