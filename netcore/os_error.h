// An operating-system failure that the caller cannot go on from: the system's error code and
// its own message text for it (filled in by the Win32 layer), so that the window can show it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kst {

class TOsError : public std::runtime_error {
 public:
  TOsError(uint32_t code, const std::string& message) : std::runtime_error(message), FCode(code) {}

  uint32_t Code() const noexcept { return FCode; }

 private:
  uint32_t FCode;
};

}  // namespace kst
