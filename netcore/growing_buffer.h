// Platform calls that fill a caller's buffer report the size they need when it is too small.
// The need can grow between two calls (an adapter or a neighbour appears meanwhile), so the
// call is repeated with the reported size a few times before its overflow code is given up on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kst {

// call(uint8_t* data, uint32_t& size) returns a status and, on overflowCode, sets size to what
// it needs. The buffer keeps its size when the first call fits. Returns the last status.
template <class Call>
uint32_t FillGrowingBuffer(std::vector<uint8_t>& buffer, uint32_t overflowCode, Call&& call, int attempts = 4) {
  uint32_t status = overflowCode;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    uint32_t size = static_cast<uint32_t>(buffer.size());
    status = call(buffer.data(), size);
    if (status != overflowCode || attempt + 1 == attempts) break;
    // A call that overflows without asking for more would loop forever on the same size.
    const size_t next = size > buffer.size() ? size : buffer.size() * 2 + 64;
    buffer.assign(next, 0);
  }
  return status;
}

}  // namespace kst
