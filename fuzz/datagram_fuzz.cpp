// Datagrams as a raw socket delivers them: anything at all may arrive.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "listener/datagram.h"
#include "netcore/address_text.h"
#include "netcore/magic_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> datagram(data, std::min(size, kst::kReceiveBufferSize));
  const auto packet = kst::DecodeDatagram(datagram);
  if (!packet) return 0;
  // Whatever was recognised must be exactly what a sender builds from the decoded values.
  const uint64_t mac = kst::StrToMac(packet->Mac);
  const uint64_t password = packet->Password.empty() ? 0 : kst::StrToMac(packet->Password);
  if (packet->Mac.size() != 17 || (!packet->Password.empty() && packet->Password.size() != 17)) std::abort();
  const auto rebuilt = kst::BuildMagicPacket(mac, password);
  const auto payload = datagram.subspan(kst::kHeaderTotal);
  // An all-zero password is shown, but a sender with password 0 sends none: compare the MAC part.
  if (payload.size() < 102 || !std::equal(payload.begin(), payload.begin() + 102, rebuilt.Bytes.begin())) std::abort();
  return 0;
}
